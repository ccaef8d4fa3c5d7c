// What the benchmarks that run whole programs share: a scratch folder for
// the program's files, one child run measured (exit status, CPU and wall
// time, peak memory), and a main that removes the folder afterwards.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace benchsupport {

// A fresh folder under the temporary directory, made on first use;
// BenchMain removes it when the benchmarks are done.
const std::filesystem::path& ScratchFolder();

struct ChildRun {
  int status = 0;            // the exit status, or 128 + the signal
  double cpuSeconds = 0;     // user + system time of the child (wait4)
  double wallSeconds = 0;
  double peakMegabytes = 0;  // the child's peak resident memory
};

// Runs argv[0] with the rest as its arguments, its output discarded.
ChildRun RunChild(const std::vector<std::string>& argv);

// Google Benchmark's main, then the scratch folder removed.
int BenchMain(int argc, char** argv);

}  // namespace benchsupport
