// Windows-1252, the installer's code page, to and from UTF-16 code units.
// Header only, so that the installer's fixed-buffer readers use it without
// a library of their own.
#pragma once

#include <cstdint>

namespace text {

// The Unicode code points of the bytes 0x80 to 0x9F. The five bytes the
// code page leaves undefined map to the C1 control of the same value, as
// Windows' own conversion maps them.
constexpr std::uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::uint16_t Windows1252ToUnicode(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
}

// The byte for `unit`, or 0 when the code page has none (surrogates, and
// every letter outside it).
constexpr unsigned char UnicodeToWindows1252(std::uint16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<unsigned char>(unit);
  for (unsigned k = 0; k < 32; ++k)
    if (kWindows1252High[k] == unit) return static_cast<unsigned char>(0x80 + k);
  return 0;
}

}  // namespace text
