// Reading an image's VERSIONINFO resource (RT_VERSION 16, id 1, first
// language) over any byte source: the installer reads its own image through
// the _lopen family to register Publisher, DisplayVersion and URLInfoAbout,
// the tool lists them. No exception, no heap: every field is a fixed
// 260-byte buffer, truncated safely, so the installer keeps it in its own
// static storage. The writer is imagewriter::BuildVersionInfo.
//
// The resource's data is one VS_VERSIONINFO block. Every block is
//   u16 wLength        bytes of the block: header, key, value, children
//                      (not the padding behind its last child)
//   u16 wValueLength   of the value: bytes for binary (wType 0), UTF-16
//                      units for text (wType 1)
//   u16 wType
//   UTF-16 key, NUL-terminated; zero padding to a multiple of 4
//   the value; zero padding to a multiple of 4
//   child blocks, each starting at a multiple of 4
// where the multiples of 4 count from the resource data's first byte.
//
//   VS_VERSIONINFO   "VS_VERSION_INFO", value VS_FIXEDFILEINFO (52 bytes)
//     StringFileInfo "StringFileInfo", no value
//       StringTable  eight hex digits: language and code page ("040904B0")
//         String     a key such as "CompanyName", value UTF-16 text
//     VarFileInfo    "VarFileInfo"
//       Var          "Translation", value u16 language, u16 code page
//
// Everything read here is hostile: each block must lie inside its parent
// (and the whole inside the resource's declared size), each key must end
// inside its block, and a String's value is read up to its NUL or the end
// of its block, whatever wValueLength claims (writers disagree on whether
// it counts the NUL). Only the first StringTable is read; the first String
// of each key wins.
//
//   Source: bool ReadAt(std::uint32_t offset, void* buffer, std::uint32_t size)
#pragma once

#include <cstdint>
#include <cstring>

#include "core/format/image_walk.h"
#include "core/format/manifest_layout.h"
#include "core/text/windows1252.h"

