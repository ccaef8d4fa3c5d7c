// Accounts and elevation: the process's token (whose account, elevated or
// not), SIDs, and ShellExecuteExA "runas" of a program of the machine (the
// program itself, most often), which runs it as a new process under the
// elevating account (processes.cpp).
#include <shellapi.h>

#include <cstdlib>
#include <cstring>

#include "machine.h"
#include "names.h"

namespace hostwin {

namespace {

constexpr std::uintptr_t kTokenHandle = 0x6000;   // the process's token
constexpr std::uintptr_t kCurrentProcess = static_cast<std::uintptr_t>(-1);

// Relative ids of the accounts' SIDs, S-1-5-21-<machine>-<rid>: local
// accounts count from 1000, as on Windows.
constexpr DWORD kMachineId[3] = {1844216611u, 3206571082u, 2743251218u};
constexpr DWORD kFirstAccountRid = 1000;

bool& TokenOpen() {
  static bool open = false;
  return open;
}

void PutDword(std::vector<unsigned char>* bytes, DWORD value) {
  for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// A SID in its binary layout: revision 1, the count of sub-authorities,
// the 6-byte authority (big-endian), the sub-authorities (little-endian).
std::vector<unsigned char> MakeSid(const BYTE (&authority)[6], const std::vector<DWORD>& subAuthorities) {
  std::vector<unsigned char> sid;
  sid.push_back(1);
  sid.push_back(static_cast<unsigned char>(subAuthorities.size()));
  for (BYTE part : authority) sid.push_back(part);
  for (DWORD sub : subAuthorities) PutDword(&sid, sub);
  return sid;
}

// The SID of an account: S-1-5-18 for SYSTEM; a local account's is the
// machine's followed by a relative id the account's name decides.
std::vector<unsigned char> SidOfAccount(const std::string& account) {
  const BYTE nt[6] = {0, 0, 0, 0, 0, 5};
  if (SameText(account, kSystemAccount)) return MakeSid(nt, {SECURITY_LOCAL_SYSTEM_RID});
  DWORD hash = 2166136261u;
  for (char c : UpperCase(account)) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return MakeSid(nt, {21, kMachineId[0], kMachineId[1], kMachineId[2], kFirstAccountRid + hash % 9000});
}

std::size_t SidLength(PSID sid) { return 8 + 4 * static_cast<std::size_t>(static_cast<const BYTE*>(sid)[1]); }

std::string Verb(LPCSTR verb) { return verb ? Quoted(verb) : std::string("NULL"); }

}  // namespace

bool CloseAccountHandle(HANDLE object) {
  const auto value = reinterpret_cast<std::uintptr_t>(object);
  if (value == kTokenHandle && TokenOpen()) {
    TokenOpen() = false;
    return true;
  }
  return CloseProcessHandle(object);
}

}  // namespace hostwin

using namespace hostwin;

extern "C" {

HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(kCurrentProcess); }

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD /*access*/, PHANDLE token) {
  if (reinterpret_cast<std::uintptr_t>(process) != kCurrentProcess || !token) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  TokenOpen() = true;
  *token = reinterpret_cast<HANDLE>(kTokenHandle);
  return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, LPVOID information,
                                DWORD length, PDWORD returnLength) {
  const MachineState& m = Machine();
  if (reinterpret_cast<std::uintptr_t>(token) != kTokenHandle || !TokenOpen() || !returnLength) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::vector<unsigned char> data;
  std::size_t sidAt = 0;
  if (informationClass == TokenElevation) {
    PutDword(&data, m.fullToken ? 1 : 0);
  } else if (informationClass == TokenElevationType) {
    // SYSTEM's token is not split: the default type, as on Windows.
    const bool system = SameText(m.account, kSystemAccount);
    PutDword(&data, system ? TokenElevationTypeDefault
                           : m.fullToken ? TokenElevationTypeFull : TokenElevationTypeLimited);
  } else if (informationClass == TokenUser) {
    // TOKEN_USER with the SID behind it, in the same buffer.
    sidAt = sizeof(TOKEN_USER);
    data.resize(sidAt);
    const std::vector<unsigned char> sid = SidOfAccount(m.account);
    data.insert(data.end(), sid.begin(), sid.end());
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *returnLength = static_cast<DWORD>(data.size());
  if (!information || length < data.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(information, data.data(), data.size());
  if (informationClass == TokenUser) {
    auto* user = static_cast<TOKEN_USER*>(information);
    user->User.Sid = static_cast<unsigned char*>(information) + sidAt;
    user->User.Attributes = 0;
  }
  return TRUE;
}

BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0, DWORD sub1,
                                     DWORD sub2, DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7,
                                     PSID* sid) {
  if (!authority || !sid || count == 0 || count > 8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD all[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
  const std::vector<unsigned char> bytes =
      MakeSid(authority->Value, std::vector<DWORD>(all, all + count));
  auto* copy = static_cast<unsigned char*>(std::malloc(bytes.size()));
  std::memcpy(copy, bytes.data(), bytes.size());
  *sid = copy;
  return TRUE;
}

BOOL WINAPI EqualSid(PSID first, PSID second) {
  if (!first || !second) return FALSE;
  const std::size_t length = SidLength(first);
  return length == SidLength(second) && std::memcmp(first, second, length) == 0;
}

PVOID WINAPI FreeSid(PSID sid) {
  std::free(sid);
  return nullptr;
}

BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* info) {
  if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  MachineState& m = Machine();
  info->hProcess = nullptr;
  std::string line = "ShellExecuteExA " + Verb(info->lpVerb) + " " +
                     (info->lpFile ? Quoted(info->lpFile) : std::string("NULL"));
  if (info->lpParameters) line += " params " + Quoted(info->lpParameters);
  line += " " + ShowCommandName(info->nShow);
  // Only "runas" of a program of the machine (most often the program
  // itself) is modelled.
  const ProgramEntry entry = !info->lpVerb || !SameText(info->lpVerb, "runas") || !info->lpFile ? nullptr
                             : SameText(info->lpFile, m.modulePath) && m.program ? m.program
                                                                                : ProgramOfFile(info->lpFile);
  if (!entry) {
    Emit(line + " = FALSE ERROR_FILE_NOT_FOUND (not a program of this machine)");
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  // A process with a full token is not asked again; otherwise the prompt
  // decides.
  if (!m.fullToken && m.settings.elevationRefused) {
    Emit(line + " = FALSE ERROR_CANCELLED (elevation refused)");
    SetLastError(ERROR_CANCELLED);
    return FALSE;
  }
  const std::string account =
      m.fullToken || m.settings.elevateAs.empty() ? m.account : m.settings.elevateAs;
  Emit(line + " = TRUE elevated as " + account);
  const int code = RunProcess(entry, info->lpFile, account, true, info->lpParameters ? info->lpParameters : "",
                              m.currentDirectory);
  Emit("child: exit " + std::to_string(code));
  if (info->fMask & SEE_MASK_NOCLOSEPROCESS) info->hProcess = EndedProcessHandle(code);
  info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(33));
  return TRUE;
}

}  // extern "C"
