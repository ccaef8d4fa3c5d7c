// Whose rights a program runs with, and starting itself again with full
// rights; shared by the installer and UNINSTAL.EXE. The installer writes into the Windows directory and under
// HKEY_LOCAL_MACHINE, which needs full rights, while the screen saver
// setting belongs to the user who started it: an elevated process's
// HKEY_CURRENT_USER is the elevating account's, which may be another one
// (an administrator's password typed in by a standard user).
#pragma once

#include <windows.h>

namespace rights {

// True when the process's token is elevated, or when this Windows has no
// elevation at all (no token, or no TokenElevation before Windows Vista):
// then the process may write wherever its account may.
bool RunsWithFullRights();

// True when the process runs as the local system account (S-1-5-18), as
// deployment tools start programs: there is no desktop user then.
bool RunsAsSystemAccount();

enum class Elevation { kRan, kRefused, kFailed };

// Starts this program's own image elevated ("runas") with `parameters`,
// waits for it to end and gives its exit code. kRefused: the user said No
// to the prompt (ERROR_CANCELLED); kFailed: it could not be started, with
// the system's error code in `error`.
Elevation RunElevatedSelf(const char* parameters, DWORD* exitCode, DWORD* error);

}  // namespace rights
