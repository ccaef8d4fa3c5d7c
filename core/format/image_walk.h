// The walk from an installer image's first byte to its payload manifest,
// over any byte source: the installer runs it on its own image through the
// _lopen family, the tool on any file through plain file I/O. It follows
// the PE headers and the resource directory in the file itself (the
// manifest runs far beyond what the loaded module or the resource's
// declared size covers).
//
// The walk: e_lfanew (u32 at offset 60); the PE signature, file header and
// a 224-byte optional header skipped as one block of 248 bytes; 40-byte
// section headers up to the one named ".rsrc"; then the first 8-byte entry
// of the root directory, of the type's name directory and of the name's
// language directory (each directory's 16-byte header skipped), and the
// 16-byte data entry whose RVA locates the manifest. No name, id or
// language is compared.
//
//   Source: bool ReadAt(std::uint32_t offset, void* buffer, std::uint32_t size)
//           exactly `size` bytes from file offset `offset`; false when the
//           file cannot give them all.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/format/manifest_layout.h"
#include "core/format/pe_layout.h"

namespace format {

// Why a walk found no manifest.
enum class ManifestWalkError {
  kNone,
  kOpenFailed,         // the file could not be opened (or its path is too long)
  kCutShort,           // a read on the walk came up short, or a seek failed
  kNoResourceSection,  // no section header named exactly ".rsrc"
};

// Where the walk found things, for callers that report on the image.
struct ManifestWalkInfo {
  ManifestWalkError error = ManifestWalkError::kNone;
  std::uint32_t resourceBase = 0;    // file offset of the root resource directory
  std::uint32_t resourceVirtualAddress = 0;  // of the ".rsrc" section
  std::uint32_t manifestOffset = 0;  // file offset of the manifest's first byte
};

// The signature, file header and optional header, skipped as one block.
constexpr std::uint32_t kHeadersBeforeSections = pe_layout::kSectionTableFromSignature;
constexpr std::uint32_t kNumberOfSectionsOffset =
    pe_layout::kFileHeaderFromSignature + pe_layout::kNumberOfSections;  // from e_lfanew
constexpr std::uint32_t kDirectoryHeaderSize = pe_layout::kResourceDirectoryHeaderSize;
constexpr std::uint32_t kSubdirectoryFlag = pe_layout::kResourceSubdirectory;
// In a directory entry: the u32 after the name or id.
constexpr std::uint32_t kEntryOffsetToData = 4;

template <class Source>
bool ReadU32At(Source& image, std::uint32_t offset, std::uint32_t* value) {
  std::uint8_t raw[4];
  if (!image.ReadAt(offset, raw, sizeof raw)) return false;
  *value = ReadLe32(raw);
  return true;
}

// OffsetToData of the first entry of the directory at ResourceBase + offset.
template <class Source>
bool FirstEntryOffset(Source& image, std::uint32_t resourceBase, std::uint32_t directoryOffset,
                      std::uint32_t* offsetToData) {
  return ReadU32At(image, resourceBase + directoryOffset + kDirectoryHeaderSize + kEntryOffsetToData,
                   offsetToData);
}

// The ".rsrc" section of `image`: its VirtualAddress and PointerToRawData
// (ResourceBase, the file offset of the root resource directory).
template <class Source>
ManifestWalkError FindResourceSection(Source& image, std::uint32_t* virtualAddress,
                                      std::uint32_t* rawPointer) {
  std::uint32_t lfanew = 0;
  if (!ReadU32At(image, pe_layout::kLfanewOffset, &lfanew)) return ManifestWalkError::kCutShort;

  std::uint8_t countRaw[2];
  if (!image.ReadAt(lfanew + kNumberOfSectionsOffset, countRaw, sizeof countRaw))
    return ManifestWalkError::kCutShort;
  const unsigned sectionCount = ReadLe16(countRaw);

  for (unsigned section = 0; section < sectionCount; ++section) {
    std::uint8_t header[pe_layout::kSectionHeaderSize];
    if (!image.ReadAt(lfanew + kHeadersBeforeSections + section * pe_layout::kSectionHeaderSize, header,
                      sizeof header))
      return ManifestWalkError::kCutShort;
    // The 8-byte name read as a NUL-terminated string, compared exactly.
    char name[pe_layout::kSectionNameSize + 1] = {};
    std::memcpy(name, header + pe_layout::kSectionName, pe_layout::kSectionNameSize);
    if (std::strcmp(name, ".rsrc") == 0) {
      *virtualAddress = ReadLe32(header + pe_layout::kVirtualAddress);
      *rawPointer = ReadLe32(header + pe_layout::kPointerToRawData);
      return ManifestWalkError::kNone;
    }
  }
  return ManifestWalkError::kNoResourceSection;
}

// Walks `image` to its first resource and fills `info` (error and, on
// success, the offsets). Offsets wrap modulo 2^32 as the installer's
// arithmetic does; the source refuses what lies outside the file.
template <class Source>
ManifestWalkError WalkToManifest(Source& image, ManifestWalkInfo* info) {
  std::uint32_t virtualAddress = 0;
  std::uint32_t rawPointer = 0;
  info->error = FindResourceSection(image, &virtualAddress, &rawPointer);
  if (info->error != ManifestWalkError::kNone) return info->error;
  info->error = ManifestWalkError::kCutShort;

  const std::uint32_t resourceBase = rawPointer;
  std::uint32_t typeEntry = 0, nameEntry = 0, languageEntry = 0, dataRva = 0;
  if (!FirstEntryOffset(image, resourceBase, 0, &typeEntry) ||
      !FirstEntryOffset(image, resourceBase, typeEntry & ~kSubdirectoryFlag, &nameEntry) ||
      !FirstEntryOffset(image, resourceBase, nameEntry & ~kSubdirectoryFlag, &languageEntry) ||
      // The language entry's offset is taken whole: it names a data entry.
      !ReadU32At(image, resourceBase + languageEntry, &dataRva))
    return info->error;

  info->resourceBase = resourceBase;
  info->resourceVirtualAddress = virtualAddress;
  info->manifestOffset = dataRva - virtualAddress + rawPointer;
  return info->error = ManifestWalkError::kNone;
}

// A resource type or name to look up: a name (ASCII, compared exactly with
// the directory's UTF-16 string) when `name` is not null, else the id.
struct ResourceKeyRef {
  const char* name;
  std::uint16_t id;
};

// Where a resource's data lies in the file, and its declared size.
struct ResourceLocation {
  std::uint32_t dataOffset = 0;
  std::uint32_t size = 0;
};

// True when the entry's name field at `nameField` is `key`.
template <class Source>
bool EntryIsKey(Source& image, std::uint32_t resourceBase, std::uint32_t nameField, const ResourceKeyRef& key) {
  const bool named = (nameField & pe_layout::kResourceNameIsString) != 0;
  if (key.name == nullptr) return !named && nameField == key.id;
  if (!named) return false;
  const std::uint32_t at = resourceBase + (nameField & ~pe_layout::kResourceNameIsString);
  std::uint8_t raw[2];
  if (!image.ReadAt(at, raw, sizeof raw)) return false;
  const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(key.name));
  if (ReadLe16(raw) != length) return false;
  for (std::uint32_t i = 0; i < length; ++i) {
    if (!image.ReadAt(at + 2 + 2 * i, raw, sizeof raw)) return false;
    if (ReadLe16(raw) != static_cast<unsigned char>(key.name[i])) return false;
  }
  return true;
}

