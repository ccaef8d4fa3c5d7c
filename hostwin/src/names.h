// Names of Win32 constants as the transcript shows them.
#pragma once

#include <windows.h>

#include <string>

namespace hostwin {

std::string ShowCommandName(int show);             // SW_SHOW, or the number
std::string MessageBoxStyleName(UINT style);       // MB_OKCANCEL|MB_ICONINFORMATION
std::string DialogResultName(int result);          // IDOK ... IDNO, or the number
std::string McIErrorName(DWORD error);             // "0", or "275 MCIERR_FILE_NOT_FOUND"
std::string CursorName(std::uintptr_t id);         // IDC_WAIT, or the number

}  // namespace hostwin
