// Reads the PE headers, section table and resource tree of an installer stub.
#include "tool/packer/stub_image.h"

#include <cstring>

#include "core/format/manifest_layout.h"
#include "core/format/pe_layout.h"

using format::ReadLe16;
using format::ReadLe32;

namespace packer {

using imagewriter::ResourceItem;
using imagewriter::ResourceKey;

namespace pe = format::pe_layout;

namespace {

// A real resource tree holds a few dozen resources; this bounds the work a
// tree whose directories point at each other many times can cause.
constexpr std::size_t kMaxResources = 65536;

// Bounds-checked little-endian reads from the file.
class FileView {
 public:
  explicit FileView(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  bool Has(std::uint64_t offset, std::uint64_t size) const {
    return offset <= bytes_.size() && size <= bytes_.size() - offset;
  }
  std::uint16_t U16(std::uint64_t offset, const char* what) const {
    Need(offset, 2, what);
    return ReadLe16(&bytes_[offset]);
  }
  std::uint32_t U32(std::uint64_t offset, const char* what) const {
    Need(offset, 4, what);
    return ReadLe32(&bytes_[offset]);
  }
  void Need(std::uint64_t offset, std::uint64_t size, const char* what) const {
    if (!Has(offset, size)) throw StubError(std::string(what) + " lies beyond the end of the file");
  }

 private:
  const std::vector<std::uint8_t>& bytes_;
};

// Reads the resource tree of the section whose raw data is `base`..`end`.
class ResourceTreeReader {
 public:
  ResourceTreeReader(const StubImage& image, std::uint32_t base, std::uint32_t end)
      : image_(image), view_(image.bytes), base_(base), end_(end) {}

  std::vector<ResourceItem> Read() {
    std::vector<ResourceItem> items;
    ResourceItem item;
    ForEachEntry(0, [&](const ResourceKey& type, std::uint32_t typeTarget) {
      item.type = type;
      ForEachEntry(Subdirectory(typeTarget), [&](const ResourceKey& name, std::uint32_t nameTarget) {
        item.name = name;
        ForEachEntry(Subdirectory(nameTarget), [&](const ResourceKey& language, std::uint32_t target) {
          if (language.IsNamed()) throw StubError("a resource language is a name, not a number");
          if (target & pe::kResourceSubdirectory) throw StubError("the resource tree is deeper than three levels");
          item.language = language.id;
          ReadData(target, &item);
          if (items.size() == kMaxResources) throw StubError("the resource tree holds too many resources");
          items.push_back(item);
        });
      });
    });
    return items;
  }

 private:
  template <class Visit>
  void ForEachEntry(std::uint32_t directory, Visit visit) {
    const std::uint64_t at = std::uint64_t{base_} + directory;
    Inside(at, pe::kResourceDirectoryHeaderSize, "a resource directory");
    const std::uint32_t count = std::uint32_t{view_.U16(at + pe::kNamedEntryCount, "a resource directory")} +
                                view_.U16(at + pe::kIdEntryCount, "a resource directory");
    const std::uint64_t entries = at + pe::kResourceDirectoryHeaderSize;
    Inside(entries, std::uint64_t{count} * pe::kResourceEntrySize, "a resource directory's entries");
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint64_t entry = entries + pe::kResourceEntrySize * i;
      const std::uint32_t nameField = view_.U32(entry, "a resource entry");
      visit(KeyOf(nameField), view_.U32(entry + 4, "a resource entry"));
    }
  }

  std::uint32_t Subdirectory(std::uint32_t target) const {
    if (!(target & pe::kResourceSubdirectory)) throw StubError("the resource tree is shallower than three levels");
    return target & ~pe::kResourceSubdirectory;
  }

  ResourceKey KeyOf(std::uint32_t nameField) const {
    if (!(nameField & pe::kResourceNameIsString)) {
      if (nameField > 0xFFFF) throw StubError("a resource id does not fit 16 bits");
      return ResourceKey::Number(static_cast<std::uint16_t>(nameField));
    }
    const std::uint64_t at = std::uint64_t{base_} + (nameField & ~pe::kResourceNameIsString);
    Inside(at, 2, "a resource name");
    const std::uint16_t length = view_.U16(at, "a resource name");
    if (length == 0) throw StubError("a resource name is empty");
    Inside(at + 2, 2u * length, "a resource name");
    std::string name;
    for (std::uint16_t i = 0; i < length; ++i) {
      const std::uint16_t unit = view_.U16(at + 2 + 2u * i, "a resource name");
      // The writer stores names as 8-bit letters widened to UTF-16.
      if (unit == 0 || unit > 0xFF) throw StubError("a resource name holds a letter outside Latin-1");
      name += static_cast<char>(unit);
    }
    return ResourceKey::Named(std::move(name));
  }

