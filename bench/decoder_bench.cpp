// Decoding speed: the real decoder against the plain bit-at-a-time one, on
// 1.5 MB of mixed data (executable-like, text, sound) compressed with the
// best level. Both must give the same bytes; the run stops if they differ.
// Throughput is in decoded bytes per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "baseline_decoder.h"
#include "core/codec/entry_encoder.h"
#include "installer/byte_streams.h"
#include "core/codec/memory_streams.h"
#include "sample_data.h"

using codec::CompressEntry;
using codec::CompressionLevel;
using codec::DecodeToBuffer;
using codec::DecoderState;
using installer::DecodeEntry;
using installer::ReadPtr;
using installer::WritePtr;
using samples::MakeMixedSample;
namespace baseline = samples::baseline;

namespace {

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

void BM_BaselineDecoder(benchmark::State& state) {
  const Entry& e = Mixed();
  std::vector<std::uint8_t> out(e.data.size() + 32);
  for (auto _ : state) {
    baseline::Decode(e.stream.data(), static_cast<std::uint32_t>(e.stream.size()), out.data(),
                     static_cast<std::uint32_t>(e.data.size()));
    benchmark::DoNotOptimize(out.data());
  }
  Check(std::equal(e.data.begin(), e.data.end(), out.begin()), "baseline");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * e.data.size()));
}

void BM_Decoder(benchmark::State& state) {
  const Entry& e = Mixed();
  std::vector<std::uint8_t> out(e.data.size());
  auto decoder = std::make_unique<DecoderState>();
  for (auto _ : state) {
    DecodeToBuffer(*decoder, e.stream.data(), e.stream.size(),
                   static_cast<std::uint32_t>(e.stream.size()),
                   static_cast<std::uint32_t>(e.data.size()), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  Check(out == e.data, "decoder");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * e.data.size()));
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

BENCHMARK(BM_BaselineDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecoderThroughFileStreams)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
