// The decoder's first-level table over the adaptive tree (see decoding_model.h).
#include "core/codec/decoding_model.h"

#include <cstring>

namespace codec {

namespace {

// Marks x and everything below it as deeper than the table. A node already
// marked has only marked nodes below it, so the walk stops there.
void MarkDeep(DecodingModel& model, unsigned x) {
  if (model.depth[x] == kDeepNode) return;
  model.depth[x] = kDeepNode;
  const unsigned v = model.tree.nodeChild[x];
  if (v < kNodeCount) {
    MarkDeep(model, v);
    MarkDeep(model, v + 1);
  }
}

// Records node x at depth d (8 or less) with code `code`, and below it down
// to the table's depth; a leaf, or a node at depth 8, owns the
// 2^(8 - d) table entries that start with its code.
void Fill(DecodingModel& model, unsigned x, unsigned d, unsigned code) {
  model.depth[x] = static_cast<std::uint8_t>(d);
  const unsigned v = model.tree.nodeChild[x];
  if (v >= kNodeCount || d == kTableBits) {
    const unsigned width = 1u << (kTableBits - d);
    const std::uint16_t entry = static_cast<std::uint16_t>(x | (d << kEntryDepthShift));
    std::uint16_t* const first = model.firstLevel + (code << (kTableBits - d));
    for (unsigned i = 0; i < width; ++i) first[i] = entry;
    if (v < kNodeCount) {
      MarkDeep(model, v);
      MarkDeep(model, v + 1);
    }
    return;
  }
  Fill(model, v, d + 1, code << 1);
  Fill(model, v + 1, d + 1, (code << 1) | 1u);
}

void BuildTable(DecodingModel& model) {
  std::memset(model.depth, 0, sizeof model.depth);  // nothing counts as marked yet
  Fill(model, kRootNode, 0, 0);
}

}  // namespace

void InitDecodingModel(DecodingModel& model) {
  InitModel(model.tree);
  BuildTable(model);
}

void RebuildDecodingModel(DecodingModel& model) {
  RebuildTree(model.tree);
  BuildTable(model);
}

void RefreshSubtree(DecodingModel& model, unsigned x) {
  if (model.depth[x] < kDeepNode) {
    Fill(model, x, model.depth[x], CodeOfNode(model.tree, x, model.depth[x]));
    return;
  }
  const unsigned v = model.tree.nodeChild[x];
  if (v < kNodeCount) {
    MarkDeep(model, v);
    MarkDeep(model, v + 1);
  }
}

}  // namespace codec
