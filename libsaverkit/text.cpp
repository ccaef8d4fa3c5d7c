// Windows-1252 to UTF-8 through the one table in core/text.
#include "saverkit/text.h"

#include <cstdint>

#include "core/text/windows1252.h"

namespace saverkit {

namespace {

// Code points of Windows-1252 stay below 0x10000: one to three bytes.
void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) AppendUtf8(out, text::Windows1252ToUnicode(c));
  return out;
}

}  // namespace saverkit
