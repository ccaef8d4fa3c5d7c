// What an installer image costs beyond the author's own files: the built
// saverkit packs a tiny screen saver and data file with pack's defaults
// (unsigned, the build's installer.exe and UNINSTAL.EXE, no licence), and
// the image is read back to split its bytes.
//
// Counters, in bytes:
//   overhead         image size - stored bytes of the author's entries
//   program          the installer program: everything before the manifest
//                    (its resource section already carries the author's
//                    VERSIONINFO)
//   uninstaller      UNINSTAL.EXE as stored (compressed) in the image
//   manifest         the rest: header, title field, entry table
//   stub, uninstaller_file   the two programs as the win32 build wrote them
// and the goal: ratio = overhead / 65,536, goal_at_most 1. The goal is on
// the installer program and the compressed uninstaller; the ratio counts the
// manifest too (a few hundred bytes), so it is the stricter figure.
//
// Skipped, with the reason, when the win32 build's programs are absent: they
// are found as pack finds them, from the tool's folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "sample_data.h"
#include "tool/commands/build_output.h"
#include "tool/reader/payload_image.h"

namespace {

namespace fs = std::filesystem;

constexpr double kGoalBytes = 65536;
constexpr std::uint32_t kUninstallerPosition = 2;

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void BM_InstallerOverhead(benchmark::State& state) {
  const fs::path toolFolder = fs::path(SAVERKIT_TOOL).parent_path();
  const std::string stub = commands::FindBuildOutput(toolFolder, "installer.exe");
  const std::string uninstaller = commands::FindBuildOutput(toolFolder, "UNINSTAL.EXE");
  if (stub.empty() || uninstaller.empty()) {
    state.SkipWithError("no installer.exe or UNINSTAL.EXE beside the tool, in ../win32 or ../share/saverkit: "
                        "build the win32 preset first");
    return;
  }
  const fs::path& folder = benchsupport::ScratchFolder();
  const fs::path saver = folder / "Tiny.scr";
  const fs::path data = folder / "Tiny.dat";
  const fs::path image = folder / "TinySetup.exe";
  WriteFile(saver, samples::MakeExecutableLike(4096, 19));
  WriteFile(data, samples::MakeTextLike(256, 19));
  for (auto _ : state) {
    fs::remove(image);
    const int status = benchsupport::RunChild({SAVERKIT_TOOL, "pack", "-o", image.string(), "--title", "Tiny",
                                              "--saver", saver.string(), "--data", data.string()})
                           .status;
    if (status != 0) {
      state.SkipWithError(("saverkit pack ended with exit status " + std::to_string(status)).c_str());
      return;
    }
  }
  reader::PayloadImage payload;
  try {
    payload = reader::LoadPayloadImage(image.string());
  } catch (const std::exception& e) {
    state.SkipWithError((std::string("the packed image does not read back: ") + e.what()).c_str());
    return;
  }
  if (payload.entries.size() <= kUninstallerPosition) {
    state.SkipWithError("the packed image has no uninstaller entry");
    return;
  }
  std::uint64_t authorBytes = 0;
  for (std::uint32_t position = 0; position < payload.entries.size(); ++position)
    if (position != kUninstallerPosition) authorBytes += payload.entries[position].StoredSize;
  const double overhead = static_cast<double>(payload.fileSize - authorBytes);
  const double program = payload.walk.manifestOffset;
  const double storedUninstaller = payload.entries[kUninstallerPosition].StoredSize;
  state.counters["overhead"] = overhead;
  state.counters["program"] = program;
  state.counters["uninstaller"] = storedUninstaller;
  state.counters["manifest"] = overhead - program - storedUninstaller;
  state.counters["stub"] = static_cast<double>(fs::file_size(stub));
  state.counters["uninstaller_file"] = static_cast<double>(fs::file_size(uninstaller));
  state.counters["ratio"] = overhead / kGoalBytes;
  state.counters["goal_at_most"] = 1.0;
}
BENCHMARK(BM_InstallerOverhead)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return benchsupport::BenchMain(argc, argv); }
