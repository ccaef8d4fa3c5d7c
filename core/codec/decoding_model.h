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
// indices (hence their depths and prefixes) but exchange subtrees, so the
// table ranges of just those two indices are filled again. Most moves
// exchange two leaves of the same depth, and change nothing: each range
// still ends at the same index, which now holds the other symbol.
#pragma once

#include <cstdint>

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
  // Per node index of depth 8 or less: its code, right-aligned.
  std::uint8_t prefix[kNodeCount];
};

constexpr unsigned kEntryNodeMask = 0x0FFF;
constexpr unsigned kEntryDepthShift = 12;

// The initial tree and its table.
void InitDecodingModel(DecodingModel& model);

// Halves the counts and rebuilds tree and table (see RebuildTree).
void RebuildDecodingModel(DecodingModel& model);

// Fills again what depends on the subtree now at node x (depth, prefix and
// table range), after a move gave that position another subtree.
void RefreshSubtree(DecodingModel& model, unsigned x);

// The rest of a count once node c, just counted, has passed its right
// neighbour: c moves, and the walk goes on from its new place to the root
// (node 0 is never a parent: the root's parent entry ends the walk).
inline void MoveAndCountUp(DecodingModel& model, unsigned c) {
  std::uint16_t* const frequency = model.tree.nodeFrequency;
  const std::uint16_t* const parent = model.tree.nodeParent;
  for (;;) {
    const unsigned l = MoveCountedNode(model.tree, c, frequency[c]);
    const unsigned dc = model.depth[c];
    const unsigned dl = model.depth[l];
    if (dc < kDeepNode || dl < kDeepNode) {
      const bool twoLeaves = model.tree.nodeChild[c] >= kNodeCount && model.tree.nodeChild[l] >= kNodeCount;
      if (dc != dl || !twoLeaves) {
        RefreshSubtree(model, c);
        RefreshSubtree(model, l);
      }
    }
    c = parent[l];
    for (;;) {
      if (c == 0) return;
      const unsigned k = ++frequency[c];
      if (__builtin_expect(k > frequency[c + 1], 0)) break;
      c = parent[c];
    }
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
    c = parent[kNodeCount + s];
    do {
      const unsigned k = ++frequency[c];
      if (k > frequency[c + 1]) return MoveAndCountUp(model, c);
      c = parent[c];
    } while (c != 0);
    return;
  }
  for (unsigned n = leafDepth;; --n) {
    const unsigned k = ++frequency[c];
    if (k > frequency[c + 1]) return MoveAndCountUp(model, c);
    if (n == 0) return;  // c was the root
    c = parent[c];
  }
}

}  // namespace codec
