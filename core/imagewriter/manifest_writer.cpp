// Writes the payload manifest and the entry data behind it.
#include "core/imagewriter/manifest_writer.h"

#include <cstring>
#include <stdexcept>

#include "core/format/manifest_layout.h"

namespace imagewriter {

using format::EncodePayloadEntry;
using format::ManifestHeaderSize;
using format::PayloadEntry;
using format::WriteLe16;
using format::kEntryNameSize;
using format::kEntrySize;
using format::kMaxLicenseLength;
using format::kTitleFieldSize;

std::vector<std::uint8_t> BuildManifestTail(const ManifestContents& contents, std::uint32_t manifestOffset) {
  if (contents.license.size() > kMaxLicenseLength) throw std::invalid_argument("licence longer than 65,535 bytes");
  if (contents.title.size() > kTitleFieldSize) throw std::invalid_argument("title longer than 260 bytes");

  const std::uint32_t licenseLength = static_cast<std::uint32_t>(contents.license.size());
  const std::size_t tableSize = kEntrySize * (contents.entries.size() + 1);
  std::vector<std::uint8_t> out(ManifestHeaderSize(licenseLength) + tableSize, 0);
  WriteLe16(&out[0], static_cast<std::uint16_t>(licenseLength));
  if (licenseLength) std::memcpy(&out[2], contents.license.data(), licenseLength);
  if (!contents.title.empty()) std::memcpy(&out[2 + licenseLength], contents.title.data(), contents.title.size());
  WriteLe16(&out[2 + licenseLength + kTitleFieldSize], contents.numberBase);

  std::uint64_t nextData = std::uint64_t{manifestOffset} + out.size();
  std::size_t entryAt = ManifestHeaderSize(licenseLength);
  for (const EntryContents& e : contents.entries) {
    if (e.name.size() > kEntryNameSize) throw std::invalid_argument("entry name longer than 15 bytes");
    PayloadEntry entry{};
    const std::uint64_t dataOffset = e.dataOffset ? *e.dataOffset : nextData;
    if (dataOffset > 0xFFFFFFFFu || e.stored.size() > 0xFFFFFFFFu)
      throw std::invalid_argument("entry data beyond 4 GiB");
    entry.DataOffset = static_cast<std::uint32_t>(dataOffset);
    entry.StoredSize = e.storedSize ? *e.storedSize : static_cast<std::uint32_t>(e.stored.size());
    entry.ExpandedSize = e.expandedSize;
    std::memset(entry.Name, ' ', kEntryNameSize);
    std::memcpy(entry.Name, e.name.data(), e.name.size());
    entry.Kind = e.kind;
    std::uint8_t raw[kEntrySize];
    EncodePayloadEntry(entry, raw);
    std::memcpy(&out[entryAt], raw, kEntrySize);
    entryAt += kEntrySize;
    if (!e.dataOffset) {
      out.insert(out.end(), e.stored.begin(), e.stored.end());
      nextData += e.stored.size();
    }
  }
  return out;
}

std::vector<std::uint8_t> BuildInstallerImage(const ManifestContents& contents,
                                              std::vector<ResourceItem> otherResources) {
  PeImageLayout image;
  // A code section that only returns, so the image looks like a program.
  image.sectionsBefore.push_back({".text", {0xC3}, 0x60000020});
  ResourceItem manifest{ResourceKey::Named("LASTRES"), ResourceKey::Number(1000), 1033, {0, 0, 0, 0}, true};
  image.resources = std::move(otherResources);
  image.resources.push_back(std::move(manifest));
  PeImage pe = WritePeImage(image);
  // Entries that name no offset place their data behind the manifest, so the
  // tail's size does not depend on explicit offsets elsewhere in the file.
  std::vector<std::uint8_t> tail = BuildManifestTail(contents, pe.lastDataOffset);
  PlaceTail(pe.bytes, pe.lastDataOffset, tail);
  return pe.bytes;
}

}  // namespace imagewriter
