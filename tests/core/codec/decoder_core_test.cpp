// The decoder core over memory: streams of chosen shapes, the ring carried
// between entries, agreement with the plain decoder, streams and sinks that
// end early, a count past 2^31 - 1, and garbage that must decode without harm.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "baseline_decoder.h"
#include "core/codec/entry_encoder.h"
#include "core/codec/stream_writer.h"
#include "core/codec/memory_streams.h"
#include "sample_data.h"

using namespace codec;
using namespace samples;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Counts what the core asks of its source and gives to its sink.
struct CountingSource {
  MemoryStoredSource memory;
  std::uint32_t fetched = 0;
  std::uint32_t lowestRemaining = 0xFFFFFFFFu;
  std::uint8_t Fetch(std::uint32_t remaining) {
    ++fetched;
    if (remaining < lowestRemaining) lowestRemaining = remaining;
    return memory.Fetch(remaining);
  }
};
// The same bytes handed out in runs of the sizes below in turn, so that a
// run ends at every place of the bit reader's eight-byte loads.
struct CountingRunSource {
  MemoryStoredSource memory;
  std::uint32_t fetched = 0;
  std::uint32_t lowestRemaining = 0xFFFFFFFFu;
  unsigned turn = 0;
  std::size_t FetchRun(const std::uint8_t*& bytes, std::uint32_t remaining) {
    static constexpr std::size_t kCaps[] = {1, 7, 8, 9, 13, 4096, 3, 64};
    if (remaining < lowestRemaining) lowestRemaining = remaining;
    std::size_t n = memory.FetchRun(bytes, remaining);
    const std::size_t cap = kCaps[turn++ % (sizeof kCaps / sizeof kCaps[0])];
    if (n > cap) {
      memory.position -= n - cap;
      n = cap;
    }
    fetched += static_cast<std::uint32_t>(n);
    return n;
  }
};
static_assert(!HasFetchRun<CountingSource>::value && HasFetchRun<CountingRunSource>::value,
              "the two sources take the two paths of the bit reader");

// Keeps what it gets; fails (in the bounded mode) once it holds `room` bytes.
struct VectorSink {
  Bytes out;
  std::size_t room = SIZE_MAX;
  void Write(const std::uint8_t* bytes, std::size_t count) { out.insert(out.end(), bytes, bytes + count); }
  bool Failed() const { return out.size() >= room; }
};

struct Decoded {
  Bytes bytes;
  DecodeOutcome outcome;
  std::uint32_t fetched;
};

// Decodes the whole stream as one entry, on `state` when given (the ring
// carries over), else on a fresh one; again from a source of runs on a copy
// of the state: both paths of the bit reader must agree on bytes, bits, end,
// bytes fetched (unless the sink failed) and the ring left behind.
template <DecodeMode Mode = DecodeMode::kPadWithZeroBits>
Decoded Decode(const Bytes& stream, std::uint32_t expanded, DecoderState* state = nullptr,
               std::size_t sinkRoom = SIZE_MAX) {
  const auto fresh = std::make_unique<DecoderState>();
  DecoderState& used = state ? *state : *fresh;
  const auto twin = std::make_unique<DecoderState>(used);
  const std::uint32_t storedSize = static_cast<std::uint32_t>(stream.size());
  CountingSource source{MemoryStoredSource{stream.data(), stream.size()}};
  VectorSink sink{{}, sinkRoom};
  const DecodeOutcome outcome = DecodeEntryWith<Mode>(used, source, sink, expanded, storedSize);
  EXPECT_LE(source.fetched, storedSize);
  if (source.fetched > 0) {
    EXPECT_GE(source.lowestRemaining, 1u);
  }

  CountingRunSource runs{MemoryStoredSource{stream.data(), stream.size()}};
  VectorSink runSink{{}, sinkRoom};
  const DecodeOutcome runOutcome = DecodeEntryWith<Mode>(*twin, runs, runSink, expanded, storedSize);
  EXPECT_EQ(runSink.out, sink.out);
  EXPECT_EQ(runOutcome.produced, outcome.produced);
  EXPECT_EQ(runOutcome.bitsConsumed, outcome.bitsConsumed);
  EXPECT_EQ(runOutcome.end, outcome.end);
  EXPECT_LE(runs.fetched, storedSize);
  if (outcome.end != DecodeEnd::kSinkFailed) {  // else the run may have been loaded ahead
    EXPECT_EQ(runs.fetched, source.fetched);
  }
  EXPECT_EQ(std::memcmp(twin->carried, used.carried, sizeof used.carried), 0);
  return {sink.out, outcome, source.fetched};
}

