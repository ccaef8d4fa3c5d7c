// Lays out a packed installer image from a stub and a manifest.
#include "tool/packer/installer_assembly.h"

#include <algorithm>
#include <cstring>

#include "core/imagewriter/pe_checksum.h"
#include "core/format/manifest_layout.h"
#include "core/format/pe_layout.h"

using format::WriteLe16;
using format::WriteLe32;

namespace packer {

using imagewriter::BuildManifestTail;
using imagewriter::BuildResourceSection;
using imagewriter::ComputePeChecksum;
using imagewriter::ManifestContents;
using imagewriter::PlaceTail;
using imagewriter::ResourceItem;

namespace pe = format::pe_layout;

namespace {

constexpr std::uint32_t kDeclaredSizeAlignment = 16;

std::uint32_t AlignUp(std::uint64_t value, std::uint32_t alignment) {
  const std::uint64_t aligned = (value + alignment - 1) / alignment * alignment;
  if (aligned > 0xFFFFFFFFu) throw StubError("the image would grow beyond 4 GiB");
  return static_cast<std::uint32_t>(aligned);
}

// The span of addresses a section occupies once loaded.
std::uint64_t VirtualEnd(const SectionHeader& s) {
  return std::uint64_t{s.virtualAddress} + std::max(s.virtualSize, s.sizeOfRawData);
}

bool DirectoryPointsInto(const StubImage& stub, const SectionHeader& s, unsigned skip) {
  for (unsigned i = 0; i < pe::kDataDirectoryCount; ++i) {
    if (i == skip || i == pe::kSecurityDirectory) continue;  // security: a file offset
    const DataDirectoryEntry& d = stub.directories[i];
    if (d.rva == 0 && d.size == 0) continue;
    if (d.rva >= s.virtualAddress && d.rva < VirtualEnd(s)) return true;
  }
  return false;
}

void WriteSectionHeader(std::vector<std::uint8_t>& out, std::uint32_t at, const SectionHeader& s) {
  std::memset(&out[at], 0, pe::kSectionHeaderSize);
  std::memcpy(&out[at + pe::kSectionName], s.name.data(), std::min<std::size_t>(s.name.size(), pe::kSectionNameSize));
  WriteLe32(&out[at + pe::kVirtualSize], s.virtualSize);
  WriteLe32(&out[at + pe::kVirtualAddress], s.virtualAddress);
  WriteLe32(&out[at + pe::kSizeOfRawData], s.sizeOfRawData);
  WriteLe32(&out[at + pe::kPointerToRawData], s.pointerToRawData);
  WriteLe32(&out[at + pe::kSectionCharacteristics], s.characteristics);
}

void PadTo(std::vector<std::uint8_t>& out, std::uint32_t size) {
  if (out.size() < size) out.resize(size, 0);
}

// Throws StubError unless ".rsrc" can become the program's last section:
// the sections ahead of it stay where they are, and behind it only base
// relocations (returned, or null) and discardable sections no data
// directory points into.
const SectionHeader* CheckResourceSectionCanGoLast(const StubImage& stub) {
  const std::size_t resourceIndex = stub.resourceSection;
  const SectionHeader& rsrc = stub.sections[resourceIndex];
  const std::uint32_t tableEnd = stub.SectionTableOffset() +
                                 pe::kSectionHeaderSize * static_cast<std::uint32_t>(stub.sections.size());
  if (rsrc.pointerToRawData < tableEnd)
    throw StubError("the .rsrc section's data overlaps the headers");

  // Sections ahead of ".rsrc" stay byte for byte where they are.
  for (std::size_t i = 0; i < resourceIndex; ++i) {
    const SectionHeader& s = stub.sections[i];
    if (s.sizeOfRawData != 0 && std::uint64_t{s.pointerToRawData} + s.sizeOfRawData > rsrc.pointerToRawData)
      throw StubError("section " + s.name + " has its data behind the .rsrc section's");
    if (VirtualEnd(s) > rsrc.virtualAddress)
      throw StubError("section " + s.name + " lies above the .rsrc section in memory");
  }
  if (DirectoryPointsInto(stub, rsrc, pe::kResourceDirectory))
    throw StubError("a data directory other than the resources points into .rsrc");

  // Behind ".rsrc": the base relocations move, debug information goes.
  const SectionHeader* relocations = nullptr;
  for (std::size_t i = resourceIndex + 1; i < stub.sections.size(); ++i) {
    const SectionHeader& s = stub.sections[i];
    const DataDirectoryEntry& relocs = stub.directories[pe::kBaseRelocationDirectory];
    if (!relocations && relocs.size != 0 && relocs.rva == s.virtualAddress &&
        !DirectoryPointsInto(stub, s, pe::kBaseRelocationDirectory)) {
      relocations = &s;
    } else if (!(s.characteristics & pe::kSectionDiscardable) ||
               DirectoryPointsInto(stub, s, pe::kDataDirectoryCount)) {
      throw StubError("section " + s.name +
                      " follows the .rsrc section; the resource section must be the program's last");
    }
  }
  return relocations;
}

// The packed image as it grows from the stub's bytes ahead of ".rsrc":
// where the next section's data and addresses go, and the sections placed
// there so far.
struct GrowingImage {
  std::vector<std::uint8_t> bytes;
  std::uint32_t nextRaw = 0;
  std::uint32_t nextRva = 0;
  std::vector<SectionHeader> placed;
};

// The base relocations, moved to where ".rsrc" began.
void MoveRelocations(const StubImage& stub, const SectionHeader& relocations, GrowingImage& image) {
  SectionHeader moved = relocations;
  moved.virtualAddress = image.nextRva;
  moved.pointerToRawData = moved.sizeOfRawData ? image.nextRaw : 0;
  PadTo(image.bytes, image.nextRaw);
  image.bytes.insert(image.bytes.end(), stub.bytes.begin() + relocations.pointerToRawData,
                     stub.bytes.begin() + relocations.pointerToRawData + relocations.sizeOfRawData);
  image.nextRaw = AlignUp(std::uint64_t{image.nextRaw} + moved.sizeOfRawData, stub.fileAlignment);
  image.nextRva = AlignUp(VirtualEnd(moved), stub.sectionAlignment);
  image.placed.push_back(moved);
}

// The resource section rebuilt from `resources` with the LASTRES
// placeholder's data last; returns the file offset of that data, where the
// manifest goes.
std::uint32_t PlaceResourceSection(const StubImage& stub, const std::vector<ResourceItem>& resourceItems,
                                   GrowingImage& image) {
  std::vector<ResourceItem> items = resourceItems;
  for (ResourceItem& item : items) item.placeLast = IsPayloadResource(item);
  std::uint32_t lastData = 0;
  const std::vector<std::uint8_t> section = BuildResourceSection(items, image.nextRva, &lastData);
  SectionHeader resources = stub.sections[stub.resourceSection];
  resources.virtualAddress = image.nextRva;
  resources.pointerToRawData = image.nextRaw;
  // The declared size runs a little past the placeholder's data: some
  // readers (binutils' objdump) stop listing the tree at a resource whose
  // data ends exactly where the section does. The bytes there are the
  // manifest's first ones.
  resources.virtualSize = AlignUp(section.size() + 1, kDeclaredSizeAlignment);
  resources.sizeOfRawData = AlignUp(resources.virtualSize, stub.fileAlignment);
  image.placed.push_back(resources);
  PadTo(image.bytes, image.nextRaw);
  image.bytes.insert(image.bytes.end(), section.begin(), section.end());
  PadTo(image.bytes, image.nextRaw + resources.sizeOfRawData);
  return image.nextRaw + lastData;
}

// The headers for the new layout: the section table (the slots of dropped
// sections zeroed), the section and symbol counts, SizeOfImage, the data
// directories and, last, the checksum.
void WriteHeaders(const StubImage& stub, const SectionHeader* relocations, GrowingImage& image) {
  std::vector<std::uint8_t>& bytes = image.bytes;
  const SectionHeader& resources = image.placed.back();
  const std::uint32_t tableEnd = stub.SectionTableOffset() +
                                 pe::kSectionHeaderSize * static_cast<std::uint32_t>(stub.sections.size());
  std::uint32_t at =
      stub.SectionTableOffset() + pe::kSectionHeaderSize * static_cast<std::uint32_t>(stub.resourceSection);
  for (const SectionHeader& s : image.placed) {
    WriteSectionHeader(bytes, at, s);
    at += pe::kSectionHeaderSize;
  }
  std::memset(&bytes[at], 0, tableEnd - at);
  const std::uint32_t file = stub.FileHeaderOffset();
  WriteLe16(&bytes[file + pe::kNumberOfSections],
            static_cast<std::uint16_t>(stub.resourceSection + image.placed.size()));
  // The symbols stay behind.
  WriteLe32(&bytes[file + pe::kPointerToSymbolTable], 0);
  WriteLe32(&bytes[file + pe::kNumberOfSymbols], 0);
  const std::uint32_t opt = stub.OptionalHeaderOffset();
  WriteLe32(&bytes[opt + pe::kSizeOfImage], AlignUp(VirtualEnd(resources), stub.sectionAlignment));
  auto setDirectory = [&](unsigned index, std::uint32_t rva, std::uint32_t size) {
    WriteLe32(&bytes[opt + pe::DataDirectoryOffset(index)], rva);
    WriteLe32(&bytes[opt + pe::DataDirectoryOffset(index) + 4], size);
  };
  setDirectory(pe::kResourceDirectory, resources.virtualAddress, resources.virtualSize);
  // A signature covers the old file and would not verify; it is dropped.
  setDirectory(pe::kSecurityDirectory, 0, 0);
  if (relocations) setDirectory(pe::kBaseRelocationDirectory, image.placed.front().virtualAddress,
                                stub.directories[pe::kBaseRelocationDirectory].size);
  const std::uint32_t checksumAt = opt + pe::kCheckSum;
  WriteLe32(&bytes[checksumAt], ComputePeChecksum(bytes, checksumAt));
}

}  // namespace

AssembledImage AssembleInstaller(const StubImage& stub, const std::vector<ResourceItem>& resources,
                                 const ManifestContents& manifest) {
  RequirePayloadResourceFirst(stub);
  const SectionHeader* relocations = CheckResourceSectionCanGoLast(stub);
  const SectionHeader& rsrc = stub.sections[stub.resourceSection];

  GrowingImage image;
  image.bytes.assign(stub.bytes.begin(), stub.bytes.begin() + rsrc.pointerToRawData);
  image.nextRaw = AlignUp(rsrc.pointerToRawData, stub.fileAlignment);
  image.nextRva = rsrc.virtualAddress;
  if (relocations) MoveRelocations(stub, *relocations, image);
  const std::uint32_t manifestOffset = PlaceResourceSection(stub, resources, image);
  PlaceTail(image.bytes, manifestOffset, BuildManifestTail(manifest, manifestOffset));
  WriteHeaders(stub, relocations, image);

  AssembledImage out;
  out.bytes = std::move(image.bytes);
  out.manifestOffset = manifestOffset;
  out.resourceSectionRva = image.placed.back().virtualAddress;
  out.resourceSectionOffset = image.placed.back().pointerToRawData;
  return out;
}

}  // namespace packer
