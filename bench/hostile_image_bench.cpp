// The built saverkit program on images made to cost it time or memory: a
// table of a million entries, an extract at the file limit, a two-gigabyte
// bomb of ten stored bytes, 192 MiB that compress to 8 MB, and entries that
// all share one stored region (which the work budget stops). Each run is
// a child process, timed alone; its peak resident memory comes from wait4
// and is shown against the image's size (rss_mb_per_image_mb).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "core/codec/entry_encoder.h"
#include "core/imagewriter/manifest_writer.h"
#include "sample_data.h"

using codec::CompressEntry;


namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Image {
  std::string path;
  double megabytes;
};

Image Write(const char* name, const imagewriter::ManifestContents& contents) {
  const Bytes bytes = imagewriter::BuildInstallerImage(contents);
  const std::string path = (benchsupport::ScratchFolder() / name).string();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return {path, bytes.size() / 1048576.0};
}

imagewriter::ManifestContents OneByteEntries(std::size_t count) {
  imagewriter::ManifestContents contents;
  contents.title = "Harbour";
  contents.license = "Free.";
  contents.numberBase = 1;
  imagewriter::EntryContents media;
  media.stored = {0x55};
  media.name = ".MID";
  contents.entries.assign(count, media);
  return contents;
}

imagewriter::EntryContents CompressedEntry(const Bytes& data, std::uint32_t declared) {
  imagewriter::EntryContents entry;
  entry.stored = CompressEntry(data.data(), data.size());
  entry.expandedSize = declared;
  return entry;
}

const Image& MillionEntries() {
  static const Image image = Write("million.exe", OneByteEntries(1000000));
  return image;
}

// The licence and 16,383 entries: exactly as many files as extract writes
// by default.
const Image& FilesAtTheLimit() {
  static const Image image = Write("limit.exe", OneByteEntries(16383));
  return image;
}

const Image& Bomb() {
  static const Image image = [] {
    imagewriter::ManifestContents contents = OneByteEntries(3);
    contents.entries[1] = CompressedEntry(Bytes(10, 0x41), 0x7FFFFF00u);
    return Write("bomb.exe", contents);
  }();
  return image;
}

const Image& Compressible() {
  static const Image image = [] {
    const Bytes zeros(64u << 20, 0);
    imagewriter::ManifestContents contents = OneByteEntries(3);
    const imagewriter::EntryContents entry = CompressedEntry(zeros, static_cast<std::uint32_t>(zeros.size()));
    contents.entries.assign(3, entry);
    return Write("zeros.exe", contents);
  }();
  return image;
}

// `count` media entries that all name the same stored bytes, each declaring
// `expandedSize` (0: stored as is): the last entry carries the bytes, the
// others carry none of their own, so the writer places all of them at the
// one spot behind the table.
imagewriter::ManifestContents SharingOneRegion(std::size_t count, const Bytes& stored, std::uint32_t expandedSize) {
  imagewriter::ManifestContents contents = OneByteEntries(count);
  for (imagewriter::EntryContents& entry : contents.entries) {
    entry.stored.clear();
    entry.storedSize = static_cast<std::uint32_t>(stored.size());
    entry.expandedSize = expandedSize;
  }
  contents.entries.back().stored = stored;
  return contents;
}

// 30,000 entries on one 64 KB stream of 1.5 MiB of zeros (907 KB): 47 GB
// of decoding without the budget.
const Image& SharedStream() {
  static const Image image = [] {
    const Bytes zeros(3u << 19, 0);
    return Write("shared-stream.exe",
                 SharingOneRegion(30000, CompressEntry(zeros.data(), zeros.size()),
                                  static_cast<std::uint32_t>(zeros.size())));
  }();
  return image;
}

// 30,000 stored entries on one 900 KB region (1.7 MB): 27 GB of copying.
const Image& SharedStoredRegion() {
  static const Image image = Write("shared-stored.exe", SharingOneRegion(30000, Bytes(900000, 0x5A), 0));
  return image;
}

// 4,003 entries declaring 100,000 bytes each from one stream of program-like
// bytes (153 KB): 400 MB written, under the file limit.
const Image& SharedDeclared() {
  static const Image image = [] {
    const Bytes program = samples::MakeExecutableLike(100000, 5);
    return Write("shared-declared.exe",
                 SharingOneRegion(4003, CompressEntry(program.data(), program.size()), 100000));
  }();
  return image;
}

