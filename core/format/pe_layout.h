// Fixed offsets and sizes of the PE32 headers, shared by the walk to the
// manifest and the header field lookups. Offsets in bytes.
#pragma once

#include <cstdint>

namespace format {

// e_lfanew, the u32 file offset of the "PE\0\0" signature, in the DOS header.
constexpr std::uint32_t kLfanewOffset = 0x3C;
// The COFF file header that follows the 4-byte signature.
constexpr std::uint32_t kFileHeaderSize = 20;
// The optional header of a PE32 image with all 16 data directories.
constexpr std::uint32_t kOptionalHeaderSize = 224;
constexpr std::uint32_t kSectionHeaderSize = 40;

}  // namespace format
