// Running another program (osslsigncode) with an argument list, no shell,
// and collecting what it printed.
#pragma once

#include <string>
#include <vector>

namespace packer {

struct ProgramRun {
  bool started = false;  // false: the program could not be run (not installed)
  int exitStatus = -1;   // its exit status; -1 when it did not exit normally
  std::string output;    // standard output and standard error, interleaved
};

// Runs argv[0], found on PATH, with argv; standard input is empty.
ProgramRun RunProgram(const std::vector<std::string>& argv);

}  // namespace packer
