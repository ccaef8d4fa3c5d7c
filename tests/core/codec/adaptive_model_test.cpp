// The adaptive code tree: its initial codes, the sibling order it keeps,
// moves within runs of equal counts, and the rebuild at the frequency limit,
// checked against the plain decoder's own model.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "baseline_decoder.h"
#include "core/codec/symbol_coder.h"
#include "core/codec/adaptive_model.h"
#include "core/codec/offset_code.h"
#include "sample_data.h"

using codec::AdaptiveModel;
using codec::EncodeOffset;
using codec::InitModel;
using codec::OffsetCodeBits;
using codec::OffsetCodeWord;
using codec::RebuildTree;
using codec::SymbolCodeLengths;
using codec::UpdateModel;
using codec::kFrequencyLimit;
using codec::kNodeCount;
using codec::kOffsetCodeLength;
using codec::kOffsetUpperBits;
using codec::kRingSize;
using codec::kRootNode;
using codec::kSymbolCount;
using samples::SampleRandom;
namespace baseline = samples::baseline;

namespace {

// The code of `symbol` as text, read off the tree from the root down.
std::string CodeOf(const AdaptiveModel& model, unsigned symbol) {
  std::string code;
  for (unsigned c = model.nodeParent[kNodeCount + symbol]; c != kRootNode;) {
    const unsigned up = model.nodeParent[c];
    code.insert(code.begin(), c == model.nodeChild[up] ? '0' : '1');
    c = up;
  }
  return code;
}

std::string Bits(unsigned value, unsigned length) {
  std::string out;
  for (unsigned i = length; i-- > 0;) out.push_back((value >> i) & 1 ? '1' : '0');
  return out;
}

// Sibling order, sums, and links in both directions.
::testing::AssertionResult TreeIsSound(const AdaptiveModel& m) {
  unsigned leafTotal = 0;
  for (unsigned q = 0; q < kNodeCount; ++q) {
    if (m.nodeFrequency[q] > m.nodeFrequency[q + 1])
      return ::testing::AssertionFailure() << "counts fall at " << q;
    const unsigned k = m.nodeChild[q];
    if (k >= kNodeCount) {
      if (m.nodeParent[k] != q) return ::testing::AssertionFailure() << "leaf link at " << q;
      leafTotal += m.nodeFrequency[q];
    } else {
      if (m.nodeParent[k] != q || m.nodeParent[k + 1] != q)
        return ::testing::AssertionFailure() << "child links at " << q;
      if (m.nodeFrequency[q] != m.nodeFrequency[k] + m.nodeFrequency[k + 1])
        return ::testing::AssertionFailure() << "sum at " << q;
    }
  }
  if (m.nodeFrequency[kRootNode] != leafTotal) return ::testing::AssertionFailure() << "root total";
  if (m.nodeFrequency[kNodeCount] != 0xFFFF) return ::testing::AssertionFailure() << "sentinel";
  return ::testing::AssertionSuccess();
}

bool SameAsBaseline(const AdaptiveModel& m) {
  return std::memcmp(m.nodeFrequency, baseline::freq, sizeof baseline::freq) == 0 &&
         std::memcmp(m.nodeChild, baseline::son, sizeof baseline::son) == 0 &&
         std::memcmp(m.nodeParent, baseline::prnt, sizeof baseline::prnt) == 0;
}

TEST(AdaptiveModel, InitialCodesAreEightBitsFrom56AndNineBitsBelow) {
  AdaptiveModel m;
  InitModel(m);
  EXPECT_TRUE(TreeIsSound(m));
  EXPECT_EQ(m.nodeFrequency[kRootNode], 284);
  for (unsigned s = 56; s < kSymbolCount; ++s) EXPECT_EQ(CodeOf(m, s), Bits(s - 56, 8)) << s;
  for (unsigned s = 0; s < 56; ++s) EXPECT_EQ(CodeOf(m, s), Bits(0x1C8 + s, 9)) << s;

  std::uint8_t lengths[kSymbolCount];
  SymbolCodeLengths(m, lengths);
  EXPECT_EQ(lengths[0], 9);
  EXPECT_EQ(lengths[283], 8);
}

TEST(AdaptiveModel, ACountedNodeMovesToTheEndOfItsRunOfEqualCounts) {
  AdaptiveModel m;
  InitModel(m);
  // All leaves have count 1: the leaf of symbol 0 goes to 283, the highest
  // index of count 1, and takes the code that was 283's, one bit shorter.
  UpdateModel(m, 0);
  EXPECT_EQ(m.nodeParent[kNodeCount + 0], 283);
  EXPECT_EQ(m.nodeChild[283], kNodeCount + 0);
  EXPECT_EQ(m.nodeChild[0], kNodeCount + 283);  // 283's leaf took its place
  EXPECT_EQ(CodeOf(m, 0), "11100011");
  EXPECT_TRUE(TreeIsSound(m));
}

TEST(AdaptiveModel, CodesFollowTheKnownStartOfAnExecutable) {
  // Symbol by symbol: the code each one has when it is sent, then counted.
  struct Step {
    unsigned symbol;
    const char* code;
  };
  const Step steps[] = {{77, "00010101"},   {90, "00100010"},  {144, "01011000"},
                        {0, "111001000"},   {3, "111001011"},  {0, "11100000"},
                        {0, "1101110"},     {0, "1101111"},    {4, "111001100"},
                        {256, "11001000"},  {255, "11000111"}, {255, "11011010"}};
  AdaptiveModel m;
  InitModel(m);
  for (const Step& step : steps) {
    EXPECT_EQ(CodeOf(m, step.symbol), step.code) << step.symbol;
    UpdateModel(m, step.symbol);
    ASSERT_TRUE(TreeIsSound(m));
  }
}

TEST(AdaptiveModel, RebuildsAtTheFrequencyLimitOnThe32485thSymbol) {
  AdaptiveModel m;
  InitModel(m);
  baseline::StartModel();
  SampleRandom random(5);
  for (unsigned n = 1; n <= 32484; ++n) {
    const unsigned s = random.Below(4) == 0 ? random.Below(kSymbolCount) : random.Below(20);
    UpdateModel(m, s);
    baseline::Update(s);
  }
  ASSERT_EQ(m.nodeFrequency[kRootNode], kFrequencyLimit);
  // Halved leaf counts the next symbol should find.
  unsigned halved = 0;
  for (unsigned q = 0; q < kNodeCount; ++q)
    if (m.nodeChild[q] >= kNodeCount) halved += (m.nodeFrequency[q] + 1u) / 2u;
  UpdateModel(m, 7);
  baseline::Update(7);
  EXPECT_EQ(m.nodeFrequency[kRootNode], halved + 1);
  EXPECT_TRUE(TreeIsSound(m));
  EXPECT_TRUE(SameAsBaseline(m));
}

TEST(AdaptiveModel, RebuildPutsANewNodeBehindEveryNodeOfItsCount) {
  // Leaf counts 1, 1, 2, 2 ... : pairs whose sums equal leaf counts already
  // placed, so every insertion meets a run of equal counts.
  AdaptiveModel m;
  InitModel(m);
  for (unsigned q = 0; q < kSymbolCount; ++q) m.nodeFrequency[q] = static_cast<std::uint16_t>(1 + 2 * (q / 4));
  RebuildTree(m);
  EXPECT_TRUE(TreeIsSound(m));
  for (unsigned q = 0; q < kNodeCount; ++q) {
    // An internal node never stands before a leaf of the same count.
    if (m.nodeChild[q] < kNodeCount && q + 1 < kNodeCount && m.nodeChild[q + 1] >= kNodeCount) {
      EXPECT_LT(m.nodeFrequency[q], m.nodeFrequency[q + 1]) << q;
    }
  }
}

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
    SampleRandom random(99);
    for (unsigned n = 0; n < 120000; ++n) {
      const unsigned s = random.Below(8) == 0 ? random.Below(kSymbolCount) : random.Below(mix.hot);
      UpdateModel(m, s);
      baseline::Update(s);
      if (n % 4999 == 0) {
        ASSERT_TRUE(TreeIsSound(m)) << "after " << n;
        ASSERT_TRUE(SameAsBaseline(m)) << "after " << n;
      }
    }
    EXPECT_TRUE(SameAsBaseline(m));
  }
}

TEST(OffsetCode, TablesFollowTheRangeRule) {
  struct Range {
    unsigned firstIndex, lastIndex, firstUpper, perValue, length;
  };
  const Range ranges[] = {{0x00, 0x1F, 0, 32, 3},  {0x20, 0x4F, 1, 16, 4},  {0x50, 0x8F, 4, 8, 5},
                          {0x90, 0xBF, 12, 4, 6}, {0xC0, 0xEF, 24, 2, 7}, {0xF0, 0xFF, 48, 1, 8}};
  for (const Range& r : ranges) {
    for (unsigned i = r.firstIndex; i <= r.lastIndex; ++i) {
      EXPECT_EQ(kOffsetUpperBits[i], r.firstUpper + (i - r.firstIndex) / r.perValue) << i;
      EXPECT_EQ(kOffsetCodeLength[i], r.length) << i;
    }
  }
}

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
