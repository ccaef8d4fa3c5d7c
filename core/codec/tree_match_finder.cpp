// Binary-tree match finder (see tree_match_finder.h).
#include "core/codec/tree_match_finder.h"

#include <cstring>

#include "core/codec/adaptive_model.h"

namespace codec {

namespace {
constexpr unsigned kHashBits = 16;
constexpr std::size_t kSlots = 2 * kRingSize;  // more positions than any distance spans

// How many bytes a and b have in common from `from` on, at most `limit`;
// eight bytes at a time, none read at or beyond `limit`.
unsigned CommonLength(const std::uint8_t* a, const std::uint8_t* b, unsigned from, unsigned limit) {
  unsigned length = from;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  for (; length + 8 <= limit; length += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + length, 8);
    std::memcpy(&y, b + length, 8);
    // The lowest differing bit lies in the first differing byte.
    if (x != y) return length + static_cast<unsigned>(__builtin_ctzll(x ^ y)) / 8u;
  }
#endif
  while (length < limit && a[length] == b[length]) ++length;
  return length;
}

}  // namespace

TreeMatchFinder::TreeMatchFinder(const std::uint8_t* window, std::size_t size, unsigned maxDepth)
    : window_(window), size_(size), maxDepth_(maxDepth), root_(std::size_t{1} << kHashBits, -1),
      children_(2 * kSlots, -1) {}

std::uint32_t TreeMatchFinder::Hash(std::size_t b) const {
  const std::uint32_t v = (static_cast<std::uint32_t>(window_[b]) << 16) |
                          (static_cast<std::uint32_t>(window_[b + 1]) << 8) | window_[b + 2];
  return (v * 2654435761u) >> (32 - kHashBits);
}

unsigned TreeMatchFinder::FindMatches(std::size_t b, MatchCandidate* out) {
  MatchCandidate ignored[kMaxMatchLength];
  for (; next_ < b; ++next_) Walk(next_, ignored);
  if (next_ > b) return 0;
  ++next_;
  return Walk(b, out);
}

// Searches the tree of b's hash from its root and makes b the new root: the
// positions met are split into those whose bytes sort below b's and those
// above, which become b's two subtrees (as the classic binary-tree finder of
// LZ77 coders does). A position whose 30 bytes (or all bytes to the end)
// equal b's leaves the tree: b takes its place and its two subtrees.
unsigned TreeMatchFinder::Walk(std::size_t b, MatchCandidate* out) {
  const std::size_t room = size_ - b;
  if (room < kMinMatchLength) return 0;
  const unsigned maxLength = room < kMaxMatchLength ? static_cast<unsigned>(room) : kMaxMatchLength;
  const std::uint8_t* const here = window_ + b;

  std::int32_t& root = root_[Hash(b)];
  std::int32_t candidate = root;
  root = static_cast<std::int32_t>(b);
  std::int32_t* below = &children_[2 * (b % kSlots)];  // where the next smaller one goes
  std::int32_t* above = below + 1;
  unsigned belowLength = 0, aboveLength = 0;  // bytes known equal on each side
  unsigned best = kMinMatchLength - 1;
  unsigned found = 0;
  for (unsigned depth = 0;; ++depth) {
    if (candidate < 0 || b - static_cast<std::size_t>(candidate) > kRingSize || depth == maxDepth_) {
      *below = *above = -1;
      return found;
    }
    const std::size_t distance = b - static_cast<std::size_t>(candidate);
    std::int32_t* const pair = &children_[2 * (static_cast<std::size_t>(candidate) % kSlots)];
    const std::uint8_t* const there = window_ + candidate;
    // Every position of this subtree shares the shorter of the two known
    // lengths with b. Near the window's end keys are cut short, but only
    // shorter ones compare against them later, so that still holds.
    const unsigned known = belowLength < aboveLength ? belowLength : aboveLength;
    const unsigned length = CommonLength(there, here, known, maxLength);
    if (length > best) {
      best = length;
      out[found++] = {length, static_cast<std::uint32_t>(distance)};
    }
    if (length == maxLength) {
      *below = pair[0];
      *above = pair[1];
      return found;
    }
    if (there[length] < here[length]) {
      *below = candidate;
      below = &pair[1];
      belowLength = length;
      candidate = *below;
    } else {
      *above = candidate;
      above = &pair[0];
      aboveLength = length;
      candidate = *above;
    }
  }
}

}  // namespace codec
