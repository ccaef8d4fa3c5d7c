// Where the header fields that a finished image may still change lie in a
// PE32 file: the file header's TimeDateStamp, the optional header's CheckSum
// and the certificate table's data directory entry (directory 4). The
// packer stamps and signs through them; the tool reads the certificate
// table through them.
//
//   Source: bool ReadAt(std::uint32_t offset, void* buffer, std::uint32_t size)
//           exactly `size` bytes from file offset `offset`; false when the
//           file cannot give them all.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/format/manifest_layout.h"
#include "core/format/memory_source.h"
#include "core/format/pe_layout.h"

namespace format {

struct PeHeaderFields {
  std::uint32_t timeDateStamp = 0;      // file offset of TimeDateStamp (u32, seconds since 1970)
  std::uint32_t checksum = 0;           // file offset of CheckSum (u32)
  std::uint32_t securityDirectory = 0;  // file offset of the certificate table's entry:
                                        // u32 file offset, u32 size in bytes
};

// The file offset of the PE signature (e_lfanew), or false when the file
// has no "MZ" header or no "PE\0\0" there.
template <class Source>
bool FindPeSignature(Source& image, std::uint32_t* pe) {
  std::uint8_t dos[pe_layout::kLfanewOffset + 4];  // through e_lfanew
  std::uint8_t signature[pe_layout::kSignatureSize];
  if (!image.ReadAt(0, dos, sizeof dos) || !pe_layout::IsMzSignature(dos)) return false;
  *pe = ReadLe32(dos + pe_layout::kLfanewOffset);
  return image.ReadAt(*pe, signature, sizeof signature) && pe_layout::IsPeSignature(signature);
}

// The offsets in `image`, or false when its headers do not reach that far
// (no "MZ", e_lfanew past the end, no "PE\0\0", optional header cut short).
template <class Source>
bool FindPeHeaderFieldsIn(Source& image, PeHeaderFields* fields) {
  std::uint32_t peOffset = 0;
  if (!FindPeSignature(image, &peOffset)) return false;
  // In 64 bits: e_lfanew is hostile and the entry must not wrap round.
  const std::uint64_t pe = peOffset;
  const std::uint64_t optional = pe + pe_layout::kOptionalHeaderFromSignature;
  // The certificate table's entry of a PE32 (not PE32+) optional header.
  constexpr std::uint32_t kSecurityEntry = pe_layout::DataDirectoryOffset(pe_layout::kSecurityDirectory);
  const std::uint64_t entryEnd = optional + kSecurityEntry + pe_layout::kDataDirectoryEntrySize;
  std::uint8_t entry[pe_layout::kDataDirectoryEntrySize];
  if (entryEnd > 0xFFFFFFFFu || !image.ReadAt(static_cast<std::uint32_t>(entryEnd - sizeof entry), entry, sizeof entry))
    return false;
  fields->timeDateStamp =
      static_cast<std::uint32_t>(pe + pe_layout::kFileHeaderFromSignature + pe_layout::kTimeDateStamp);
  fields->checksum = static_cast<std::uint32_t>(optional + pe_layout::kCheckSum);
  fields->securityDirectory = static_cast<std::uint32_t>(optional + kSecurityEntry);
  return true;
}

// The same over an image held in memory.
inline bool FindPeHeaderFields(const std::vector<std::uint8_t>& image, PeHeaderFields* fields) {
  MemoryImageSource source(image);
  return FindPeHeaderFieldsIn(source, fields);
}

}  // namespace format
