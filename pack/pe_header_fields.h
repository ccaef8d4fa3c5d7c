// Where the header fields that a finished image may still change lie in a
// PE32 file: the file header's TimeDateStamp, the optional header's CheckSum
// and the security (certificate table) directory entry.
#pragma once

#include <cstdint>
#include <vector>

namespace pack {

struct PeHeaderFields {
  std::uint32_t timeDateStamp = 0;      // file offset of TimeDateStamp (u32, seconds since 1970)
  std::uint32_t checksum = 0;           // file offset of CheckSum (u32)
  std::uint32_t securityDirectory = 0;  // file offset of the certificate table's entry:
                                        // u32 file offset, u32 size in bytes
};

// The offsets in `image`, or false when its headers do not reach that far
// (no "MZ", e_lfanew past the end, no "PE\0\0", optional header cut short).
bool FindPeHeaderFields(const std::vector<std::uint8_t>& image, PeHeaderFields* fields);

}  // namespace pack
