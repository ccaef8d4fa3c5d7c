// saverkit::Identify over a folder of files that are no installer (text,
// and small PE programs without the payload resource), warm in the page
// cache: files per second, the figure a `saverkit identify` run over many
// files depends on. And over one installer image, for comparison.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/imagewriter/manifest_writer.h"
#include "saverkit/identify.h"
#include "stub_fixture.h"

namespace {

namespace fs = std::filesystem;

class Folder {
 public:
  Folder() : path_(fs::temp_directory_path() / ("saverkit-identify-bench-" + std::to_string(getpid()))) {
    fs::create_directories(path_);
  }
  ~Folder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const fs::path file = path_ / name;
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file.string();
  }

 private:
  fs::path path_;
};

// 1,000 files of a few KB: a third text, a third programs without
// resources, a third programs with the installer's resources but no
// payload resource (an installer program before packing, with its LASTRES
// taken out).
std::vector<std::string> NonInstallers(const Folder& folder) {
  std::vector<std::string> paths;
  packtest::StubLayout withResources;
  for (const imagewriter::ResourceItem& item : packtest::InstallerResources())
    if (item.type.name != "LASTRES") withResources.resources.push_back(item);
  const std::vector<std::uint8_t> resources = packtest::MakeStub(withResources);
  const std::vector<std::uint8_t> program = packtest::MakeProgram(7);
  for (int i = 0; i < 1000; ++i) {
    const std::string name = std::to_string(i);
    switch (i % 3) {
      case 0: paths.push_back(folder.Write(name + ".txt", std::vector<std::uint8_t>(4096, 'a' + i % 26))); break;
      case 1: paths.push_back(folder.Write(name + ".exe", program)); break;
      default: paths.push_back(folder.Write(name + ".dll", resources)); break;
    }
  }
  return paths;
}

void BM_IdentifyNonInstallers(benchmark::State& state) {
  const Folder folder;
  const std::vector<std::string> paths = NonInstallers(folder);
  for (const std::string& path : paths) saverkit::Identify(path);  // warm the page cache
  std::size_t installers = 0;
  for (auto _ : state) {
    for (const std::string& path : paths)
      installers += saverkit::Identify(path).kind == saverkit::FileKind::kInstaller ? 1 : 0;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * paths.size()));
  state.counters["installers"] = static_cast<double>(installers);
}
BENCHMARK(BM_IdentifyNonInstallers)->Unit(benchmark::kMillisecond);

void BM_IdentifyOneInstaller(benchmark::State& state) {
  const Folder folder;
  imagewriter::ManifestContents manifest;
  manifest.title = "Harbour";
  manifest.entries.resize(4);
  for (imagewriter::EntryContents& entry : manifest.entries) {
    entry.stored.assign(2000, 0x41);
    entry.name = ".MID";
  }
  const std::string path = folder.Write("setup.exe", imagewriter::BuildInstallerImage(manifest));
  for (auto _ : state) benchmark::DoNotOptimize(saverkit::Identify(path));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_IdentifyOneInstaller)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