// One command on one image; `expected` is the exit status it must end with.
void Run(benchmark::State& state, const Image& image, std::vector<std::string> args, int expected) {
  const std::string out = (benchsupport::ScratchFolder() / "out").string();
  for (std::string& arg : args) arg = arg == "IMAGE" ? image.path : arg == "OUT" ? out : arg;
  args.insert(args.begin(), SAVERKIT_TOOL);
  double peak = 0;
  // The child starts as a copy of this process, and wait4 counts that copy
  // too: what building the image took is given back first.
  malloc_trim(0);
  for (auto _ : state) {
    fs::remove_all(out);
    const benchsupport::ChildRun run = benchsupport::RunChild(args);
    state.SetIterationTime(run.wallSeconds);
    peak = run.peakMegabytes;
    if (run.status != expected) {
      state.SkipWithError(("exit status " + std::to_string(run.status)).c_str());
      break;
    }
  }
  fs::remove_all(out);
  state.counters["image_mb"] = image.megabytes;
  state.counters["peak_rss_mb"] = peak;
  state.counters["rss_mb_per_image_mb"] = peak / image.megabytes;
}

void BM_ListMillionEntries(benchmark::State& s) { Run(s, MillionEntries(), {"list", "IMAGE"}, 0); }
void BM_ListJsonMillionEntries(benchmark::State& s) { Run(s, MillionEntries(), {"list", "IMAGE", "--json"}, 0); }
void BM_TestMillionEntries(benchmark::State& s) { Run(s, MillionEntries(), {"test", "IMAGE"}, 0); }
void BM_ExtractMillionEntriesRefused(benchmark::State& s) {
  Run(s, MillionEntries(), {"extract", "IMAGE", "-d", "OUT"}, 1);
}
void BM_ExtractFilesAtTheLimit(benchmark::State& s) { Run(s, FilesAtTheLimit(), {"extract", "IMAGE", "-d", "OUT"}, 0); }
void BM_TestBomb(benchmark::State& s) { Run(s, Bomb(), {"test", "IMAGE"}, 1); }
void BM_ExtractBomb(benchmark::State& s) { Run(s, Bomb(), {"extract", "IMAGE", "-d", "OUT"}, 1); }
void BM_TestCompressible(benchmark::State& s) { Run(s, Compressible(), {"test", "IMAGE"}, 0); }
void BM_ExtractCompressible(benchmark::State& s) { Run(s, Compressible(), {"extract", "IMAGE", "-d", "OUT"}, 0); }
void BM_TestSharedStream(benchmark::State& s) { Run(s, SharedStream(), {"test", "IMAGE"}, 1); }
void BM_TestSharedStoredRegion(benchmark::State& s) { Run(s, SharedStoredRegion(), {"test", "IMAGE"}, 1); }
void BM_TestSharedDeclared(benchmark::State& s) { Run(s, SharedDeclared(), {"test", "IMAGE"}, 1); }
void BM_ExtractSharedDeclared(benchmark::State& s) {
  Run(s, SharedDeclared(), {"extract", "IMAGE", "-d", "OUT"}, 1);
}
// diff of an image with itself decodes and hashes every entry twice; the
// bomb is damage, status 2.
void BM_DiffMillionEntries(benchmark::State& s) { Run(s, MillionEntries(), {"diff", "IMAGE", "IMAGE"}, 0); }
void BM_DiffJsonMillionEntries(benchmark::State& s) {
  Run(s, MillionEntries(), {"diff", "--json", "IMAGE", "IMAGE"}, 0);
}
void BM_DiffSharedStream(benchmark::State& s) { Run(s, SharedStream(), {"diff", "IMAGE", "IMAGE"}, 2); }
void BM_IdentifyMillionEntries(benchmark::State& s) { Run(s, MillionEntries(), {"identify", "IMAGE"}, 0); }
void BM_TestJsonMillionEntries(benchmark::State& s) { Run(s, MillionEntries(), {"test", "--json", "IMAGE"}, 0); }

#define TOOL_BENCHMARK(name) BENCHMARK(name)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3)
TOOL_BENCHMARK(BM_ListMillionEntries);
TOOL_BENCHMARK(BM_ListJsonMillionEntries);
TOOL_BENCHMARK(BM_TestMillionEntries);
TOOL_BENCHMARK(BM_ExtractMillionEntriesRefused);
TOOL_BENCHMARK(BM_ExtractFilesAtTheLimit);
TOOL_BENCHMARK(BM_TestBomb);
TOOL_BENCHMARK(BM_ExtractBomb);
TOOL_BENCHMARK(BM_TestCompressible);
TOOL_BENCHMARK(BM_ExtractCompressible);
TOOL_BENCHMARK(BM_TestSharedStream);
TOOL_BENCHMARK(BM_TestSharedStoredRegion);
TOOL_BENCHMARK(BM_TestSharedDeclared);
TOOL_BENCHMARK(BM_ExtractSharedDeclared);
TOOL_BENCHMARK(BM_DiffMillionEntries);
TOOL_BENCHMARK(BM_DiffJsonMillionEntries);
TOOL_BENCHMARK(BM_DiffSharedStream);
TOOL_BENCHMARK(BM_IdentifyMillionEntries);
TOOL_BENCHMARK(BM_TestJsonMillionEntries);

}  // namespace

int main(int argc, char** argv) { return benchsupport::BenchMain(argc, argv); }
