// Reads the whole manifest of an installer image for reports.
#include "payload/payload_image.h"

#include <cstring>

#include "payload/manifest_reader.h"

namespace {

bool ReadExactly(HFILE file, void* buffer, UINT size) { return _lread(file, buffer, size) == size; }

// The MZ and PE signatures: the installer never checks them, but a report
// should tell a wrong file from a damaged installer.
bool LooksLikePeImage(HFILE file) {
  std::uint8_t dos[64];
  std::uint8_t signature[4];
  if (_llseek(file, 0, FILE_BEGIN) != 0 || !ReadExactly(file, dos, sizeof dos)) return false;
  if (dos[0] != 'M' || dos[1] != 'Z') return false;
  const std::uint32_t lfanew = ReadLe32(dos + 60);
  if (lfanew > 0x7FFFFFFF || _llseek(file, static_cast<LONG>(lfanew), FILE_BEGIN) != static_cast<LONG>(lfanew))
    return false;
  return ReadExactly(file, signature, 4) && std::memcmp(signature, "PE\0\0", 4) == 0;
}

}  // namespace

std::string PayloadImage::Title() const {
  std::string title(titleField);
  while (!title.empty() && title.back() == ' ') title.pop_back();
  return title;
}

std::uint32_t PayloadImage::InstallTotalBytes() const {
  std::uint32_t total = 0;
  for (const PayloadEntry& entry : entries) total += InstalledSize(entry);
  return total;
}

bool PayloadImage::DataInsideFile(const PayloadEntry& entry) const {
  return std::uint64_t{entry.DataOffset} + entry.StoredSize <= fileSize;
}

bool LoadPayloadImage(const std::string& path, PayloadImage* image, std::string* error) {
  *image = PayloadImage();
  image->path = path;
  HFILE file = _lopen(path.c_str(), OF_READ | OF_SHARE_DENY_NONE);
  if (file == HFILE_ERROR) {
    *error = "cannot open the file";
    return false;
  }
  const LONG size = _llseek(file, 0, FILE_END);
  const bool isPe = size != HFILE_ERROR && LooksLikePeImage(file);
  _lclose(file);
  if (!isPe) {
    *error = "not a PE image";
    return false;
  }
  image->fileSize = static_cast<std::uint64_t>(size);

  HFILE manifest = OpenManifestInImage(path.c_str(), &image->walk);
  switch (image->walk.error) {
    case ManifestWalkError::None: break;
    case ManifestWalkError::OpenFailed: *error = "cannot open the file"; return false;
    case ManifestWalkError::NoResourceSection: *error = "no .rsrc section"; return false;
    case ManifestWalkError::CutShort: *error = "image cut short"; return false;
  }
  if (image->walk.manifestOffset >= image->fileSize) {
    _lclose(manifest);
    *error = "manifest lies beyond the end of the file";
    return false;
  }

  std::uint8_t raw[2];
  bool ok = ReadExactly(manifest, raw, 2);
  if (ok) {
    image->licenseLength = ReadLe16(raw);
    image->licenseText.resize(image->licenseLength);
    ok = ReadExactly(manifest, image->licenseText.data(), image->licenseLength) &&
         ReadExactly(manifest, image->titleField, kTitleFieldSize) && ReadExactly(manifest, raw, 2);
  }
  if (!ok) {
    _lclose(manifest);
    *error = "image cut short";
    return false;
  }
  image->titleField[kTitleFieldSize] = '\0';
  image->numberBase = ReadLe16(raw);

  PayloadEntry entry;
  const LONG tableStart = _llseek(manifest, 0, FILE_CURRENT);
  while (ReadNextEntry(manifest, &entry)) image->entries.push_back(entry);
  // A table that ends by running out of file rather than at a terminator.
  const std::uint64_t tableEnd =
      static_cast<std::uint64_t>(tableStart) + kEntrySize * (image->entries.size() + 1);
  image->tableCutShort = tableEnd > image->fileSize;
  _lclose(manifest);
  return true;
}
