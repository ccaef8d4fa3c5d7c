// The binary-tree match finder against a search of every distance: with no
// bound on its walks it must give, at every position, the nearest match of
// every length it reports and nothing else; with a tight bound, only matches
// that hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/codec/adaptive_model.h"
#include "core/codec/tree_match_finder.h"
#include "sample_data.h"

using namespace codec;
using namespace samples;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Matches = std::vector<MatchCandidate>;

// The encoder's window: the preset spaces, then the data.
Bytes Window(const Bytes& data) {
  Bytes window(kRingPreset, ' ');
  window.insert(window.end(), data.begin(), data.end());
  return window;
}

unsigned MaxLengthAt(const Bytes& window, std::size_t b) {
  return static_cast<unsigned>(std::min<std::size_t>(kMaxMatchLength, window.size() - b));
}

unsigned Common(const Bytes& window, std::size_t from, std::size_t b) {
  unsigned length = 0;
  while (length < MaxLengthAt(window, b) && window[from + length] == window[b + length]) ++length;
  return length;
}

// Every distance from 1 to 4096 (none below index 0), nearest first: each
// match longer than all nearer ones.
Matches Search(const Bytes& window, std::size_t b) {
  Matches out;
  unsigned best = kMinMatchLength - 1;
  if (MaxLengthAt(window, b) < kMinMatchLength) return out;
  const std::uint8_t* const here = window.data() + b;
  for (std::size_t distance = 1; distance <= kRingSize && distance <= b; ++distance) {
    if (here[-static_cast<std::ptrdiff_t>(distance)] != here[0]) continue;  // the common case, kept cheap
    const unsigned length = Common(window, b - distance, b);
    if (length > best) {
      best = length;
      out.push_back({length, static_cast<std::uint32_t>(distance)});
    }
  }
  return out;
}

Bytes Repeat(const Bytes& block, std::size_t size) {
  Bytes out;
  while (out.size() < size) out.insert(out.end(), block.begin(), block.end());
  out.resize(size);
  return out;
}

Bytes TwoLetters(std::size_t size, std::uint32_t seed) {
  SampleRandom random(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>('a' + random.Below(2));
  return out;
}

struct Sample {
  const char* name;
  Bytes data;
};

TEST(TreeMatchFinder, GivesTheNearestMatchOfEveryLengthOrOnlyMatchesThatHold) {
  const Bytes text = MakeTextLike(800, 3);
  Bytes spacesThenText(60, ' ');
  spacesThenText.insert(spacesThenText.end(), text.begin(), text.end());
  const std::vector<Sample> samples = {
      {"text", MakeTextLike(1500, 3)},
      {"executable", MakeExecutableLike(1500, 4)},
      // A repeat exactly 4096 back reads the ring position about to be
      // overwritten; one 4097 back is out of reach.
      {"period 4096", Repeat(MakeNoise(4096, 5), 4200)},
      {"period 4097", Repeat(MakeNoise(4097, 6), 4300)},
      {"one byte", Bytes(100, 'x')},
      {"matches into the preset", spacesThenText},
      {"two letters", TwoLetters(600, 7)},
      {"shorter than a match", Bytes{'a', 'b'}},
      {"ends inside a match", Repeat(Bytes{'a', 'b', 'c'}, 31)},
  };
  for (const Sample& sample : samples) {
    SCOPED_TRACE(sample.name);
    const Bytes window = Window(sample.data);
    TreeMatchFinder exact(window.data(), window.size(), kRingSize + 1);
    TreeMatchFinder shallow(window.data(), window.size(), 2);
    MatchCandidate found[kMaxMatchLength];
    for (std::size_t b = kRingPreset; b < window.size(); ++b) {
      const Matches expected = Search(window, b);
      const unsigned count = exact.FindMatches(b, found);
      ASSERT_EQ(count, expected.size()) << "window index " << b;
      for (unsigned i = 0; i < count; ++i) {
        ASSERT_EQ(found[i].length, expected[i].length) << "window index " << b;
        ASSERT_EQ(found[i].distance, expected[i].distance) << "window index " << b;
      }
      const unsigned few = shallow.FindMatches(b, found);
      unsigned previous = kMinMatchLength - 1;
      for (unsigned i = 0; i < few; ++i) {
        ASSERT_GT(found[i].length, previous) << "window index " << b;
        ASSERT_LE(found[i].length, MaxLengthAt(window, b)) << "window index " << b;
        ASSERT_GE(found[i].distance, 1u) << "window index " << b;
        ASSERT_LE(found[i].distance, std::min<std::size_t>(kRingSize, b)) << "window index " << b;
        ASSERT_GE(Common(window, b - found[i].distance, b), found[i].length) << "window index " << b;
        previous = found[i].length;
      }
    }
  }
}

}  // namespace
