// The fixed code of match offsets, shared by the decoder and the encoder.
//
// An offset p (0-4095; the match starts p + 1 bytes back) is sent as a prefix
// code of 3 to 8 bits for its upper 6 bits, then its lower 6 bits plain. The
// decoder reads 8 bits as an index i: kOffsetUpperBits[i] is the upper value
// and kOffsetCodeLength[i] the length of its prefix, so kOffsetCodeLength[i] - 2
// more bits follow, the last 6 of all the bits read being the lower 6 bits.
//
//   index range   upper values   indices per value   prefix length
//   0x00-0x1F     0              32                  3
//   0x20-0x4F     1-3            16                  4
//   0x50-0x8F     4-11           8                   5
//   0x90-0xBF     12-23          4                   6
//   0xC0-0xEF     24-47          2                   7
//   0xF0-0xFF     48-63          1                   8
#pragma once

#include <cstdint>

namespace codec {

struct OffsetTables {
  std::uint8_t upper[256];
  std::uint8_t length[256];
  std::uint8_t firstIndex[64];  // the first index that gives each upper value
};

// Each row: prefix length and how many upper values it serves; the indices
// per value are 2^(8 - length).
constexpr OffsetTables BuildOffsetTables() {
  OffsetTables tables{};
  constexpr unsigned kRows[][2] = {{3, 1}, {4, 3}, {5, 8}, {6, 12}, {7, 24}, {8, 16}};
  unsigned index = 0, upper = 0;
  for (const auto& row : kRows) {
    const unsigned length = row[0];
    const unsigned perValue = 1u << (8 - length);
    for (unsigned v = 0; v < row[1]; ++v, ++upper) {
      tables.firstIndex[upper] = static_cast<std::uint8_t>(index);
      for (unsigned n = 0; n < perValue; ++n, ++index) {
        tables.upper[index] = static_cast<std::uint8_t>(upper);
        tables.length[index] = static_cast<std::uint8_t>(length);
      }
    }
  }
  return tables;
}

inline constexpr OffsetTables kOffsetTables = BuildOffsetTables();

inline constexpr const std::uint8_t (&kOffsetUpperBits)[256] = kOffsetTables.upper;
inline constexpr const std::uint8_t (&kOffsetCodeLength)[256] = kOffsetTables.length;

// The code of offset p for the encoder: `bits` right-aligned, `length` of
// them (9 to 14), the prefix of the upper 6 bits followed by the lower 6.
struct OffsetCodeWord {
  std::uint32_t bits;
  unsigned length;
};

inline OffsetCodeWord EncodeOffset(unsigned p) {
  const unsigned upper = p >> 6;
  // The prefix is the top bits of the first index that decodes to `upper`.
  const unsigned first = kOffsetTables.firstIndex[upper];
  const unsigned prefixLength = kOffsetCodeLength[first];
  const std::uint32_t prefix = first >> (8 - prefixLength);
  return {(prefix << 6) | (p & 63u), prefixLength + 6};
}

// Bits that offset p costs in the stream (9 to 14).
constexpr unsigned OffsetCodeBits(unsigned p) {
  const unsigned upper = p >> 6;
  return upper < 1 ? 9 : upper < 4 ? 10 : upper < 12 ? 11 : upper < 24 ? 12 : upper < 48 ? 13 : 14;
}

}  // namespace codec
