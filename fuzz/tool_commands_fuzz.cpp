// The tool's commands run in-process on an arbitrary image (list, list
// --json, test --json, extract with a filter and --salvage, identify, diff
// with itself), then what verify reads of it without running it. None may
// crash; list, test and extract end 0 or 1, identify 0, diff never 1 (an image
// never differs from itself); extract leaves only regular files, no link and
// no temporary file, in its output folder and nothing outside it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <CLI/CLI.hpp>

#include "fuzz_check.h"
#include "saverkit/image.h"
#include "tool/commands/commands.h"
#include "tool/verify/installed_files.h"
#include "tool/verify/release_identity.h"

namespace {

namespace fs = std::filesystem;

int RunTool(const std::vector<std::string>& words) {
  CLI::App app{"saverkit"};
  app.require_subcommand(1);
  int status = -1;
  commands::AddListCommand(app, status);
  commands::AddTestCommand(app, status);
  commands::AddExtractCommand(app, status);
  commands::AddIdentifyCommand(app, status);
  commands::AddDiffCommand(app, status);
  std::vector<std::string> reversed(words.rbegin(), words.rend());  // CLI11 takes them last first
  app.parse(reversed);
  return status;
}

struct Scratch {
  fs::path root;
  Scratch() {
    root = fs::temp_directory_path() / ("saverkit-fuzz-tool-" + std::to_string(getpid()));
    fs::create_directories(root);
    // The commands' reports are not what is checked here.
    FUZZ_CHECK(std::freopen("/dev/null", "w", stdout) != nullptr);
  }
  ~Scratch() {
    std::error_code error;
    fs::remove_all(root, error);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Scratch scratch;
  const fs::path image = scratch.root / "image.exe";
  const fs::path out = scratch.root / "out";
  std::error_code error;
  fs::remove_all(out, error);
  WriteInputFile(image.string(), data, size);
  const std::string in = image.string();
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"list", in},
           {"list", in, "--json"},
           {"test", in, "--json"},
           {"extract", in, "-d", out.string(), "--salvage"},
           {"extract", in, "-d", (out / "some").string(), "--exclude", "*.scr", "--salvage"}}) {
    const int status = RunTool(words);
    FUZZ_CHECK(status == commands::kExitOk || status == commands::kExitDataError);
  }
  FUZZ_CHECK(RunTool({"identify", "--json", in}) == commands::kExitOk);
  const int diff = RunTool({"diff", in, in});
  FUZZ_CHECK(diff == commands::kExitOk || diff == commands::kExitUsageError);
  FUZZ_CHECK(Within(NamesIn(scratch.root.string()), {"image.exe", "out"}));
  for (const auto& item : fs::recursive_directory_iterator(out, error)) {  // none when out was not made
    FUZZ_CHECK((item.is_regular_file(error) || item.path() == out / "some") && !item.is_symlink(error));
    const std::string name = item.path().filename().string();
    FUZZ_CHECK(name.size() < 5 || name.compare(name.size() - 5, 5, ".part") != 0);
    FUZZ_CHECK(item.path().parent_path() == out || item.path().parent_path() == out / "some");
  }
  fs::remove_all(out, error);

  try {
    const saverkit::Image loaded = saverkit::Image::Open(in);
    const verify::InstalledFilesReport report = verify::CheckInstalledFiles(loaded, {}, "C:\\WINDOWS");
    FUZZ_CHECK(report.checked <= loaded.entries().size());
    for (const std::string& finding : report.findings) FUZZ_CHECK(finding.rfind("entry ", 0) == 0);
    if (report.uninstallerKept) FUZZ_CHECK(report.uninstaller.size() <= verify::kLargestUninstaller);
    verify::RecogniseUninstaller(report.uninstaller);
  } catch (const saverkit::Error&) {
    // A damaged image or a spent work budget: verify's trouble, exit 2.
  }
  const std::vector<std::uint8_t> bytes(data, data + size);
  const std::string digest = verify::ReleaseDigest(bytes);
  FUZZ_CHECK(digest.empty() || digest.size() == 64);
  verify::RecogniseUninstaller(bytes);
  return 0;
}
