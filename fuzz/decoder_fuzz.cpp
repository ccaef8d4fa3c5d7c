// The entry decoder on arbitrary streams and sizes.
//
// Input: the expanded size (u32, little-endian), one byte that shortens the
// stored size below what follows, then the stream. Checked, in both modes:
// the source is asked only for stored bytes, each once, counted down to 1;
// padding with zero bits gives exactly the expanded size (and produces at
// most 29 bytes more); stopping at the stream's end gives a prefix of that,
// ends complete only at the expanded size, and exhausted only past the
// stored bits.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/codec/decoder_core.h"
#include "fuzz_check.h"

using namespace codec;

namespace {

// Padding decodes every byte of the expanded size: bounded here to keep each
// run short (the bounded mode takes any size).
constexpr std::uint32_t kMaxPaddedSize = 1u << 16;

struct CheckedSource {
  const std::uint8_t* data;
  std::uint32_t storedSize;
  std::uint32_t fetched = 0;
  std::uint8_t Fetch(std::uint32_t remaining) {
    FUZZ_CHECK(fetched < storedSize);
    FUZZ_CHECK(remaining == storedSize - fetched);
    return data[fetched++];
  }
};

// The same bytes in runs whose sizes the input's first byte picks, counted
// down the same way: the bit reader's path for sources of runs.
struct CheckedRunSource {
  const std::uint8_t* data;
  std::uint32_t storedSize;
  unsigned seed;
  std::uint32_t fetched = 0;
  std::size_t FetchRun(const std::uint8_t*& bytes, std::uint32_t remaining) {
    FUZZ_CHECK(fetched < storedSize);
    FUZZ_CHECK(remaining == storedSize - fetched);
    seed = seed * 1103515245u + 12345u;
    const std::uint32_t cap = 1 + ((seed >> 16) % 24);
    const std::uint32_t n = cap < remaining ? cap : remaining;
    bytes = data + fetched;
    fetched += n;
    return n;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::uint32_t expanded = static_cast<std::uint32_t>(data[0]) | (data[1] << 8) |
                                 (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
  const std::uint8_t* stream = data + 5;
  const std::uint32_t available = static_cast<std::uint32_t>(size - 5);
  const std::uint32_t storedSize = available - std::min<std::uint32_t>(data[4], available);
  const bool tooLarge = expanded >= 0x80000000u;

  std::vector<std::uint8_t> padded;
  bool paddedDone = false;
  if (tooLarge || expanded <= kMaxPaddedSize) {
    auto state = std::make_unique<DecoderState>();
    CheckedSource source{stream, storedSize};
    VectorSink sink;
    const DecodeOutcome outcome = DecodeEntryWith(*state, source, sink, expanded, storedSize);
    FUZZ_CHECK(outcome.end == DecodeEnd::kComplete);
    if (tooLarge) {
      FUZZ_CHECK(outcome.produced == 0 && sink.out.empty() && source.fetched == 0);
    } else {
      FUZZ_CHECK(sink.out.size() == expanded);
      FUZZ_CHECK(outcome.produced >= expanded && outcome.produced <= std::int64_t{expanded} + 29);
    }
    padded = std::move(sink.out);
    paddedDone = true;
  }

  auto state = std::make_unique<DecoderState>();
  CheckedSource source{stream, storedSize};
  VectorSink sink;
  const DecodeOutcome outcome =
      DecodeEntryWith<DecodeMode::kStopAtStreamEnd>(*state, source, sink, expanded, storedSize);
  if (tooLarge) {
    FUZZ_CHECK(outcome.produced == 0 && sink.out.empty() && source.fetched == 0);
    return 0;
  }
  FUZZ_CHECK(static_cast<std::int64_t>(sink.out.size()) ==
             std::min<std::int64_t>(outcome.produced, expanded));
  if (outcome.end == DecodeEnd::kComplete) FUZZ_CHECK(sink.out.size() == expanded);
  if (outcome.end == DecodeEnd::kStreamExhausted)
    FUZZ_CHECK(outcome.bitsConsumed > std::uint64_t{storedSize} * 8u);
  FUZZ_CHECK(outcome.end != DecodeEnd::kSinkFailed);
  if (paddedDone) FUZZ_CHECK(std::equal(sink.out.begin(), sink.out.end(), padded.begin()));

  auto runState = std::make_unique<DecoderState>();
  CheckedRunSource runs{stream, storedSize, data[0]};
  VectorSink runSink;
  const DecodeOutcome runOutcome =
      DecodeEntryWith<DecodeMode::kStopAtStreamEnd>(*runState, runs, runSink, expanded, storedSize);
  FUZZ_CHECK(runSink.out == sink.out);
  FUZZ_CHECK(runOutcome.end == outcome.end && runOutcome.bitsConsumed == outcome.bitsConsumed);
  return 0;
}
