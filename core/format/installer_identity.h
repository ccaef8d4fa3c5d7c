// Which installer program an image carries: the stub's private resource
// RCDATA "SAVERKIT", whose data is the text "Saverkit <version>" (no NUL).
// pack copies it unchanged, and never writes it: the image's VERSIONINFO
// belongs to the screen saver's author, this resource to us.
//
//   Source: bool ReadAt(std::uint32_t offset, void* buffer, std::uint32_t size)
#pragma once

#include <cstdint>

#include "core/format/image_walk.h"

namespace format {

constexpr std::uint16_t kRcdataResourceType = 10;  // RT_RCDATA
constexpr ResourceKeyRef kIdentityType{nullptr, kRcdataResourceType};
constexpr ResourceKeyRef kIdentityName{"SAVERKIT", 0};
// The identity as read: at most 63 characters and the NUL.
constexpr std::uint32_t kInstallerIdentitySize = 64;

// Fills `identity` with the resource's text up to its first NUL, at most
// 63 characters; a byte outside printable ASCII reads as '?'. False (and
// an empty text) when the image has no such resource or it cannot be read.
template <class Source>
bool ReadInstallerIdentity(Source& image, char (&identity)[kInstallerIdentitySize]) {
  identity[0] = '\0';
  ResourceLocation location;
  if (!FindResource(image, kIdentityType, kIdentityName, &location)) return false;
  const std::uint32_t length =
      location.size < kInstallerIdentitySize - 1 ? location.size : kInstallerIdentitySize - 1;
  char raw[kInstallerIdentitySize - 1];
  if (!image.ReadAt(location.dataOffset, raw, length)) return false;
  std::uint32_t kept = 0;
  while (kept < length && raw[kept] != '\0') {
    const unsigned char byte = static_cast<unsigned char>(raw[kept]);
    identity[kept] = byte >= 0x20 && byte < 0x7F ? raw[kept] : '?';
    ++kept;
  }
  identity[kept] = '\0';
  return true;
}

}  // namespace format
