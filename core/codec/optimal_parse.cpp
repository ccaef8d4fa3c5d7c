// The cost-driven parse (see optimal_parse.h).
//
// The data is taken in blocks. In a block every match the tree finder gives
// at every position is kept; the cheapest way through the block is a
// shortest path over its positions, each literal and match priced in bits.
// The prices are the code lengths of the model as it stands at the block's
// start; the block's own symbols then move the adaptive code, so early in
// the entry a block's parse is run through a copy of the model, each symbol
// re-priced at the mean length its codes had there, and the block parsed
// again. The chosen items go through the real model and out, so that the
// next block is priced by the counts they left.
#include "core/codec/optimal_parse.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/codec/adaptive_model.h"
#include "core/codec/offset_code.h"
#include "core/codec/symbol_coder.h"
#include "core/codec/tree_match_finder.h"

namespace codec {

namespace {

constexpr std::size_t kBlock = 16384;  // positions parsed at once
// The model starts flat (every code 8 or 9 bits), far from what the data
// makes of it: the first block is short, and blocks that start in the
// entry's first 64 KiB are parsed a second time at the prices their own
// first parse reaches. Later the model fits the data and a second parse
// gains next to nothing (0.03% on a 3 MB program, for half as much time
// again).
constexpr std::size_t kFirstBlock = 4096;
constexpr std::size_t kRepricedSpan = 65536;
constexpr unsigned kTreeDepth = 32;    // positions one tree walk visits at most
constexpr std::uint32_t kScale = 16;   // prices are in 1/16 bit
// Above every price a path through a block can reach, and below 2^31, so
// that prices compare the same as signed numbers (the vector compare).
constexpr std::uint32_t kUnreached = 0x7FFFFFFF;

// Price of the offset code by the offset's upper 6 bits.
struct OffsetPrices {
  std::uint32_t byUpper[64];
};
constexpr OffsetPrices MakeOffsetPrices() {
  OffsetPrices prices{};
  for (unsigned upper = 0; upper < 64; ++upper)
    prices.byUpper[upper] = OffsetCodeBits(upper << 6) * kScale;
  return prices;
}
constexpr OffsetPrices kOffsetPrices = MakeOffsetPrices();

// The last item of the cheapest way to a position, in 32 bits: its length
// (1 for a literal, 3-30 for a match) and, for a match, its distance.
constexpr std::uint32_t Via(unsigned length, unsigned distance) { return distance << 5 | length; }
constexpr unsigned ViaLength(std::uint32_t via) { return via & 31u; }
constexpr unsigned ViaDistance(std::uint32_t via) { return via >> 5; }

class BlockParser {
 public:
  // Room for the longest block the data makes (a small entry needs little).
  BlockParser(const std::vector<std::uint8_t>& window, EntryStreamWriter& items)
      : BlockParser(window, items, std::min(kBlock, window.size() - kRingPreset)) {}

  BlockParser(const std::vector<std::uint8_t>& window, EntryStreamWriter& items, std::size_t room)
      : window_(window),
        items_(items),
        finder_(window.data(), window.size(), kTreeDepth),
        reach_(room + kMaxMatchLength + 4),
        via_(room + kMaxMatchLength + 4),
        path_(room),
        firstMatch_(room + 1),
        matches_(room * kMaxMatchLength) {}

  void Run() {
    for (std::size_t start = kRingPreset; start < window_.size();) {
      const std::size_t end =
          std::min(window_.size(), start + (start == kRingPreset ? kFirstBlock : kBlock));
      ParseBlock(start, end - start);
      start = end;
    }
  }

 private:
  void ParseBlock(std::size_t start, std::size_t span) {
    start_ = start;
    CollectMatches(span);
    PriceFromCodeLengths(items_.Model());
    FindCheapestPath(span);
    std::size_t count = TraceBack(span);
    if (start - kRingPreset < kRepricedSpan) {
      RepriceAlongPath(count);
      FindCheapestPath(span);
      count = TraceBack(span);
    }
    Send(count);
  }

  // Every match at every position of the block, in one flat list:
  // matches_[firstMatch_[i] .. firstMatch_[i + 1]) are those at position i.
  void CollectMatches(std::size_t span) {
    std::uint32_t count = 0;
    for (std::size_t position = 0; position < span; ++position) {
      firstMatch_[position] = count;
      count += finder_.FindMatches(start_ + position, &matches_[count]);
    }
    firstMatch_[span] = count;
  }

  void PriceFromCodeLengths(const AdaptiveModel& model) {
    std::uint8_t lengths[kSymbolCount];
    SymbolCodeLengths(model, lengths);
    for (unsigned s = 0; s < kSymbolCount; ++s) SetPrice(s, lengths[s] * kScale);
  }

  void SetPrice(unsigned s, std::uint32_t price) {
    if (s < kLiteralCount)
      literalPrice_[s] = price;
    else
      lengthPrice_[MatchLengthOf(s)] = price;
  }

