// Running a WinMain in a child process over a machine folder, with the
// transcript streamed back through a pipe: records "T<line>\n" for a
// transcript line and "A<answer>\n" for each answer taken.
#include "hostwin/runner.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "exit_report.h"
#include "machine.h"

namespace hostwin {

namespace {

void ReportAtExit() {
  ReportMemoryAtExit();
  ReportLibrariesAtExit();
  ReportMediaAtExit();
}

bool CopyIntoMachine(const std::string& folder, const std::string& hostFile, const std::string& windowsPath,
                     std::string* error) {
  std::ifstream in(hostFile, std::ios::binary);
  if (!in) {
    *error = hostFile + ": cannot be read";
    return false;
  }
  std::ostringstream bytes;
  // Inserting an empty stream buffer sets failbit: an empty file is copied
  // by creating it.
  if (in.peek() != std::ifstream::traits_type::eof()) bytes << in.rdbuf();
  const std::size_t slash = windowsPath.rfind('\\');
  if (slash == std::string::npos || !MakeMachineDirectories(folder, windowsPath.substr(0, slash)) ||
      !WriteEntry(ResolveMachinePath(folder, windowsPath.c_str()), bytes.str())) {
    *error = windowsPath + ": cannot be written into the machine";
    return false;
  }
  return true;
}

[[noreturn]] void RunChild(const RunOptions& options, WinMainFunction winMain, int channel) {
  std::string error;
  MachineState& m = Machine();
  m.channel = channel;
  if (!StartMachine(options.machineFolder, &error)) {
    Loud("machine: " + error);
    _exit(1);
  }
  m.modulePath = options.imageWindowsPath;
  m.resources = options.resources;
  m.answers = options.answers;
  m.program = winMain;
  m.showCommand = options.showCommand;
  // Programs are known by their files' contents, read as the run starts.
  std::string contents;
  if (ReadEntry(ResolvePath(m.modulePath.c_str()), &contents)) m.programs.push_back({contents, winMain});
  for (const ProgramFile& program : options.programs)
    if (ReadEntry(ResolvePath(program.windowsPath.c_str()), &contents)) m.programs.push_back({contents, program.entry});
  NoteRunningImage(m.modulePath);
  std::atexit(ReportAtExit);
  std::string commandLine = options.commandLine;
  ExitProgram(winMain(reinterpret_cast<HINSTANCE>(kProgramInstance), nullptr, &commandLine[0], options.showCommand));
}

double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The program's run as the runner sees it: its child process and the read
// end of the pipe its records arrive on.
struct Child {
  pid_t process = -1;
  int records = -1;
};

// What the records told and how the child ended.
struct ChildOutcome {
  bool timedOut = false;
  bool codeReported = false;
  long long reportedCode = 0;  // the whole exit code ("X<code>"), when reported
  int status = 0;              // waitpid's status
};

// Places the program's image into the machine; false with `error` set when
// the machine cannot be read or the image cannot be placed.
bool PrepareMachine(const RunOptions& options, std::string* error) {
  MachineSettings settings;
  return LoadMachineSettings(options.machineFolder, &settings, error) &&
         (options.imagePath.empty() ||
          CopyIntoMachine(options.machineFolder, options.imagePath, options.imageWindowsPath, error));
}

// Forks the child that runs `winMain`; false with `error` set when it cannot
// be started.
bool StartChild(const RunOptions& options, WinMainFunction winMain, Child* child, std::string* error) {
  int fds[2];
  if (pipe(fds) != 0) {
    *error = "no pipe";
    return false;
  }
  std::fflush(nullptr);  // nothing buffered may be written twice
  pid_t process = fork();
  if (process == 0) {
    close(fds[0]);
    RunChild(options, winMain, fds[1]);
  }
  close(fds[1]);
  if (process < 0) {
    close(fds[0]);
    *error = "cannot start the program";
    return false;
  }
  child->process = process;
  child->records = fds[0];
  return true;
}

// Takes the complete records at the front of `pending` and leaves the rest.
void TakeRecords(std::string* pending, RunResult* result, ChildOutcome* outcome) {
  std::size_t start = 0, end;
  while ((end = pending->find('\n', start)) != std::string::npos) {
    if (end > start) {
      const char kind = (*pending)[start];
      if (kind == 'T') {
        result->transcript.push_back(pending->substr(start + 1, end - start - 1));
      } else if (kind == 'A') {
        ++result->answersUsed;
      } else if (kind == 'X') {
        outcome->reportedCode = std::atoll(pending->c_str() + start + 1);
        outcome->codeReported = true;
      }
    }
    start = end + 1;
  }
  pending->erase(0, start);
}

// Reads the child's records until it closes the pipe or the time is up (then
// the child is killed), and waits for it to end.
ChildOutcome FollowChild(const Child& child, int timeoutSeconds, RunResult* result) {
  ChildOutcome outcome;
  std::string pending;
  const double deadline = Now() + timeoutSeconds;
  for (;;) {
    double left = deadline - Now();
    if (left <= 0) {
      outcome.timedOut = true;
      kill(child.process, SIGKILL);
      break;
    }
    pollfd readable{child.records, POLLIN, 0};
    int ready = poll(&readable, 1, static_cast<int>(left * 1000) + 1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[65536];
    ssize_t count = read(child.records, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(count));
    TakeRecords(&pending, result, &outcome);
  }
  close(child.records);
  while (waitpid(child.process, &outcome.status, 0) < 0 && errno == EINTR) {
  }
  return outcome;
}

// The runner's own closing lines: answers left over, then how the program
// ended; and the exit code.
void AddEndLines(const RunOptions& options, const ChildOutcome& outcome, RunResult* result) {
  if (result->answersUsed < options.answers.size()) {
    std::string left;
    for (std::size_t i = result->answersUsed; i < options.answers.size(); ++i)
      left += (left.empty() ? "" : ", ") + options.answers[i];
    result->transcript.push_back("!! answers left unused: " + left);
  }
  const int status = outcome.status;
  result->killed = !WIFEXITED(status) || outcome.timedOut;
  if (outcome.timedOut) {
    result->transcript.push_back("!! timed out after " + std::to_string(options.timeoutSeconds) + " s");
  } else if (WIFEXITED(status)) {
    result->exitCode = WEXITSTATUS(status);
    // The whole code when the runner was told it and it agrees with the status.
    if (outcome.codeReported && (outcome.reportedCode & 0xFF) == result->exitCode)
      result->exitCode = static_cast<int>(outcome.reportedCode);
    result->transcript.push_back("exit " + std::to_string(result->exitCode));
  } else if (WIFSIGNALED(status)) {
    result->transcript.push_back("!! killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
                                 strsignal(WTERMSIG(status)) + ")");
  }
}

}  // namespace

RunResult RunProgram(const RunOptions& options, WinMainFunction winMain) {
  RunResult result;
  std::string error;
  if (!PrepareMachine(options, &error)) {
    result.transcript.push_back("!! machine: " + error);
    result.loudErrors = 1;
    return result;
  }
  const MachineSnapshot before = TakeSnapshot(options.machineFolder);

  Child child;
  if (!StartChild(options, winMain, &child, &error)) {
    result.transcript.push_back("!! runner: " + error);
    result.loudErrors = 1;
    return result;
  }
  const ChildOutcome outcome = FollowChild(child, options.timeoutSeconds, &result);
  AddEndLines(options, outcome, &result);
  for (const std::string& line : result.transcript)
    if (line.compare(0, 3, "!! ") == 0) ++result.loudErrors;
  result.changes = CompareSnapshots(before, TakeSnapshot(options.machineFolder));
  return result;
}

std::string JoinTranscript(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::vector<unsigned char> ReadResourceFile(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) return {};
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace hostwin
