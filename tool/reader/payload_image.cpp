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

// A WIN_CERTIFICATE: u32 dwLength (header included), u16 wRevision, u16
// wCertificateType, then the certificate; each starts on an 8-byte boundary.
constexpr std::uint32_t kCertificateHeaderSize = 8;
constexpr std::uint32_t kCertificateAlignment = 8;
// More than any signer writes (one signature, nested ones inside it).
constexpr unsigned kMostCertificates = 256;

bool KnownCertificateKind(std::uint16_t revision, std::uint16_t type) {
  const bool knownRevision = revision == 0x0100 || revision == 0x0200;  // WIN_CERT_REVISION_1_0, _2_0
  // WIN_CERT_TYPE_X509, _PKCS_SIGNED_DATA, _TS_STACK_SIGNED
  const bool knownType = type == 0x0001 || type == 0x0002 || type == 0x0004;
  return knownRevision && knownType;
}

// Where the headers end: behind the section table, or SizeOfHeaders when
// that says more; 0 when they cannot be read.
template <class Source>
std::uint64_t HeadersEnd(Source& file) {
  namespace pe = format::pe_layout;
  std::uint32_t signature = 0;
  std::uint8_t count[2], sizeOfHeaders[4];
  if (!FindPeSignature(file, &signature) ||
      !file.ReadAt(std::uint64_t{signature} + pe::kFileHeaderFromSignature + pe::kNumberOfSections, count, 2) ||
      !file.ReadAt(std::uint64_t{signature} + pe::kOptionalHeaderFromSignature + pe::kSizeOfHeaders, sizeOfHeaders, 4))
    return 0;
  const std::uint64_t sectionTableEnd =
      std::uint64_t{signature} + pe::kSectionTableFromSignature + std::uint64_t{format::ReadLe16(count)} * pe::kSectionHeaderSize;
  return std::max<std::uint64_t>(sectionTableEnd, ReadLe32(sizeOfHeaders));
}

// Walks every WIN_CERTIFICATE of a table that lies inside the file; empty
// when all are sound, else what is wrong.
template <class Source>
std::string CertificatesDamage(Source& file, std::uint32_t offset, std::uint32_t size) {
  std::uint64_t at = offset;
  const std::uint64_t end = std::uint64_t{offset} + size;
  for (unsigned count = 0; at < end; ++count) {
    if (count == kMostCertificates) return "more than " + std::to_string(kMostCertificates) + " certificates";
    std::uint8_t header[kCertificateHeaderSize];
    if (end - at < kCertificateHeaderSize || !file.ReadAt(at, header, sizeof header))
      return "certificate length does not fit its table";
    const std::uint32_t length = ReadLe32(header);
    if (length < kCertificateHeaderSize || length > end - at) return "certificate length does not fit its table";
    if (!KnownCertificateKind(format::ReadLe16(header + 4), format::ReadLe16(header + 6)))
      return "unknown certificate revision or type";
    at += (std::uint64_t{length} + kCertificateAlignment - 1) / kCertificateAlignment * kCertificateAlignment;
  }
  return std::string();
}

// Reads data directory 4 and checks the table it names against the file,
// and every certificate in it; every field is hostile. One walk for the
// image's own table and for the decoded bytes of a PE entry.
template <class Source>
CertificateTable CertificateTableOf(Source& file) {
  CertificateTable table;
  PeHeaderFields fields;
  std::uint8_t entry[8];
  if (!FindPeHeaderFieldsIn(file, &fields) || !file.ReadAt(fields.securityDirectory, entry, sizeof entry))
    return table;
  table.offset = ReadLe32(entry);
  table.size = ReadLe32(entry + 4);
  if (table.offset == 0 && table.size == 0) return table;

  table.state = SignatureState::kDamaged;
  const std::uint64_t end = std::uint64_t{table.offset} + table.size;
  const std::uint64_t headersEnd = HeadersEnd(file);
  if (table.size < kCertificateHeaderSize) {
    table.damage = "certificate table smaller than one certificate header";
  } else if (end > file.Size()) {
    table.damage = "certificate table runs past the end of the file";
  } else if (table.offset < fields.securityDirectory + 8 || headersEnd == 0 || table.offset < headersEnd) {
    table.damage = "certificate table lies inside the PE headers";
  } else if (table.offset % kCertificateAlignment != 0) {
    table.damage = "certificate table is not 8-byte aligned";
  } else {
    table.damage = CertificatesDamage(file, table.offset, table.size);
    if (table.damage.empty()) table.state = SignatureState::kSigned;
  }
  return table;
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
