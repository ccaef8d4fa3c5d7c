// The encoder on arbitrary data: its stream decodes, stopping at the stream's
// end, completely to the data within its own bits. Input: a byte choosing
// the level (modulo 3: greedy, lazy, best), then the data.
#include <cstdint>
#include <memory>
#include <vector>

#include "core/codec/entry_encoder.h"
#include "core/codec/memory_streams.h"
#include "fuzz_check.h"

using namespace codec;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t inputSize) {
  if (inputSize < 2) return 0;
  static const CompressionLevel kLevels[] = {CompressionLevel::kGreedy, CompressionLevel::kLazy,
                                             CompressionLevel::kBest};
  const CompressionLevel level = kLevels[input[0] % 3];
  const std::uint8_t* data = input + 1;
  const std::size_t size = inputSize - 1;
  const std::vector<std::uint8_t> stream = CompressEntry(data, size, level);
  const std::uint32_t storedSize = static_cast<std::uint32_t>(stream.size());
  auto state = std::make_unique<DecoderState>();
  MemoryStoredSource source{stream.data(), stream.size()};
  VectorSink sink;
  const DecodeOutcome outcome = DecodeEntryWith<DecodeMode::kStopAtStreamEnd>(
      *state, source, sink, static_cast<std::uint32_t>(size), storedSize);
  FUZZ_CHECK(outcome.end == DecodeEnd::kComplete);
  FUZZ_CHECK(outcome.bitsConsumed <= std::uint64_t{storedSize} * 8u);
  FUZZ_CHECK(sink.out == std::vector<std::uint8_t>(data, data + size));
  return 0;
}
