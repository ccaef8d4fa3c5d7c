// Writing a compressed entry item by item: literals and matches go through
// the adaptive model exactly as the decoder will read them. The parses of
// entry_encoder.cpp use it, and so can anything that needs a stream of a
// chosen shape.
#pragma once

#include <cstdint>
#include <vector>

#include "core/codec/bit_writer.h"
#include "core/codec/symbol_coder.h"
#include "core/codec/adaptive_model.h"
#include "core/codec/offset_code.h"

namespace codec {

class EntryStreamWriter {
 public:
  explicit EntryStreamWriter(std::vector<std::uint8_t>& out) : writer_(out) { InitModel(model_); }

  void Literal(std::uint8_t byte) { EncodeSymbol(model_, writer_, byte); }

  // A match of `length` bytes (3-30) copied from p + 1 bytes back (p 0-4095).
  void Match(unsigned length, unsigned p) {
    EncodeSymbol(model_, writer_, MatchSymbol(length));
    const OffsetCodeWord offset = EncodeOffset(p);
    writer_.Put(offset.bits, offset.length);
  }

  // Pads the last byte with zero bits.
  void Finish() { writer_.Finish(); }

  std::uint64_t BitsWritten() const { return writer_.BitsWritten(); }
  const AdaptiveModel& Model() const { return model_; }

 private:
  AdaptiveModel model_;
  BitWriter writer_;
};

}  // namespace codec
