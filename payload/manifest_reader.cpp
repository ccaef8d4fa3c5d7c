// Reading the payload manifest: the title, and the walk over the entry table.
#include "payload/manifest_reader.h"

#include <cstring>

#include "payload/image_walk.h"

char ScreenSaverTitle[kTitleFieldSize + 1];

namespace {

bool ReadU16(HFILE file, std::uint16_t* value) {
  std::uint8_t raw[2];
  if (_lread(file, raw, sizeof raw) != sizeof raw) return false;
  *value = ReadLe16(raw);
  return true;
}

bool SkipForward(HFILE file, LONG bytes) { return _llseek(file, bytes, FILE_CURRENT) != HFILE_ERROR; }

}  // namespace

bool ReadTitleField(HFILE manifest, char (&title)[kTitleFieldSize + 1]) {
  std::uint16_t licenseLength = 0;
  if (!ReadU16(manifest, &licenseLength) || !SkipForward(manifest, licenseLength)) return false;
  UINT got = _lread(manifest, title, kTitleFieldSize);
  title[kTitleFieldSize] = '\0';
  return got == kTitleFieldSize;
}

void ReadScreenSaverTitle() {
  HFILE manifest = OpenPayloadManifest();
  if (manifest == HFILE_ERROR) return;
  ReadTitleField(manifest, ScreenSaverTitle);
  _lclose(manifest);
}

bool SkipToEntryTable(HFILE manifest, std::uint16_t* licenseLength, std::uint16_t* numberBase) {
  return ReadU16(manifest, licenseLength) && SkipForward(manifest, *licenseLength) &&
         SkipForward(manifest, kTitleFieldSize) && ReadU16(manifest, numberBase);
}

bool ReadNextEntry(HFILE manifest, PayloadEntry* entry) {
  std::uint8_t raw[kEntrySize];
  if (_lread(manifest, raw, kEntrySize) != kEntrySize) return false;
  *entry = DecodePayloadEntry(raw);
  return entry->StoredSize != 0;
}
