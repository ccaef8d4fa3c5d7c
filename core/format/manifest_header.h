// Reading the manifest's header, from its first byte to its entry table,
// over any sequential cursor: LicenseLength, the licence text, the 260-byte
// Title and NumberBase (layout in manifest_layout.h). Each caller names the
// fields it keeps; the others are skipped, and nothing is read or skipped
// after the last field it keeps, so every reader touches the file exactly
// as far as it needs.
//
//   Cursor: bool Read(void* buffer, std::uint32_t size)  exactly size bytes
//           bool Skip(std::uint32_t size)                forward, unread
#pragma once

#include <cstdint>

#include "core/format/manifest_layout.h"

namespace format {

struct ManifestHeaderTargets {
  // Where the licence text goes (LicenseLength bytes, not terminated), as
  // chosen once the length is known; null skips the text.
  char* (*licenseBuffer)(std::uint16_t length, void* context) = nullptr;
  void* licenseContext = nullptr;
  bool keepLicense = false;
  char* title = nullptr;  // 260 bytes and a terminator written behind them
  std::uint16_t* numberBase = nullptr;
};

// False when a read or a skip fails; fields read before then are filled
// (the title with what arrived, terminated).
template <class Cursor>
bool ReadManifestHeader(Cursor& manifest, const ManifestHeaderTargets& targets,
                        std::uint16_t* licenseLength) {
  std::uint8_t raw[2];
  if (!manifest.Read(raw, sizeof raw)) return false;
  *licenseLength = ReadLe16(raw);
  const bool afterLicense = targets.title != nullptr || targets.numberBase != nullptr;
  if (!targets.keepLicense && !afterLicense) return true;
  char* text = targets.keepLicense && *licenseLength != 0
                   ? targets.licenseBuffer(*licenseLength, targets.licenseContext)
                   : nullptr;
  if (text != nullptr) {
    if (!manifest.Read(text, *licenseLength)) return false;
  } else if (afterLicense && !manifest.Skip(*licenseLength)) {
    return false;
  }
  if (targets.title != nullptr) {
    const bool whole = manifest.Read(targets.title, kTitleFieldSize);
    targets.title[kTitleFieldSize] = '\0';
    if (!whole) return false;
  } else if (targets.numberBase != nullptr && !manifest.Skip(kTitleFieldSize)) {
    return false;
  }
  if (targets.numberBase == nullptr) return true;
  if (!manifest.Read(raw, sizeof raw)) return false;
  *targets.numberBase = ReadLe16(raw);
  return true;
}

}  // namespace format
