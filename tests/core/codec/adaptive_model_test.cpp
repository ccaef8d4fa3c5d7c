// The adaptive code tree: its initial codes, the sibling order it keeps,
// moves within runs of equal counts, and the rebuild at the frequency limit,
// checked against the plain decoder's own model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "baseline_decoder.h"
#include "core/codec/symbol_coder.h"
#include "core/codec/adaptive_model.h"
#include "core/codec/decoding_model.h"
#include "core/codec/offset_code.h"
#include "sample_data.h"

using namespace codec;
using samples::SampleRandom;
namespace baseline = samples::baseline;

namespace {

// The code of `symbol` as text, read off the tree from the root down.
std::string CodeOf(const AdaptiveModel& model, unsigned symbol) {
  std::string code;
  for (unsigned c = LeafOf(model, symbol); c != kRootNode;) {
    const unsigned up = ParentOf(model, c);
    code.insert(code.begin(), c == model.nodeChild[up] ? '0' : '1');
    c = up;
  }
  return code;
}

// Sibling order, sums, and links in both directions.
::testing::AssertionResult TreeIsSound(const AdaptiveModel& m) {
  unsigned leafTotal = 0;
  for (unsigned q = 0; q < kNodeCount; ++q) {
    if (m.nodeFrequency[q] > m.nodeFrequency[q + 1])
      return ::testing::AssertionFailure() << "counts fall at " << q;
    const unsigned k = m.nodeChild[q];
    if (k >= kNodeCount) {
      if (m.nodeParent[k] != OffsetOf(q)) return ::testing::AssertionFailure() << "leaf link at " << q;
      leafTotal += m.nodeFrequency[q];
    } else {
      if (m.nodeParent[k] != OffsetOf(q) || m.nodeParent[k + 1] != OffsetOf(q))
        return ::testing::AssertionFailure() << "child links at " << q;
      if (m.nodeFrequency[q] != m.nodeFrequency[k] + m.nodeFrequency[k + 1])
        return ::testing::AssertionFailure() << "sum at " << q;
    }
  }
  if (m.nodeFrequency[kRootNode] != leafTotal) return ::testing::AssertionFailure() << "root total";
  if (m.nodeFrequency[kNodeCount] != 0xFFFF) return ::testing::AssertionFailure() << "sentinel";
  return ::testing::AssertionSuccess();
}

// Every first-level entry is what descending the tree by its 8 bits gives:
// the leaf met on the way, or the node at depth 8.
::testing::AssertionResult TableIsExact(const DecodingModel& d) {
  for (unsigned prefix = 0; prefix < 256; ++prefix) {
    unsigned x = kRootNode;
    unsigned depth = 0;
    do {
      x = d.tree.nodeChild[x] + ((prefix >> (kTableBits - 1 - depth)) & 1u);
      ++depth;
    } while (d.tree.nodeChild[x] < kNodeCount && depth < kTableBits);
    if (d.firstLevel[prefix] != (x | depth << kEntryDepthShift))
      return ::testing::AssertionFailure() << "entry " << prefix;
  }
  return ::testing::AssertionSuccess();
}

bool SameAsBaseline(const AdaptiveModel& m) {
  return std::memcmp(m.nodeFrequency, baseline::freq, sizeof baseline::freq) == 0 &&
         std::memcmp(m.nodeChild, baseline::son, sizeof baseline::son) == 0 &&
         std::equal(std::begin(baseline::prnt), std::end(baseline::prnt), m.nodeParent,
                    [](unsigned index, unsigned offset) { return OffsetOf(index) == offset; });
}

// The codes themselves are compared with the plain model's below.
TEST(AdaptiveModel, InitialCodesAreEightBitsFrom56AndNineBitsBelow) {
  AdaptiveModel m;
  InitModel(m);
  EXPECT_TRUE(TreeIsSound(m));
  std::uint8_t lengths[kSymbolCount];
  SymbolCodeLengths(m, lengths);
  for (unsigned s = 0; s < kSymbolCount; ++s) EXPECT_EQ(lengths[s], s < 56 ? 9 : 8) << s;
}

// A rebuild one symbol early or late, or counts halved the other way round,
// part the tree from the plain model's at the next comparison.
TEST(AdaptiveModel, MatchesThePlainModelSymbolBySymbolThroughSeveralRebuilds) {
  struct Mix {
    const char* name;
    unsigned hot;  // symbols drawn most of the time
  };
  for (const Mix mix : {Mix{"flat", kSymbolCount}, Mix{"skewed", 12}, Mix{"one symbol", 1}}) {
    SCOPED_TRACE(mix.name);
    AdaptiveModel m;
    InitModel(m);
    baseline::StartModel();
    // The decoder's model with its table, counted the decoder's way.
    auto decoding = std::make_unique<DecodingModel>();
    InitDecodingModel(*decoding);
    SampleRandom random(99);
    for (unsigned n = 0; n < 120000; ++n) {
      unsigned s = random.Below(8) == 0 ? random.Below(kSymbolCount) : random.Below(mix.hot);
      if (m.nodeFrequency[kRootNode] == kFrequencyLimit) {
        // The symbol that the rebuild puts at node 0, where a walk that
        // stopped at index 0 would leave it uncounted.
        AdaptiveModel rebuilt = m;
        RebuildTree(rebuilt);
        s = rebuilt.nodeChild[0] - kNodeCount;
      }
      UpdateDecodingModel(*decoding, s, LeafOf(decoding->tree, s),
                          static_cast<unsigned>(CodeOf(decoding->tree, s).size()));
      UpdateModel(m, s);
      baseline::Update(s);
      if (n % 4999 == 0) {
        ASSERT_TRUE(TreeIsSound(m)) << "after " << n;
        ASSERT_TRUE(SameAsBaseline(m)) << "after " << n;
        ASSERT_EQ(std::memcmp(&m, &decoding->tree, sizeof m), 0) << "after " << n;
        ASSERT_TRUE(TableIsExact(*decoding)) << "after " << n;
      }
    }
    EXPECT_TRUE(SameAsBaseline(m));
  }
}

// The tables themselves are checked against the plain decoder's own in
// DecoderCore.AgreesWithThePlainDecoderAcrossRebuilds.
TEST(OffsetCode, EveryOffsetEncodesToBitsThatDecodeBackToIt) {
  for (unsigned p = 0; p < kRingSize; ++p) {
    const OffsetCodeWord word = EncodeOffset(p);
    ASSERT_EQ(word.length, OffsetCodeBits(p));
    // The decoder's view: 8 bits as an index, then length - 8 more bits.
    const std::uint32_t aligned = word.bits << (14 - word.length);  // as 14 bits
    const unsigned index = aligned >> 6;
    ASSERT_EQ(kOffsetCodeLength[index] + 6u, word.length) << p;
    const unsigned lower = (aligned >> (14 - word.length)) & 63u;
    ASSERT_EQ(kOffsetUpperBits[index] * 64u + lower, p) << p;
  }
  EXPECT_EQ(EncodeOffset(3).bits, 0b000000011u);  // p = 3 in nine bits
}

}  // namespace
