// Setting up and rebuilding the adaptive code tree (see adaptive_model.h).
#include "core/codec/adaptive_model.h"

#include <cstring>

void InitModel(AdaptiveModel& model) {
  for (unsigned s = 0; s < SymbolCount; ++s) {
    model.NodeFrequency[s] = 1;
    model.NodeChild[s] = static_cast<std::uint16_t>(NodeCount + s);
    model.NodeParent[NodeCount + s] = static_cast<std::uint16_t>(s);
  }
  for (unsigned i = 0, j = SymbolCount; j < NodeCount; i += 2, ++j) {
    model.NodeFrequency[j] =
        static_cast<std::uint16_t>(model.NodeFrequency[i] + model.NodeFrequency[i + 1]);
    model.NodeChild[j] = static_cast<std::uint16_t>(i);
    model.NodeParent[i] = model.NodeParent[i + 1] = static_cast<std::uint16_t>(j);
  }
  for (unsigned q = NodeCount; q < NodeCount + 4; ++q) model.NodeFrequency[q] = 0xFFFF;
  model.NodeParent[RootNode] = 0;
}

void RebuildTree(AdaptiveModel& model) {
  std::uint16_t* const frequency = model.NodeFrequency;
  std::uint16_t* const child = model.NodeChild;

  // Gather the leaves at 0-283 in their former (ascending) order, halved.
  unsigned next = 0;
  for (unsigned q = 0; q < NodeCount; ++q) {
    if (child[q] >= NodeCount) {
      frequency[next] = static_cast<std::uint16_t>((frequency[q] + 1u) / 2u);
      child[next] = child[q];
      ++next;
    }
  }

  // Pair nodes 0-1, 2-3, ... into internal nodes 284-566; each new node goes
  // behind every node of the same or a lower count, so the order stays
  // ascending. Counts below j are sorted, hence the binary search.
  for (unsigned i = 0, j = SymbolCount; j < NodeCount; i += 2, ++j) {
    const unsigned f = static_cast<unsigned>(frequency[i]) + frequency[i + 1];
    unsigned lo = 0, hi = j;  // first position in [0, j) whose count is above f
    while (lo < hi) {
      unsigned mid = lo + (hi - lo) / 2;
      if (frequency[mid] <= f)
        lo = mid + 1;
      else
        hi = mid;
    }
    const unsigned k = lo;
    std::memmove(&frequency[k + 1], &frequency[k], (j - k) * sizeof frequency[0]);
    std::memmove(&child[k + 1], &child[k], (j - k) * sizeof child[0]);
    frequency[k] = static_cast<std::uint16_t>(f);
    child[k] = static_cast<std::uint16_t>(i);
  }

  // Relink the parents; the root's entry stays 0.
  for (unsigned q = 0; q < NodeCount; ++q) {
    const unsigned k = child[q];
    model.NodeParent[k] = static_cast<std::uint16_t>(q);
    if (k < NodeCount) model.NodeParent[k + 1] = static_cast<std::uint16_t>(q);
  }
}
