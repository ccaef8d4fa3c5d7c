// Setting up and rebuilding the adaptive code tree (see adaptive_model.h).
#include "core/codec/adaptive_model.h"

#include <cstring>

namespace codec {

void InitModel(AdaptiveModel& model) {
  for (unsigned s = 0; s < kSymbolCount; ++s) {
    model.nodeFrequency[s] = 1;
    model.nodeChild[s] = static_cast<std::uint16_t>(kNodeCount + s);
    model.nodeParent[kNodeCount + s] = OffsetOf(s);
  }
  for (unsigned i = 0, j = kSymbolCount; j < kNodeCount; i += 2, ++j) {
    model.nodeFrequency[j] =
        static_cast<std::uint16_t>(model.nodeFrequency[i] + model.nodeFrequency[i + 1]);
    model.nodeChild[j] = static_cast<std::uint16_t>(i);
    model.nodeParent[i] = model.nodeParent[i + 1] = OffsetOf(j);
  }
  for (unsigned q = kNodeCount; q < kNodeCount + kScanSentinels; ++q) model.nodeFrequency[q] = 0xFFFF;
  model.nodeParent[kRootNode] = 0;
}

void RebuildTree(AdaptiveModel& model) {
  std::uint16_t* const frequency = model.nodeFrequency;
  std::uint16_t* const child = model.nodeChild;

  // Gather the leaves at 0-283 in their former (ascending) order, halved.
  unsigned next = 0;
  for (unsigned node = 0; node < kNodeCount; ++node) {
    if (child[node] >= kNodeCount) {
      frequency[next] = static_cast<std::uint16_t>((frequency[node] + 1u) / 2u);
      child[next] = child[node];
      ++next;
    }
  }

  // Pair nodes 0-1, 2-3, ... into internal nodes 284-566; each new node goes
  // behind every node of the same or a lower count, so the order stays
  // ascending. Counts below `internal` are sorted, hence the binary search.
  for (unsigned pair = 0, internal = kSymbolCount; internal < kNodeCount; pair += 2, ++internal) {
    const unsigned sum = static_cast<unsigned>(frequency[pair]) + frequency[pair + 1];
    unsigned lo = 0, hi = internal;  // first position in [0, internal) whose count is above sum
    while (lo < hi) {
      unsigned mid = lo + (hi - lo) / 2;
      if (frequency[mid] <= sum)
        lo = mid + 1;
      else
        hi = mid;
    }
    const unsigned place = lo;
    const unsigned moved = internal - place;
    std::memmove(&frequency[place + 1], &frequency[place], moved * sizeof frequency[0]);
    std::memmove(&child[place + 1], &child[place], moved * sizeof child[0]);
    frequency[place] = static_cast<std::uint16_t>(sum);
    child[place] = static_cast<std::uint16_t>(pair);
  }

  // Relink the parents; the root's entry stays 0.
  for (unsigned node = 0; node < kNodeCount; ++node) {
    const unsigned firstChild = child[node];
    model.nodeParent[firstChild] = OffsetOf(node);
    if (firstChild < kNodeCount)
      model.nodeParent[firstChild + 1] = OffsetOf(node);
  }
}

}  // namespace codec
