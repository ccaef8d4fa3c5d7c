// A whole installation in the Win32 stand-in on an arbitrary image, with
// fixed answers: it must end by itself and change only an installation's
// places (the screen saver and system.ini directly in the Windows directory,
// files directly in one title directory below MARLOWEN\VELDRAKE, those three
// directory levels, its one uninstall key and the screen saver switch), and
// nothing on the host outside the machine folder.
//
// The runner forks. The child copies its coverage counters into memory shared
// with the parent for libFuzzer, and ends with _exit after the stand-in's exit
// reports but before libFuzzer's exit handler, which would call it a crash.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "installer/resources/installer_resources.h"
#include "installer/main_window.h"
#include "fuzz_check.h"
#include "hostwin/machine.h"
#include "hostwin/runner.h"
#include "core/format/install_names.h"
#include "core/text/windows_case.h"

using namespace format;
using resources::InstallerResources;

// The coverage counters of this program (set only in the libFuzzer build).
extern "C" __attribute__((weak)) std::uint8_t __start___sancov_cntrs[];
extern "C" __attribute__((weak)) std::uint8_t __stop___sancov_cntrs[];

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kAnswers = {"ok", "accept", "ok", "ok", "ok", "ok"};
// Bounds what an image that declares gigabytes can write.
constexpr std::uint64_t kWritableBytes = 256u << 10;

// Shared between the parent and the child of one run.
struct ChildExit {
  int exited;  // 1 once the child ended through exit()
  int status;
  std::uint8_t counters[1];  // as many as the program has
};

ChildExit* Shared = nullptr;
std::size_t CounterCount = 0;
pid_t ParentId = 0;
std::string WorkFolder;

void NoteExit(int status, void*) {
  Shared->exited = 1;
  Shared->status = status;
}

// Registered in the parent after libFuzzer's own exit handler, so that in
// the child it runs after the stand-in's reports and before libFuzzer's.
void EndChild() {
  if (getpid() == ParentId) {
    std::error_code ignored;
    fs::remove_all(WorkFolder, ignored);
    return;
  }
  if (CounterCount > 0) std::memcpy(Shared->counters, __start___sancov_cntrs, CounterCount);
  std::fflush(nullptr);
  _exit(Shared->status);
}

int WINAPI ChildWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  on_exit(NoteExit, nullptr);
  return WinMain(instance, previous, commandLine, show);
}

void MergeChildCoverage() {
  for (std::size_t i = 0; i < CounterCount; ++i)
    if (Shared->counters[i] > __start___sancov_cntrs[i])
      __start___sancov_cntrs[i] = Shared->counters[i];
}

bool EndsWithNoCase(const std::string& text, std::string_view suffix) {
  return text.size() >= suffix.size() && text::SameWindowsName(text.substr(text.size() - suffix.size()), suffix);
}

// A file or directory path the installation may change, below C:\WINDOWS.
bool IsInstallationPlace(const std::string& path, bool directory) {
  const std::string windows = "C:\\WINDOWS\\";
  if (!text::SameWindowsName(path.substr(0, windows.size()), windows)) return false;
  std::vector<std::string> parts;
  for (std::size_t start = windows.size();;) {
    const std::size_t end = std::min(path.find('\\', start), path.size());
    parts.push_back(path.substr(start, end - start));
    if (!IsSafeFileName(parts.back().c_str())) return false;
    if (end == path.size()) break;
    start = end + 1;
  }
  auto is = [&parts](std::size_t i, const char* name) { return text::SameWindowsName(parts[i], name); };
  const bool underProduct = parts.size() >= 2 && is(0, kMakerFolder) && is(1, kProductFolder);
  if (directory) return (parts.size() == 1 && is(0, kMakerFolder)) || (underProduct && parts.size() <= 3);
  if (parts.size() == 1) return EndsWithNoCase(parts[0], kScreenSaverExtension) || is(0, "system.ini");
  return underProduct && parts.size() == 4;
}

bool IsInstallationKey(const std::string& what, bool isKey) {
  const std::string key = isKey ? what : what.substr(0, what.rfind(" "));
  // The desktop user's hive (machine.ini [Accounts] User, by default Owner).
  if (key == "HKEY_USERS\\Owner\\Control Panel\\Desktop") return true;
  const std::string uninstall = std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKeyParent + "\\";
  return key.compare(0, uninstall.size(), uninstall) == 0 && key.size() > uninstall.size() &&
         key.find('\\', uninstall.size()) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ParentId = getpid();
  if (__start___sancov_cntrs != nullptr && __stop___sancov_cntrs != nullptr)
    CounterCount = static_cast<std::size_t>(__stop___sancov_cntrs - __start___sancov_cntrs);
  void* shared = mmap(nullptr, sizeof(ChildExit) + CounterCount, PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  FUZZ_CHECK(shared != MAP_FAILED);
  Shared = static_cast<ChildExit*>(shared);
  std::string pattern = (fs::temp_directory_path() / "saverkit-fuzz-XXXXXX").string();
  FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
  WorkFolder = pattern;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = std::atexit(EndChild) == 0;
  FUZZ_CHECK(registered);
  static const std::vector<unsigned char> resources = InstallerResources();

  const std::string machine = WorkFolder + "/machine";
  const std::string image = WorkFolder + "/setup.exe";
  std::error_code ignored;
  fs::remove_all(machine, ignored);
  WriteInputFile(image, data, size);
  hostwin::MachineSettings settings;
  settings.writableBytes = kWritableBytes;
  std::string error;
  FUZZ_CHECK(hostwin::CreateMachine(machine, settings, &error));

  hostwin::RunOptions run;
  run.machineFolder = machine;
  run.imagePath = image;
  run.answers = kAnswers;
  run.resources = resources;
  run.timeoutSeconds = 60;
  std::memset(Shared, 0, sizeof(ChildExit) + CounterCount);
  const hostwin::RunResult result = hostwin::RunProgram(run, ChildWinMain);
  if (CounterCount > 0) MergeChildCoverage();

  if (result.killed || Shared->exited == 0) {
    std::fprintf(stderr, "the installer did not end by itself:\n%s",
                 hostwin::JoinTranscript(result.transcript).c_str());
    std::abort();
  }
  for (const hostwin::MachineChange& change : result.changes) {
    using Area = hostwin::MachineChange::Area;
    bool placed = true;
    switch (change.area) {
      case Area::kFile: placed = IsInstallationPlace(change.what, false); break;
      case Area::kDirectory: placed = IsInstallationPlace(change.what, true); break;
      case Area::kRegistry: placed = IsInstallationKey(change.what, change.detail == "(key)"); break;
      case Area::kSystemIni: placed = change.what == "[boot] SCRNSAVE.EXE"; break;
    }
    if (!placed) {
      for (const std::string& line : hostwin::FormatChanges(result.changes))
        std::fprintf(stderr, "%s\n", line.c_str());
      std::fprintf(stderr, "changed outside the installation's places: %s\n", change.what.c_str());
      std::abort();
    }
  }
  FUZZ_CHECK(NamesIn(WorkFolder) == Names({"machine", "setup.exe"}));
  FUZZ_CHECK(Within(NamesIn(machine), {"drive_c", "machine.ini", "registry.reg"}));
  return 0;
}
