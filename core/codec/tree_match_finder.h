// Finding every useful match at every position, for the cost-driven parse:
// binary trees of earlier positions, one per hash of three bytes, each
// ordered by the (up to 30) bytes that follow its positions.
//
// Like MatchFinder it works on the window of the 4066 preset spaces followed
// by the data (window index b is ring position b mod 4096), and a match at b
// copies from b - distance with distance 1 to 4096, never below index 0.
// Every position is searched and inserted in one walk from the tree's root,
// the newest position of its hash, towards older ones. A walk meets every
// position that is the nearest to share some number of bytes with b (any
// position sorting between the two shares at least as many and would be
// newer), so unbounded walks give the nearest match of every length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/codec/match_finder.h"

namespace codec {

class TreeMatchFinder {
 public:
  // `window` must stay valid while the finder is used. `maxDepth` bounds the
  // positions one walk visits.
  TreeMatchFinder(const std::uint8_t* window, std::size_t size, unsigned maxDepth);

  // Matches at `b`, each longer than the one before (as FindMatches of
  // MatchFinder). Positions from the last one searched up to `b` are entered
  // first; `b` must rise from call to call. Returns the number written to
  // `out` (room for 28).
  unsigned FindMatches(std::size_t b, MatchCandidate* out);

 private:
  unsigned Walk(std::size_t b, MatchCandidate* out);
  std::uint32_t Hash(std::size_t b) const;

  const std::uint8_t* window_;
  std::size_t size_;
  unsigned maxDepth_;
  std::size_t next_ = 0;  // positions below this are in the trees
  std::vector<std::int32_t> root_;
  // Per position (mod its size): the subtrees of positions whose bytes sort
  // below [2k] and above [2k + 1] it; -1 is empty.
  std::vector<std::int32_t> children_;
};

}  // namespace codec
