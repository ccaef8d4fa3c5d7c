// Writes PE32 images with a chosen section table and resource tree.
#include "core/imagewriter/pe_image_writer.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

#include "core/format/manifest_layout.h"

namespace imagewriter {

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

constexpr std::uint32_t kDirectoryHeaderSize = 16;
constexpr std::uint32_t kDirectoryEntrySize = 8;
constexpr std::uint32_t kDataEntrySize = 16;
constexpr std::uint32_t kSubdirectory = 0x80000000u;

std::uint32_t DirectorySize(std::size_t entries) {
  return kDirectoryHeaderSize + kDirectoryEntrySize * static_cast<std::uint32_t>(entries);
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
        offset += kDataEntrySize;
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
    return key.IsNamed() ? (kSubdirectory | strings[key.name]) : key.id;
  };
  auto writeDirectory = [&](std::uint32_t at, std::size_t named, std::size_t numbered) {
    Put16(out, at + 12, static_cast<std::uint16_t>(named));
    Put16(out, at + 14, static_cast<std::uint16_t>(numbered));
    return at + kDirectoryHeaderSize;
  };
  auto countNamed = [](const auto& map) {
    return static_cast<std::size_t>(std::count_if(map.begin(), map.end(),
                                                  [](const auto& kv) { return kv.first.IsNamed(); }));
  };
  std::uint32_t at = writeDirectory(0, countNamed(tree), tree.size() - countNamed(tree));
  for (auto& [type, names] : tree) {
    Put32(out, at, keyField(type));
    Put32(out, at + 4, kSubdirectory | nameDirs[&names]);
    at += kDirectoryEntrySize;
  }
  for (auto& [type, names] : tree) {
    at = writeDirectory(nameDirs[&names], countNamed(names), names.size() - countNamed(names));
    for (auto& [name, languages] : names) {
      Put32(out, at, keyField(name));
      Put32(out, at + 4, kSubdirectory | languageDirs[&languages]);
      at += kDirectoryEntrySize;
    }
    for (auto& [name, languages] : names) {
      at = writeDirectory(languageDirs[&languages], 0, languages.size());
      for (auto& [language, item] : languages) {
        Put32(out, at, language);
        Put32(out, at + 4, dataEntries[item]);
        at += kDirectoryEntrySize;
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

  const std::uint32_t headersEnd = layout.lfanew + 4 + 20 + 224 + 40 * static_cast<std::uint32_t>(sections.size());
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
  Put32(out, 60, layout.lfanew);
  const std::uint32_t pe = layout.lfanew;
  std::memcpy(&out[pe], "PE\0\0", 4);
  const std::uint32_t file = pe + 4;
  Put16(out, file + 0, 0x014C);  // Intel 386
  Put16(out, file + 2, static_cast<std::uint16_t>(sections.size()));
  if (!layout.symbolTable.empty()) {
    Put32(out, file + 8, raw);  // PointerToSymbolTable
    Put32(out, file + 12, static_cast<std::uint32_t>(layout.symbolTable.size() / 18));
  }
  Put16(out, file + 16, 224);     // SizeOfOptionalHeader
  Put16(out, file + 18, 0x0102);  // executable, 32-bit machine
  const std::uint32_t opt = file + 20;
  Put16(out, opt + 0, 0x010B);  // PE32
  Put32(out, opt + 16, sections.empty() ? 0 : sections.front().rva);  // entry point
  Put32(out, opt + 28, kImageBase);
  Put32(out, opt + 32, kSectionAlignment);
  Put32(out, opt + 36, kFileAlignment);
  Put16(out, opt + 40, 4);  // operating system version 4.0
  Put16(out, opt + 48, 4);  // subsystem version 4.0
  Put32(out, opt + 56, rva);  // SizeOfImage
  Put32(out, opt + 60, sizeOfHeaders);
  Put16(out, opt + 68, 2);  // Windows GUI
  Put32(out, opt + 72, 0x100000);  // stack reserve
  Put32(out, opt + 76, 0x1000);
  Put32(out, opt + 80, 0x100000);  // heap reserve
  Put32(out, opt + 84, 0x1000);
  Put32(out, opt + 92, 16);  // NumberOfRvaAndSizes
  std::uint32_t sectionHeader = opt + 224;
  for (const Placed& s : sections) {
    std::memcpy(&out[sectionHeader], s.name.data(), std::min<std::size_t>(s.name.size(), 8));
    Put32(out, sectionHeader + 8, static_cast<std::uint32_t>(s.data.size()));  // VirtualSize
    Put32(out, sectionHeader + 12, s.rva);
    Put32(out, sectionHeader + 16, s.rawSize);
    Put32(out, sectionHeader + 20, s.raw);
    Put32(out, sectionHeader + 36, s.characteristics);
    if (s.dataDirectory >= 0 && s.dataDirectory < 16) {
      Put32(out, opt + 96 + 8 * static_cast<std::uint32_t>(s.dataDirectory), s.rva);
      Put32(out, opt + 96 + 8 * static_cast<std::uint32_t>(s.dataDirectory) + 4,
            static_cast<std::uint32_t>(s.data.size()));
    }
    if (s.isResource) {
      Put32(out, opt + 96 + 2 * 8, s.rva);  // resource data directory
      Put32(out, opt + 96 + 2 * 8 + 4, static_cast<std::uint32_t>(s.data.size()));
    }
    if (!s.data.empty()) std::memcpy(&out[s.raw], s.data.data(), s.data.size());
    sectionHeader += 40;
  }
  return image;
}

void PlaceTail(std::vector<std::uint8_t>& image, std::uint32_t offset,
               const std::vector<std::uint8_t>& tail) {
  if (image.size() < offset + tail.size()) image.resize(offset + tail.size(), 0);
  if (!tail.empty()) std::memcpy(&image[offset], tail.data(), tail.size());
}

}  // namespace imagewriter
