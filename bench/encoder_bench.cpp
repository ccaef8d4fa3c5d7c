// The encoder: the best parse against the greedy one (the classic one-pass
// longest-match parse, CompressionLevel::kGreedy), both measured in the same
// run.
//
//   BM_BestVsGreedySize/<file>  ratio = best stream bytes / greedy stream bytes
//   BM_BestVsGreedyTime/<file>  ratio = best encoding time / greedy's (the
//                               least CPU time of several rounds of each)
//   BM_Encode/data/level        throughput of each level on generated data
//
// The corpus is real: the win32 build's saverkit.exe (PE32), the host build's
// saverkit (ELF) and the project's own documents (README.md, docs/ and the
// manual page, one after another), with the 3 MB mixed sample for the time.
// A file that is absent (say, no win32 build) skips its figure with a line
// that says which file and why. Every stream is decoded back and compared.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/codec/entry_encoder.h"
#include "core/codec/memory_streams.h"
#include "sample_data.h"

using codec::CompressEntry;
using codec::CompressionLevel;
using samples::MakeExecutableLike;
using samples::MakeMixedSample;
using samples::MakeTextLike;
using samples::MakeWaveLike;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Goals of the best parse against greedy: sizes per kind of file, and time.
constexpr double kExecutableSizeGoal = 0.95;
constexpr double kTextSizeGoal = 0.92;
constexpr double kTimeGoal = 4.0;

struct CorpusFile {
  std::string name;
  std::vector<std::string> paths;  // concatenated
  double sizeGoal;
};

const std::vector<CorpusFile>& Corpus() {
  static const std::vector<CorpusFile> corpus = {
      {"saverkit.exe (PE32)", {SAVERKIT_WIN32_TOOL}, kExecutableSizeGoal},
      {"saverkit (ELF)", {SAVERKIT_HOST_TOOL}, kExecutableSizeGoal},
      {"documents (text)",
       {SAVERKIT_SOURCE_DIR "/README.md", SAVERKIT_SOURCE_DIR "/docs/ARCHITECTURE.md",
        SAVERKIT_SOURCE_DIR "/docs/saverkit.1.in"},
       kTextSizeGoal},
  };
  return corpus;
}

// The file's bytes, or an empty vector with `missing` naming what is absent.
Bytes Load(const CorpusFile& file, std::string& missing) {
  Bytes all;
  for (const std::string& path : file.paths) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      missing = path + " is absent";
      return {};
    }
    all.insert(all.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (all.empty()) missing = file.paths.front() + " is empty";
  return all;
}

bool DecodesBack(const Bytes& stream, const Bytes& data) {
  auto state = std::make_unique<codec::DecoderState>();
  Bytes out(data.size() + 32);
  codec::DecodeToBuffer(*state, stream.data(), stream.size(), static_cast<std::uint32_t>(stream.size()),
                        static_cast<std::uint32_t>(data.size()), out.data());
  return std::equal(data.begin(), data.end(), out.begin());
}

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

void BM_BestVsGreedySize(benchmark::State& state, const CorpusFile& file) {
  std::string missing;
  const Bytes data = Load(file, missing);
  if (data.empty()) {
    state.SkipWithError((file.name + ": skipped, " + missing).c_str());
    return;
  }
  Bytes greedy, best;
  for (auto _ : state) {
    greedy = CompressEntry(data.data(), data.size(), CompressionLevel::kGreedy);
    best = CompressEntry(data.data(), data.size(), CompressionLevel::kBest);
  }
  if (!DecodesBack(greedy, data) || !DecodesBack(best, data)) {
    state.SkipWithError((file.name + ": a stream does not decode to the file").c_str());
    return;
  }
  state.counters["file_bytes"] = static_cast<double>(data.size());
  state.counters["greedy_bytes"] = static_cast<double>(greedy.size());
  state.counters["best_bytes"] = static_cast<double>(best.size());
  state.counters["ratio"] = static_cast<double>(best.size()) / static_cast<double>(greedy.size());
  state.counters["goal_at_most"] = file.sizeGoal;
}

// Greedy and best alternate, so that both see the same load; the least time
// of each is the one least disturbed by the rest of the machine.
void TimeRatio(benchmark::State& state, const Bytes& data) {
  double greedyTime = 1e30, bestTime = 1e30;
  for (auto _ : state) {
    double start = CpuSeconds();
    benchmark::DoNotOptimize(CompressEntry(data.data(), data.size(), CompressionLevel::kGreedy));
    greedyTime = std::min(greedyTime, CpuSeconds() - start);
    start = CpuSeconds();
    benchmark::DoNotOptimize(CompressEntry(data.data(), data.size(), CompressionLevel::kBest));
    bestTime = std::min(bestTime, CpuSeconds() - start);
  }
  state.counters["file_bytes"] = static_cast<double>(data.size());
  state.counters["greedy_ms"] = greedyTime * 1e3;
  state.counters["best_ms"] = bestTime * 1e3;
  state.counters["ratio"] = bestTime / greedyTime;
  state.counters["goal_at_most"] = kTimeGoal;
}

void BM_BestVsGreedyTimeMixed(benchmark::State& state) {
  static const Bytes mixed = MakeMixedSample(3 << 20, 2026);
  TimeRatio(state, mixed);
}

void BM_BestVsGreedyTimePE32(benchmark::State& state) {
  std::string missing;
  const Bytes data = Load(Corpus().front(), missing);
  if (data.empty()) {
    state.SkipWithError(("saverkit.exe: skipped, " + missing).c_str());
    return;
  }
  TimeRatio(state, data);
}

const Bytes& Sample(int kind) {
  static const Bytes samples[] = {MakeExecutableLike(1024 * 1024, 77), MakeTextLike(1024 * 1024, 78),
                                  MakeWaveLike(1024 * 1024, 79)};
  return samples[kind];
}

const char* const kKindNames[] = {"executable", "text", "wave"};

void BM_Encode(benchmark::State& state) {
  const Bytes& data = Sample(static_cast<int>(state.range(0)));
  const auto level = static_cast<CompressionLevel>(state.range(1));
  std::size_t size = 0;
  for (auto _ : state) {
    size = CompressEntry(data.data(), data.size(), level).size();
    benchmark::DoNotOptimize(size);
  }
  state.SetLabel(kKindNames[state.range(0)]);
  state.counters["stream_bytes"] = static_cast<double>(size);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

const int kRegistered = [] {
  for (const CorpusFile& file : Corpus())
    benchmark::RegisterBenchmark(("BM_BestVsGreedySize/" + file.name).c_str(), BM_BestVsGreedySize, file)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  return 0;
}();

}  // namespace

BENCHMARK(BM_BestVsGreedyTimeMixed)->Name("BM_BestVsGreedyTime/mixed sample 3 MiB")->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BestVsGreedyTimePE32)->Name("BM_BestVsGreedyTime/saverkit.exe (PE32)")->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode)
    ->ArgsProduct({{0, 1, 2},
                   {static_cast<int>(CompressionLevel::kGreedy),
                    static_cast<int>(CompressionLevel::kLazy),
                    static_cast<int>(CompressionLevel::kBest)}})
    ->ArgNames({"data", "level"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
