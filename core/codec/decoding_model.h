// The adaptive code tree as the decoder keeps it: the shared tree of
// adaptive_model.h plus a first-level table that decodes the first 8 bits of
// a code in one look-up, kept exact across every update of the tree.
//
// Table entry for the 8-bit prefix b: the index of the node that b reaches
// at depth min(8, depth of the leaf on b's path), and that depth. If that
// node is a leaf, the descent ends there; else it goes on bit by bit.
//
// An update changes the table only where it moves a node whose depth is at
// most 8: the moved node and the one it changes places with keep their
// indices (hence their depths and codes) but exchange subtrees. Most moves
// exchange two nodes of the same depth: their table ranges, of the same
// width, trade places (the nodes below keep their indices and depths), and
// two leaves of one depth change nothing at all. Only a move between depths
// fills the two ranges again from the tree.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "core/codec/adaptive_model.h"

namespace codec {

constexpr unsigned kTableBits = 8;
constexpr unsigned kDeepNode = kTableBits + 1;  // depth recorded for any node deeper than the table

struct DecodingModel {
  AdaptiveModel tree;
  // Per 8-bit prefix: node index | depth << 12 (depths 1-8).
  std::uint16_t firstLevel[1u << kTableBits];
  // Per node index: its depth, capped at kDeepNode; a node at depth 9 or
  // more has only such nodes below it.
  std::uint8_t depth[kNodeCount];
};

constexpr unsigned kEntryNodeMask = 0x0FFF;
constexpr unsigned kEntryDepthShift = 12;

// The initial tree and its table.
void InitDecodingModel(DecodingModel& model);

// Halves the counts and rebuilds tree and table (see RebuildTree).
void RebuildDecodingModel(DecodingModel& model);

// Fills again what depends on the subtree now at node x (depths and table
// range), after a move gave that position another subtree.
void RefreshSubtree(DecodingModel& model, unsigned x);

// The code of node x at depth d (8 or less), right-aligned, read from the
// links upward: codes of nodes below a move change, so none is kept.
inline unsigned CodeOfNode(const AdaptiveModel& tree, unsigned x, unsigned d) {
  unsigned code = 0;
  for (unsigned bit = 0; bit < d; ++bit) {
    const unsigned p = ParentOf(tree, x);
    code |= (x - tree.nodeChild[p]) << bit;
    x = p;
  }
  return code;
}

// Exchanges or copies table ranges a word (two entries) at a time.
template <class Word>
inline void SwapRanges(std::uint16_t* a, std::uint16_t* b, unsigned bytes) {
  for (unsigned i = 0; i < bytes; i += sizeof(Word)) {
    Word x, y;
    std::memcpy(&x, reinterpret_cast<char*>(a) + i, sizeof x);
    std::memcpy(&y, reinterpret_cast<char*>(b) + i, sizeof y);
    std::memcpy(reinterpret_cast<char*>(a) + i, &y, sizeof y);
    std::memcpy(reinterpret_cast<char*>(b) + i, &x, sizeof x);
  }
}
template <class Word>
inline void MoveRange(std::uint16_t* to, std::uint16_t* from, std::uint16_t entry, unsigned bytes) {
  const Word filled = static_cast<Word>(entry * static_cast<Word>(0x0001000100010001ull));
  for (unsigned i = 0; i < bytes; i += sizeof(Word)) {
    std::memcpy(reinterpret_cast<char*>(to) + i, reinterpret_cast<char*>(from) + i, sizeof(Word));
    std::memcpy(reinterpret_cast<char*>(from) + i, &filled, sizeof filled);
  }
}

// After nodes c and l, both at depth d (1-7) and not both leaves, exchanged
// subtrees: their table ranges (2^(8 - d) entries each) trade places. A
// leaf's range names the leaf's index, which is the position's, so the
// position that now holds a leaf gets its range filled with itself and the
// other one the leaf's former neighbour's range.
inline void SwapTableRanges(DecodingModel& model, unsigned c, unsigned l, unsigned d) {
  const unsigned shift = kTableBits - d;
  // Both codes in one walk: two independent chains of loads side by side.
  unsigned codeC = 0, codeL = 0;
  for (unsigned bit = 0, x = c, y = l; bit < d; ++bit) {
    const unsigned px = ParentOf(model.tree, x);
    const unsigned py = ParentOf(model.tree, y);
    codeC |= (x - model.tree.nodeChild[px]) << bit;
    codeL |= (y - model.tree.nodeChild[py]) << bit;
    x = px;
    y = py;
  }
  std::uint16_t* a = model.firstLevel + (codeC << shift);
  std::uint16_t* b = model.firstLevel + (codeL << shift);
  const unsigned bytes = 2u << shift;  // 4 or more
  const bool leafAtC = model.tree.nodeChild[c] >= kNodeCount;
  const bool leafAtL = model.tree.nodeChild[l] >= kNodeCount;
  if (!leafAtC && !leafAtL) {
    SwapRanges<std::uint32_t>(a, b, bytes);
    return;
  }
  unsigned leaf = c;
  if (leafAtL) {
    std::swap(a, b);
    leaf = l;
  }
  // a is the range of the position that now holds the leaf.
  const auto entry = static_cast<std::uint16_t>(leaf | (d << kEntryDepthShift));
  MoveRange<std::uint32_t>(b, a, entry, bytes);
}

// Where speed is the aim the moves are inlined into the decode loop: the
// call and its spills cost more than its larger body (about 6% of the
// decoding time). A build for size (the installer) keeps one copy.
#if defined(__OPTIMIZE_SIZE__) || !defined(__GNUC__)
#define CODEC_INLINE_MOVES inline
#else
#define CODEC_INLINE_MOVES __attribute__((always_inline)) inline
#endif

// The rest of a count once node c, just counted, has passed its right
// neighbour: c moves, and the walk goes on from its new place to the root
// (node 0 is never a parent: the root's parent entry ends the walk).
CODEC_INLINE_MOVES void MoveAndCountUp(DecodingModel& model, unsigned c) {
  std::uint16_t* const frequency = model.tree.nodeFrequency;
  const std::uint16_t* const parent = model.tree.nodeParent;
  for (;;) {
    const unsigned l = MoveCountedNode(model.tree, c, frequency[c]);
    const unsigned dc = model.depth[c];
    const unsigned dl = model.depth[l];
    if (dc == dl) {
      // Two leaves, or two nodes at depth 8, own their ranges as before.
      const bool bothEnd = (model.tree.nodeChild[c] >= kNodeCount && model.tree.nodeChild[l] >= kNodeCount) ||
                           dc == kTableBits;
      if (dc < kTableBits && !bothEnd) SwapTableRanges(model, c, l, dc);
    } else {
      RefreshSubtree(model, c);
      RefreshSubtree(model, l);
    }
    // Counts and links are reached by byte offset along the walk.
    std::size_t at = parent[l];
    for (;;) {
      if (at == 0) return;
      std::uint16_t* const count = &EntryAt(frequency, at);
      const unsigned k = ++count[0];
      if (__builtin_expect(k > count[1], 0)) break;
      at = EntryAt(parent, at);
    }
    c = NodeAt(at);
  }
}

// Counts symbol s, whose leaf (node index `leaf`) was just reached at depth
// `leafDepth`: the decoder knows both. As UpdateModel, and the table follows.
//
// The walk up from the leaf runs leafDepth + 1 steps as long as nothing
// moves: a counter, not the parent just loaded, decides its end, so the
// branch resolves early. After a move the path is another one, of unknown
// length, and MoveAndCountUp walks to the root as UpdateModel does.
inline void UpdateDecodingModel(DecodingModel& model, unsigned s, unsigned leaf, unsigned leafDepth) {
  std::uint16_t* const frequency = model.tree.nodeFrequency;
  const std::uint16_t* const parent = model.tree.nodeParent;
  unsigned c = leaf;
  if (__builtin_expect(frequency[kRootNode] == kFrequencyLimit, 0)) {
    // The rebuild changes the depths: the walk ends at the root's parent entry.
    // The leaf may now be node 0, which is counted all the same.
    RebuildDecodingModel(model);
    c = LeafOf(model.tree, s);
    do {
      const unsigned k = ++frequency[c];
      if (k > frequency[c + 1]) return MoveAndCountUp(model, c);
      c = NodeAt(parent[c]);
    } while (c != 0);
    return;
  }
  // By byte offset, as in MoveAndCountUp.
  std::size_t at = OffsetOf(c);
  for (unsigned n = leafDepth;; --n) {
    std::uint16_t* const count = &EntryAt(frequency, at);
    const unsigned k = ++count[0];
    if (k > count[1]) return MoveAndCountUp(model, NodeAt(at));
    if (n == 0) return;  // c was the root
    at = EntryAt(parent, at);
  }
}

}  // namespace codec
