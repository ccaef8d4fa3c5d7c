// saverkit identify -r over a folder of 10,000 files that are no installer
// (text, zeros, noise, DOS programs without a PE header), the built program
// run as a child process with its output discarded, after one warm-up run
// so that the files come from the page cache. The goal is at least 10,000
// files per second: `ratio` is files per second / 10,000, `goal_at_least`
// the 1 it must reach.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 10000;

// 100 folders of 100 files, as a download folder or an archive might hold.
const fs::path& Folder() {
  static const fs::path folder = [] {
    const std::string pattern = (benchsupport::ScratchFolder() / "files").string();
    std::mt19937 random(7);
    for (int i = 0; i < kFiles; ++i) {
      const fs::path sub = fs::path(pattern) / std::to_string(i / 100);
      fs::create_directories(sub);
      std::string bytes;
      switch (i % 4) {
        case 0: bytes = "Nothing to see here, only a line of text.\n"; break;
        case 1: bytes.assign(4096, '\0'); break;
        case 2:
          for (int b = 0; b < 2000; ++b) bytes += static_cast<char>(random());
          break;
        default:
          // A DOS program: MZ, and e_lfanew pointing at no PE signature.
          bytes.assign(512, '\0');
          bytes[0] = 'M';
          bytes[1] = 'Z';
          bytes[0x3C] = 0x40;
          break;
      }
      std::ofstream(sub / ("file" + std::to_string(i)), std::ios::binary) << bytes;
    }
    return fs::path(pattern);
  }();
  return folder;
}

int RunIdentify() {
  return benchsupport::RunChild({SAVERKIT_TOOL, "identify", "-r", Folder().string()}).status;
}

void BM_IdentifyNonInstallers(benchmark::State& state) {
  if (RunIdentify() != 0) {  // the warm-up run
    state.SkipWithError("identify failed");
    return;
  }
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int status = RunIdentify();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(elapsed);
    seconds += elapsed;
    if (status != 0) {
      state.SkipWithError(("exit status " + std::to_string(status)).c_str());
      break;
    }
  }
  const double filesPerSecond = seconds > 0 ? kFiles * static_cast<double>(state.iterations()) / seconds : 0;
  state.counters["files_per_second"] = filesPerSecond;
  state.counters["ratio"] = filesPerSecond / 10000;
  state.counters["goal_at_least"] = 1;
}
BENCHMARK(BM_IdentifyNonInstallers)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) { return benchsupport::BenchMain(argc, argv); }
