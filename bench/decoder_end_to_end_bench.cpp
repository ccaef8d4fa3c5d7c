// Decoding end to end, as whole processes: `saverkit test` on an image of
// about 12.8 MB against the plain decoder program (plain_decoder_main.cpp:
// getc/putc, one bit per tree level) decoding the same stream from a file
// into a file. Each iteration runs both, one after the other; each child's
// CPU time (user + system, from wait4) is what counts, so that the ratio
// holds on a machine that others share. Counters: ratio (plain / tool, CPU
// time), wall_ratio (the same on the wall clock), goal_at_least.
//
// Also the bound that the format's model sets: the plain decoder's model
// update alone over the stream's symbols, in this process on its CPU clock
// (update_ms). A decoder that counts symbols that way, with decoding, file
// I/O and start-up free, would still take that long: no such program beats
// the plain one by more than update_ceiling = plain_cpu_ms / update_ms.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "baseline_decoder.h"
#include "child_process.h"
#include "core/codec/entry_encoder.h"
#include "core/imagewriter/manifest_writer.h"
#include "sample_data.h"
#include "thread_clock.h"

namespace {

using benchsupport::ChildRun;
using benchsupport::RunChild;
using benchsupport::ScratchFolder;
using benchsupport::ThreadSeconds;

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr double kEndToEndGoal = 2.2;
// Mixed data of this size compresses to about 12.8 MB with the best level.
constexpr std::size_t kDataSize = 22u << 20;

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Workload {
  std::string image, stream, output;
  std::size_t expanded = 0;
  double imageMegabytes = 0;
  std::vector<std::uint16_t> symbols;  // the stream's, in order
};

// The image: the screen saver entry compressed, the data file and the
// uninstaller one stored byte each; the stream of the first alone beside it.
const Workload& Load() {
  static const Workload workload = [] {
    Workload w;
    const Bytes data = samples::MakeMixedSample(kDataSize, 1988);
    imagewriter::ManifestContents contents;
    contents.title = "Harbour";
    contents.license = "Free.";
    contents.numberBase = 1;
    imagewriter::EntryContents saver;
    saver.stored = codec::CompressEntry(data.data(), data.size());
    saver.expandedSize = static_cast<std::uint32_t>(data.size());
    imagewriter::EntryContents small;
    small.stored = {0x55};
    small.name = ".DAT";
    contents.entries = {saver, small, small};
    const Bytes image = imagewriter::BuildInstallerImage(contents);
    w.image = (ScratchFolder() / "harbour.exe").string();
    w.stream = (ScratchFolder() / "saver.stream").string();
    w.output = (ScratchFolder() / "saver.out").string();
    WriteFile(w.image, image);
    WriteFile(w.stream, saver.stored);
    w.expanded = data.size();
    Bytes decoded(data.size());
    samples::baseline::Decode(saver.stored.data(), static_cast<std::uint32_t>(saver.stored.size()),
                              decoded.data(), saver.expandedSize, &w.symbols);
    if (decoded != data) {
      std::fprintf(stderr, "the plain decoder does not give the sample back\n");
      std::exit(1);
    }
    w.imageMegabytes = static_cast<double>(image.size()) / 1e6;
    return w;
  }();
  return workload;
}

void BM_SaverkitTestVsPlainProgram(benchmark::State& state) {
  const Workload& w = Load();
  double plainCpu = 0, toolCpu = 0, plainWall = 0, toolWall = 0, update = 0;
  for (auto _ : state) {
    const ChildRun plain = RunChild({PLAIN_DECODER, w.stream, w.output, std::to_string(w.expanded)});
    const ChildRun tool = RunChild({SAVERKIT_TOOL, "test", w.image});
    if (plain.status != 0 || tool.status != 0) {
      state.SkipWithError("a child failed");
      break;
    }
    const double t0 = ThreadSeconds();
    samples::baseline::StartModel();
    for (const std::uint16_t symbol : w.symbols) samples::baseline::Update(symbol);
    benchmark::DoNotOptimize(samples::baseline::freq);
    update += ThreadSeconds() - t0;
    plainCpu += plain.cpuSeconds;
    toolCpu += tool.cpuSeconds;
    plainWall += plain.wallSeconds;
    toolWall += tool.wallSeconds;
    state.SetIterationTime(plain.wallSeconds + tool.wallSeconds);
  }
  if (fs::file_size(w.output) != w.expanded) state.SkipWithError("the plain decoder wrote a short file");
  const double n = static_cast<double>(state.iterations());
  state.counters["image_mb"] = w.imageMegabytes;
  state.counters["plain_cpu_ms"] = plainCpu / n * 1e3;
  state.counters["tool_cpu_ms"] = toolCpu / n * 1e3;
  state.counters["update_ms"] = update / n * 1e3;
  state.counters["update_ceiling"] = plainCpu / update;
  state.counters["ratio"] = plainCpu / toolCpu;
  state.counters["wall_ratio"] = plainWall / toolWall;
  state.counters["goal_at_least"] = kEndToEndGoal;
}

BENCHMARK(BM_SaverkitTestVsPlainProgram)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) { return benchsupport::BenchMain(argc, argv); }
