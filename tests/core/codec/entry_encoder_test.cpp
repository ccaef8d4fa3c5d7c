// The entry encoder: the known start of an executable's stream, and round
// trips through the decoder for every level over data of many shapes.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/codec/entry_encoder.h"
#include "core/codec/stream_writer.h"
#include "core/codec/memory_streams.h"
#include "sample_data.h"

using namespace codec;
using namespace samples;

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kExecutableStart = {0x4D, 0x5A, 0x90, 0x00, 0x03, 0x00, 0x00,
                                0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF};

// Decodes with `state` as the earlier entries left it (a fresh one if none).
Bytes Decode(const Bytes& stream, std::size_t expanded, DecoderState* state = nullptr) {
  std::unique_ptr<DecoderState> fresh;
  if (state == nullptr) {
    fresh = std::make_unique<DecoderState>();
    state = fresh.get();
  }
  Bytes out(expanded);
  const DecodeOutcome outcome = DecodeToBuffer(*state, stream.data(), stream.size(),
                                               static_cast<std::uint32_t>(stream.size()),
                                               static_cast<std::uint32_t>(expanded), out.data());
  EXPECT_GE(outcome.produced, static_cast<std::int32_t>(expanded));
  // A sound stream never needs bits beyond its end.
  EXPECT_LE(outcome.bitsConsumed, stream.size() * 8u);
  return out;
}

// The literals and the one match of the known start, written item by item,
// are its 106-bit stream, and the greedy parse finds the same items.
TEST(EntryEncoder, GreedyReproducesTheKnownStartOfAnExecutable) {
  Bytes byItems;
  EntryStreamWriter writer(byItems);
  for (std::uint8_t b : {0x4D, 0x5A, 0x90, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04}) writer.Literal(b);
  writer.Match(3, 3);
  writer.Literal(0xFF);
  writer.Literal(0xFF);
  EXPECT_EQ(writer.BitsWritten(), 106u);
  writer.Finish();
  // 13 whole bytes, then the bits 10.
  ASSERT_EQ(byItems.size(), 14u);
  EXPECT_EQ(Bytes(byItems.begin(), byItems.begin() + 13),
            (Bytes{0x15, 0x22, 0x58, 0xE4, 0x72, 0xF8, 0x37, 0x6F, 0xE6, 0x64, 0x00, 0xF1, 0xF6}));
  EXPECT_EQ(byItems[13] >> 6, 0b10);
  EXPECT_EQ(CompressEntry(kExecutableStart.data(), kExecutableStart.size(), CompressionLevel::kGreedy),
            byItems);
  EXPECT_EQ(Decode(byItems, kExecutableStart.size()), kExecutableStart);
}

// `size` bytes that repeat a noise block of `period` bytes.
Bytes Periodic(std::size_t period, std::uint32_t seed, std::size_t size) {
  const Bytes block = MakeNoise(period, seed);
  Bytes out;
  while (out.size() < size) out.insert(out.end(), block.begin(), block.end());
  out.resize(size);
  return out;
}

struct Sample {
  const char* name;
  Bytes data;
};

std::vector<Sample> Corpus() {
  std::vector<Sample> corpus;
  for (std::size_t size : {1u, 2u, 3u, 29u, 30u, 31u, 32u, 61u}) {
    corpus.push_back({"text", MakeTextLike(size, 7)});
    corpus.push_back({"noise", MakeNoise(size, 11)});
    corpus.push_back({"spaces", Bytes(size, ' ')});
    corpus.push_back({"zeros", Bytes(size, 0)});
  }
  corpus.push_back({"executable 300000", MakeExecutableLike(300000, 3)});
  corpus.push_back({"text 200000", MakeTextLike(200000, 5)});
  corpus.push_back({"wave 150000", MakeWaveLike(150000, 9)});
  corpus.push_back({"noise 70000", MakeNoise(70000, 13)});
  // Runs far longer than a match, and repeats at the edge of the window.
  corpus.push_back({"one byte 100000", Bytes(100000, 0xAB)});
  corpus.push_back({"period 4096", Periodic(4096, 17, 20000)});
  corpus.push_back({"period 4097", Periodic(4097, 19, 20000)});
  corpus.push_back({"spaces then text", [] {
                      Bytes b(5000, ' ');
                      Bytes t = MakeTextLike(3000, 23);
                      b.insert(b.end(), t.begin(), t.end());
                      return b;
                    }()});
  return corpus;
}

class RoundTrip : public ::testing::TestWithParam<CompressionLevel> {};

TEST_P(RoundTrip, DecodingGivesTheInputBack) {
  for (const Sample& sample : Corpus()) {
    SCOPED_TRACE(std::string(sample.name) + ", size " + std::to_string(sample.data.size()));
    const Bytes stream = CompressEntry(sample.data.data(), sample.data.size(), GetParam());
    ASSERT_FALSE(stream.empty());
    EXPECT_EQ(Decode(stream, sample.data.size()), sample.data);
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTrip,
                         ::testing::Values(CompressionLevel::kGreedy, CompressionLevel::kLazy,
                                           CompressionLevel::kBest),
                         [](const auto& info) {
                           switch (info.param) {
                             case CompressionLevel::kGreedy: return std::string("Greedy");
                             case CompressionLevel::kLazy: return std::string("Lazy");
                             default: return std::string("Best");
                           }
                         });

// The ring's last 30 positions keep what the entry before left there (its
// first 30 bytes) and are not preset: a stream that read them before writing
// them would decode differently after another entry than alone. The later
// entries here would find spaces or their own start there.
TEST_P(RoundTrip, EntriesDecodeTheSameAfterEarlierEntriesAsAlone) {
  const Bytes text = MakeTextLike(3000, 29);
  Bytes spacesThenText(100, ' ');
  spacesThenText.insert(spacesThenText.end(), text.begin(), text.end());
  Bytes startAgain(text.begin(), text.begin() + 30);
  startAgain.insert(startAgain.end(), text.begin(), text.end());
  const std::vector<Sample> entries = {{"text", text},
                                       {"spaces, then text", spacesThenText},
                                       {"the text's start, then text", startAgain},
                                       {"a run", Bytes(40, 'x')},
                                       {"the same run", Bytes(40, 'x')}};
  auto state = std::make_unique<DecoderState>();
  for (const Sample& entry : entries) {
    SCOPED_TRACE(entry.name);
    const Bytes stream = CompressEntry(entry.data.data(), entry.data.size(), GetParam());
    EXPECT_EQ(Decode(stream, entry.data.size(), state.get()), entry.data);
    EXPECT_EQ(Decode(stream, entry.data.size()), entry.data);
  }
}

TEST(EntryEncoder, EmptyInputGivesAnEmptyStream) {
  EXPECT_TRUE(CompressEntry(nullptr, 0).empty());
}

TEST(EntryEncoder, CostDrivenParseIsNotLargerThanGreedy) {
  for (const Bytes& data : {MakeExecutableLike(100000, 1), MakeTextLike(100000, 2)}) {
    const auto greedy = CompressEntry(data.data(), data.size(), CompressionLevel::kGreedy);
    const auto best = CompressEntry(data.data(), data.size(), CompressionLevel::kBest);
    EXPECT_LT(best.size(), greedy.size());
  }
}

}  // namespace
