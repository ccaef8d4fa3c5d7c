// Reads the whole manifest of an installer image for reports.
#include "tool/reader/payload_image.h"

#include "core/format/installer_identity.h"

#include <algorithm>
#include <cstring>

#include "tool/reader/image_file.h"
#include "core/format/manifest_header.h"
#include "core/format/memory_source.h"
#include "core/format/pe_header_fields.h"

using format::DecodePayloadEntry;
using format::FindPeHeaderFieldsIn;
using format::FindPeSignature;
using format::InstallPlace;
using format::InstallRefusal;
using format::InstalledSize;
using format::InstallerRefusal;
using format::ManifestHeaderTargets;
using format::ManifestWalkError;
using format::PayloadEntry;
using format::PeHeaderFields;
using format::ReadLe32;
using format::ReadManifestHeader;
using format::WalkToManifest;
using format::kEntrySize;
using format::kReferenceWinDir;

namespace reader {

namespace {

// Keeps the licence text in the image's string.
char* LicenseInto(std::uint16_t length, void* context) {
  std::string& text = *static_cast<std::string*>(context);
  text.resize(length);
  return text.data();
}

}  // namespace

CertificateTable ReadCertificateTable(const std::vector<std::uint8_t>& pe) {
  format::MemoryImageSource source(pe);
  return CertificateTableOf(source);
}

bool IsPeImage(const std::vector<std::uint8_t>& bytes) {
  format::MemoryImageSource source(bytes);
  std::uint32_t signature = 0;
  return FindPeSignature(source, &signature);
}

std::uint64_t PayloadImage::PayloadEnd() const {
  std::uint64_t end = manifestEnd;
  for (const PayloadEntry& entry : entries)
    end = std::max(end, std::uint64_t{entry.DataOffset} + entry.StoredSize);
  return end;
}

bool PayloadImage::SignatureCoversPayload() const { return certificates.offset >= PayloadEnd(); }

std::uint64_t PayloadImage::BytesAfterSignature() const {
  const std::uint64_t end = std::uint64_t{certificates.offset} + certificates.size;
  return fileSize > end ? fileSize - end : 0;
}

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
  return InstallerRefusal(ReferencePlace(title), entries[position], position);
}

void RequirePeImage(ImageFile& file, const std::string& name) {
  // The installer never checks the MZ and PE signatures, but a report should
  // tell a wrong file from a damaged installer.
  std::uint32_t peSignature = 0;
  if (!FindPeSignature(file, &peSignature)) throw ImageError(name, "not a PE image");
}

void OpenPeImage(const std::string& path, ImageFile* file) {
  file->Open(path);
  RequirePeImage(*file, path);
}

PayloadImage LoadPayloadImage(const std::string& path) {
  ImageFile file;
  file.Open(path);
  return LoadPayloadImage(file, path);
}

PayloadImage LoadPayloadImage(ImageFile& file, const std::string& path) {
  PayloadImage loaded;
  PayloadImage* image = &loaded;
  image->path = path;
  RequirePeImage(file, path);
  image->fileSize = file.Size();

  switch (WalkToManifest(file, &image->walk)) {
    case ManifestWalkError::kNone: break;
    case ManifestWalkError::kOpenFailed: throw ImageError(path, "cannot open the file");
    case ManifestWalkError::kNoResourceSection: throw ImageError(path, "no .rsrc section");
    case ManifestWalkError::kCutShort: throw ImageError(path, "image cut short");
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
  image->manifestEnd = cursor.offset();
  image->certificates = CertificateTableOf(file);
  format::ReadImageVersionInfo(file, &image->versionInfo);
  char identity[format::kInstallerIdentitySize];
  if (format::ReadInstallerIdentity(file, identity)) image->installerProgram = identity;
  return loaded;
}

}  // namespace reader