  void ReadData(std::uint32_t dataEntry, ResourceItem* item) {
    const std::uint64_t at = std::uint64_t{base_} + dataEntry;
    Inside(at, pe::kResourceDataEntrySize, "a resource data entry");
    const std::uint32_t rva = view_.U32(at, "a resource data entry");
    const std::uint32_t size = view_.U32(at + 4, "a resource data entry");
    item->codePage = view_.U32(at + 8, "a resource data entry");
    const std::uint64_t offset = FileOffsetOf(rva, size);
    copied_ += size;
    // Data shared by many entries could otherwise multiply the memory used.
    if (copied_ > 2 * std::uint64_t{image_.bytes.size()}) throw StubError("the resources' data repeats too often");
    item->data.assign(image_.bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                      image_.bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
    item->placeLast = false;
  }

  // The file offset of `size` bytes at `rva`, which must lie in one
  // section's raw data.
  std::uint64_t FileOffsetOf(std::uint32_t rva, std::uint32_t size) const {
    for (const SectionHeader& s : image_.sections) {
      if (rva < s.virtualAddress) continue;
      const std::uint64_t into = rva - s.virtualAddress;
      if (into + size <= s.sizeOfRawData && view_.Has(std::uint64_t{s.pointerToRawData} + into, size))
        return s.pointerToRawData + into;
    }
    throw StubError("a resource's data lies outside the sections' data in the file");
  }

  void Inside(std::uint64_t at, std::uint64_t size, const char* what) const {
    if (at < base_ || at + size > end_) throw StubError(std::string(what) + " lies outside the .rsrc section");
  }

  const StubImage& image_;
  FileView view_;
  std::uint32_t base_;
  std::uint32_t end_;
  std::uint64_t copied_ = 0;
};

}  // namespace

StubImage ReadStubImage(std::vector<std::uint8_t> bytes) {
  StubImage image;
  image.bytes = std::move(bytes);
  const FileView view(image.bytes);
  if (!view.Has(0, pe::kDosHeaderSize) || !pe::IsMzSignature(image.bytes.data()))
    throw StubError("not a Windows program (no MZ header)");
  image.peOffset = view.U32(pe::kLfanewOffset, "the PE header");
  view.Need(image.peOffset, pe::kSectionTableFromSignature, "the PE header");
  if (!pe::IsPeSignature(&image.bytes[image.peOffset])) throw StubError("not a PE image (no PE signature)");

  const std::uint32_t file = image.FileHeaderOffset();
  if (view.U16(file + pe::kMachine, "the file header") != pe::kMachineI386)
    throw StubError("not a 32-bit x86 program");
  const unsigned sectionCount = view.U16(file + pe::kNumberOfSections, "the file header");
  if (view.U16(file + pe::kSizeOfOptionalHeader, "the file header") != pe::kOptionalHeaderSize)
    throw StubError("the optional header is not the 224-byte PE32 one");

  const std::uint32_t opt = image.OptionalHeaderOffset();
  if (view.U16(opt + pe::kMagic, "the optional header") != pe::kPe32Magic) throw StubError("not a PE32 image");
  image.sectionAlignment = view.U32(opt + pe::kSectionAlignment, "the optional header");
  image.fileAlignment = view.U32(opt + pe::kFileAlignment, "the optional header");
  image.sizeOfHeaders = view.U32(opt + pe::kSizeOfHeaders, "the optional header");
  auto isPowerOfTwo = [](std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; };
  if (!isPowerOfTwo(image.fileAlignment) || !isPowerOfTwo(image.sectionAlignment) ||
      image.fileAlignment > image.sectionAlignment)
    throw StubError("the section or file alignment is not a power of two");
  const std::uint32_t directoryCount = view.U32(opt + pe::kNumberOfRvaAndSizes, "the optional header");
  for (unsigned i = 0; i < pe::kDataDirectoryCount && i < directoryCount; ++i) {
    const std::uint32_t entry = opt + pe::DataDirectoryOffset(i);
    image.directories[i].rva = view.U32(entry, "the data directories");
    image.directories[i].size = view.U32(entry + 4, "the data directories");
  }

  const std::uint32_t table = image.SectionTableOffset();
  view.Need(table, std::uint64_t{pe::kSectionHeaderSize} * sectionCount, "the section table");
  bool found = false;
  for (unsigned i = 0; i < sectionCount; ++i) {
    const std::uint8_t* header = &image.bytes[table + pe::kSectionHeaderSize * i];
    SectionHeader section;
    char name[pe::kSectionNameSize + 1] = {};
    std::memcpy(name, header + pe::kSectionName, pe::kSectionNameSize);
    section.name = name;
    section.virtualSize = ReadLe32(header + pe::kVirtualSize);
    section.virtualAddress = ReadLe32(header + pe::kVirtualAddress);
    section.sizeOfRawData = ReadLe32(header + pe::kSizeOfRawData);
    section.pointerToRawData = ReadLe32(header + pe::kPointerToRawData);
    section.characteristics = ReadLe32(header + pe::kSectionCharacteristics);
    if (section.sizeOfRawData != 0)
      view.Need(section.pointerToRawData, section.sizeOfRawData, ("the data of section " + section.name).c_str());
    // The installer takes the first header named exactly ".rsrc".
    if (!found && section.name == ".rsrc") {
      image.resourceSection = i;
      found = true;
    }
    image.sections.push_back(section);
  }
  if (!found) throw StubError("no .rsrc section");

  const SectionHeader& rsrc = image.sections[image.resourceSection];
  if (image.directories[pe::kResourceDirectory].rva != rsrc.virtualAddress)
    throw StubError("the resource directory does not start the .rsrc section");
  ResourceTreeReader treeReader(image, rsrc.pointerToRawData, rsrc.pointerToRawData + rsrc.sizeOfRawData);
  image.resources = treeReader.Read();
  if (image.resources.empty()) throw StubError("the .rsrc section holds no resources");
  return image;
}

bool IsPayloadResource(const ResourceItem& item) {
  return item.type.IsNamed() && item.type.name == "LASTRES" && !item.name.IsNamed() &&
         item.name.id == 1000 && item.language == 1033;
}

void RequirePayloadResourceFirst(const StubImage& stub) {
  if (stub.resources.empty() || !IsPayloadResource(stub.resources.front()))
    throw StubError("the first resource is not LASTRES 1000 (language 1033)");
}

}  // namespace packer