// Decodes like the plain decoder, whose ring also carries over between
// entries (on `state` when given); returns the bytes.
Bytes DecodeLikeThePlainDecoder(const Bytes& stream, std::uint32_t expanded, DecoderState* state = nullptr) {
  Bytes plain(expanded + 32);
  const std::int64_t produced =
      baseline::Decode(stream.data(), static_cast<std::uint32_t>(stream.size()), plain.data(), expanded);
  plain.resize(expanded);
  const Decoded d = Decode(stream, expanded, state);
  EXPECT_EQ(d.outcome.produced, produced);
  EXPECT_EQ(d.bytes, plain);
  return d.bytes;
}

// The stream of the literals `before`, one match of `length` at offset p
// (none for length 0), then the literals `after`.
Bytes Stream(const Bytes& before, unsigned length = 0, unsigned p = 0, const Bytes& after = {}) {
  Bytes out;
  EntryStreamWriter writer(out);
  for (std::uint8_t b : before) writer.Literal(b);
  if (length != 0) writer.Match(length, p);
  for (std::uint8_t b : after) writer.Literal(b);
  writer.Finish();
  return out;
}

TEST(DecoderCore, ZeroBitsDecodeFirstTo0x38) {
  for (const Bytes& stream : {Bytes(8, 0), Bytes{}}) {
    const Decoded d = Decode(stream, 3);
    ASSERT_EQ(d.bytes.size(), 3u);
    EXPECT_EQ(d.bytes[0], 0x38);
  }
}

TEST(DecoderCore, StreamsOfChosenShapes) {
  const Bytes text = MakeTextLike(4096, 3);
  Bytes textAndItsStart = text;
  textAndItsStart.insert(textAndItsStart.end(), text.begin(), text.begin() + 3);
  Bytes aThen31b{'a'};
  aThen31b.insert(aThen31b.end(), 31, 'b');
  const Bytes abc = CompressEntry(reinterpret_cast<const std::uint8_t*>("abcabcabc"), 9);
  const struct {
    const char* name;
    Bytes stream;
    std::uint32_t expanded;
    Bytes expected;
    std::int64_t produced;
    std::uint64_t bits = 0;  // 0: any number the stream holds
  } cases[] = {
      {"the known start of an executable",
       {0x15, 0x22, 0x58, 0xE4, 0x72, 0xF8, 0x37, 0x6F, 0xE6, 0x64, 0x00, 0xF1, 0xF6, 0xB5}, 14,
       Bytes{0x4D, 0x5A, 0x90, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF}, 14, 106},
      // Nothing is read or written (for sizes of 2^31 or more: the corpus).
      {"size 0", abc, 0, {}, 0},
      {"first match reads the preset spaces", Stream({}, 5, 100, {'x'}), 6,
       Bytes{' ', ' ', ' ', ' ', ' ', 'x'}, 6},
      {"p = 0 with length 30 repeats the last byte", Stream({'a', 'b'}, 30, 0), 32, aThen31b, 32},
      {"a match may overlap what it produces", Stream({'1', '2', '3'}, 7, 2), 10,
       Bytes{'1', '2', '3', '1', '2', '3', '1', '2', '3', '1'}, 10},
      {"a final match past the end is cut from the output", Stream({'z'}, 30, 0), 5, Bytes(5, 'z'), 31},
      // p = 4095 reads the byte written 4096 positions before.
      {"p = 4095 reaches 4096 bytes back", Stream(text, 3, 4095), 4099, textAndItsStart, 4099},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = Decode(c.stream, c.expanded);
    EXPECT_EQ(d.bytes, c.expected);
    EXPECT_EQ(d.outcome.produced, c.produced);
    EXPECT_LE(d.outcome.bitsConsumed, c.stream.size() * 8u);
    if (c.bits != 0) {
      EXPECT_EQ(d.outcome.bitsConsumed, c.bits);
    }
    if (c.produced == 0) {
      EXPECT_EQ(d.fetched, 0u);
    }
  }
}

