// The adaptive code tree of compressed entries, shared by the decoder and the
// encoder: both count every symbol the same way, so their trees stay equal.
//
// The alphabet has 284 symbols: 0-255 are literal bytes, 256-283 are match
// lengths 3-30 (symbol - 253). The tree has 567 nodes kept in sibling order:
// counts never decrease from index 0 to 566, the two children of an internal
// node sit at adjacent indices, and every internal count is the sum of its
// children's. A symbol's code is its path from the root (566): bit 0 to the
// first child, bit 1 to the second.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace codec {

constexpr unsigned kRingSize = 4096;
constexpr unsigned kRingPreset = kRingSize - 30;  // positions 0-4065 start as spaces
constexpr unsigned kMaxMatchLength = 30;
constexpr unsigned kMinMatchLength = 3;
constexpr unsigned kLiteralCount = 256;
constexpr unsigned kSymbolCount = kLiteralCount + kMaxMatchLength - kMinMatchLength + 1;  // 284
constexpr unsigned kNodeCount = 2 * kSymbolCount - 1;                                  // 567
constexpr unsigned kRootNode = kNodeCount - 1;                                         // 566
constexpr unsigned kFrequencyLimit = 0x8000;  // root count at which the tree is rebuilt
constexpr unsigned kScanSentinels = 8;        // counts of 0xFFFF behind node 566

// Match symbol for a match of `length` bytes (3-30), and back.
constexpr unsigned MatchSymbol(unsigned length) { return length + kLiteralCount - kMinMatchLength; }
constexpr unsigned MatchLengthOf(unsigned symbol) { return symbol - kLiteralCount + kMinMatchLength; }

struct AdaptiveModel {
  // Counts of nodes 0-566; entry 567 is a sentinel of 0xFFFF that ends the
  // upward scans of UpdateModel. Seven more sentinels let a scan read eight
  // counts at once from any node.
  std::uint16_t nodeFrequency[kNodeCount + kScanSentinels];
  // Internal node: index of its first child (the second is the next index).
  // Leaf: 567 + its symbol, so any value of 567 or more marks a leaf.
  std::uint16_t nodeChild[kNodeCount];
  // Links up, as byte offsets into these arrays of 16-bit entries (twice
  // the index), so that a walk up the tree loads the next node's count and
  // link with nothing between two loads (see ParentOf and LeafOf).
  // 0-566: offset of the parent of the node at that index (the root's is 0).
  // 567 + s: offset of the leaf that holds symbol s.
  std::uint16_t nodeParent[kNodeCount + kSymbolCount];
};

// A byte offset as nodeParent keeps it, and back.
constexpr std::uint16_t OffsetOf(unsigned node) { return static_cast<std::uint16_t>(2 * node); }
constexpr unsigned NodeAt(std::size_t offset) { return static_cast<unsigned>(offset / 2); }

// The parent of node x (the root's is 0), and the leaf of symbol s.
inline unsigned ParentOf(const AdaptiveModel& model, unsigned x) { return NodeAt(model.nodeParent[x]); }
inline unsigned LeafOf(const AdaptiveModel& model, unsigned s) {
  return NodeAt(model.nodeParent[kNodeCount + s]);
}

// The 16-bit entry `offset` bytes into `array` (offset even).
inline std::uint16_t& EntryAt(std::uint16_t* array, std::size_t offset) {
  return *reinterpret_cast<std::uint16_t*>(reinterpret_cast<char*>(array) + offset);
}
inline std::uint16_t EntryAt(const std::uint16_t* array, std::size_t offset) {
  return *reinterpret_cast<const std::uint16_t*>(reinterpret_cast<const char*>(array) + offset);
}

// The initial tree: every symbol counted once, internal nodes built pairwise
// from index 0 upward. Symbols 56-283 then have the 8-bit codes 00000000 to
// 11100011 and symbols 0-55 the 9-bit codes 111001000 to 111111111.
void InitModel(AdaptiveModel& model);

// Halves every leaf count ((count + 1) / 2, so no count drops to 0) and
// builds the tree afresh; run when the root count reaches kFrequencyLimit.
void RebuildTree(AdaptiveModel& model);

