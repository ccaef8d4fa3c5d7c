// The entry decoder on arbitrary streams and sizes, in both modes and from a
// source of runs (what must hold: README.md). Input: the expanded size (u32,
// little-endian), a byte that shortens the stored size, then the stream.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/codec/decoder_core.h"
#include "fuzz_check.h"

using namespace codec;

namespace {

// Padding decodes every byte of the expanded size: bounded to keep runs short.
constexpr std::uint32_t kMaxPaddedSize = 1u << 16;

// Hands out only stored bytes, each once, and checks they are counted down to 1.
struct CheckedSource {
  const std::uint8_t* data;
  std::uint32_t storedSize;
  std::uint32_t fetched = 0;
  void Check(std::uint32_t remaining) const {
    FUZZ_CHECK(fetched < storedSize);
    FUZZ_CHECK(remaining == storedSize - fetched);
  }
  std::uint8_t Fetch(std::uint32_t remaining) {
    Check(remaining);
    return data[fetched++];
  }
};

// The same bytes in runs of sizes the seed picks: the bit reader's path for runs.
struct CheckedRunSource : CheckedSource {
  unsigned seed;
  std::size_t FetchRun(const std::uint8_t*& bytes, std::uint32_t remaining) {
    Check(remaining);
    seed = seed * 1103515245u + 12345u;
    const std::uint32_t n = std::min<std::uint32_t>(1 + ((seed >> 16) % 24), remaining);
    bytes = data + fetched;
    fetched += n;
    return n;
  }
};

struct Run {
  DecodeOutcome outcome;
  std::vector<std::uint8_t> out;
  std::uint32_t fetched;
};

template <DecodeMode Mode, class Source>
Run Decode(Source source, std::uint32_t expanded) {
  auto state = std::make_unique<DecoderState>();
  VectorSink sink;
  const DecodeOutcome outcome = DecodeEntryWith<Mode>(*state, source, sink, expanded, source.storedSize);
  return {outcome, std::move(sink.out), source.fetched};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::uint32_t expanded = static_cast<std::uint32_t>(data[0]) | (data[1] << 8) |
                                 (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
  const std::uint32_t available = static_cast<std::uint32_t>(size - 5);
  const CheckedSource source{data + 5, available - std::min<std::uint32_t>(data[4], available)};
  const Run stop = Decode<DecodeMode::kStopAtStreamEnd>(source, expanded);
  const std::uint64_t storedBits = std::uint64_t{source.storedSize} * 8u;

  if (expanded >= 0x80000000u) {  // too large: nothing asked for nor made, in either mode
    const Run padded = Decode<DecodeMode::kPadWithZeroBits>(source, expanded);
    FUZZ_CHECK(padded.outcome.end == DecodeEnd::kComplete);
    for (const Run* run : {&padded, &stop})
      FUZZ_CHECK(run->outcome.produced == 0 && run->out.empty() && run->fetched == 0);
    return 0;
  }
  FUZZ_CHECK(static_cast<std::int64_t>(stop.out.size()) == std::min<std::int64_t>(stop.outcome.produced, expanded));
  if (stop.outcome.end == DecodeEnd::kComplete) FUZZ_CHECK(stop.out.size() == expanded);
  if (stop.outcome.end == DecodeEnd::kStreamExhausted) FUZZ_CHECK(stop.outcome.bitsConsumed > storedBits);
  FUZZ_CHECK(stop.outcome.end != DecodeEnd::kSinkFailed);

  if (expanded <= kMaxPaddedSize) {  // zero bits give exactly the size, at most 29 bytes more made
    const Run padded = Decode<DecodeMode::kPadWithZeroBits>(source, expanded);
    FUZZ_CHECK(padded.outcome.end == DecodeEnd::kComplete && padded.out.size() == expanded);
    FUZZ_CHECK(padded.outcome.produced >= expanded && padded.outcome.produced <= std::int64_t{expanded} + 29);
    FUZZ_CHECK(std::equal(stop.out.begin(), stop.out.end(), padded.out.begin()));
  }

  const Run runs = Decode<DecodeMode::kStopAtStreamEnd>(CheckedRunSource{source, data[0]}, expanded);
  FUZZ_CHECK(runs.out == stop.out);
  FUZZ_CHECK(runs.outcome.end == stop.outcome.end && runs.outcome.bitsConsumed == stop.outcome.bitsConsumed);
  return 0;
}
