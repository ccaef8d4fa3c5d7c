// The PE image checksum (the optional header's CheckSum field, at
// format::pe_layout::kCheckSum), as the system's image loader checks it for
// drivers and critical programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imagewriter {

// The 16-bit one's-complement-style sum of the whole file taken as
// little-endian 16-bit words (an odd last byte padded with zero), with the
// four bytes at `checksumOffset` counted as zero, folded to 16 bits and
// added to the file length.
std::uint32_t ComputePeChecksum(const std::vector<std::uint8_t>& image, std::size_t checksumOffset);

}  // namespace imagewriter
