// Encoder size and speed per level on executable-like data, text and sound.
// The counters give the stream size and its ratio to the greedy parse's.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/codec/entry_encoder.h"
#include "sample_data.h"

using codec::CompressEntry;
using codec::CompressionLevel;
using samples::MakeExecutableLike;
using samples::MakeTextLike;
using samples::MakeWaveLike;

namespace {

const std::vector<std::uint8_t>& Sample(int kind) {
  static const std::vector<std::uint8_t> samples[] = {
      MakeExecutableLike(1024 * 1024, 77), MakeTextLike(1024 * 1024, 78),
      MakeWaveLike(1024 * 1024, 79)};
  return samples[kind];
}

const char* const kKindNames[] = {"executable", "text", "wave"};

void BM_Encode(benchmark::State& state) {
  const auto& data = Sample(static_cast<int>(state.range(0)));
  const auto level = static_cast<CompressionLevel>(state.range(1));
  std::size_t size = 0;
  for (auto _ : state) {
    size = CompressEntry(data.data(), data.size(), level).size();
    benchmark::DoNotOptimize(size);
  }
  const std::size_t greedy =
      CompressEntry(data.data(), data.size(), CompressionLevel::kGreedy).size();
  state.SetLabel(kKindNames[state.range(0)]);
  state.counters["stream_bytes"] = static_cast<double>(size);
  state.counters["vs_greedy"] = static_cast<double>(size) / static_cast<double>(greedy);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}

}  // namespace

BENCHMARK(BM_Encode)
    ->ArgsProduct({{0, 1, 2},
                   {static_cast<int>(CompressionLevel::kGreedy),
                    static_cast<int>(CompressionLevel::kLazy),
                    static_cast<int>(CompressionLevel::kBest)}})
    ->ArgNames({"data", "level"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
