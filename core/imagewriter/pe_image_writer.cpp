// Writes PE32 images with a chosen section table and resource tree.
#include "core/imagewriter/pe_image_writer.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

#include "core/format/manifest_layout.h"
#include "core/format/pe_layout.h"

namespace imagewriter {

namespace pe = format::pe_layout;

using format::WriteLe16;
using format::WriteLe32;

namespace {

std::uint32_t AlignUp(std::uint32_t value, std::uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) { WriteLe16(&out[at], v); }
void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) { WriteLe32(&out[at], v); }

// Directory order: named keys first in ascending name order, then ids.
bool KeyLess(const ResourceKey& a, const ResourceKey& b) {
  if (a.IsNamed() != b.IsNamed()) return a.IsNamed();
  if (a.IsNamed()) return a.name < b.name;
  return a.id < b.id;
}
struct KeyOrder {
  bool operator()(const ResourceKey& a, const ResourceKey& b) const { return KeyLess(a, b); }
};

using LanguageMap = std::map<std::uint16_t, const ResourceItem*>;
using NameMap = std::map<ResourceKey, LanguageMap, KeyOrder>;
using TypeMap = std::map<ResourceKey, NameMap, KeyOrder>;

std::uint32_t DirectorySize(std::size_t entries) {
  return pe::kResourceDirectoryHeaderSize + pe::kResourceEntrySize * static_cast<std::uint32_t>(entries);
}

// Where everything in a resource section goes, as offsets from its start.
struct ResourceSectionLayout {
  TypeMap tree;
  std::map<const NameMap*, std::uint32_t> nameDirectories;
  std::map<const LanguageMap*, std::uint32_t> languageDirectories;
  std::map<const ResourceItem*, std::uint32_t> dataEntries;
  std::map<std::string, std::uint32_t> strings;
  std::map<const ResourceItem*, std::uint32_t> dataOffsets;
  bool hasLastData = false;
  std::uint32_t lastDataOffset = 0;  // of the placeLast item
  std::uint32_t size = 0;
};

// The directory tables breadth first (root, names, languages), then the
// data entries; returns the offset behind them.
std::uint32_t PlaceTables(ResourceSectionLayout& layout) {
  std::uint32_t offset = DirectorySize(layout.tree.size());
  for (auto& [type, names] : layout.tree) {
    layout.nameDirectories[&names] = offset;
    offset += DirectorySize(names.size());
  }
  for (auto& [type, names] : layout.tree)
    for (auto& [name, languages] : names) {
      layout.languageDirectories[&languages] = offset;
      offset += DirectorySize(languages.size());
    }
  for (auto& [type, names] : layout.tree)
    for (auto& [name, languages] : names)
      for (auto& [language, item] : languages) {
        layout.dataEntries[item] = offset;
        offset += pe::kResourceDataEntrySize;
      }
  return offset;
}

// The name strings from `offset` on, each once; returns the offset behind them.
std::uint32_t PlaceStrings(ResourceSectionLayout& layout, std::uint32_t offset) {
  auto addString = [&](const ResourceKey& key) {
    if (key.IsNamed() && !layout.strings.count(key.name)) {
      layout.strings[key.name] = offset;
      offset += 2 + 2 * static_cast<std::uint32_t>(key.name.size());
    }
  };
  for (auto& [type, names] : layout.tree) {
    addString(type);
    for (auto& [name, languages] : names) addString(name);
  }
  return offset;
}

// The data from `offset` on, 8-byte aligned, in item order with the
// placeLast item behind all others; returns the offset behind it.
std::uint32_t PlaceData(ResourceSectionLayout& layout, const std::vector<ResourceItem>& items,
                        std::uint32_t offset) {
  std::vector<const ResourceItem*> dataOrder;
  for (const ResourceItem& item : items)
    if (!item.placeLast) dataOrder.push_back(&item);
  for (const ResourceItem& item : items)
    if (item.placeLast) dataOrder.push_back(&item);
  for (const ResourceItem* item : dataOrder) {
    offset = AlignUp(offset, 8);
    layout.dataOffsets[item] = offset;
    if (item->placeLast) {
      layout.hasLastData = true;
      layout.lastDataOffset = offset;
    }
    offset += static_cast<std::uint32_t>(item->data.size());
  }
  return offset;
}

ResourceSectionLayout LayOutResourceSection(const std::vector<ResourceItem>& items) {
  ResourceSectionLayout layout;
  for (const ResourceItem& item : items) layout.tree[item.type][item.name][item.language] = &item;
  layout.size = PlaceData(layout, items, PlaceStrings(layout, PlaceTables(layout)));
  return layout;
}

template <class Map>
std::size_t CountNamed(const Map& map) {
  return static_cast<std::size_t>(
      std::count_if(map.begin(), map.end(), [](const auto& entry) { return entry.first.IsNamed(); }));
}

// The three levels of directory tables.
void WriteDirectories(std::vector<std::uint8_t>& out, const ResourceSectionLayout& layout) {
  auto keyField = [&](const ResourceKey& key) {
    return key.IsNamed() ? (pe::kResourceNameIsString | layout.strings.at(key.name)) : key.id;
  };
  // The header's counts; the offset of its first entry.
  auto writeHeader = [&](std::uint32_t at, std::size_t named, std::size_t numbered) {
    Put16(out, at + pe::kNamedEntryCount, static_cast<std::uint16_t>(named));
    Put16(out, at + pe::kIdEntryCount, static_cast<std::uint16_t>(numbered));
    return at + pe::kResourceDirectoryHeaderSize;
  };
  auto writeEntry = [&](std::uint32_t& at, std::uint32_t nameField, std::uint32_t target) {
    Put32(out, at, nameField);
    Put32(out, at + 4, target);
    at += pe::kResourceEntrySize;
  };
  const TypeMap& tree = layout.tree;
  std::uint32_t at = writeHeader(0, CountNamed(tree), tree.size() - CountNamed(tree));
  for (auto& [type, names] : tree)
    writeEntry(at, keyField(type), pe::kResourceSubdirectory | layout.nameDirectories.at(&names));
  for (auto& [type, names] : tree) {
    at = writeHeader(layout.nameDirectories.at(&names), CountNamed(names), names.size() - CountNamed(names));
    for (auto& [name, languages] : names)
      writeEntry(at, keyField(name), pe::kResourceSubdirectory | layout.languageDirectories.at(&languages));
    for (auto& [name, languages] : names) {
      at = writeHeader(layout.languageDirectories.at(&languages), 0, languages.size());
      for (auto& [language, item] : languages) writeEntry(at, language, layout.dataEntries.at(item));
    }
  }
}

// The data entries, the name strings and the data.
void WriteEntriesAndData(std::vector<std::uint8_t>& out, const ResourceSectionLayout& layout,
                         std::uint32_t sectionRva) {
  for (auto& [item, entryAt] : layout.dataEntries) {
    Put32(out, entryAt, sectionRva + layout.dataOffsets.at(item));
    Put32(out, entryAt + 4, static_cast<std::uint32_t>(item->data.size()));
    Put32(out, entryAt + 8, item->codePage);
  }
  for (auto& [text, stringAt] : layout.strings) {
    Put16(out, stringAt, static_cast<std::uint16_t>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i)
      Put16(out, stringAt + 2 + 2 * i, static_cast<std::uint8_t>(text[i]));
  }
  for (auto& [item, dataAt] : layout.dataOffsets)
    if (!item->data.empty()) std::memcpy(&out[dataAt], item->data.data(), item->data.size());
}

// A section as the image will hold it.
struct PlacedSection {
  std::string name;
  std::vector<std::uint8_t> data;
  std::uint32_t characteristics;
  int dataDirectory = -1;
  std::uint32_t rva = 0, raw = 0, rawSize = 0;
  bool isResource = false;
};

// Where the sections lie once laid out: the headers' size, the image's.
struct SectionPlacement {
  std::vector<PlacedSection> sections;
  std::uint32_t sizeOfHeaders = 0;
  std::uint32_t sizeOfImage = 0;  // the RVA behind the last section
  std::uint32_t sectionsEnd = 0;  // the file offset behind the last section's data
};

// The sections in file order, each at its RVA and file offset; the resource
// section is built for its RVA and `image` told where it and its last data lie.
SectionPlacement PlaceSections(const PeImageLayout& layout, PeImage* image) {
  SectionPlacement placement;
  std::vector<PlacedSection>& sections = placement.sections;
  for (const Section& s : layout.sectionsBefore)
    sections.push_back({s.name, s.data, s.characteristics, s.dataDirectory});
  const std::size_t resourceIndex = sections.size();
  if (layout.withResourceSection)
    sections.push_back({layout.resourceSectionName, {}, 0x40000040 /* initialised data, read */});
  for (const Section& s : layout.sectionsAfter)
    sections.push_back({s.name, s.data, s.characteristics, s.dataDirectory});

  const std::uint32_t headersEnd = layout.lfanew + pe::kSectionTableFromSignature +
                                   pe::kSectionHeaderSize * static_cast<std::uint32_t>(sections.size());
  placement.sizeOfHeaders = AlignUp(headersEnd, kFileAlignment);
  std::uint32_t rva = AlignUp(placement.sizeOfHeaders, kSectionAlignment);
  std::uint32_t raw = placement.sizeOfHeaders;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    PlacedSection& s = sections[i];
    s.rva = rva;
    s.raw = raw;
    if (layout.withResourceSection && i == resourceIndex) {
      std::uint32_t lastData = 0;
      s.isResource = true;
      s.data = BuildResourceSection(layout.resources, rva, &lastData);
      image->resourceSectionOffset = raw;
      image->resourceSectionRva = rva;
      image->lastDataOffset = raw + lastData;
    }
    s.rawSize = AlignUp(static_cast<std::uint32_t>(s.data.size()), kFileAlignment);
    rva += AlignUp(std::max<std::uint32_t>(s.rawSize, 1), kSectionAlignment);
    raw += s.rawSize;
  }
  placement.sizeOfImage = rva;
  placement.sectionsEnd = raw;
  return placement;
}

