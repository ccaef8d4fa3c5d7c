// Lays out a packed installer image from a stub and a manifest.
#include "tool/packer/installer_assembly.h"

#include <algorithm>
#include <cstring>

#include "core/imagewriter/pe_checksum.h"
#include "core/format/manifest_layout.h"
#include "core/format/pe_layout.h"

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

}  // namespace

AssembledImage AssembleInstaller(const StubImage& stub, const ManifestContents& manifest) {
  RequirePayloadResourceFirst(stub);
  const std::size_t r = stub.resourceSection;
  const SectionHeader& rsrc = stub.sections[r];
  const std::uint32_t tableEnd =
      stub.SectionTableOffset() + pe::kSectionHeaderSize * static_cast<std::uint32_t>(stub.sections.size());
  if (rsrc.pointerToRawData < tableEnd)
    throw StubError("the .rsrc section's data overlaps the headers");

  // Sections ahead of ".rsrc" stay byte for byte where they are.
  for (std::size_t i = 0; i < r; ++i) {
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
  for (std::size_t i = r + 1; i < stub.sections.size(); ++i) {
    const SectionHeader& s = stub.sections[i];
    const DataDirectoryEntry& relocs = stub.directories[pe::kBaseRelocationDirectory];
    if (!relocations && relocs.size != 0 && relocs.rva == s.virtualAddress &&
        !DirectoryPointsInto(stub, s, pe::kBaseRelocationDirectory)) {
      relocations = &s;
    } else if (!(s.characteristics & pe::kSectionDiscardable) || DirectoryPointsInto(stub, s, pe::kDataDirectoryCount)) {
      throw StubError("section " + s.name +
                      " follows the .rsrc section; the resource section must be the program's last");
    }
  }

  AssembledImage out;
  std::vector<std::uint8_t>& bytes = out.bytes;
  bytes.assign(stub.bytes.begin(), stub.bytes.begin() + rsrc.pointerToRawData);
  std::uint32_t nextRaw = AlignUp(rsrc.pointerToRawData, stub.fileAlignment);
  std::uint32_t nextRva = rsrc.virtualAddress;
  std::vector<SectionHeader> placed;

  if (relocations) {
    SectionHeader moved = *relocations;
    moved.virtualAddress = nextRva;
    moved.pointerToRawData = moved.sizeOfRawData ? nextRaw : 0;
    PadTo(bytes, nextRaw);
    bytes.insert(bytes.end(), stub.bytes.begin() + relocations->pointerToRawData,
                 stub.bytes.begin() + relocations->pointerToRawData + relocations->sizeOfRawData);
    nextRaw = AlignUp(std::uint64_t{nextRaw} + moved.sizeOfRawData, stub.fileAlignment);
    nextRva = AlignUp(VirtualEnd(moved), stub.sectionAlignment);
    placed.push_back(moved);
  }

  std::vector<ResourceItem> items = stub.resources;
  for (ResourceItem& item : items) item.placeLast = IsPayloadResource(item);
  std::uint32_t lastData = 0;
  const std::vector<std::uint8_t> section = BuildResourceSection(items, nextRva, &lastData);
  SectionHeader resources = rsrc;
  resources.virtualAddress = nextRva;
  resources.pointerToRawData = nextRaw;
  // The declared size runs a little past the placeholder's data: some
  // readers (binutils' objdump) stop listing the tree at a resource whose
  // data ends exactly where the section does. The bytes there are the
  // manifest's first ones.
  resources.virtualSize = AlignUp(section.size() + 1, kDeclaredSizeAlignment);
  resources.sizeOfRawData = AlignUp(resources.virtualSize, stub.fileAlignment);
  placed.push_back(resources);
  PadTo(bytes, nextRaw);
  bytes.insert(bytes.end(), section.begin(), section.end());
  PadTo(bytes, nextRaw + resources.sizeOfRawData);

  out.resourceSectionRva = resources.virtualAddress;
  out.resourceSectionOffset = resources.pointerToRawData;
  out.manifestOffset = nextRaw + lastData;
  PlaceTail(bytes, out.manifestOffset, BuildManifestTail(manifest, out.manifestOffset));

  // Headers: the new section table, with the slots of dropped sections zeroed.
  std::uint32_t at = stub.SectionTableOffset() + pe::kSectionHeaderSize * static_cast<std::uint32_t>(r);
  for (const SectionHeader& s : placed) {
    WriteSectionHeader(bytes, at, s);
    at += pe::kSectionHeaderSize;
  }
  std::memset(&bytes[at], 0, tableEnd - at);
  const std::uint32_t file = stub.FileHeaderOffset();
  WriteLe16(&bytes[file + pe::kNumberOfSections], static_cast<std::uint16_t>(r + placed.size()));
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
  if (relocations) setDirectory(pe::kBaseRelocationDirectory, placed.front().virtualAddress,
                                stub.directories[pe::kBaseRelocationDirectory].size);
  const std::uint32_t checksumAt = opt + pe::kCheckSum;
  WriteLe32(&bytes[checksumAt], ComputePeChecksum(bytes, checksumAt));
  return out;
}

}  // namespace packer
