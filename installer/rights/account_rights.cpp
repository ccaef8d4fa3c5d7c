// The token queries and the elevated start of the program's own image.
#include "installer/rights/account_rights.h"

#include <windows.h>

#include "core/format/install_names.h"

namespace rights {

namespace {

// Room for TOKEN_USER and the SID behind it (at most 8 + 4 * 15 bytes).
constexpr DWORD kTokenUserSize = 128;

}  // namespace

bool RunsWithFullRights() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  const BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  return !known || elevation.TokenIsElevated != 0;
}

bool RunsAsSystemAccount() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  // DWORD-aligned, as TOKEN_USER's pointer wants.
  DWORD buffer[kTokenUserSize / sizeof(DWORD)];
  DWORD size = 0;
  const BOOL known = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
  CloseHandle(token);
  if (!known) return false;
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID system = nullptr;
  if (!AllocateAndInitializeSid(&ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system))
    return false;
  const bool same = EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, system) != FALSE;
  FreeSid(system);
  return same;
}

Elevation RunElevatedSelf(const char* parameters, DWORD* exitCode, DWORD* error) {
  *exitCode = 0;
  *error = 0;
  char ownPath[format::kPathBufferSize];
  const DWORD length = GetModuleFileNameA(nullptr, ownPath, sizeof ownPath);
  if (length == 0 || length >= sizeof ownPath) {
    *error = ERROR_FILE_NOT_FOUND;
    return Elevation::kFailed;
  }
  SHELLEXECUTEINFOA start = {};
  start.cbSize = sizeof start;
  start.fMask = SEE_MASK_NOCLOSEPROCESS;
  start.lpVerb = "runas";
  start.lpFile = ownPath;
  start.lpParameters = parameters;
  start.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&start)) {
    *error = GetLastError();
    return *error == ERROR_CANCELLED ? Elevation::kRefused : Elevation::kFailed;
  }
  // Without a process handle (Windows handed the start to a running
  // process) nothing can be waited for or told.
  if (start.hProcess == nullptr) {
    *error = ERROR_INVALID_HANDLE;
    return Elevation::kFailed;
  }
  WaitForSingleObject(start.hProcess, INFINITE);
  const BOOL told = GetExitCodeProcess(start.hProcess, exitCode);
  if (!told) *error = GetLastError();
  CloseHandle(start.hProcess);
  return told ? Elevation::kRan : Elevation::kFailed;
}

}  // namespace rights
