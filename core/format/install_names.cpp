// How payload entries are named when installed.
#include "core/format/install_names.h"

#include <cstring>

#include "core/text/bounded_text.h"

namespace format {

using text::AppendText;
using text::AppendTextPart;
using text::CopyText;
using text::TrimTrailingBlanks;

const char* MediaFilePrefix(std::uint8_t kind) {
  if (kind == kKindJukUnderscore) return "JUK_";
  if (kind == kKindJuke) return "JUKE";
  return "FILE";
}

void FormatMediaNumber(std::uint32_t number, char* out, std::size_t size) {
  // Without printf, so that the uninstaller, which builds the same names,
  // carries no formatter.
  if (size == 0) return;
  out[0] = '\0';
  for (std::uint32_t padding = 1000; padding > 1 && number < padding; padding /= 10) AppendText(out, size, "0");
  text::AppendNumber(out, size, number);
}

bool AppendBackslashIfMissing(char* path, std::size_t size) {
  std::size_t n = std::strlen(path);
  if (n > 0 && path[n - 1] == '\\') return true;
  return AppendText(path, size, "\\");
}

bool BuildWinDir(char* out, std::size_t size, const char* windowsDirectory) {
  return CopyText(out, size, windowsDirectory) && AppendBackslashIfMissing(out, size);
}

bool BuildTitleDirectory(char* out, std::size_t size, const char* winDir, const char* title) {
  return CopyText(out, size, winDir) && AppendText(out, size, kMakerFolder) &&
         AppendText(out, size, "\\") && AppendText(out, size, kProductFolder) &&
         AppendText(out, size, "\\") && AppendText(out, size, title);
}

bool BuildUninstallKeyName(char* out, std::size_t size, const char* title) {
  return CopyText(out, size, kUninstallKeyParent) && AppendText(out, size, "\\") &&
         AppendText(out, size, title);
}

bool BuildMediaFileName(char* out, std::size_t size, const PayloadEntry& entry,
                        std::uint32_t position, std::uint16_t numberBase) {
  char number[20];
  FormatMediaNumber(numberBase + (position - kFirstMediaPosition), number, sizeof number);
  if (!CopyText(out, size, MediaFilePrefix(entry.Kind)) || !AppendText(out, size, number) ||
      !AppendTextPart(out, size, entry.Name, kEntryNameSize))
    return false;
  TrimTrailingBlanks(out);
  return true;
}

bool BuildInstalledPath(char* out, std::size_t size, const char* winDir, const char* title,
                        std::uint32_t position, const PayloadEntry& entry,
                        std::uint16_t numberBase) {
  if (position == kScreenSaverPosition) {
    return CopyText(out, size, winDir) && AppendText(out, size, title) &&
           AppendText(out, size, kScreenSaverExtension);
  }
  if (!BuildTitleDirectory(out, size, winDir, title) || !AppendText(out, size, "\\")) return false;
  if (position == kDataFilePosition) {
    return AppendText(out, size, title) && AppendText(out, size, kDataFileExtension);
  }
  if (position == kUninstallerPosition) {
    // The data file's path cut at its last backslash: with a backslash in
    // the title that is not the title directory, and the rule is kept so
    // that the installer and the tool agree on the name.
    if (!AppendText(out, size, title)) return false;
    *std::strrchr(out, '\\') = '\0';
    return AppendText(out, size, "\\") && AppendText(out, size, kUninstallerName);
  }
  char media[kPathBufferSize];
  return BuildMediaFileName(media, sizeof media, entry, position, numberBase) &&
         AppendText(out, size, media);
}

bool BuildInstalledFileName(char* out, std::size_t size, const char* title,
                            std::uint32_t position, const PayloadEntry& entry,
                            std::uint16_t numberBase) {
  switch (position) {
    case kScreenSaverPosition:
      return CopyText(out, size, title) && AppendText(out, size, kScreenSaverExtension);
    case kDataFilePosition:
      return CopyText(out, size, title) && AppendText(out, size, kDataFileExtension);
    case kUninstallerPosition: return CopyText(out, size, kUninstallerName);
    default: return BuildMediaFileName(out, size, entry, position, numberBase);
  }
}

bool IsDeviceName(const char* name) {
  std::size_t stem = std::strcspn(name, ".");
  while (stem > 0 && name[stem - 1] == ' ') --stem;
  char upper[8] = {};
  if (stem < 3 || stem >= sizeof upper) return false;
  for (std::size_t i = 0; i < stem; ++i) {
    const char c = name[i];
    upper[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices)
    if (std::strcmp(upper, device) == 0) return true;
  if (stem != 4 || (std::strncmp(upper, "COM", 3) != 0 && std::strncmp(upper, "LPT", 3) != 0))
    return false;
  const unsigned char digit = static_cast<unsigned char>(upper[3]);
  return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

bool IsSafeFileName(const char* name) {
  const std::size_t n = std::strlen(name);
  if (n == 0 || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  if (name[n - 1] == '.' || name[n - 1] == ' ') return false;
  for (const char* p = name; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || std::strchr(kReservedNameCharacters, c)) return false;
  }
  return !IsDeviceName(name);
}

}  // namespace format
