// Decoding in process, memory to memory: the decoder core against the plain
// bit-at-a-time decoder of samples/, on 1.5 MB of mixed data (executable-
// like, text, sound) compressed with the best level. Each iteration runs
// both on the same stream and times each on the thread's CPU clock, so the
// ratio compares them under the same load; both must give the input back.
// Counters: ratio (plain time / core time) and goal_at_least.
//
// Also the bound that the format's model sets: the plain decoder's model
// update alone, run over the stream's symbols with no decoding at all
// (update_ms). No decoder that counts symbols that way can beat the plain
// one by more than update_ceiling = plain_ms / update_ms.
//
// Also the installer's path: fread and fwrite through its 16 KB streams.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "baseline_decoder.h"
#include "core/codec/entry_encoder.h"
#include "core/codec/memory_streams.h"
#include "installer/byte_streams.h"
#include "sample_data.h"
#include "thread_clock.h"

using codec::CompressEntry;
using codec::CompressionLevel;
using codec::DecodeToBuffer;
using codec::DecoderState;
using installer::DecodeEntry;
using installer::ReadPtr;
using installer::WritePtr;
using samples::MakeMixedSample;
using benchsupport::ThreadSeconds;
namespace baseline = samples::baseline;

namespace {

constexpr double kInProcessGoal = 3.0;

struct Entry {
  std::vector<std::uint8_t> data;
  std::vector<std::uint8_t> stream;
};

const Entry& Mixed() {
  static const Entry entry = [] {
    Entry e;
    e.data = MakeMixedSample(1536 * 1024, 2024);
    e.stream = CompressEntry(e.data.data(), e.data.size(), CompressionLevel::kBest);
    return e;
  }();
  return entry;
}

void Check(bool sound, const char* what) {
  if (!sound) {
    std::fprintf(stderr, "%s: decoded bytes differ from the input\n", what);
    std::exit(1);
  }
}

void BM_InProcessDecodingVsPlain(benchmark::State& state) {
  const Entry& e = Mixed();
  const auto expanded = static_cast<std::uint32_t>(e.data.size());
  const auto stored = static_cast<std::uint32_t>(e.stream.size());
  std::vector<std::uint8_t> plainOut(e.data.size() + 32);
  std::vector<std::uint8_t> out(e.data.size());
  auto decoder = std::make_unique<DecoderState>();
  std::vector<std::uint16_t> symbols;
  baseline::Decode(e.stream.data(), stored, plainOut.data(), expanded, &symbols);
  double plainSeconds = 0, coreSeconds = 0, updateSeconds = 0;
  for (auto _ : state) {
    const double t0 = ThreadSeconds();
    baseline::Decode(e.stream.data(), stored, plainOut.data(), expanded);
    benchmark::DoNotOptimize(plainOut.data());
    const double t1 = ThreadSeconds();
    DecodeToBuffer(*decoder, e.stream.data(), e.stream.size(), stored, expanded, out.data());
    benchmark::DoNotOptimize(out.data());
    const double t2 = ThreadSeconds();
    baseline::StartModel();
    for (const std::uint16_t symbol : symbols) baseline::Update(symbol);
    benchmark::DoNotOptimize(baseline::freq);
    const double t3 = ThreadSeconds();
    plainSeconds += t1 - t0;
    coreSeconds += t2 - t1;
    updateSeconds += t3 - t2;
  }
  Check(std::equal(e.data.begin(), e.data.end(), plainOut.begin()), "plain decoder");
  Check(out == e.data, "decoder core");
  const double n = static_cast<double>(state.iterations());
  state.counters["plain_ms"] = plainSeconds / n * 1e3;
  state.counters["core_ms"] = coreSeconds / n * 1e3;
  state.counters["update_ms"] = updateSeconds / n * 1e3;
  state.counters["update_ceiling"] = plainSeconds / updateSeconds;
  state.counters["core_mb_per_s"] = static_cast<double>(e.data.size()) * n / coreSeconds / 1e6;
  state.counters["ratio"] = plainSeconds / coreSeconds;
  state.counters["goal_at_least"] = kInProcessGoal;
}

// The installer's path: fread and fwrite through the 16 KB streams, from a
// temporary file into /dev/null.
void BM_DecoderThroughFileStreams(benchmark::State& state) {
  const Entry& e = Mixed();
  std::FILE* image = std::tmpfile();
  std::fwrite(e.stream.data(), 1, e.stream.size(), image);
  std::FILE* sink = fopen("/dev/null", "wb");
  for (auto _ : state) {
    std::fseek(image, 0, SEEK_SET);
    ReadPtr(nullptr, 0);
    WritePtr(nullptr, 0, 0);
    benchmark::DoNotOptimize(DecodeEntry(image, sink, static_cast<std::uint32_t>(e.data.size()),
                                         static_cast<std::uint32_t>(e.stream.size())));
  }
  std::fclose(sink);
  std::fclose(image);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * e.data.size()));
}

}  // namespace

BENCHMARK(BM_InProcessDecodingVsPlain)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DecoderThroughFileStreams)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
