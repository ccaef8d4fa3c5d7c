// Comparing file names as Windows' file systems do for the names the
// installer writes through the ANSI calls: a name's Windows-1252 bytes
// become Unicode, and each character is compared through the volume's
// upper-case table (one character to one character, no locale, so "ß"
// stays itself). Within Windows-1252 that folds:
//   a-z to A-Z;
//   0xE0-0xFE to 0xC0-0xDE (à..þ to À..Þ), except 0xF7 (÷);
//   0x9A to 0x8A (š Š), 0x9C to 0x8C (œ Œ), 0x9E to 0x8E (ž Ž),
//   0xFF to 0x9F (ÿ Ÿ).
// Other letters (µ, ƒ) upper-case to characters outside Windows-1252, so
// no other name of these bytes can equal them.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/text/ascii_case.h"

namespace text {

inline unsigned char FoldWindowsByte(unsigned char c) {
  if (c < 0x80) return static_cast<unsigned char>(AsciiUpper(static_cast<char>(c)));
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
  }
}

inline char FoldWindowsCase(char c) {
  return static_cast<char>(FoldWindowsByte(static_cast<unsigned char>(c)));
}

// True when Windows takes `a` and `b` for the same name.
inline bool SameWindowsName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldWindowsCase(a[i]) != FoldWindowsCase(b[i])) return false;
  return true;
}

}  // namespace text