// First index above `from` whose count is `k` or more. The counts above
// `from` are in ascending order and end with the sentinels. Runs of equal
// counts are mostly short, so eight counts are compared at once without a
// branch per count (SSE2 where the target has it, else four at a time in a
// 64-bit word); a long run (all 284 leaves start at 1) is crossed by a
// galloping binary search.
inline unsigned FirstCountAtLeast(const std::uint16_t* frequency, unsigned from, unsigned k) {
#if defined(__SSE2__)
  // Per lane, k - x saturates to 0 exactly when x >= k (unsigned), which
  // also holds for the sentinel 0xFFFF.
  const __m128i wanted = _mm_set1_epi16(static_cast<short>(k));
  const __m128i eight =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(frequency + from + 1));
  const unsigned mask = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(wanted, eight), _mm_setzero_si128())));
  if (mask != 0) return from + 1 + static_cast<unsigned>(__builtin_ctz(mask)) / 2u;
#else
  // Four 16-bit counts x in one word; per lane, ((x | 0x8000) - k) keeps
  // its top bit exactly when x >= k, with no borrow between lanes. That
  // holds for every count a scan meets: below 0x8000 (only the root reaches
  // it, and the root never moves) or the sentinel 0xFFFF, with k < 0x8000.
  constexpr std::uint64_t kTop = 0x8000800080008000ull;
  const std::uint64_t lanes = 0x0001000100010001ull * k;
  for (unsigned base = from + 1; base < from + 9; base += 4) {
    std::uint64_t four;
    std::memcpy(&four, frequency + base, sizeof four);  // little-endian: lane n is base + n
    const std::uint64_t atLeast = ((four | kTop) - lanes) & kTop;
    if (atLeast != 0) return base + static_cast<unsigned>(__builtin_ctzll(atLeast)) / 16u;
  }
#endif
  unsigned lo = from + 8;  // frequency[lo] < k
  unsigned step = 1;
  unsigned hi = lo + 1;
  while (frequency[hi] < k) {
    lo = hi;
    step <<= 1;
    hi = lo + step;
    if (hi > kNodeCount) hi = kNodeCount;
  }
  // frequency[lo] < k <= frequency[hi]
  while (hi - lo > 1) {
    const unsigned mid = lo + (hi - lo) / 2;
    if (frequency[mid] < k)
      lo = mid;
    else
      hi = mid;
  }
  return hi;
}

// Moves the node at `c`, just counted to `k`, behind the last node whose
// count is below `k`, taking that node's place (its subtree moves with it)
// and giving it c's; the positions keep their parents. Returns the new index.
inline unsigned MoveCountedNode(AdaptiveModel& model, unsigned c, unsigned k) {
  std::uint16_t* const frequency = model.nodeFrequency;
  std::uint16_t* const child = model.nodeChild;
  std::uint16_t* const parent = model.nodeParent;
  const unsigned l = FirstCountAtLeast(frequency, c + 1, k) - 1;
  frequency[c] = frequency[l];
  frequency[l] = static_cast<std::uint16_t>(k);

  // The children of an internal node are i and i + 1; a leaf (567 + its
  // symbol) has one parent entry, written twice rather than tested, which
  // spares an unpredictable branch.
  const unsigned i = child[c];
  parent[i] = OffsetOf(l);
  parent[i + (i < kNodeCount)] = OffsetOf(l);

  const unsigned j = child[l];
  child[l] = static_cast<std::uint16_t>(i);
  parent[j] = OffsetOf(c);
  parent[j + (j < kNodeCount)] = OffsetOf(c);
  child[c] = static_cast<std::uint16_t>(j);
  return l;
}

// Counts symbol `s` once: walks from its leaf up to the root, raising each
// count by one. A node whose count passes its right neighbour's changes
// places with the last node of the lower count, which keeps the sibling
// order. Runs RebuildTree first when the root count stands at kFrequencyLimit.
inline void UpdateModel(AdaptiveModel& model, unsigned s) {
  std::uint16_t* const frequency = model.nodeFrequency;
  if (frequency[kRootNode] == kFrequencyLimit) RebuildTree(model);
  unsigned c = LeafOf(model, s);
  // The leaf moves about half the time, the nodes above it seldom: two
  // branches, so that each is predicted on its own.
  {
    const unsigned k = ++frequency[c];
    if (k > frequency[c + 1]) c = MoveCountedNode(model, c, k);
    c = ParentOf(model, c);
  }
  while (c != 0) {
    const unsigned k = ++frequency[c];
    if (__builtin_expect(k > frequency[c + 1], 0)) c = MoveCountedNode(model, c, k);
    c = ParentOf(model, c);
  }
}

}  // namespace codec
