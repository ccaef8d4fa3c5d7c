// Compressing a payload entry (see entry_encoder.h).
//
// All three parses share the window (preset spaces, then the data) and the
// stream writer; they differ in which literal or match they send at each
// point. Greedy and lazy look matches up in hash chains, the cost-driven
// parse (optimal_parse.cpp) in binary trees.
#include "core/codec/entry_encoder.h"

#include <cstring>

#include "core/codec/adaptive_model.h"
#include "core/codec/match_finder.h"
#include "core/codec/optimal_parse.h"
#include "core/codec/stream_writer.h"

namespace codec {

namespace {

std::vector<std::uint8_t> PresetWindow(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> window(kRingPreset + size);
  std::memset(window.data(), ' ', kRingPreset);
  if (size > 0) std::memcpy(window.data() + kRingPreset, data, size);
  return window;
}

void GreedyParse(const std::vector<std::uint8_t>& window, EntryStreamWriter& items) {
  MatchFinder finder(window.data(), window.size(), 256);
  for (std::size_t b = kRingPreset; b < window.size();) {
    const MatchCandidate match = finder.Longest(b);
    if (match.length >= kMinMatchLength) {
      items.Match(match.length, match.distance - 1);
      b += match.length;
    } else {
      items.Literal(window[b]);
      ++b;
    }
  }
}

void LazyParse(const std::vector<std::uint8_t>& window, EntryStreamWriter& items) {
  MatchFinder finder(window.data(), window.size(), 256);
  std::size_t b = kRingPreset;
  MatchCandidate match = b < window.size() ? finder.Longest(b) : MatchCandidate{0, 0};
  while (b < window.size()) {
    if (match.length < kMinMatchLength) {
      items.Literal(window[b]);
      ++b;
      if (b < window.size()) match = finder.Longest(b);
      continue;
    }
    // Put the match off by one literal when the next position does better.
    const MatchCandidate next = b + 1 < window.size() ? finder.Longest(b + 1) : MatchCandidate{0, 0};
    if (next.length > match.length) {
      items.Literal(window[b]);
      ++b;
      match = next;
      continue;
    }
    items.Match(match.length, match.distance - 1);
    b += match.length;
    if (b < window.size()) match = finder.Longest(b);
  }
}

}  // namespace

std::vector<std::uint8_t> CompressEntry(const std::uint8_t* data, std::size_t size,
                                        CompressionLevel level) {
  std::vector<std::uint8_t> out;
  if (size == 0) return out;
  out.reserve(size / 2 + 16);
  const std::vector<std::uint8_t> window = PresetWindow(data, size);
  EntryStreamWriter items(out);
  switch (level) {
    case CompressionLevel::kGreedy:
      GreedyParse(window, items);
      break;
    case CompressionLevel::kLazy:
      LazyParse(window, items);
      break;
    case CompressionLevel::kBest:
      OptimalParse(window, items);
      break;
  }
  items.Finish();
  return out;
}

}  // namespace codec
