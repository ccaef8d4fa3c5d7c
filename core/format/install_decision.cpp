// The rule by which the installer writes an entry or refuses it.
#include "core/format/install_decision.h"

#include "core/text/bounded_text.h"
#include "core/format/title_rule.h"

namespace format {

InstallRefusal InstallDestination(const InstallPlace& place, const PayloadEntry& entry,
                                  std::uint32_t position, char (&destination)[kPathBufferSize],
                                  char* fullPath, std::size_t fullSize) {
  destination[0] = '\0';
  BuildInstalledPath(fullPath, fullSize, place.winDir, place.title, position, entry,
                     place.numberBase);
  if (place.winDir[0] == '\0') return InstallRefusal::kNoWindowsDirectory;
  if (CheckTitle(place.title) != TitleFault::kNone) return InstallRefusal::kUnsafeTitle;
  if (position >= kFirstMediaPosition) {
    char name[kPathBufferSize];
    if (!BuildMediaFileName(name, sizeof name, entry, position, place.numberBase) ||
        !IsSafeFileName(name))
      return InstallRefusal::kUnsafeName;
  }
  if (!text::CopyText(destination, fullPath)) return InstallRefusal::kPathTooLong;
  return InstallRefusal::kNone;
}

InstallRefusal InstallerRefusal(const InstallPlace& place, const PayloadEntry& entry,
                                std::uint32_t position) {
  char fullPath[4 * kPathBufferSize];
  return InstallerRefusal(place, entry, position, fullPath, sizeof fullPath);
}

InstallRefusal InstallerRefusal(const InstallPlace& place, const PayloadEntry& entry,
                                std::uint32_t position, char* fullPath, std::size_t fullSize) {
  char destination[kPathBufferSize];
  const InstallRefusal refusal =
      InstallDestination(place, entry, position, destination, fullPath, fullSize);
  if (refusal != InstallRefusal::kNone) return refusal;
  return DataInsideImage(entry, place.imageSize) ? InstallRefusal::kNone
                                                 : InstallRefusal::kDataOutsideImage;
}

}  // namespace format