// Entries on one state, as the installer decodes them: each opens with a
// match into the ring's tail (positions 4066-4095, the last entry's), and
// the sizes end entries at many ring positions and across windows.
TEST(DecoderCore, SeveralEntriesCarryTheRingTailLikeThePlainDecoder) {
  SampleRandom random(77);
  const Bytes text = MakeTextLike(3 * kWindowSize, 12);
  struct Entry {
    Bytes stream;
    std::uint32_t expanded;
  };
  std::vector<Entry> entries;
  for (const std::uint32_t expanded :
       {1u, 29u, 30u, 4095u, 4096u, 4097u, 5000u, 65536u, 65537u, 140000u, 31u, 100u}) {
    Entry e{{}, expanded};
    EntryStreamWriter writer(e.stream);
    writer.Match(30, 4095 - random.Below(30));  // reads the tail
    std::uint32_t produced = 30;
    while (produced < expanded) {
      if (random.Below(3) == 0) {
        const unsigned length = 3 + random.Below(28);
        writer.Match(length, random.Below(4096));
        produced += length;
      } else {
        writer.Literal(text[produced % text.size()]);
        ++produced;
      }
    }
    writer.Finish();
    entries.push_back(e);
  }
  auto state = std::make_unique<DecoderState>();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(i);
    const Entry& e = entries[i];
    DecodeLikeThePlainDecoder(e.stream, e.expanded, state.get());
  }
}

TEST(DecoderCore, AgreesWithThePlainDecoderAcrossRebuilds) {
  // Long enough for several rebuilds (one per 16,000 symbols or so).
  const Bytes data = MakeMixedSample(400000, 31);
  for (CompressionLevel level : {CompressionLevel::kGreedy, CompressionLevel::kBest}) {
    const Bytes stream = CompressEntry(data.data(), data.size(), level);
    EXPECT_EQ(DecodeLikeThePlainDecoder(stream, static_cast<std::uint32_t>(data.size())), data);
  }
}

TEST(DecoderCore, GarbageDecodesWithinBounds) {
  SampleRandom random(2026);
  auto state = std::make_unique<DecoderState>();
  for (int round = 0; round < 200; ++round) {
    const std::uint32_t storedSize = random.Below(3) == 0 ? random.Below(8) : random.Below(6000);
    const std::uint32_t expanded = 1 + random.Below(round % 10 == 0 ? 300000 : 20000);
    Bytes stream(storedSize);
    for (auto& b : stream) b = static_cast<std::uint8_t>(random.Next());
    // Exactly the expanded size: a write past it trips the sanitizers.
    Bytes out(expanded);
    const DecodeOutcome outcome =
        DecodeToBuffer(*state, stream.data(), stream.size(), storedSize, expanded, out.data());
    ASSERT_GE(outcome.produced, static_cast<std::int32_t>(expanded));
    ASSERT_LE(outcome.produced, static_cast<std::int32_t>(expanded) + 29);
  }
}

