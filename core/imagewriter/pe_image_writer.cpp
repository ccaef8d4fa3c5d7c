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

}  // namespace

std::vector<std::uint8_t> BuildResourceSection(const std::vector<ResourceItem>& items,
                                               std::uint32_t sectionRva,
                                               std::uint32_t* lastDataOffset) {
  TypeMap tree;
  for (const ResourceItem& item : items) tree[item.type][item.name][item.language] = &item;

  // Offsets of every table, breadth first.
  std::uint32_t offset = DirectorySize(tree.size());
  std::map<const NameMap*, std::uint32_t> nameDirs;
  for (auto& [type, names] : tree) {
    nameDirs[&names] = offset;
    offset += DirectorySize(names.size());
  }
  std::map<const LanguageMap*, std::uint32_t> languageDirs;
  for (auto& [type, names] : tree)
    for (auto& [name, languages] : names) {
      languageDirs[&languages] = offset;
      offset += DirectorySize(languages.size());
    }
  std::map<const ResourceItem*, std::uint32_t> dataEntries;
  for (auto& [type, names] : tree)
    for (auto& [name, languages] : names)
      for (auto& [language, item] : languages) {
        dataEntries[item] = offset;
        offset += pe::kResourceDataEntrySize;
      }
  std::map<std::string, std::uint32_t> strings;
  auto addString = [&](const ResourceKey& key) {
    if (key.IsNamed() && !strings.count(key.name)) {
      strings[key.name] = offset;
      offset += 2 + 2 * static_cast<std::uint32_t>(key.name.size());
    }
  };
  for (auto& [type, names] : tree) {
    addString(type);
    for (auto& [name, languages] : names) addString(name);
  }
  // Data, in item order, with the placeLast item behind all others.
  std::vector<const ResourceItem*> dataOrder;
  for (const ResourceItem& item : items)
    if (!item.placeLast) dataOrder.push_back(&item);
  for (const ResourceItem& item : items)
    if (item.placeLast) dataOrder.push_back(&item);
  std::map<const ResourceItem*, std::uint32_t> dataOffsets;
  for (const ResourceItem* item : dataOrder) {
    offset = AlignUp(offset, 8);
    dataOffsets[item] = offset;
    if (item->placeLast && lastDataOffset) *lastDataOffset = offset;
    offset += static_cast<std::uint32_t>(item->data.size());
  }

  std::vector<std::uint8_t> out(offset, 0);
  auto keyField = [&](const ResourceKey& key) {
    return key.IsNamed() ? (pe::kResourceNameIsString | strings[key.name]) : key.id;
  };
  auto writeDirectory = [&](std::uint32_t at, std::size_t named, std::size_t numbered) {
    Put16(out, at + pe::kNamedEntryCount, static_cast<std::uint16_t>(named));
    Put16(out, at + pe::kIdEntryCount, static_cast<std::uint16_t>(numbered));
    return at + pe::kResourceDirectoryHeaderSize;
  };
  auto countNamed = [](const auto& map) {
    return static_cast<std::size_t>(std::count_if(map.begin(), map.end(),
                                                  [](const auto& kv) { return kv.first.IsNamed(); }));
  };
  std::uint32_t at = writeDirectory(0, countNamed(tree), tree.size() - countNamed(tree));
  for (auto& [type, names] : tree) {
    Put32(out, at, keyField(type));
    Put32(out, at + 4, pe::kResourceSubdirectory | nameDirs[&names]);
    at += pe::kResourceEntrySize;
  }
  for (auto& [type, names] : tree) {
    at = writeDirectory(nameDirs[&names], countNamed(names), names.size() - countNamed(names));
    for (auto& [name, languages] : names) {
      Put32(out, at, keyField(name));
      Put32(out, at + 4, pe::kResourceSubdirectory | languageDirs[&languages]);
      at += pe::kResourceEntrySize;
    }
    for (auto& [name, languages] : names) {
      at = writeDirectory(languageDirs[&languages], 0, languages.size());
      for (auto& [language, item] : languages) {
        Put32(out, at, language);
        Put32(out, at + 4, dataEntries[item]);
        at += pe::kResourceEntrySize;
      }
    }
  }
  for (auto& [item, entryAt] : dataEntries) {
    Put32(out, entryAt, sectionRva + dataOffsets[item]);
    Put32(out, entryAt + 4, static_cast<std::uint32_t>(item->data.size()));
    Put32(out, entryAt + 8, item->codePage);
  }
  for (auto& [text, stringAt] : strings) {
    Put16(out, stringAt, static_cast<std::uint16_t>(text.size()));
    for (std::size_t i = 0; i < text.size(); ++i)
      Put16(out, stringAt + 2 + 2 * i, static_cast<std::uint8_t>(text[i]));
  }
  for (auto& [item, dataAt] : dataOffsets)
    if (!item->data.empty()) std::memcpy(&out[dataAt], item->data.data(), item->data.size());
  return out;
}

