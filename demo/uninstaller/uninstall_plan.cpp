// The uninstaller's rules: which logged files it may delete, whether the
// system's screen saver setting is its own, and which folders it removes.
#include "demo/uninstaller/uninstall_plan.h"

#include "core/text/ascii_case.h"
#include "core/text/bounded_text.h"
#include "core/format/install_names.h"

using format::BuildInstalledPath;
using format::BuildTitleDirectory;
using format::BuildUninstallKeyName;
using format::BuildWinDir;
using format::IsSafeFileName;
using format::PayloadEntry;
using format::kInstallLogName;
using format::kMakerFolder;
using format::kPathBufferSize;
using format::kProductFolder;
using format::kScreenSaverPosition;
using text::AppendText;
using text::AsciiUpper;
using text::EqualNoCase;

namespace uninstaller {
namespace {

bool EqualComponents(const std::vector<std::string>& a, const std::vector<std::string>& b,
                     std::size_t count) {
  if (a.size() < count || b.size() < count) return false;
  for (std::size_t i = 0; i < count; ++i)
    if (!EqualNoCase(a[i], b[i])) return false;
  return true;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasControlCharacter(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20) return true;
  return false;
}

// As SplitAbsolutePath; a directory as the system reports it may end in one
// separator ("C:\").
bool SplitPath(std::string_view path, bool directory, std::vector<std::string>* components) {
  components->clear();
  if (path.size() > kMaxPathLength || HasControlCharacter(path)) return false;
  const bool letter = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (!letter || path[1] != ':' || !IsSeparator(path[2])) return false;
  if (directory && path.size() > 3 && IsSeparator(path.back())) path.remove_suffix(1);
  components->push_back({AsciiUpper(path[0]), ':'});
  std::string_view rest = path.substr(3);
  if (rest.empty()) return directory;  // the drive's root is a directory, not a file
  while (true) {
    const std::size_t end = rest.find_first_of("\\/");
    const std::string_view part = rest.substr(0, end);
    if (part == "..") {
      if (components->size() == 1) return false;  // above the root
      components->pop_back();
    } else if (!part.empty() && part != ".") {
      const std::string name(part);
      if (!IsSafeFileName(name.c_str())) return false;
      components->push_back(name);
    } else if (part.empty() && end == std::string_view::npos) {
      return false;  // ends in a separator: no file name
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  // "C:\WINDOWS\.." names the root: not a file.
  return directory || components->size() > 1;
}

std::string Join(const std::vector<std::string>& components) {
  std::string path = components.empty() ? std::string() : components[0];
  for (std::size_t i = 1; i < components.size(); ++i) path += "\\" + components[i];
  if (components.size() == 1) path += "\\";
  return path;
}

// A log line as it may be shown to the user.
std::string Displayable(std::string_view line) {
  std::string shown(line.substr(0, kMaxPathLength));
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  return shown;
}

}  // namespace

std::vector<std::string> SplitLogLines(std::string_view text) {
  std::vector<std::string> lines;
  text = text.substr(0, kMaxInstallLogBytes);
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    if (end != 0) lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool SplitAbsolutePath(std::string_view path, std::vector<std::string>* components) {
  return SplitPath(path, false, components);
}

bool MakeUninstallPlace(std::string_view windowsDirectory, std::string_view titleDirectory,
                        UninstallPlace* place) {
  std::vector<std::string> windows, title;
  if (!SplitPath(windowsDirectory, true, &windows) || !SplitPath(titleDirectory, true, &title))
    return false;
  const std::size_t depth = windows.size();
  if (title.size() != depth + 3 || !EqualComponents(windows, title, depth) ||
      !EqualNoCase(title[depth], kMakerFolder) || !EqualNoCase(title[depth + 1], kProductFolder))
    return false;

  // The places are spelled by the installer's own rules from the Windows
  // directory as the system reports it and the title as found on disk.
  const std::string windowsText(windowsDirectory), titleText(title[depth + 2]);
  char winDir[kPathBufferSize], path[kPathBufferSize];
  const PayloadEntry unused{};
  if (!BuildWinDir(winDir, sizeof winDir, windowsText.c_str())) return false;
  place->WindowsDirectory = windowsText;
  place->Title = titleText;
  if (!BuildTitleDirectory(path, sizeof path, winDir, titleText.c_str())) return false;
  place->TitleDirectory = path;
  if (!AppendText(path, sizeof path, "\\") || !AppendText(path, sizeof path, kInstallLogName))
    return false;
  place->InstallLogPath = path;
  if (!BuildInstalledPath(path, sizeof path, winDir, titleText.c_str(), kScreenSaverPosition, unused, 0))
    return false;
  place->ScreenSaverPath = path;
  if (!BuildUninstallKeyName(path, sizeof path, titleText.c_str())) return false;
  place->UninstallKeyName = path;
  return true;
}

Verdict JudgeLoggedPath(const UninstallPlace& place, std::string_view line, std::string* normal) {
  std::vector<std::string> file, saver, titleDirectory;
  if (!SplitAbsolutePath(line, &file)) return Verdict::kMalformed;
  if (!SplitAbsolutePath(place.ScreenSaverPath, &saver) ||
      !SplitPath(place.TitleDirectory, true, &titleDirectory))
    return Verdict::kLeftAlone;  // a place that cannot be judged owns nothing
  const bool isSaver = file.size() == saver.size() && EqualComponents(file, saver, saver.size());
  const bool inTitleDirectory = file.size() == titleDirectory.size() + 1 &&
                                EqualComponents(file, titleDirectory, titleDirectory.size());
  if (!isSaver && !inTitleDirectory) return Verdict::kLeftAlone;
  *normal = Join(file);
  return Verdict::kDelete;
}

RemovalPlan PlanRemoval(const UninstallPlace& place, std::string_view logText) {
  RemovalPlan plan;
  auto contains = [](const std::vector<std::string>& list, std::string_view item, bool asPath) {
    for (const std::string& entry : list)
      if (asPath ? EqualNoCase(entry, item) : entry == item) return true;
    return false;
  };
  for (const std::string& line : SplitLogLines(logText)) {
    std::string normal;
    if (JudgeLoggedPath(place, line, &normal) == Verdict::kDelete) {
      if (!contains(plan.Deletions, normal, true)) plan.Deletions.push_back(normal);
    } else {
      const std::string shown = Displayable(line);
      if (!contains(plan.LeftAlone, shown, false)) plan.LeftAlone.push_back(shown);
    }
  }
  return plan;
}

bool SamePath(std::string_view a, std::string_view b) {
  std::vector<std::string> first, second;
  return SplitAbsolutePath(a, &first) && SplitAbsolutePath(b, &second) &&
         first.size() == second.size() && EqualComponents(first, second, first.size());
}

bool SettingNamesScreenSaver(std::string_view value, std::string_view valueLongForm,
                             std::string_view saverLongPath, std::string_view saverShortPath) {
  return SamePath(value, saverLongPath) || SamePath(valueLongForm, saverLongPath) ||
         SamePath(value, saverShortPath);
}

std::vector<std::string> DirectoriesToRemove(const UninstallPlace& place) {
  std::vector<std::string> directories{place.TitleDirectory};
  for (int level = 0; level < 2; ++level) {
    const std::string& inner = directories.back();
    directories.push_back(inner.substr(0, inner.rfind('\\')));
  }
  return directories;
}

}  // namespace uninstaller