// Where the stored bytes run out or the sink fails, the bounded mode stops:
// the sink has then received a prefix of what the whole stream holds, and
// nothing decoded from bits beyond the stored size.
TEST(DecoderCore, StopAtStreamEndEndsWhereTheStreamOrTheSinkDoes) {
  // More than two windows, so that the sink is asked between them.
  const Bytes data = MakeExecutableLike(150000, 5);
  const Bytes stream = CompressEntry(data.data(), data.size());
  struct Case {
    const char* name;
    std::size_t stored;  // of the stream's bytes
    std::uint32_t expanded;
    std::size_t sinkRoom;
    DecodeEnd end;
    std::size_t minBytes, maxBytes;  // what the sink receives
  };
  const Case cases[] = {
      {"a sound stream", stream.size(), 150000, SIZE_MAX, DecodeEnd::kComplete, 150000, 150000},
      {"half the stored size", stream.size() / 2, 150000, SIZE_MAX, DecodeEnd::kStreamExhausted, 50000, 149999},
      {"six stored bytes that declare nearly 2 GiB", 6, 0x7FFFFF00u, SIZE_MAX, DecodeEnd::kStreamExhausted, 1,
       6 * 8 * 30},
      {"no stored bytes", 0, 100, SIZE_MAX, DecodeEnd::kStreamExhausted, 0, 0},
      // Asked after each window: the first one (and the surplus of the item
      // that crossed its end) is all it gets.
      {"a sink that fails after 1000 bytes", stream.size(), 150000, 1000, DecodeEnd::kSinkFailed, kWindowSize,
       kWindowSize + kMaxMatchLength - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = Decode<DecodeMode::kStopAtStreamEnd>(Bytes(stream.begin(), stream.begin() + c.stored),
                                                           c.expanded, nullptr, c.sinkRoom);
    EXPECT_EQ(d.outcome.end, c.end);
    EXPECT_GE(d.bytes.size(), c.minBytes);
    EXPECT_LE(d.bytes.size(), c.maxBytes);
    EXPECT_EQ(static_cast<std::int64_t>(d.bytes.size()), d.outcome.produced);
    EXPECT_TRUE(std::equal(d.bytes.begin(), d.bytes.end(), data.begin()));
    if (c.end == DecodeEnd::kStreamExhausted) {
      EXPECT_GT(d.outcome.bitsConsumed, std::uint64_t{c.stored} * 8u);
    }
  }
}

// Stored bytes of one literal followed by matches of 30 with p = 0, written
// as they are asked for: far more stream than is worth holding in memory.
struct RepeatedMatchSource {
  Bytes pending;
  std::size_t position = 0;
  EntryStreamWriter writer{pending};
  RepeatedMatchSource() { writer.Literal('a'); }
  std::uint8_t Fetch(std::uint32_t /*remaining*/) {
    if (position == pending.size()) {
      pending.clear();
      position = 0;
      for (int i = 0; i < 4096; ++i) writer.Match(30, 0);
    }
    return pending[position++];
  }
};

// An expanded size of 2^31 - 1 whose last match crosses it: the count goes
// past what a signed 32-bit number holds (the sanitizers watch it), the sink
// gets exactly the expanded size and decoding ends.
TEST(DecoderCore, ACountPastTwoToTheThirtyFirstMinusOneEndsTheEntry) {
  struct CountingSink {
    std::uint64_t count = 0;
    std::uint8_t last = 0;
    void Write(const std::uint8_t* bytes, std::size_t n) {
      count += n;
      last = bytes[n - 1];
    }
  };
  auto state = std::make_unique<DecoderState>();
  RepeatedMatchSource source;
  CountingSink sink;
  const DecodeOutcome outcome = DecodeEntryWith(*state, source, sink, 0x7FFFFFFFu, 0xFFFFFFFFu);
  // 1 + 30 x 71,582,789 bytes: the last match ends 24 bytes past the size.
  EXPECT_EQ(outcome.produced, std::int64_t{0x7FFFFFFF} + 24);
  EXPECT_EQ(sink.count, 0x7FFFFFFFu);
  EXPECT_EQ(sink.last, 'a');
  EXPECT_EQ(outcome.end, DecodeEnd::kComplete);
}

}  // namespace