PeImage WritePeImage(const PeImageLayout& layout) {
  struct Placed {
    std::string name;
    std::vector<std::uint8_t> data;
    std::uint32_t characteristics;
    int dataDirectory = -1;
    std::uint32_t rva = 0, raw = 0, rawSize = 0;
    bool isResource = false;
  };
  std::vector<Placed> sections;
  for (const Section& s : layout.sectionsBefore)
    sections.push_back({s.name, s.data, s.characteristics, s.dataDirectory});
  std::size_t resourceIndex = sections.size();
  if (layout.withResourceSection)
    sections.push_back({layout.resourceSectionName, {}, 0x40000040 /* initialised data, read */});
  for (const Section& s : layout.sectionsAfter)
    sections.push_back({s.name, s.data, s.characteristics, s.dataDirectory});

  const std::uint32_t headersEnd = layout.lfanew + pe::kSectionTableFromSignature +
                                   pe::kSectionHeaderSize * static_cast<std::uint32_t>(sections.size());
  const std::uint32_t sizeOfHeaders = AlignUp(headersEnd, kFileAlignment);
  PeImage image;
  std::uint32_t rva = AlignUp(sizeOfHeaders, kSectionAlignment);
  std::uint32_t raw = sizeOfHeaders;
  std::uint32_t lastData = 0;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    Placed& s = sections[i];
    s.rva = rva;
    s.raw = raw;
    if (layout.withResourceSection && i == resourceIndex) {
      s.isResource = true;
      s.data = BuildResourceSection(layout.resources, rva, &lastData);
      image.resourceSectionOffset = raw;
      image.resourceSectionRva = rva;
      image.lastDataOffset = raw + lastData;
    }
    s.rawSize = AlignUp(static_cast<std::uint32_t>(s.data.size()), kFileAlignment);
    rva += AlignUp(std::max<std::uint32_t>(s.rawSize, 1), kSectionAlignment);
    raw += s.rawSize;
  }

  std::vector<std::uint8_t>& out = image.bytes;
  out.assign(raw, 0);
  out.insert(out.end(), layout.symbolTable.begin(), layout.symbolTable.end());
  out[0] = 'M';
  out[1] = 'Z';
  Put32(out, pe::kLfanewOffset, layout.lfanew);
  std::memcpy(&out[layout.lfanew], "PE\0\0", pe::kSignatureSize);
  const std::uint32_t file = layout.lfanew + pe::kFileHeaderFromSignature;
  Put16(out, file + pe::kMachine, pe::kMachineI386);
  Put16(out, file + pe::kNumberOfSections, static_cast<std::uint16_t>(sections.size()));
  if (!layout.symbolTable.empty()) {
    Put32(out, file + pe::kPointerToSymbolTable, raw);
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
  Put32(out, opt + pe::kSizeOfImage, rva);
  Put32(out, opt + pe::kSizeOfHeaders, sizeOfHeaders);
  Put16(out, opt + pe::kSubsystem, 2);  // Windows GUI
  Put32(out, opt + pe::kSizeOfStackReserve, 0x100000);
  Put32(out, opt + pe::kSizeOfStackCommit, 0x1000);
  Put32(out, opt + pe::kSizeOfHeapReserve, 0x100000);
  Put32(out, opt + pe::kSizeOfHeapCommit, 0x1000);
  Put32(out, opt + pe::kNumberOfRvaAndSizes, pe::kDataDirectoryCount);
  auto setDirectory = [&](std::uint32_t index, const Placed& s) {
    Put32(out, opt + pe::DataDirectoryOffset(index), s.rva);
    Put32(out, opt + pe::DataDirectoryOffset(index) + 4, static_cast<std::uint32_t>(s.data.size()));
  };
  std::uint32_t sectionHeader = layout.lfanew + pe::kSectionTableFromSignature;
  for (const Placed& s : sections) {
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
  return image;
}

void PlaceTail(std::vector<std::uint8_t>& image, std::uint32_t offset,
               const std::vector<std::uint8_t>& tail) {
  if (image.size() < offset + tail.size()) image.resize(offset + tail.size(), 0);
  if (!tail.empty()) std::memcpy(&image[offset], tail.data(), tail.size());
}

}  // namespace imagewriter
