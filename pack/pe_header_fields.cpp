// Locating TimeDateStamp, CheckSum and the certificate table entry.
#include "pack/pe_header_fields.h"

#include "payload/manifest_layout.h"

namespace pack {

namespace {

constexpr std::uint32_t kLfanewOffset = 0x3C;
constexpr std::uint32_t kFileHeaderSize = 20;
constexpr std::uint32_t kChecksumInOptionalHeader = 64;
// Data directory 4 (certificates) of a PE32 (not PE32+) optional header.
constexpr std::uint32_t kSecurityEntryInOptionalHeader = 96 + 8 * 4;

}  // namespace

bool FindPeHeaderFields(const std::vector<std::uint8_t>& image, PeHeaderFields* fields) {
  if (image.size() < kLfanewOffset + 4 || image[0] != 'M' || image[1] != 'Z') return false;
  const std::uint64_t pe = ReadLe32(&image[kLfanewOffset]);
  const std::uint64_t optional = pe + 4 + kFileHeaderSize;
  if (optional + kSecurityEntryInOptionalHeader + 8 > image.size()) return false;
  if (image[pe] != 'P' || image[pe + 1] != 'E' || image[pe + 2] != 0 || image[pe + 3] != 0) return false;
  fields->timeDateStamp = static_cast<std::uint32_t>(pe + 4 + 4);
  fields->checksum = static_cast<std::uint32_t>(optional + kChecksumInOptionalHeader);
  fields->securityDirectory = static_cast<std::uint32_t>(optional + kSecurityEntryInOptionalHeader);
  return true;
}

}  // namespace pack
