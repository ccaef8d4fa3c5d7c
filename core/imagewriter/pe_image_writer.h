// Writes PE32 images with a chosen section table and resource tree: the
// packer's base, and the tests' source of installer images.
//
// The resource section is laid out as linkers lay it out: the directory
// tables breadth first (named entries before numbered ones, names in
// ascending order, ids ascending), then the 16-byte data entries, then the
// name strings (u16 length and UTF-16 letters), then the data of each
// resource, 8-byte aligned. The resource marked `placeLast` gets the highest
// data RVA, so that bytes written from its data onwards (the "tail", e.g. a
// payload manifest and its entry data) can run on past the section into the
// rest of the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagewriter {

// A resource type, name or language key: named (non-empty `name`) or numbered.
struct ResourceKey {
  std::string name;  // ASCII; empty means numbered
  std::uint16_t id = 0;

  static ResourceKey Named(std::string n) { return ResourceKey{std::move(n), 0}; }
  static ResourceKey Number(std::uint16_t i) { return ResourceKey{std::string(), i}; }
  bool IsNamed() const { return !name.empty(); }
};

struct ResourceItem {
  ResourceKey type;
  ResourceKey name;
  std::uint16_t language = 1033;
  std::vector<std::uint8_t> data;
  bool placeLast = false;  // this item's data gets the highest RVA
  std::uint32_t codePage = 0;  // of the data entry; the loader ignores it
};

struct Section {
  std::string name;  // at most 8 characters
  std::vector<std::uint8_t> data;
  std::uint32_t characteristics = 0x60000020;  // code, execute, read
  int dataDirectory = -1;  // index of a data directory that covers this section
};

struct PeImageLayout {
  std::uint32_t lfanew = 0x80;  // file offset of the PE signature
  std::vector<Section> sectionsBefore;  // ahead of the resource section
  std::string resourceSectionName = ".rsrc";
  bool withResourceSection = true;
  std::vector<ResourceItem> resources;
  std::vector<Section> sectionsAfter;
  // A COFF symbol table (18 bytes a symbol) behind the sections, as linkers
  // leave it in unstripped programs.
  std::vector<std::uint8_t> symbolTable;
};

struct PeImage {
  std::vector<std::uint8_t> bytes;
  std::uint32_t resourceSectionOffset = 0;  // PointerToRawData of the resource section
  std::uint32_t resourceSectionRva = 0;
  std::uint32_t lastDataOffset = 0;  // file offset of the placeLast item's data
};

// Standard PE layout constants of the images this writer makes.
constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kImageBase = 0x400000;

// Serialises the resource tree of `items` for a section at `sectionRva`;
// `lastDataOffset` receives the section offset of the placeLast item's data.
std::vector<std::uint8_t> BuildResourceSection(const std::vector<ResourceItem>& items,
                                               std::uint32_t sectionRva,
                                               std::uint32_t* lastDataOffset);

PeImage WritePeImage(const PeImageLayout& contents);

// Writes `tail` into `image` from `offset` on, growing the file as needed.
void PlaceTail(std::vector<std::uint8_t>& image, std::uint32_t offset,
               const std::vector<std::uint8_t>& tail);

}  // namespace imagewriter
