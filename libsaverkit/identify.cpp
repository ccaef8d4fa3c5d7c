// Identifying a file, reading no more than the answer needs.
#include "saverkit/identify.h"

#include <memory>

#include "core/format/image_walk.h"
#include "core/format/pe_header_fields.h"
#include "libsaverkit/failures.h"
#include "libsaverkit/image_impl.h"
#include "tool/reader/image_file.h"
#include "tool/reader/payload_image.h"

namespace saverkit {

namespace {

// The payload resource's type: the one named type of an installer image,
// and so the first entry of its root resource directory, which the
// installer takes as its manifest.
constexpr format::ResourceKeyRef kPayloadType{"LASTRES", 0};

enum class Shape { kNotPe, kNoPayloadResource, kPayloadResource, kCutShort };

// Two small reads tell a file that is no PE image; a PE image then costs
// its section table and the first entry of the resource root.
Shape ShapeOf(reader::ImageFile& file) {
  std::uint32_t peOffset = 0;
  if (!format::FindPeSignature(file, &peOffset)) return Shape::kNotPe;
  std::uint32_t virtualAddress = 0;
  std::uint32_t resourceBase = 0;
  switch (format::FindResourceSection(file, &virtualAddress, &resourceBase)) {
    case format::ManifestWalkError::kNone: break;
    case format::ManifestWalkError::kNoResourceSection: return Shape::kNoPayloadResource;
    case format::ManifestWalkError::kOpenFailed:
    case format::ManifestWalkError::kCutShort: return Shape::kCutShort;
  }
  std::uint8_t header[format::kDirectoryHeaderSize + format::pe_layout::kResourceEntrySize];
  if (!file.ReadAt(resourceBase, header, sizeof header)) return Shape::kCutShort;
  const std::uint32_t firstName = format::ReadLe32(header + format::kDirectoryHeaderSize);
  const bool payloadFirst = format::EntryIsKey(file, resourceBase, firstName, kPayloadType);
  return payloadFirst ? Shape::kPayloadResource : Shape::kNoPayloadResource;
}

Identification IdentifyOpened(reader::ImageFile& file, const std::string& name) {
  Identification result;
  switch (ShapeOf(file)) {
    case Shape::kNotPe:
    case Shape::kNoPayloadResource: return result;
    case Shape::kCutShort:
      result.kind = FileKind::kDamaged;
      result.damage = "image cut short";
      return result;
    case Shape::kPayloadResource: break;
  }
  std::unique_ptr<Image> image;
  try {
    image = std::make_unique<Image>(
        Translated(name, [&] { return ImageAccess::FromPayload(reader::LoadPayloadImage(file, name), name); }));
  } catch (const Error& error) {
    if (error.kind() == ErrorKind::kIo) throw;
    result.kind = FileKind::kDamaged;
    result.damage = error.what();
    return result;
  }
  result.title = image->title();
  result.entries = image->entries().size();
  result.installTotal = image->installTotal();
  result.isSigned = image->signature().state == SignatureState::kSigned;
  result.publisher = image->publisher();
  result.version = image->version();
  result.installerProgram = image->installerProgram();
  result.installerIdentity = image->installerIdentity();
  result.damage = image->damage();
  result.kind = result.damage.empty() ? FileKind::kInstaller : FileKind::kDamaged;
  return result;
}

}  // namespace

const char* FileKindName(FileKind kind) {
  switch (kind) {
    case FileKind::kInstaller: return "installer";
    case FileKind::kNotInstaller: return "not an installer";
    case FileKind::kDamaged: break;
  }
  return "damaged";
}

Identification Identify(const std::string& path) {
  reader::ImageFile file;
  Translated(path, [&] { file.Open(path); });
  return IdentifyOpened(file, path);
}

Identification IdentifyMemory(const std::vector<std::uint8_t>& bytes) {
  reader::ImageFile file;
  // The bytes are copied once, as Image::OpenMemory takes them.
  file.OpenMemory(std::make_shared<const std::vector<std::uint8_t>>(bytes));
  return IdentifyOpened(file, "<memory>");
}

}  // namespace saverkit
