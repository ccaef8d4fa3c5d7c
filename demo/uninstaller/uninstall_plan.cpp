// The uninstaller's rules: which logged files it may delete, whether the
// system's screen saver setting is its own, and which folders it removes.
#include "demo/uninstaller/uninstall_plan.h"

#include <cstring>

#include "core/text/ascii_case.h"
#include "core/text/bounded_text.h"

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
using text::AppendTextPart;
using text::AsciiUpper;
using text::CopyText;
using text::EqualNoCase;

namespace uninstaller {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool HasControlCharacter(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20) return true;
  return false;
}

// Drops the last component of a resolved path.
void DropLastComponent(ResolvedPath* path) {
  *std::strrchr(path->Text, '\\') = '\0';
  --path->Components;
}

// As ResolveAbsolutePath; a directory as the system reports it may end in
// one separator ("C:\"), and the drive's root is one.
bool ResolvePath(std::string_view path, bool directory, ResolvedPath* resolved) {
  resolved->Text[0] = '\0';
  resolved->Components = 0;
  if (path.size() > kMaxPathLength || HasControlCharacter(path)) return false;
  const bool letter = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (!letter || path[1] != ':' || !IsSeparator(path[2])) return false;
  std::size_t end = path.size();
  if (directory && end > 3 && IsSeparator(path[end - 1])) --end;
  const char drive[3] = {AsciiUpper(path[0]), ':', '\0'};
  CopyText(resolved->Text, drive);
  resolved->Components = 1;
  if (end == 3) return directory;  // the drive's root is a directory, not a file
  std::size_t start = 3;
  while (true) {
    std::size_t stop = start;
    while (stop < end && !IsSeparator(path[stop])) ++stop;
    const std::string_view part(path.data() + start, stop - start);
    if (part == "..") {
      if (resolved->Components == 1) return false;  // above the root
      DropLastComponent(resolved);
    } else if (!part.empty() && part != ".") {
      char name[kPathBufferSize] = "";
      // Both fit: the resolved form is never longer than the path.
      if (!AppendTextPart(name, sizeof name, part.data(), part.size()) || std::strlen(name) != part.size() ||
          !IsSafeFileName(name) || !AppendText(resolved->Text, "\\") || !AppendText(resolved->Text, name))
        return false;
      ++resolved->Components;
    } else if (part.empty() && stop == end) {
      return false;  // ends in a separator: no file name
    }
    if (stop == end) break;
    start = stop + 1;
  }
  // "C:\WINDOWS\.." names the root: not a file.
  return directory || resolved->Components > 1;
}

// True when `inner` lies directly inside the directory `outer` (both resolved).
bool DirectlyInside(const ResolvedPath& inner, const ResolvedPath& outer) {
  const std::size_t length = std::strlen(outer.Text);
  return inner.Components == outer.Components + 1 && std::strlen(inner.Text) > length &&
         inner.Text[length] == '\\' && EqualNoCase(std::string_view(inner.Text, length), outer.Text);
}

// The component at `index` of a resolved path (0: the drive).
std::string_view ComponentOf(const ResolvedPath& path, std::size_t index) {
  const char* start = path.Text;
  for (std::size_t i = 0; i < index; ++i) start = std::strchr(start, '\\') + 1;
  const char* end = std::strchr(start, '\\');
  return std::string_view(start, end ? static_cast<std::size_t>(end - start) : std::strlen(start));
}

bool ShownAlike(std::string_view a, std::string_view b) {
  const std::size_t length = a.size() < kMaxPathLength ? a.size() : kMaxPathLength;
  if (length != (b.size() < kMaxPathLength ? b.size() : kMaxPathLength)) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const bool controlA = static_cast<unsigned char>(a[i]) < 0x20, controlB = static_cast<unsigned char>(b[i]) < 0x20;
    if (controlA != controlB || (!controlA && a[i] != b[i])) return false;
  }
  return true;
}

}  // namespace

bool ResolveAbsolutePath(std::string_view path, ResolvedPath* resolved) {
  return ResolvePath(path, false, resolved);
}

