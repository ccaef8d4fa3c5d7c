// The rule by which the installer writes an entry or refuses it.
#include "core/format/install_decision.h"

#include "core/text/bounded_text.h"
#include "core/format/title_rule.h"

InstallRefusal InstallDestination(const InstallPlace& place, const PayloadEntry& entry,
                                  std::uint32_t position, char (&destination)[kPathBufferSize],
                                  char* fullPath, std::size_t fullSize) {
  destination[0] = '\0';
  BuildInstalledPath(fullPath, fullSize, place.winDir, place.title, position, entry,
                     place.numberBase);
  if (place.winDir[0] == '\0') return InstallRefusal::NoWindowsDirectory;
  if (CheckTitle(place.title) != TitleFault::None) return InstallRefusal::UnsafeTitle;
  if (position >= kFirstMediaPosition) {
    char name[kPathBufferSize];
    if (!BuildMediaFileName(name, sizeof name, entry, position, place.numberBase) ||
        !IsSafeFileName(name))
      return InstallRefusal::UnsafeName;
  }
  if (!CopyText(destination, fullPath)) return InstallRefusal::PathTooLong;
  return InstallRefusal::None;
}

InstallRefusal InstallerRefusal(const InstallPlace& place, const PayloadEntry& entry,
                                std::uint32_t position) {
  char destination[kPathBufferSize];
  char fullPath[4 * kPathBufferSize];
  const InstallRefusal refusal =
      InstallDestination(place, entry, position, destination, fullPath, sizeof fullPath);
  if (refusal != InstallRefusal::None) return refusal;
  return DataInsideImage(entry, place.imageSize) ? InstallRefusal::None
                                                 : InstallRefusal::DataOutsideImage;
}
