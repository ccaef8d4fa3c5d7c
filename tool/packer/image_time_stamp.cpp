// Stamping a packed image with a given time.
#include "tool/packer/image_time_stamp.h"

#include "core/imagewriter/pe_checksum.h"
#include "core/format/pe_header_fields.h"
#include "core/format/manifest_layout.h"

using format::FindPeHeaderFields;
using format::PeHeaderFields;
using format::WriteLe32;

namespace packer {

using imagewriter::ComputePeChecksum;

bool StampImageTime(std::vector<std::uint8_t>& image, std::uint32_t secondsSince1970) {
  PeHeaderFields fields;
  if (!FindPeHeaderFields(image, &fields)) return false;
  WriteLe32(&image[fields.timeDateStamp], secondsSince1970);
  WriteLe32(&image[fields.checksum], ComputePeChecksum(image, fields.checksum));
  return true;
}

std::optional<std::uint32_t> ParseSourceDateEpoch(const std::string& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace packer