namespace format {

constexpr std::uint16_t kVersionResourceType = 16;  // RT_VERSION
constexpr std::uint16_t kVersionResourceId = 1;     // VS_VERSION_INFO
constexpr ResourceKeyRef kVersionType{nullptr, kVersionResourceType};
constexpr ResourceKeyRef kVersionName{nullptr, kVersionResourceId};

constexpr std::uint32_t kVersionBlockHeaderSize = 6;
constexpr std::uint32_t kFixedFileInfoSize = 52;  // 13 u32
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr std::uint32_t kVersionBlockMax = 0xFFFF;  // wLength is 16 bits
// A text field as the installer holds it: 259 bytes and the NUL.
constexpr std::uint32_t kVersionFieldSize = 260;

// The String keys read, in the order the writer writes them. There is no
// standard key for a web address: kUrl is "URL", a key of our own that
// says what it holds, so that the installer registers URLInfoAbout from
// it without guessing in a free-text "Comments" (which the author may use
// for something else; Explorer shows neither).
enum VersionField : unsigned {
  kCompanyName,
  kFileDescription,
  kFileVersion,
  kLegalCopyright,
  kProductName,
  kProductVersion,
  kUrl,
  kVersionFieldCount
};
constexpr const char* kVersionFieldKeys[kVersionFieldCount] = {
    "CompanyName", "FileDescription", "FileVersion", "LegalCopyright", "ProductName", "ProductVersion", "URL"};

enum class VersionInfoStatus {
  kAbsent,   // no RT_VERSION resource (or the walk to it failed)
  kRead,     // read whole
  kDamaged,  // a block or key is broken; what was read before it is kept
};

struct VersionInfoFields {
  VersionInfoStatus status = VersionInfoStatus::kAbsent;
  bool hasFixedInfo = false;
  std::uint16_t fileVersion[4] = {};     // from VS_FIXEDFILEINFO, major first
  std::uint16_t productVersion[4] = {};
  bool present[kVersionFieldCount] = {};
  // Windows-1252; a letter the code page lacks, and every control
  // character, reads as '?'.
  char text[kVersionFieldCount][kVersionFieldSize] = {};
};

namespace version_detail {

constexpr std::uint32_t Align4(std::uint32_t value) { return (value + 3u) & ~3u; }

// The longest key compared; a longer one is read to its NUL and matches none.
constexpr std::uint32_t kKeyBufferSize = 24;

struct Block {
  std::uint32_t start = 0;  // from the resource data's first byte
  std::uint32_t end = 0;    // start + wLength
  std::uint16_t valueLength = 0;
  std::uint16_t type = 0;
  std::uint32_t valueStart = 0;
  char key[kKeyBufferSize] = {};  // ASCII letters of the key; '?' for others
};

enum class BlockRead { kBlock, kEnd, kDamaged };

// The block at `at`, which must lie before `limit`. A zero wLength, or too
// few bytes left for a header, ends a list of children (writers pad).
template <class Source>
BlockRead ReadBlock(Source& image, std::uint32_t base, std::uint32_t at, std::uint32_t limit, Block* block) {
  if (at >= limit || limit - at < kVersionBlockHeaderSize) return BlockRead::kEnd;
  std::uint8_t header[kVersionBlockHeaderSize];
  if (!image.ReadAt(base + at, header, sizeof header)) return BlockRead::kDamaged;
  const std::uint16_t length = ReadLe16(header);
  if (length == 0) return BlockRead::kEnd;
  if (length < kVersionBlockHeaderSize || length > limit - at) return BlockRead::kDamaged;
  block->start = at;
  block->end = at + length;
  block->valueLength = ReadLe16(header + 2);
  block->type = ReadLe16(header + 4);
  // The key, read a few units at a time up to its NUL inside the block. A
  // key too long for the buffer is kept as "?", which matches no key.
  std::uint32_t keyLength = 0;
  std::uint32_t position = at + kVersionBlockHeaderSize;
  for (;;) {
    std::uint8_t units[32];
    std::uint32_t chunk = (block->end - position) & ~1u;
    if (chunk == 0) return BlockRead::kDamaged;  // no NUL inside the block
    if (chunk > sizeof units) chunk = sizeof units;
    if (!image.ReadAt(base + position, units, chunk)) return BlockRead::kDamaged;
    for (std::uint32_t i = 0; i < chunk; i += 2) {
      const std::uint16_t unit = ReadLe16(units + i);
      position += 2;
      if (unit == 0) {
        if (keyLength >= kKeyBufferSize) {
          block->key[0] = '?';
          keyLength = 1;
        }
        block->key[keyLength] = '\0';
        block->valueStart = Align4(position);
        return BlockRead::kBlock;
      }
      if (keyLength < kKeyBufferSize - 1) block->key[keyLength] = unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
      ++keyLength;
    }
  }
}

// Where a block's children start: behind its value (bytes for binary,
// UTF-16 units for text), aligned.
inline std::uint32_t ChildrenStart(const Block& block) {
  const std::uint32_t valueBytes = block.type == 0 ? block.valueLength : 2u * block.valueLength;
  return Align4(block.valueStart + valueBytes);
}

// A String's value as Windows-1252 text in `out` (kVersionFieldSize bytes),
// up to its NUL or the end of its block; false, with `out` empty, when the
// source cannot give the bytes.
template <class Source>
bool ReadText(Source& image, std::uint32_t base, const Block& block, char* out) {
  std::uint32_t length = 0;
  std::uint32_t position = block.valueStart;
  bool ended = false;
  while (!ended && length < kVersionFieldSize - 1 && position < block.end) {
    std::uint8_t units[32];
    std::uint32_t chunk = (block.end - position) & ~1u;
    if (chunk == 0) break;  // an odd byte at the end
    if (chunk > sizeof units) chunk = sizeof units;
    if (!image.ReadAt(base + position, units, chunk)) {
      out[0] = '\0';  // a value cut short is no value: the field stays absent and empty
      return false;
    }
    for (std::uint32_t i = 0; i < chunk && !ended && length < kVersionFieldSize - 1; i += 2) {
      const std::uint16_t unit = ReadLe16(units + i);
      position += 2;
      if (unit == 0) {
        ended = true;
        break;
      }
      const unsigned char byte = text::UnicodeToWindows1252(unit);
      const bool control = byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte < 0xA0 && unit < 0xA0);
      out[length++] = control ? '?' : static_cast<char>(byte);
    }
  }
  out[length] = '\0';
  return true;
}

template <class Source>
bool ReadStringTable(Source& image, std::uint32_t base, const Block& table, VersionInfoFields* fields) {
  std::uint32_t at = ChildrenStart(table);
  Block entry;
  for (;;) {
    const BlockRead read = ReadBlock(image, base, at, table.end, &entry);
    if (read == BlockRead::kEnd) return true;
    if (read == BlockRead::kDamaged) return false;
    for (unsigned field = 0; field < kVersionFieldCount; ++field) {
      if (fields->present[field] || std::strcmp(entry.key, kVersionFieldKeys[field]) != 0) continue;
      if (!ReadText(image, base, entry, fields->text[field])) return false;
      fields->present[field] = true;
    }
    at = Align4(entry.end);
  }
}

}  // namespace version_detail

