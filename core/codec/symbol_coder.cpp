// Sending symbols through the adaptive code tree (see symbol_coder.h).
#include "core/codec/symbol_coder.h"

namespace codec {

void EncodeSymbol(AdaptiveModel& model, BitWriter& writer, unsigned s) {
  // Walk up from the leaf; each node's bit is whether it is its parent's
  // second child. The tree of 32768 counts at most is no deeper than 23.
  std::uint32_t code = 0;
  unsigned length = 0;
  unsigned c = LeafOf(model, s);
  while (c != kRootNode) {
    const unsigned up = ParentOf(model, c);
    code |= static_cast<std::uint32_t>(c - model.nodeChild[up]) << length;
    ++length;
    c = up;
  }
  writer.Put(code, length);
  UpdateModel(model, s);
}

unsigned CodeLength(const AdaptiveModel& model, unsigned s) {
  unsigned length = 0;
  for (unsigned c = LeafOf(model, s); c != kRootNode; c = ParentOf(model, c))
    ++length;
  return length;
}

void SymbolCodeLengths(const AdaptiveModel& model, std::uint8_t (&lengths)[kSymbolCount]) {
  // Depths top-down: parents sit at higher indices than their children.
  std::uint8_t depth[kNodeCount];
  depth[kRootNode] = 0;
  for (unsigned q = kRootNode + 1; q-- > 0;) {
    const unsigned k = model.nodeChild[q];
    if (k >= kNodeCount) {
      lengths[k - kNodeCount] = depth[q];
    } else {
      depth[k] = depth[k + 1] = static_cast<std::uint8_t>(depth[q] + 1);
    }
  }
}

}  // namespace codec
