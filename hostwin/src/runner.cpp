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
  std::string target = MapPath(folder, windowsPath.c_str());
  for (std::size_t i = folder.size() + 1; i < target.size(); ++i) {
    if (target[i] == '/') mkdir(target.substr(0, i).c_str(), 0755);
  }
  std::ifstream in(hostFile, std::ios::binary);
  if (!in) {
    *error = hostFile + ": cannot be read";
    return false;
  }
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  // Inserting an empty stream buffer sets failbit: an empty file is copied
  // by creating it.
  if (in.peek() != std::ifstream::traits_type::eof()) out << in.rdbuf();
  if (!out) {
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
  std::atexit(ReportAtExit);
  std::string commandLine = options.commandLine;
  ExitProgram(winMain(reinterpret_cast<HINSTANCE>(kProgramInstance), nullptr, &commandLine[0], options.showCommand));
}

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

RunResult RunProgram(const RunOptions& options, WinMainFunction winMain) {
  RunResult result;
  std::string error;
  MachineSettings settings;
  if (!LoadMachineSettings(options.machineFolder, &settings, &error) ||
      (!options.imagePath.empty() &&
       !CopyIntoMachine(options.machineFolder, options.imagePath, options.imageWindowsPath, &error))) {
    result.transcript.push_back("!! machine: " + error);
    result.loudErrors = 1;
    return result;
  }
  const MachineSnapshot before = TakeSnapshot(options.machineFolder);

  int fds[2];
  if (pipe(fds) != 0) {
    result.transcript.push_back("!! runner: no pipe");
    result.loudErrors = 1;
    return result;
  }
  std::fflush(nullptr);  // nothing buffered may be written twice
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    RunChild(options, winMain, fds[1]);
  }
  close(fds[1]);
  if (child < 0) {
    close(fds[0]);
    result.transcript.push_back("!! runner: cannot start the program");
    result.loudErrors = 1;
    return result;
  }

  std::string pending;
  bool timedOut = false;
  long long reportedCode = 0;
  bool codeReported = false;
  const double deadline = Now() + options.timeoutSeconds;
  for (;;) {
    double left = deadline - Now();
    if (left <= 0) {
      timedOut = true;
      kill(child, SIGKILL);
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left * 1000) + 1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[65536];
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t start = 0, end;
    while ((end = pending.find('\n', start)) != std::string::npos) {
      if (end > start) {
        if (pending[start] == 'T') result.transcript.push_back(pending.substr(start + 1, end - start - 1));
        else if (pending[start] == 'A') ++result.answersUsed;
        else if (pending[start] == 'X') reportedCode = std::atoll(pending.c_str() + start + 1), codeReported = true;
      }
      start = end + 1;
    }
    pending.erase(0, start);
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }

  if (result.answersUsed < options.answers.size()) {
    std::string left;
    for (std::size_t i = result.answersUsed; i < options.answers.size(); ++i)
      left += (left.empty() ? "" : ", ") + options.answers[i];
    result.transcript.push_back("!! answers left unused: " + left);
  }
  result.killed = !WIFEXITED(status) || timedOut;
  if (timedOut) {
    result.transcript.push_back("!! timed out after " + std::to_string(options.timeoutSeconds) + " s");
  } else if (WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
    // The whole code when the runner was told it and it agrees with the status.
    if (codeReported && (reportedCode & 0xFF) == result.exitCode) result.exitCode = static_cast<int>(reportedCode);
    result.transcript.push_back("exit " + std::to_string(result.exitCode));
  } else if (WIFSIGNALED(status)) {
    result.transcript.push_back("!! killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
                                strsignal(WTERMSIG(status)) + ")");
  }
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
