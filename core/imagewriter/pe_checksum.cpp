// The PE image checksum.
#include "core/imagewriter/pe_checksum.h"

namespace imagewriter {

std::uint32_t ComputePeChecksum(const std::vector<std::uint8_t>& image, std::size_t checksumOffset) {
  const std::size_t size = image.size();
  auto byteAt = [&](std::size_t i) -> std::uint32_t {
    if (i >= size || (i >= checksumOffset && i < checksumOffset + 4)) return 0;
    return image[i];
  };
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < size; i += 2) {
    sum += byteAt(i) | (byteAt(i + 1) << 8);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + size);
}

}  // namespace imagewriter
