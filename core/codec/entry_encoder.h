// Compressing a payload entry into the installer's entry format: LZSS over
// a 4096-byte ring preset with 4066 spaces, matches of 3 to 30 bytes,
// literals and lengths in the adaptive tree, offsets in the fixed offset
// code, and no size field (the expanded size goes into the manifest entry).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace codec {

enum class CompressionLevel {
  kGreedy,  // the longest match at every position, the nearest of equals
  kLazy,    // a match is put off when the next position offers a longer one
  kBest,    // matches and literals chosen by their cost in the adaptive code
};

// The compressed stream of `size` bytes at `data`. Decoding it with an
// expanded size of `size` gives the data back. An empty input gives an empty
// stream; the manifest cannot describe entries of 2^31 bytes or more.
std::vector<std::uint8_t> CompressEntry(const std::uint8_t* data, std::size_t size,
                                        CompressionLevel level = CompressionLevel::kBest);

}  // namespace codec
