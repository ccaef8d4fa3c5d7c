// The byte layout of the payload manifest that an installer image carries as
// its LASTRES resource, and of the 28-byte entries of its table. All integers
// are little-endian; fields follow one another with no gaps or alignment:
//
//   u16       LicenseLength  bytes of licence text that follow (0: none)
//   char[L]   LicenseText    no terminator in the file
//   char[260] Title          text before the first NUL; no NUL: 260 chars
//   u16       NumberBase     number of the first media entry (position 3)
//   entry[]   28 bytes each, ended by an entry whose StoredSize is 0
#pragma once

#include <cstddef>
#include <cstdint>

namespace format {

constexpr std::size_t kTitleFieldSize = 260;
constexpr std::size_t kEntrySize = 28;
constexpr std::size_t kEntryNameSize = 15;
constexpr std::uint32_t kMaxLicenseLength = 0xFFFF;
// Bytes from the manifest's start to its first entry, for a licence of L
// bytes: 2 + L + 260 + 2.
constexpr std::uint32_t ManifestHeaderSize(std::uint32_t licenseLength) {
  return 2 + licenseLength + kTitleFieldSize + 2;
}

// Roles by position in the table.
enum EntryPosition : unsigned {
  kScreenSaverPosition = 0,
  kDataFilePosition = 1,
  kUninstallerPosition = 2,
  kFirstMediaPosition = 3,
};

// `Kind` values that choose a media file's name prefix; any other value
// (a blank included) gives "FILE".
constexpr std::uint8_t kKindJuke = 0x00;       // "JUKE"
constexpr std::uint8_t kKindJukUnderscore = 0x5F;  // "JUK_"

struct PayloadEntry {
  std::uint32_t DataOffset;    // absolute offset of the data in the image file
  std::uint32_t StoredSize;    // bytes stored at DataOffset; 0 ends the table
  std::uint32_t ExpandedSize;  // size after decoding; 0 means stored as is
  char Name[kEntryNameSize];   // media: rest of the file name, e.g. ".MID"
                               // blank-filled or NUL-ended; not terminated
  std::uint8_t Kind;           // media: name prefix selector
};

// Bytes the entry writes when installed: ExpandedSize, or StoredSize for a
// stored entry.
inline std::uint32_t InstalledSize(const PayloadEntry& entry) {
  return entry.ExpandedSize != 0 ? entry.ExpandedSize : entry.StoredSize;
}
inline bool IsCompressed(const PayloadEntry& entry) { return entry.ExpandedSize != 0; }
// True for a compressed entry of 2^31 bytes or more: the installer compares
// the produced count with ExpandedSize as a signed 32-bit number and writes
// nothing for it.
inline bool ExpandsPastSignedRange(const PayloadEntry& entry) {
  return IsCompressed(entry) && entry.ExpandedSize >= 0x80000000u;
}
// True when the entry's StoredSize bytes at DataOffset lie wholly inside an
// image of `imageSize` bytes.
inline bool DataInsideImage(const PayloadEntry& entry, std::uint64_t imageSize) {
  return std::uint64_t{entry.DataOffset} + entry.StoredSize <= imageSize;
}

PayloadEntry DecodePayloadEntry(const std::uint8_t (&raw)[kEntrySize]);
void EncodePayloadEntry(const PayloadEntry& entry, std::uint8_t (&raw)[kEntrySize]);

inline std::uint16_t ReadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t ReadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void WriteLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void WriteLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace format
