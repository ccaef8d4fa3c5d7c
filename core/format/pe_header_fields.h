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
#include <vector>

#include "core/format/manifest_layout.h"
#include "core/format/memory_source.h"
#include "core/format/pe_layout.h"

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
  using namespace format::pe_layout;
  std::uint8_t dos[kLfanewOffset + 4];
  std::uint8_t signature[kSignatureSize];
  if (!image.ReadAt(0, dos, sizeof dos) || !IsMzSignature(dos)) return false;
  *pe = ReadLe32(dos + kLfanewOffset);
  return image.ReadAt(*pe, signature, sizeof signature) && IsPeSignature(signature);
}

// The offsets in `image`, or false when its headers do not reach that far
// (no "MZ", e_lfanew past the end, no "PE\0\0", optional header cut short).
template <class Source>
bool FindPeHeaderFieldsIn(Source& image, PeHeaderFields* fields) {
  using namespace format::pe_layout;
  std::uint32_t peOffset = 0;
  if (!FindPeSignature(image, &peOffset)) return false;
  // In 64 bits: e_lfanew is hostile and the entry must not wrap round.
  const std::uint64_t pe = peOffset;
  const std::uint64_t optional = pe + kOptionalHeaderFromSignature;
  const std::uint64_t securityEntry = optional + DataDirectoryOffset(kSecurityDirectory);
  std::uint8_t entry[kDataDirectoryEntrySize];
  if (securityEntry + sizeof entry > 0xFFFFFFFFu ||
      !image.ReadAt(static_cast<std::uint32_t>(securityEntry), entry, sizeof entry))
    return false;
  fields->timeDateStamp = static_cast<std::uint32_t>(pe + kFileHeaderFromSignature + kTimeDateStamp);
  fields->checksum = static_cast<std::uint32_t>(optional + kCheckSum);
  fields->securityDirectory = static_cast<std::uint32_t>(securityEntry);
  return true;
}

// The same over an image held in memory.
inline bool FindPeHeaderFields(const std::vector<std::uint8_t>& image, PeHeaderFields* fields) {
  MemorySource source(image);
  return FindPeHeaderFieldsIn(source, fields);
}
