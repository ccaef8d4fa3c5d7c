// Writes VS_VERSIONINFO blocks as windres does: each block's wLength
// covers its header, key, value and children but not the padding behind its
// last child; a String's wValueLength counts its UTF-16 units with the NUL.
#include "core/imagewriter/version_info_writer.h"

#include <stdexcept>

#include "core/format/manifest_layout.h"
#include "core/text/windows1252.h"

namespace imagewriter {

namespace {

using format::WriteLe16;
using format::WriteLe32;

constexpr std::uint16_t kBinary = 0;
constexpr std::uint16_t kText = 1;
constexpr std::uint16_t kLanguageUsEnglish = 0x0409;
constexpr std::uint16_t kCodePageUnicode = 1200;
constexpr char kStringTableKey[] = "040904B0";
// VS_FIXEDFILEINFO fields other than the versions.
constexpr std::uint32_t kStructureVersion = 0x00010000;
constexpr std::uint32_t kFileFlagsMask = 0x3F;       // VS_FFI_FILEFLAGSMASK
constexpr std::uint32_t kFileOs = 0x00040004;         // VOS_NT_WINDOWS32
constexpr std::uint32_t kFileTypeApplication = 1;     // VFT_APP

void Pad4(std::vector<std::uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

void PutUnit(std::vector<std::uint8_t>& out, std::uint16_t unit) {
  out.push_back(static_cast<std::uint8_t>(unit));
  out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

void PutText(std::vector<std::uint8_t>& out, const std::string& text) {
  for (unsigned char c : text) PutUnit(out, text::Windows1252ToUnicode(c));
  PutUnit(out, 0);
}

// Opens a block at the (aligned) end of `out`: header and key; returns its
// start, for CloseBlock.
std::size_t OpenBlock(std::vector<std::uint8_t>& out, const char* key, std::uint16_t valueLength,
                      std::uint16_t type) {
  Pad4(out);
  const std::size_t start = out.size();
  PutUnit(out, 0);  // wLength, set by CloseBlock
  PutUnit(out, valueLength);
  PutUnit(out, type);
  PutText(out, key);
  Pad4(out);
  return start;
}

void CloseBlock(std::vector<std::uint8_t>& out, std::size_t start) {
  const std::size_t length = out.size() - start;
  if (length > format::kVersionBlockMax) throw std::invalid_argument("the version information exceeds 64 KiB");
  WriteLe16(&out[start], static_cast<std::uint16_t>(length));
}

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.resize(out.size() + 4);
  WriteLe32(&out[out.size() - 4], value);
}

std::uint32_t High(const std::uint16_t (&v)[4]) { return std::uint32_t{v[0]} << 16 | v[1]; }
std::uint32_t Low(const std::uint16_t (&v)[4]) { return std::uint32_t{v[2]} << 16 | v[3]; }

}  // namespace

std::vector<std::uint8_t> BuildVersionInfo(const VersionInfoContents& contents) {
  std::vector<std::uint8_t> out;
  const std::size_t root = OpenBlock(out, "VS_VERSION_INFO", format::kFixedFileInfoSize, kBinary);
  for (std::uint32_t value : {format::kFixedFileInfoSignature, kStructureVersion, High(contents.fileVersion),
                              Low(contents.fileVersion), High(contents.productVersion),
                              Low(contents.productVersion), kFileFlagsMask, std::uint32_t{0}, kFileOs,
                              kFileTypeApplication, std::uint32_t{0}, std::uint32_t{0}, std::uint32_t{0}})
    PutU32(out, value);

  const std::size_t stringInfo = OpenBlock(out, "StringFileInfo", 0, kText);
  const std::size_t table = OpenBlock(out, kStringTableKey, 0, kText);
  for (unsigned field = 0; field < format::kVersionFieldCount; ++field) {
    const std::string& text = contents.text[field];
    if (text.empty()) continue;
    if (text.size() >= format::kVersionFieldSize)
      throw std::invalid_argument(std::string(format::kVersionFieldKeys[field]) + " is longer than 259 characters");
    const std::size_t entry =
        OpenBlock(out, format::kVersionFieldKeys[field], static_cast<std::uint16_t>(text.size() + 1), kText);
    PutText(out, text);
    CloseBlock(out, entry);
  }
  CloseBlock(out, table);
  CloseBlock(out, stringInfo);

  const std::size_t varInfo = OpenBlock(out, "VarFileInfo", 0, kText);
  const std::size_t translation = OpenBlock(out, "Translation", 4, kBinary);
  PutUnit(out, kLanguageUsEnglish);
  PutUnit(out, kCodePageUnicode);
  CloseBlock(out, translation);
  CloseBlock(out, varInfo);
  CloseBlock(out, root);
  return out;
}

bool ParseVersionNumbers(const std::string& text, std::uint16_t (&numbers)[4]) {
  std::uint16_t parsed[4] = {};
  unsigned part = 0;
  std::uint32_t value = 0;
  std::size_t digits = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      if (digits == 0 || part == 4) return false;
      parsed[part++] = static_cast<std::uint16_t>(value);
      value = 0;
      digits = 0;
      continue;
    }
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
    if (++digits > 5 || value > 0xFFFF) return false;
  }
  for (unsigned k = 0; k < 4; ++k) numbers[k] = parsed[k];
  return true;
}

}  // namespace imagewriter
