// Reading the installer's own manifest: the title, and the walk over the
// entry table.
#include "installer/own_manifest.h"

#include "core/format/manifest_header.h"
#include "installer/own_image.h"

namespace installer {

using format::DecodePayloadEntry;
using format::ManifestHeaderTargets;
using format::PayloadEntry;
using format::kEntrySize;
using format::kTitleFieldSize;

char ScreenSaverTitle[kTitleFieldSize + 1];

bool ReadTitleField(HFILE manifest, char (&title)[kTitleFieldSize + 1]) {
  LopenManifestCursor cursor(manifest);
  ManifestHeaderTargets targets;
  targets.title = title;
  std::uint16_t licenseLength = 0;
  return ReadManifestHeader(cursor, targets, &licenseLength);
}

bool ReadScreenSaverTitle() {
  HFILE manifest = OpenPayloadManifest();
  if (manifest == HFILE_ERROR) return false;
  const bool read = ReadTitleField(manifest, ScreenSaverTitle);
  _lclose(manifest);
  return read;
}

bool SkipToEntryTable(HFILE manifest, std::uint16_t* numberBase) {
  LopenManifestCursor cursor(manifest);
  ManifestHeaderTargets targets;
  targets.numberBase = numberBase;
  std::uint16_t licenseLength = 0;
  return ReadManifestHeader(cursor, targets, &licenseLength);
}

bool ReadNextEntry(HFILE manifest, PayloadEntry* entry) {
  std::uint8_t raw[kEntrySize];
  if (_lread(manifest, raw, kEntrySize) != kEntrySize) return false;
  *entry = DecodePayloadEntry(raw);
  return entry->StoredSize != 0;
}

}  // namespace installer
