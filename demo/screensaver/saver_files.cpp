// Finding the demo screen saver's data file and media files.
#include "demo/screensaver/saver_files.h"

#include <algorithm>
#include <cstdint>

#include "core/text/ascii_case.h"
#include "core/format/install_names.h"

using format::BuildInstalledPath;
using format::BuildTitleDirectory;
using format::BuildWinDir;
using format::IsSafeFileName;
using format::MediaFilePrefix;
using format::PayloadEntry;
using format::kDataFilePosition;
using format::kKindJukUnderscore;
using format::kKindJuke;
using format::kPathBufferSize;
using text::EqualNoCase;
using text::LessNoCase;

namespace screensaver {
namespace {

// The media number that follows the four-letter prefix; digits past nine
// are ignored for ordering (the installer writes at most five).
std::uint64_t MediaNumber(std::string_view name) {
  std::uint64_t number = 0;
  for (std::size_t i = 4; i < name.size() && i < 13 && name[i] >= '0' && name[i] <= '9'; ++i)
    number = number * 10 + static_cast<std::uint64_t>(name[i] - '0');
  return number;
}

}  // namespace

std::string TitleFromModulePath(std::string_view modulePath) {
  std::size_t slash = modulePath.find_last_of("\\/:");
  std::string_view name = slash == std::string_view::npos ? modulePath : modulePath.substr(slash + 1);
  std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  std::string title(name);
  return IsSafeFileName(title.c_str()) ? title : std::string();
}

std::string TitleDirectoryFor(std::string_view windowsDirectory, std::string_view title) {
  char winDir[kPathBufferSize];
  char directory[kPathBufferSize];
  const std::string windows(windowsDirectory), name(title);
  if (!BuildWinDir(winDir, sizeof winDir, windows.c_str()) ||
      !BuildTitleDirectory(directory, sizeof directory, winDir, name.c_str()))
    return std::string();
  return directory;
}

std::string DataFilePathFor(std::string_view windowsDirectory, std::string_view title) {
  char winDir[kPathBufferSize];
  char path[kPathBufferSize];
  const std::string windows(windowsDirectory), name(title);
  const PayloadEntry unused{};
  if (!BuildWinDir(winDir, sizeof winDir, windows.c_str()) ||
      !BuildInstalledPath(path, sizeof path, winDir, name.c_str(), kDataFilePosition, unused, 0))
    return std::string();
  return path;
}

bool IsMediaFileName(std::string_view name, std::string_view dataFileName) {
  if (name.size() < 8 || EqualNoCase(name, dataFileName)) return false;
  const std::string_view prefix = name.substr(0, 4);
  bool known = false;
  for (std::uint8_t kind : {kKindJuke, kKindJukUnderscore, std::uint8_t{' '}})
    known = known || EqualNoCase(prefix, MediaFilePrefix(kind));
  if (!known) return false;
  for (std::size_t i = 4; i < 8; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

std::vector<std::string> SelectMediaFiles(const std::vector<std::string>& names,
                                          std::string_view dataFileName) {
  std::vector<std::string> media;
  for (const std::string& name : names)
    if (IsMediaFileName(name, dataFileName)) media.push_back(name);
  std::sort(media.begin(), media.end(), [](const std::string& a, const std::string& b) {
    const std::uint64_t na = MediaNumber(a), nb = MediaNumber(b);
    return na != nb ? na < nb : LessNoCase(a, b);
  });
  return media;
}

}  // namespace screensaver
