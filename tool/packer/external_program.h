// Running another program (osslsigncode) with an argument list, no shell,
// under a time limit, and collecting what it printed.
#pragma once

#include <string>
#include <vector>

namespace packer {

struct ProgramRun {
  bool started = false;   // false: the program could not be run (not installed)
  bool timedOut = false;  // it was still running at the time limit, and was killed
  int exitStatus = -1;    // its exit status; -1 when it did not exit normally
  std::string output;     // standard output and standard error, interleaved (the last 64 KiB)
};

// The most standard input RunProgram takes: what a pipe takes in one
// write (PIPE_BUF on Linux), so that it is written before the program
// starts and nothing blocks on it.
constexpr std::size_t kMaxProgramInput = 4096;

// Runs argv[0], found on PATH, with argv, in a process group of its own;
// `input` (at most kMaxProgramInput bytes) is its whole standard input, so
// that a secret never shows on a command line. After `timeoutSeconds` the
// group is killed (SIGKILL) and the program reaped, and timedOut is set.
// Under an InterruptionGuard, SIGINT or SIGTERM kills and reaps it too, and
// Interrupted is thrown.
ProgramRun RunProgram(const std::vector<std::string>& argv, const std::string& input, unsigned timeoutSeconds);

}  // namespace packer
