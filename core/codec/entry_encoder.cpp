// Compressing a payload entry (see entry_encoder.h).
//
// All three parses share the window (preset spaces, then the data), the
// match finder and the symbol coder; they differ only in which literal or
// match they send at each point.
#include "core/codec/entry_encoder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "core/codec/match_finder.h"
#include "core/codec/stream_writer.h"
#include "core/codec/symbol_coder.h"
#include "core/codec/adaptive_model.h"
#include "core/codec/offset_code.h"

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

// Cost-driven parse. The data is taken in blocks; for each block the code
// lengths of the model as it stands price every literal and match, and the
// cheapest sequence of items through the block is found by a shortest path
// over its positions. The chosen items then go through the real model, so
// the next block is priced by the counts they left.
class OptimalParser {
 public:
  static constexpr std::size_t kBlock = 4096;

  // The chains are followed through the whole ring: a candidate that is
  // no longer than one already found costs one byte comparison, and the
  // far ones still give the longer matches a shorter chain would miss.
  OptimalParser(const std::vector<std::uint8_t>& window, EntryStreamWriter& items)
      : window_(window), items_(items), finder_(window.data(), window.size(), kRingSize) {}

  void Run() {
    for (std::size_t start = kRingPreset; start < window_.size();) {
      const std::size_t end = std::min(window_.size(), start + kBlock);
      ParseBlock(start, end);
      start = end;
    }
  }

 private:
  struct Step {
    std::uint32_t cost = 0;      // bits from the block's start to here
    std::uint16_t length = 0;    // of the item that ends here (1: literal)
    std::uint16_t distance = 0;  // of that item when it is a match (1-4096)
  };

  void ParseBlock(std::size_t start, std::size_t end) {
    std::uint8_t lengths[kSymbolCount];
    SymbolCodeLengths(items_.Model(), lengths);
    const std::size_t span = end - start;
    constexpr std::uint32_t kUnreached = std::numeric_limits<std::uint32_t>::max();
    for (std::size_t position = 0; position <= span; ++position)
      steps_[position] = Step{kUnreached, 0, 0};
    steps_[0].cost = 0;

    MatchCandidate matches[kMaxMatchLength];
    for (std::size_t position = 0; position < span; ++position) {
      const std::uint32_t here = steps_[position].cost;
      const std::size_t windowIndex = start + position;
      const std::uint32_t literal = here + lengths[window_[windowIndex]];
      if (literal < steps_[position + 1].cost) steps_[position + 1] = Step{literal, 1, 0};

      const unsigned found = finder_.FindMatches(windowIndex, matches);
      unsigned length = kMinMatchLength;
      for (unsigned candidate = 0; candidate < found; ++candidate) {
        const unsigned distance = matches[candidate].distance;
        const std::uint32_t offsetCost = here + OffsetCodeBits(distance - 1);
        // Matches stop at the block's end; what lies beyond goes to the next.
        const unsigned longest =
            std::min<std::size_t>(matches[candidate].length, span - position);
        for (; length <= longest; ++length) {
          const std::uint32_t cost = offsetCost + lengths[MatchSymbol(length)];
          if (cost < steps_[position + length].cost)
            steps_[position + length] = Step{cost, static_cast<std::uint16_t>(length),
                                             static_cast<std::uint16_t>(distance)};
        }
      }
    }

    // Walk back from the block's end, then send the items front to back.
    std::size_t count = 0;
    for (std::size_t position = span; position > 0; position -= steps_[position].length)
      chosen_[count++] = position;
    std::size_t at = 0;
    while (count > 0) {
      const std::size_t to = chosen_[--count];
      const Step& step = steps_[to];
      if (step.length == 1)
        items_.Literal(window_[start + at]);
      else
        items_.Match(step.length, step.distance - 1u);
      at = to;
    }
  }

  const std::vector<std::uint8_t>& window_;
  EntryStreamWriter& items_;
  MatchFinder finder_;
  Step steps_[kBlock + 1];
  std::size_t chosen_[kBlock];
};

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
    case CompressionLevel::kBest: {
      auto parser = std::make_unique<OptimalParser>(window, items);
      parser->Run();
      break;
    }
  }
  items.Finish();
  return out;
}

}  // namespace codec
