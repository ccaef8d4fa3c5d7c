// Hash chains over the encoder's window (see match_finder.h).
#include "core/codec/match_finder.h"

#include "core/codec/adaptive_model.h"

namespace codec {

namespace {
constexpr unsigned kHashBits = 15;
constexpr std::size_t kPreviousSize = 2 * kRingSize;  // covers every distance
}  // namespace

MatchFinder::MatchFinder(const std::uint8_t* window, std::size_t size, unsigned maxChain)
    : window_(window), size_(size), maxChain_(maxChain), head_(std::size_t{1} << kHashBits, -1),
      previous_(kPreviousSize, -1) {}

std::uint32_t MatchFinder::Hash(std::size_t b) const {
  const std::uint32_t v = (static_cast<std::uint32_t>(window_[b]) << 16) |
                          (static_cast<std::uint32_t>(window_[b + 1]) << 8) | window_[b + 2];
  return (v * 2654435761u) >> (32 - kHashBits);
}

void MatchFinder::InsertUpTo(std::size_t b) {
  for (; inserted_ < b && inserted_ + 2 < size_; ++inserted_) {
    const std::uint32_t h = Hash(inserted_);
    previous_[inserted_ % kPreviousSize] = head_[h];
    head_[h] = static_cast<std::int32_t>(inserted_);
  }
  if (inserted_ < b) inserted_ = b;
}

unsigned MatchFinder::FindMatches(std::size_t b, MatchCandidate* out) {
  InsertUpTo(b);
  const std::size_t room = size_ - b;
  const unsigned maxLength = room < kMaxMatchLength ? static_cast<unsigned>(room) : kMaxMatchLength;
  if (maxLength < kMinMatchLength) return 0;

  const std::uint8_t* const here = window_ + b;
  unsigned found = 0;
  unsigned best = kMinMatchLength - 1;
  std::int32_t candidate = head_[Hash(b)];
  for (unsigned steps = 0; candidate >= 0 && steps < maxChain_; ++steps) {
    const std::size_t distance = b - static_cast<std::size_t>(candidate);
    if (distance > kRingSize) break;
    const std::uint8_t* const there = window_ + candidate;
    // Only a longer match is of use: test its last byte first.
    if (there[best] == here[best]) {
      unsigned length = 0;
      while (length < maxLength && there[length] == here[length]) ++length;
      if (length > best) {
        best = length;
        out[found++] = {length, static_cast<std::uint32_t>(distance)};
        if (length == maxLength) break;
      }
    }
    candidate = previous_[static_cast<std::size_t>(candidate) % kPreviousSize];
  }
  return found;
}

MatchCandidate MatchFinder::Longest(std::size_t b) {
  MatchCandidate all[kMaxMatchLength];
  const unsigned n = FindMatches(b, all);
  return n == 0 ? MatchCandidate{0, 0} : all[n - 1];
}

}  // namespace codec