  // Shortest path from position 0 to `span`: a literal leads one position
  // on, a match of length L (as long as the nearest candidate allows, cut
  // at the block's end) L positions.
  void FindCheapestPath(std::size_t span) {
    std::fill(reach_.begin(), reach_.end(), kUnreached);
    reach_[0] = 0;
    for (std::size_t position = 0; position < span; ++position) {
      const std::uint32_t here = reach_[position];
      const std::uint32_t literal = here + literalPrice_[window_[start_ + position]];
      if (literal < reach_[position + 1]) {
        reach_[position + 1] = literal;
        via_[position + 1] = Via(1, 0);
      }
      const std::uint32_t firstOne = firstMatch_[position], end = firstMatch_[position + 1];
      if (firstOne == end) continue;

      // Inside a run of one byte every position offers the same 30 bytes
      // from one back: the run is crossed in whole matches, which spares
      // 28 prices per byte for a loss of a few bits per run.
      const MatchCandidate& longest = matches_[end - 1];
      if (longest.length == kMaxMatchLength && longest.distance == 1 &&
          position + kMaxMatchLength <= span) {
        Relax(position, here + kOffsetPrices.byUpper[0], 1, kMaxMatchLength, kMaxMatchLength);
        position += kMaxMatchLength - 1;
        continue;
      }
      // Candidates rise in length; lengths up to a candidate's own that no
      // nearer candidate reaches are taken from it, the cheapest offset.
      unsigned from = kMinMatchLength;
      for (std::uint32_t m = firstOne; m < end; ++m) {
        const unsigned distance = matches_[m].distance;
        const unsigned to =
            static_cast<unsigned>(std::min<std::size_t>(matches_[m].length, span - position));
        if (to < from) break;
        Relax(position, here + kOffsetPrices.byUpper[(distance - 1) >> 6], distance, from, to);
        from = to + 1;
      }
    }
  }

  // Offers matches of lengths `from` to `to` from `distance` back, starting
  // at `position`, whose path there has cost `withOffset` with the offset.
  void Relax(std::size_t position, std::uint32_t withOffset, unsigned distance, unsigned from,
             unsigned to) {
    std::uint32_t* const reach = &reach_[position];
    std::uint32_t* const via = &via_[position];
#if defined(__SSE2__)
    // Four lengths at once; lanes past `to` keep what they hold (reach_
    // and via_ have room for them beyond the block's end).
    const __m128i offset = _mm_set1_epi32(static_cast<int>(withOffset));
    const __m128i item = _mm_set1_epi32(static_cast<int>(Via(0, distance)));
    const __m128i beyond = _mm_set1_epi32(static_cast<int>(to + 1));
    __m128i length = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(from)), _mm_set_epi32(3, 2, 1, 0));
    const __m128i four = _mm_set1_epi32(4);
    for (unsigned l = from; l <= to; l += 4) {
      const __m128i price = _mm_add_epi32(
          offset, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&lengthPrice_[l])));
      const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(reach + l));
      const __m128i better = _mm_and_si128(_mm_cmplt_epi32(price, old), _mm_cmplt_epi32(length, beyond));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(reach + l),
                       _mm_or_si128(_mm_and_si128(better, price), _mm_andnot_si128(better, old)));
      const __m128i oldVia = _mm_loadu_si128(reinterpret_cast<const __m128i*>(via + l));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(via + l),
                       _mm_or_si128(_mm_and_si128(better, _mm_or_si128(item, length)),
                                    _mm_andnot_si128(better, oldVia)));
      length = _mm_add_epi32(length, four);
    }
#else
    for (unsigned l = from; l <= to; ++l) {
      const std::uint32_t price = withOffset + lengthPrice_[l];
      if (price < reach[l]) {
        reach[l] = price;
        via[l] = Via(l, distance);
      }
    }
#endif
  }

  // The ends of the path's items, last first, into path_; returns how many.
  std::size_t TraceBack(std::size_t span) {
    std::size_t count = 0;
    for (std::size_t position = span; position > 0; position -= ViaLength(via_[position]))
      path_[count++] = static_cast<std::uint32_t>(position);
    return count;
  }

  // Runs the path's symbols through a copy of the model and prices each
  // symbol at the mean length of its codes there; a symbol the path does not
  // use gets its length in the model the path leaves behind.
  void RepriceAlongPath(std::size_t count) {
    AdaptiveModel model = items_.Model();
    std::uint32_t bits[kSymbolCount] = {};
    std::uint32_t uses[kSymbolCount] = {};
    std::size_t at = 0;
    for (std::size_t k = count; k-- > 0;) {
      const unsigned length = ViaLength(via_[path_[k]]);
      const unsigned s = length == 1 ? window_[start_ + at] : MatchSymbol(length);
      bits[s] += CodeLength(model, s);
      ++uses[s];
      UpdateModel(model, s);
      at = path_[k];
    }
    std::uint8_t lengths[kSymbolCount];
    SymbolCodeLengths(model, lengths);
    for (unsigned s = 0; s < kSymbolCount; ++s)
      SetPrice(s, uses[s] == 0 ? lengths[s] * kScale : (bits[s] * kScale + uses[s] / 2) / uses[s]);
  }

  void Send(std::size_t count) {
    std::size_t at = 0;
    for (std::size_t k = count; k-- > 0;) {
      const std::uint32_t via = via_[path_[k]];
      if (ViaLength(via) == 1)
        items_.Literal(window_[start_ + at]);
      else
        items_.Match(ViaLength(via), ViaDistance(via) - 1u);
      at = path_[k];
    }
  }

  const std::vector<std::uint8_t>& window_;
  EntryStreamWriter& items_;
  TreeMatchFinder finder_;
  std::size_t start_ = 0;                     // window index of the block's first position
  std::uint32_t literalPrice_[kLiteralCount];  // in 1/16 bit
  // By match length; 3 entries past the longest for the vector loads.
  std::uint32_t lengthPrice_[kMaxMatchLength + 4] = {};
  std::vector<std::uint32_t> reach_;  // cheapest price to each position of the block
  std::vector<std::uint32_t> via_;    // the last item on that way (Via)
  std::vector<std::uint32_t> path_;
  std::vector<std::uint32_t> firstMatch_;
  std::vector<MatchCandidate> matches_;
};

}  // namespace

void OptimalParse(const std::vector<std::uint8_t>& window, EntryStreamWriter& items) {
  BlockParser(window, items).Run();
}

}  // namespace codec
