// Accounts and elevation: the process's token (whose account, elevated or
// not), SIDs, and ShellExecuteExA "runas" of the program itself, which runs
// the program again as a new process under the elevating account.
//
// The new process is a fork of this one that calls the program's entry
// again with the child's command line, account and a full token. It runs to
// its end inside ShellExecuteExA: this process waits for it anyway
// (WaitForSingleObject), and one user answers both in turn, so the order of
// the transcript is the order on Windows. Its records arrive through a pipe
// of their own: its transcript lines are passed on marked "child: ", its
// answers are counted as this process's too, and its exit code is kept for
// GetExitCodeProcess. Every registry change reaches registry.reg at once and
// files and system.ini are the machine's own, so the child starts from what
// this process wrote; afterwards this process reads the registry afresh.
#include <shellapi.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include "machine.h"
#include "names.h"

namespace hostwin {

namespace {

constexpr std::uintptr_t kTokenHandle = 0x6000;   // the process's token
constexpr std::uintptr_t kProcessBase = 0x7000;   // processes started, from 0x7001
constexpr std::uintptr_t kCurrentProcess = static_cast<std::uintptr_t>(-1);

// Relative ids of the accounts' SIDs, S-1-5-21-<machine>-<rid>: local
// accounts count from 1000, as on Windows.
constexpr DWORD kMachineId[3] = {1844216611u, 3206571082u, 2743251218u};
constexpr DWORD kFirstAccountRid = 1000;

struct Processes {
  std::map<std::uintptr_t, int> exitCodes;  // ended processes by handle
  std::uintptr_t next = kProcessBase + 1;
  bool tokenOpen = false;
};

Processes& Started() {
  static auto& processes = *new Processes;
  return processes;
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

// Reads the child's records until it closes its end, passing them on, and
// returns its whole exit code (-1 when it reported none).
int FollowChild(int records) {
  std::string pending;
  int code = -1;
  char buffer[4096];
  for (;;) {
    const ssize_t count = read(records, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(count));
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      const std::string record = pending.substr(1, end - 1);
      const char kind = pending[0];
      pending.erase(0, end + 1);
      if (kind == 'T') {
        Emit("child: " + record);
      } else if (kind == 'A') {
        TakeAnswer();  // the same answer, counted once more up the chain
      } else if (kind == 'X') {
        code = std::atoi(record.c_str());
      }
    }
  }
  return code;
}

// Runs the program's entry in a new process as `account` with a full
// token; returns its exit code.
int RunElevatedChild(const std::string& account, const std::string& parameters) {
  MachineState& m = Machine();
  int fds[2];
  if (pipe(fds) != 0) return -1;
  std::fflush(nullptr);
  const pid_t process = fork();
  if (process == 0) {
    close(fds[0]);
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives the program that waits for it
    m.channel = fds[1];
    m.account = account;
    m.fullToken = true;
    m.lastError = 0;
    m.bytesWritten = 0;
    m.localAllocCalls = m.globalAllocCalls = m.liveBlocks = 0;
    Started() = Processes();
    ForgetRegistry();
    std::string commandLine = parameters;
    ExitProgram(m.program(reinterpret_cast<HINSTANCE>(kProgramInstance), nullptr, &commandLine[0],
                          m.showCommand));
  }
  close(fds[1]);
  if (process < 0) {
    close(fds[0]);
    return -1;
  }
  int code = FollowChild(fds[0]);
  close(fds[0]);
  int status = 0;
  while (waitpid(process, &status, 0) < 0 && errno == EINTR) {
  }
  ForgetRegistry();  // what the child wrote
  // The whole code when the child told it and its status agrees.
  if (!WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == (code & 0xFF) ? code : WEXITSTATUS(status);
}

}  // namespace

bool CloseAccountHandle(HANDLE object) {
  const auto value = reinterpret_cast<std::uintptr_t>(object);
  if (value == kTokenHandle && Started().tokenOpen) {
    Started().tokenOpen = false;
    return true;
  }
  return Started().exitCodes.erase(value) > 0;
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
  Started().tokenOpen = true;
  *token = reinterpret_cast<HANDLE>(kTokenHandle);
  return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS informationClass, LPVOID information,
                                DWORD length, PDWORD returnLength) {
  const MachineState& m = Machine();
  if (reinterpret_cast<std::uintptr_t>(token) != kTokenHandle || !Started().tokenOpen || !returnLength) {
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
  // Only the program starting itself elevated is modelled.
  const bool runasSelf = info->lpVerb && SameText(info->lpVerb, "runas") && info->lpFile &&
                         SameText(info->lpFile, m.modulePath) && m.program != nullptr;
  if (!runasSelf) {
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
  const int code = RunElevatedChild(account, info->lpParameters ? info->lpParameters : "");
  Emit("child: exit " + std::to_string(code));
  const std::uintptr_t handle = Started().next++;
  if (info->fMask & SEE_MASK_NOCLOSEPROCESS) {
    Started().exitCodes[handle] = code;
    info->hProcess = reinterpret_cast<HANDLE>(handle);
  }
  info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(33));
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD /*milliseconds*/) {
  // A started process has already ended (see above).
  if (Started().exitCodes.count(reinterpret_cast<std::uintptr_t>(object)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return WAIT_OBJECT_0;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
  auto it = Started().exitCodes.find(reinterpret_cast<std::uintptr_t>(process));
  if (it == Started().exitCodes.end() || !exitCode) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = static_cast<DWORD>(it->second);
  return TRUE;
}

}  // extern "C"