// The MS-DOS stub's two fields, the PE signature, the file header and the
// optional header.
void WriteHeaders(std::vector<std::uint8_t>& out, const PeImageLayout& layout, const SectionPlacement& placement) {
  const std::vector<PlacedSection>& sections = placement.sections;
  out[0] = 'M';
  out[1] = 'Z';
  Put32(out, pe::kLfanewOffset, layout.lfanew);
  std::memcpy(&out[layout.lfanew], "PE\0\0", pe::kSignatureSize);
  const std::uint32_t file = layout.lfanew + pe::kFileHeaderFromSignature;
  Put16(out, file + pe::kMachine, pe::kMachineI386);
  Put16(out, file + pe::kNumberOfSections, static_cast<std::uint16_t>(sections.size()));
  if (!layout.symbolTable.empty()) {
    Put32(out, file + pe::kPointerToSymbolTable, placement.sectionsEnd);
    Put32(out, file + pe::kNumberOfSymbols, static_cast<std::uint32_t>(layout.symbolTable.size() / pe::kSymbolSize));
  }
  Put16(out, file + pe::kSizeOfOptionalHeader, pe::kOptionalHeaderSize);
  Put16(out, file + pe::kCharacteristics, 0x0102);  // executable, 32-bit machine
  const std::uint32_t opt = layout.lfanew + pe::kOptionalHeaderFromSignature;
  Put16(out, opt + pe::kMagic, pe::kPe32Magic);
  Put32(out, opt + pe::kAddressOfEntryPoint, sections.empty() ? 0 : sections.front().rva);
  Put32(out, opt + pe::kImageBase, kImageBase);
  Put32(out, opt + pe::kSectionAlignment, kSectionAlignment);
  Put32(out, opt + pe::kFileAlignment, kFileAlignment);
  Put16(out, opt + pe::kMajorOperatingSystemVersion, 4);  // 4.0
  Put16(out, opt + pe::kMajorSubsystemVersion, 4);  // 4.0
  Put32(out, opt + pe::kSizeOfImage, placement.sizeOfImage);
  Put32(out, opt + pe::kSizeOfHeaders, placement.sizeOfHeaders);
  Put16(out, opt + pe::kSubsystem, 2);  // Windows GUI
  Put32(out, opt + pe::kSizeOfStackReserve, 0x100000);
  Put32(out, opt + pe::kSizeOfStackCommit, 0x1000);
  Put32(out, opt + pe::kSizeOfHeapReserve, 0x100000);
  Put32(out, opt + pe::kSizeOfHeapCommit, 0x1000);
  Put32(out, opt + pe::kNumberOfRvaAndSizes, pe::kDataDirectoryCount);
}

