// Writing a VERSIONINFO resource (the data of RT_VERSION 16, id 1): the
// VS_VERSIONINFO block with its VS_FIXEDFILEINFO, one StringTable
// "040904B0" (US English, UTF-16) and the VarFileInfo Translation 0x0409,
// 1200, laid out byte for byte as windres lays out the same VERSIONINFO
// statement. The layout and the reader are in core/format/version_info.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/format/version_info.h"

namespace imagewriter {

struct VersionInfoContents {
  std::uint16_t fileVersion[4] = {};  // major, minor, patch, build
  std::uint16_t productVersion[4] = {};
  // Windows-1252 text by key; a key left empty is not written.
  std::string text[format::kVersionFieldCount];
};

// The resource's data. Throws std::invalid_argument when a text is longer
// than the 259 characters the installer's fields hold.
std::vector<std::uint8_t> BuildVersionInfo(const VersionInfoContents& contents);

// Parses "X", "X.Y", "X.Y.Z" or "X.Y.Z.W" (decimal numbers 0 to 65535, no
// sign, no blank) into `numbers`, missing parts 0. False for anything else.
bool ParseVersionNumbers(const std::string& text, std::uint16_t (&numbers)[4]);

}  // namespace imagewriter
