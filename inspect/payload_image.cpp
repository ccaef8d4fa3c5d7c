// Reads the whole manifest of an installer image for reports.
#include "inspect/payload_image.h"

#include <cstring>

#include "inspect/image_file.h"
#include "payload/manifest_header.h"

namespace {

// The MZ and PE signatures: the installer never checks them, but a report
// should tell a wrong file from a damaged installer.
bool LooksLikePeImage(ImageFile& file) {
  std::uint8_t dos[64];
  std::uint8_t signature[4];
  if (!file.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
  return file.ReadAt(ReadLe32(dos + 60), signature, 4) && std::memcmp(signature, "PE\0\0", 4) == 0;
}

// Keeps the licence text in the image's string.
char* LicenseInto(std::uint16_t length, void* context) {
  std::string& text = *static_cast<std::string*>(context);
  text.resize(length);
  return text.data();
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

InstallRefusal PayloadImage::InstallerRefusalOf(std::uint32_t position) const {
  const std::string title = Title();
  const InstallPlace place{kReferenceWinDir, title.c_str(), numberBase, fileSize};
  return InstallerRefusal(place, entries[position], position);
}

PayloadImage LoadPayloadImage(const std::string& path) {
  PayloadImage loaded;
  PayloadImage* image = &loaded;
  image->path = path;
  ImageFile file;
  if (!file.Open(path)) throw ImageError(path, file.Why());
  if (!LooksLikePeImage(file)) throw ImageError(path, "not a PE image");
  image->fileSize = file.Size();

  switch (WalkToManifest(file, &image->walk)) {
    case ManifestWalkError::None: break;
    case ManifestWalkError::OpenFailed: throw ImageError(path, "cannot open the file");
    case ManifestWalkError::NoResourceSection: throw ImageError(path, "no .rsrc section");
    case ManifestWalkError::CutShort: throw ImageError(path, "image cut short");
  }
  if (image->walk.manifestOffset >= image->fileSize) throw ImageError(path, "manifest lies beyond the end of the file");

  ImageFileCursor cursor(file, image->walk.manifestOffset);
  ManifestHeaderTargets targets;
  targets.keepLicense = true;
  targets.licenseBuffer = LicenseInto;
  targets.licenseContext = &image->licenseText;
  targets.title = image->titleField;
  targets.numberBase = &image->numberBase;
  if (!ReadManifestHeader(cursor, targets, &image->licenseLength)) throw ImageError(path, "image cut short");

  // Entries up to the terminator; a table that ends by running out of file
  // rather than at a terminator is cut short.
  for (;;) {
    std::uint8_t raw[kEntrySize];
    if (!cursor.Read(raw, kEntrySize)) {
      image->tableCutShort = true;
      break;
    }
    const PayloadEntry entry = DecodePayloadEntry(raw);
    if (entry.StoredSize == 0) break;
    image->entries.push_back(entry);
  }
  return loaded;
}