// The section table, the data directories that cover sections, and the
// sections' data.
void WriteSections(std::vector<std::uint8_t>& out, const PeImageLayout& layout,
                   const std::vector<PlacedSection>& sections) {
  const std::uint32_t opt = layout.lfanew + pe::kOptionalHeaderFromSignature;
  auto setDirectory = [&](std::uint32_t index, const PlacedSection& s) {
    Put32(out, opt + pe::DataDirectoryOffset(index), s.rva);
    Put32(out, opt + pe::DataDirectoryOffset(index) + 4, static_cast<std::uint32_t>(s.data.size()));
  };
  std::uint32_t sectionHeader = layout.lfanew + pe::kSectionTableFromSignature;
  for (const PlacedSection& s : sections) {
    std::memcpy(&out[sectionHeader + pe::kSectionName], s.name.data(),
                std::min<std::size_t>(s.name.size(), pe::kSectionNameSize));
    Put32(out, sectionHeader + pe::kVirtualSize, static_cast<std::uint32_t>(s.data.size()));
    Put32(out, sectionHeader + pe::kVirtualAddress, s.rva);
    Put32(out, sectionHeader + pe::kSizeOfRawData, s.rawSize);
    Put32(out, sectionHeader + pe::kPointerToRawData, s.raw);
    Put32(out, sectionHeader + pe::kSectionCharacteristics, s.characteristics);
    if (s.dataDirectory >= 0 && s.dataDirectory < static_cast<int>(pe::kDataDirectoryCount))
      setDirectory(static_cast<std::uint32_t>(s.dataDirectory), s);
    if (s.isResource) setDirectory(pe::kResourceDirectory, s);
    if (!s.data.empty()) std::memcpy(&out[s.raw], s.data.data(), s.data.size());
    sectionHeader += pe::kSectionHeaderSize;
  }
}

}  // namespace

