// Finding earlier occurrences of the bytes at a position, for the encoder.
//
// The encoder works on a window of the 4066 preset spaces followed by the
// data, so that window index b and ring position b mod 4096 agree and a
// match may start in the preset. A match at b copies from b - distance, with
// distance 1 to 4096 (the offset p is distance - 1) and never below index 0:
// ring positions 4066-4095 hold no known bytes before the data writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace codec {

struct MatchCandidate {
  std::uint32_t length;    // 3-30
  std::uint32_t distance;  // 1-4096
};

class MatchFinder {
 public:
  // `window` must stay valid while the finder is used. `maxChain` bounds the
  // candidates looked at per position.
  MatchFinder(const std::uint8_t* window, std::size_t size, unsigned maxChain);

  // Matches at `b`, each longer than the one before and as near as any of
  // its length can be: a match of length L is best taken from the distance
  // of the first candidate whose length is L or more. Positions below `b`
  // are entered into the chains first; `b` must not go backward. Returns the
  // number of candidates written to `out` (room for 28).
  unsigned FindMatches(std::size_t b, MatchCandidate* out);

  // The longest match at `b` (length 0 when there is none of 3 or more).
  MatchCandidate Longest(std::size_t b);

 private:
  void InsertUpTo(std::size_t b);
  std::uint32_t Hash(std::size_t b) const;

  const std::uint8_t* window_;
  std::size_t size_;
  unsigned maxChain_;
  std::size_t inserted_ = 0;  // positions below this are in the chains
  std::vector<std::int32_t> head_;
  std::vector<std::int32_t> previous_;  // by position mod its size
};

}  // namespace codec