// Reads the VS_VERSIONINFO block of `size` bytes at file offset `offset`
// into `fields`; returns fields->status (kRead or kDamaged).
template <class Source>
VersionInfoStatus ReadVersionInfo(Source& image, std::uint32_t offset, std::uint32_t size,
                                  VersionInfoFields* fields) {
  using namespace version_detail;
  *fields = VersionInfoFields();
  fields->status = VersionInfoStatus::kDamaged;
  const std::uint32_t limit = size < kVersionBlockMax ? size : kVersionBlockMax;
  Block root;
  if (ReadBlock(image, offset, 0, limit, &root) != BlockRead::kBlock ||
      std::strcmp(root.key, "VS_VERSION_INFO") != 0)
    return fields->status;
  if (root.valueLength != 0) {
    std::uint8_t fixed[kFixedFileInfoSize];
    if (root.valueLength < kFixedFileInfoSize || root.valueLength > root.end - root.valueStart ||
        !image.ReadAt(offset + root.valueStart, fixed, sizeof fixed) || ReadLe32(fixed) != kFixedFileInfoSignature)
      return fields->status;
    // dwFileVersionMS, LS, dwProductVersionMS, LS at 8, 12, 16, 20.
    for (unsigned half = 0; half < 4; ++half) {
      const std::uint32_t file = ReadLe32(fixed + 8 + 4 * (half / 2));
      const std::uint32_t product = ReadLe32(fixed + 16 + 4 * (half / 2));
      const unsigned shift = half % 2 == 0 ? 16 : 0;
      fields->fileVersion[half] = static_cast<std::uint16_t>(file >> shift);
      fields->productVersion[half] = static_cast<std::uint16_t>(product >> shift);
    }
    fields->hasFixedInfo = true;
  }
  bool tableRead = false;
  std::uint32_t at = ChildrenStart(root);
  Block child;
  for (;;) {
    const BlockRead read = ReadBlock(image, offset, at, root.end, &child);
    if (read == BlockRead::kEnd) break;
    if (read == BlockRead::kDamaged) return fields->status;
    if (!tableRead && std::strcmp(child.key, "StringFileInfo") == 0) {
      Block table;
      const BlockRead tableResult = ReadBlock(image, offset, ChildrenStart(child), child.end, &table);
      if (tableResult == BlockRead::kDamaged) return fields->status;
      if (tableResult == BlockRead::kBlock && !ReadStringTable(image, offset, table, fields)) return fields->status;
      tableRead = true;
    }
    at = Align4(child.end);
  }
  return fields->status = VersionInfoStatus::kRead;
}

// Finds the image's VERSIONINFO and reads it; kAbsent when there is none.
template <class Source>
VersionInfoStatus ReadImageVersionInfo(Source& image, VersionInfoFields* fields) {
  ResourceLocation location;
  if (!FindResource(image, kVersionType, kVersionName, &location)) {
    *fields = VersionInfoFields();
    return fields->status;
  }
  return ReadVersionInfo(image, location.dataOffset, location.size, fields);
}

}  // namespace format