std::vector<std::uint8_t> BuildResourceSection(const std::vector<ResourceItem>& items,
                                               std::uint32_t sectionRva,
                                               std::uint32_t* lastDataOffset) {
  const ResourceSectionLayout layout = LayOutResourceSection(items);
  std::vector<std::uint8_t> out(layout.size, 0);
  WriteDirectories(out, layout);
  WriteEntriesAndData(out, layout, sectionRva);
  if (lastDataOffset && layout.hasLastData) *lastDataOffset = layout.lastDataOffset;
  return out;
}

PeImage WritePeImage(const PeImageLayout& layout) {
  PeImage image;
  const SectionPlacement placement = PlaceSections(layout, &image);
  std::vector<std::uint8_t>& out = image.bytes;
  out.assign(placement.sectionsEnd, 0);
  out.insert(out.end(), layout.symbolTable.begin(), layout.symbolTable.end());
  WriteHeaders(out, layout, placement);
  WriteSections(out, layout, placement.sections);
  return image;
}

void PlaceTail(std::vector<std::uint8_t>& image, std::uint32_t offset,
               const std::vector<std::uint8_t>& tail) {
  if (image.size() < offset + tail.size()) image.resize(offset + tail.size(), 0);
  if (!tail.empty()) std::memcpy(&image[offset], tail.data(), tail.size());
}

}  // namespace imagewriter