bool MakeUninstallPlace(const char* windowsDirectory, const char* titleDirectory, UninstallPlace* place) {
  ResolvedPath windows, title;
  if (!ResolvePath(windowsDirectory, true, &windows) || !ResolvePath(titleDirectory, true, &title)) return false;
  const std::size_t depth = windows.Components;
  const std::size_t length = std::strlen(windows.Text);
  if (title.Components != depth + 3 || title.Text[length] != '\\' ||
      !EqualNoCase(std::string_view(title.Text, length), windows.Text) ||
      !EqualNoCase(ComponentOf(title, depth), kMakerFolder) ||
      !EqualNoCase(ComponentOf(title, depth + 1), kProductFolder))
    return false;

  // The places are spelled by the installer's own rules from the Windows
  // directory as the system reports it and the title as found on disk.
  const std::string_view titleName = ComponentOf(title, depth + 2);
  char winDir[kPathBufferSize];
  const PayloadEntry unused{};
  place->Title[0] = '\0';
  return BuildWinDir(winDir, sizeof winDir, windowsDirectory) &&
         CopyText(place->WindowsDirectory, windowsDirectory) &&
         AppendTextPart(place->Title, sizeof place->Title, titleName.data(), titleName.size()) &&
         BuildTitleDirectory(place->TitleDirectory, sizeof place->TitleDirectory, winDir, place->Title) &&
         CopyText(place->InstallLogPath, place->TitleDirectory) && AppendText(place->InstallLogPath, "\\") &&
         AppendText(place->InstallLogPath, kInstallLogName) &&
         BuildInstalledPath(place->ScreenSaverPath, sizeof place->ScreenSaverPath, winDir, place->Title,
                            kScreenSaverPosition, unused, 0) &&
         BuildUninstallKeyName(place->UninstallKeyName, sizeof place->UninstallKeyName, place->Title);
}

Verdict JudgeLoggedPath(const UninstallPlace& place, std::string_view line, ResolvedPath* resolved) {
  ResolvedPath saver, titleDirectory;
  if (!ResolveAbsolutePath(line, resolved)) return Verdict::kMalformed;
  if (!ResolveAbsolutePath(place.ScreenSaverPath, &saver) || !ResolvePath(place.TitleDirectory, true, &titleDirectory))
    return Verdict::kLeftAlone;  // a place that cannot be judged owns nothing
  const bool isSaver = resolved->Components == saver.Components && EqualNoCase(resolved->Text, saver.Text);
  if (!isSaver && !DirectlyInside(*resolved, titleDirectory)) return Verdict::kLeftAlone;
  return Verdict::kDelete;
}

void PlanRemoval(const UninstallPlace& place, std::string_view logText, RemovalPlan* plan) {
  plan->DeletionCount = 0;
  plan->LeftAloneCount = 0;
  plan->Full = false;
  ForEachLogLine(logText, [&](std::string_view line) {
    ResolvedPath resolved;
    if (JudgeLoggedPath(place, line, &resolved) == Verdict::kDelete) {
      for (std::size_t i = 0; i < plan->DeletionCount; ++i)
        if (EqualNoCase(plan->Deletions[i], resolved.Text)) return true;
      if (plan->DeletionCount == kMaxPlannedFiles) return !(plan->Full = true);
      CopyText(plan->Deletions[plan->DeletionCount++], resolved.Text);  // same size: fits
      return true;
    }
    for (std::size_t i = 0; i < plan->LeftAloneCount; ++i) {
      const LogLine& earlier = plan->LeftAlone[i];
      if (ShownAlike(std::string_view(logText.data() + earlier.Offset, earlier.Length), line)) return true;
    }
    if (plan->LeftAloneCount == kMaxLeftAloneLines) return !(plan->Full = true);
    plan->LeftAlone[plan->LeftAloneCount++] = {static_cast<std::uint32_t>(line.data() - logText.data()),
                                               static_cast<std::uint32_t>(line.size())};
    return true;
  });
}

void ShowLogLine(std::string_view line, char* shown) {
  std::size_t length = line.size() < kMaxPathLength ? line.size() : kMaxPathLength;
  for (std::size_t i = 0; i < length; ++i) shown[i] = static_cast<unsigned char>(line[i]) < 0x20 ? '?' : line[i];
  shown[length] = '\0';
}

bool SamePath(std::string_view a, std::string_view b) {
  ResolvedPath first, second;
  return ResolveAbsolutePath(a, &first) && ResolveAbsolutePath(b, &second) &&
         first.Components == second.Components && EqualNoCase(first.Text, second.Text);
}

bool SettingNamesScreenSaver(std::string_view value, std::string_view valueLongForm,
                             std::string_view saverLongPath, std::string_view saverShortPath) {
  return SamePath(value, saverLongPath) || SamePath(valueLongForm, saverLongPath) ||
         SamePath(value, saverShortPath);
}

void DirectoriesToRemove(const UninstallPlace& place, char (*directories)[kPathBufferSize]) {
  CopyText(directories[0], kPathBufferSize, place.TitleDirectory);
  for (int level = 1; level < kDirectoriesToRemove; ++level) {
    CopyText(directories[level], kPathBufferSize, directories[level - 1]);
    char* slash = std::strrchr(directories[level], '\\');
    if (slash) *slash = '\0';
  }
}

}  // namespace uninstaller
