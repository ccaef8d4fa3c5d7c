// Processes: programs of the machine started by CreateProcessA (and by
// ShellExecuteExA "runas", accounts.cpp), each a fork of this process that
// calls the program's entry with its own command line, module file name,
// account and token.
//
// Which file is which program: the runner is given a table of program
// files (RunOptions::programs); each is known by its contents, so a copy
// of it (the uninstaller's in the temporary directory) runs the same entry.
// A start of any other file fails with ERROR_FILE_NOT_FOUND and a line
// that says so.
//
// The new process runs to its end inside the call that started it: the
// programs that start one wait for it anyway (WaitForSingleObject), and one
// user answers both in turn, so the order of the transcript is the order on
// Windows. Its records arrive through a pipe of their own: its transcript
// lines are passed on marked "child: ", its answers are counted as this
// process's too, and its exit code is kept for GetExitCodeProcess. Every
// registry change reaches registry.reg at once and files and system.ini are
// the machine's own, so the child starts from what this process wrote;
// afterwards this process reads the registry afresh.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "machine.h"
#include "names.h"

namespace hostwin {

namespace {

constexpr std::uintptr_t kProcessBase = 0x7000;  // processes started, from 0x7001

struct Processes {
  std::map<std::uintptr_t, int> exitCodes;  // ended processes (and their threads) by handle
  std::uintptr_t next = kProcessBase + 1;
};

Processes& Started() {
  static auto& processes = *new Processes;
  return processes;
}

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

// The arguments WinMain receives: the command line without the program's
// name (quoted or not) and the blanks after it.
std::string ArgumentsOf(const char* commandLine) {
  const char* at = commandLine;
  while (*at == ' ' || *at == '\t') ++at;
  if (*at == '"') {
    ++at;
    while (*at && *at != '"') ++at;
    if (*at == '"') ++at;
  } else {
    while (*at && *at != ' ' && *at != '\t') ++at;
  }
  while (*at == ' ' || *at == '\t') ++at;
  return at;
}

}  // namespace

ProgramEntry ProgramOfFile(const std::string& windowsPath) {
  std::string contents;
  if (!ReadEntry(ResolvePath(windowsPath.c_str()), &contents)) return nullptr;
  for (const MachineState::KnownProgram& program : Machine().programs)
    if (program.contents == contents) return program.entry;
  return nullptr;
}

void NoteRunningImage(const std::string& windowsPath) {
  struct stat status;
  if (StatEntry(ResolvePath(windowsPath.c_str()), &status))
    Machine().runningImages.emplace_back(status.st_dev, status.st_ino);
}

bool IsRunningImage(const MachineEntry& entry) {
  struct stat status;
  if (!StatEntry(entry, &status)) return false;
  for (const auto& image : Machine().runningImages)
    if (image.first == status.st_dev && image.second == status.st_ino) return true;
  return false;
}

int RunProcess(ProgramEntry entry, const std::string& modulePath, const std::string& account, bool fullToken,
               const std::string& arguments, const std::string& currentDirectory) {
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
    m.fullToken = fullToken;
    m.modulePath = modulePath;
    m.program = entry;
    m.currentDirectory = currentDirectory;
    m.lastError = 0;
    m.bytesWritten = 0;
    m.localAllocCalls = m.globalAllocCalls = m.liveBlocks = 0;
    Started() = Processes();
    NoteRunningImage(modulePath);
    ForgetRegistry();
    std::string commandLine = arguments;
    ExitProgram(entry(reinterpret_cast<HINSTANCE>(kProgramInstance), nullptr, &commandLine[0], m.showCommand));
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

HANDLE EndedProcessHandle(int code) {
  const std::uintptr_t handle = Started().next++;
  Started().exitCodes[handle] = code;
  return reinterpret_cast<HANDLE>(handle);
}

bool CloseProcessHandle(HANDLE object) { return Started().exitCodes.erase(reinterpret_cast<std::uintptr_t>(object)) > 0; }

}  // namespace hostwin

using namespace hostwin;

extern "C" {

BOOL WINAPI CreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES /*processAttributes*/,
                           LPSECURITY_ATTRIBUTES /*threadAttributes*/, BOOL /*inheritHandles*/,
                           DWORD /*creationFlags*/, LPVOID /*environment*/, LPCSTR currentDirectory,
                           LPSTARTUPINFOA startupInfo, LPPROCESS_INFORMATION information) {
  if (!application || !startupInfo || !information) {
    // Only the form the programs use: the program named, its line given.
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  MachineState& m = Machine();
  const std::string line = commandLine ? commandLine : "";
  std::string record = "CreateProcessA " + Quoted(application) + " " + Quoted(line);
  if (currentDirectory) record += " dir " + Quoted(currentDirectory);
  const ProgramEntry entry = ProgramOfFile(application);
  if (!entry) {
    Emit(record + " = FALSE ERROR_FILE_NOT_FOUND (not a program of this machine)");
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  Emit(record + " = TRUE");
  const int code = RunProcess(entry, application, m.account, m.fullToken, ArgumentsOf(line.c_str()),
                              currentDirectory ? currentDirectory : m.currentDirectory);
  Emit("child: exit " + std::to_string(code));
  information->hProcess = EndedProcessHandle(code);
  information->hThread = EndedProcessHandle(code);
  information->dwProcessId = information->dwThreadId = 0;
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

// Nothing waits in the stand-in: the programs' retries after a short pause
// run at once.
void WINAPI Sleep(DWORD /*milliseconds*/) {}

}  // extern "C"