// OffsetToData of the entry for `key` in the directory at ResourceBase +
// `directoryOffset`; false when no entry is `key` or a read fails. Every
// entry the header counts is looked at, named or numbered, in any order.
template <class Source>
bool FindEntryOffset(Source& image, std::uint32_t resourceBase, std::uint32_t directoryOffset,
                     const ResourceKeyRef& key, std::uint32_t* offsetToData) {
  const std::uint32_t directory = resourceBase + directoryOffset;
  std::uint8_t header[kDirectoryHeaderSize];
  if (!image.ReadAt(directory, header, sizeof header)) return false;
  const std::uint32_t count =
      std::uint32_t{ReadLe16(header + pe_layout::kNamedEntryCount)} + ReadLe16(header + pe_layout::kIdEntryCount);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t entry[pe_layout::kResourceEntrySize];
    if (!image.ReadAt(directory + kDirectoryHeaderSize + i * pe_layout::kResourceEntrySize, entry, sizeof entry))
      return false;
    if (EntryIsKey(image, resourceBase, ReadLe32(entry), key)) {
      *offsetToData = ReadLe32(entry + kEntryOffsetToData);
      return true;
    }
  }
  return false;
}

// Finds the resource `type`/`name` in the first language its name
// directory holds, with the walk that finds the manifest (the same ".rsrc"
// section, the same three levels). False when the image has no such
// resource or a read on the way fails; a level that does not lead to a
// subdirectory, or a data entry that does, is no resource either.
template <class Source>
bool FindResource(Source& image, const ResourceKeyRef& type, const ResourceKeyRef& name,
                  ResourceLocation* location) {
  std::uint32_t virtualAddress = 0;
  std::uint32_t resourceBase = 0;
  if (FindResourceSection(image, &virtualAddress, &resourceBase) != ManifestWalkError::kNone) return false;
  std::uint32_t typeEntry = 0, nameEntry = 0, languageEntry = 0;
  if (!FindEntryOffset(image, resourceBase, 0, type, &typeEntry) || !(typeEntry & kSubdirectoryFlag) ||
      !FindEntryOffset(image, resourceBase, typeEntry & ~kSubdirectoryFlag, name, &nameEntry) ||
      !(nameEntry & kSubdirectoryFlag) ||
      !FirstEntryOffset(image, resourceBase, nameEntry & ~kSubdirectoryFlag, &languageEntry) ||
      (languageEntry & kSubdirectoryFlag))
    return false;
  std::uint8_t dataEntry[pe_layout::kResourceDataEntrySize];
  if (!image.ReadAt(resourceBase + languageEntry, dataEntry, sizeof dataEntry)) return false;
  location->dataOffset = ReadLe32(dataEntry) - virtualAddress + resourceBase;
  location->size = ReadLe32(dataEntry + 4);
  return true;
}

}  // namespace format
