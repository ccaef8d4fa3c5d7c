// Running a program through posix_spawn with its output in a pipe, waiting
// for it with poll() against a deadline and the interruption self-pipe.
#include "tool/packer/external_program.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "tool/packer/interruption.h"

extern char** environ;
#endif

namespace packer {

#ifdef _WIN32

// The Windows build of the tool does not run other programs.
ProgramRun RunProgram(const std::vector<std::string>&, const std::string&, unsigned) { return ProgramRun{}; }

#else

namespace {

// Output kept for the error message: its last line is what counts.
constexpr std::size_t kKeptOutput = 64 * 1024;
// How often a running program is looked at for having exited while
// something else (a program it started) holds its output open.
constexpr int kExitPollMilliseconds = 100;

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// The started program: until it is reaped, leaving the scope (the time
// limit, an interruption, any exception) kills its whole group and reaps it.
class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid) {}
  ~Child() { KillAndReap(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // True once it exited; `status` is its wait status.
  bool Exited(int* status) {
    const pid_t got = waitpid(pid_, status, WNOHANG);
    if (got == 0 || (got < 0 && errno == EINTR)) return false;
    // One that cannot be waited for (SIGCHLD ignored) counts as killed.
    if (got < 0) *status = SIGKILL;
    pid_ = -1;
    return true;
  }
  void KillAndReap() {
    if (pid_ <= 0) return;
    // The group is there while its leader is not reaped.
    kill(-pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }

 private:
  pid_t pid_;
};

void Append(std::string& output, const char* bytes, std::size_t size) {
  output.append(bytes, size);
  if (output.size() > 2 * kKeptOutput) output.erase(0, output.size() - kKeptOutput);
}

// Reads what is there; false at the end of the output (or a read error).
bool ReadAvailable(int fd, std::string& output) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      Append(output, buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    return got < 0 && errno == EAGAIN;
  }
}

}  // namespace

ProgramRun RunProgram(const std::vector<std::string>& argv, const std::string& input, unsigned timeoutSeconds) {
  ProgramRun run;
  if (argv.empty() || input.size() > kMaxProgramInput) return run;
  int outputEnds[2], inputEnds[2];
  if (pipe2(outputEnds, O_CLOEXEC) != 0) return run;
  Descriptor outputRead(outputEnds[0]), outputWrite(outputEnds[1]);
  if (pipe2(inputEnds, O_CLOEXEC) != 0) return run;
  Descriptor inputRead(inputEnds[0]), inputWrite(inputEnds[1]);
  // The whole input fits in the pipe: written now, then the end closed, so
  // the program reads it and then the end of its input.
  if (!input.empty() && write(inputWrite.get(), input.data(), input.size()) != static_cast<ssize_t>(input.size()))
    return run;
  inputWrite.Close();
  fcntl(outputRead.get(), F_SETFL, fcntl(outputRead.get(), F_GETFL) | O_NONBLOCK);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, inputRead.get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, outputWrite.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, outputWrite.get(), STDERR_FILENO);
  // Its own process group: the time limit kills whatever it started too,
  // and a terminal's Ctrl-C reaches only saverkit, which kills it.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  outputWrite.Close();
  inputRead.Close();
  if (spawned != 0) return run;

  Child child(pid);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  bool outputOpen = true;
  int status = 0;
  for (;;) {
    ThrowIfInterrupted();
    if (child.Exited(&status)) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      child.KillAndReap();
      run.timedOut = true;
      return run;
    }
    pollfd waits[2] = {{outputOpen ? outputRead.get() : -1, POLLIN, 0},
                       {InterruptionWakeDescriptor(), POLLIN, 0}};
    // While the output is open, its end or a signal wakes the loop; the
    // exit itself is looked for at least every kExitPollMilliseconds.
    const int wait = static_cast<int>(std::min<long long>(left.count(), kExitPollMilliseconds));
    if (poll(waits, 2, wait) > 0 && outputOpen && (waits[0].revents & (POLLIN | POLLHUP | POLLERR)))
      outputOpen = ReadAvailable(outputRead.get(), run.output);
  }
  if (outputOpen) ReadAvailable(outputRead.get(), run.output);
  if (run.output.size() > kKeptOutput) run.output.erase(0, run.output.size() - kKeptOutput);
  // C libraries that report a failed exec only through the child give it
  // exit status 127 and no output.
  run.started = !(WIFEXITED(status) && WEXITSTATUS(status) == 127 && run.output.empty());
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

#endif

}  // namespace packer
