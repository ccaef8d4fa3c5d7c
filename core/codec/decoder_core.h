// The decoder of compressed entries, free of any file API: it takes stored
// bytes from a Source and hands decoded bytes to a Sink, so the installer can
// decode through its buffered file streams and the tool into memory or a
// checksum.
//
// Format: LZSS over a 4096-byte ring whose positions 0-4065 start as spaces
// (the first decoded byte goes to 4066), with literals and match lengths
// coded by the adaptive tree of adaptive_model.h and match offsets by the
// fixed code of offset_code.h. Bits are taken most significant first; every
// bit beyond the entry's stored size reads as 0. There is no size field and
// no end marker: decoding stops once the expanded size is reached.
//
//   Source: std::uint8_t Fetch(std::uint32_t remaining)
//           the next stored byte; `remaining` counts the stored bytes still
//           to be fetched, this one included (at least 1). Called at most
//           storedSize times, so nothing beyond the entry is ever asked for.
//   Sink:   void Put(std::uint8_t byte)
//           one decoded byte; called exactly min(expandedSize, produced)
//           times: the surplus of a final match never reaches the sink.
//           With DecodeMode::kStopAtStreamEnd also
//           bool Failed() const
//           true once the sink cannot take more; asked after every item.
//
// Whatever the bytes and sizes, decoding ends after at most expandedSize
// items (every item produces at least one byte), and the count of produced
// bytes is 64-bit, so no size can make it wrap.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/codec/adaptive_model.h"
#include "core/codec/offset_code.h"

namespace codec {

// What survives from one entry to the next: the model is rebuilt for every
// entry, but ring positions 4066-4095 are not preset and keep what the last
// entry left there (zero before the first).
struct DecoderState {
  AdaptiveModel model;
  std::uint8_t ringBuffer[kRingSize];
};

// What the decoder does when the stored bytes run out before the expanded
// size is reached.
enum class DecodeMode {
  // The installer's: every bit beyond the stored size reads as 0 and
  // decoding goes on up to the expanded size.
  kPadWithZeroBits,
  // The tool's: the entry ends before the first item that needs a bit beyond
  // the stored size (nothing decoded from made-up bits reaches the sink), or
  // as soon as the sink reports that it failed.
  kStopAtStreamEnd,
};

// Why decoding ended.
enum class DecodeEnd {
  kComplete,         // the expanded size was reached
  kStreamExhausted,  // kStopAtStreamEnd only: the stored bytes ran out first
  kSinkFailed,       // kStopAtStreamEnd only: the sink reported a failure
};

// How one entry went.
struct DecodeOutcome {
  // Bytes produced; up to 29 more than the expanded size when a final match
  // runs past it (so up to 2^31 + 28: more than a signed 32-bit count holds).
  std::int64_t produced;
  // Stream bits the decoder used, zero bits beyond the stored size included:
  // more than 8 x storedSize means the stream ran out early.
  std::uint64_t bitsConsumed;
  DecodeEnd end;
};

// The most bytes one stored byte can decode to, when no bit beyond the
// stored size is used (the tool's mode). Every item costs a symbol code of
// at least 1 bit (the root of a 284-leaf tree has no leaf at depth 0); a
// literal gives 1 byte, a match at most kMaxMatchLength bytes and also costs
// an offset code of at least OffsetCodeBits(0) = 9 bits. So the best case is
// a 30-byte match for 1 + 9 bits: 3 bytes per bit, 24 per stored byte. A
// stored entry copies 1 byte per byte. The encoder gets close on long runs
// of one byte (a length-30 match at offset 0 soon has a 1-bit code).
constexpr unsigned kShortestItemBits = 1;
constexpr unsigned kLargestExpansion =
    8 * kMaxMatchLength / (kShortestItemBits + OffsetCodeBits(0));
static_assert(8 * kMaxMatchLength % (kShortestItemBits + OffsetCodeBits(0)) == 0,
              "a fraction of a byte per stored byte would round down: the bound would not hold");
static_assert(kLargestExpansion == 24 && kLargestExpansion >= 8 / kShortestItemBits,
              "a literal (8 bits per byte at best) never yields more than the longest match");

// Stream bits, most significant first, held left-aligned in 64 bits. Bytes
// are fetched up to seven ahead of use; that never reaches past the stored
// size, which only changes when the source is asked, not what it is asked.
template <class Source>
class BitInput {
 public:
  BitInput(Source& source, std::uint32_t storedSize)
      : source_(source), storedSize_(storedSize), remaining_(storedSize) {}

  unsigned ReadBit() {
    if (count_ == 0) Refill();
    const unsigned bit = static_cast<unsigned>(bits_ >> 63);
    bits_ <<= 1;
    --count_;
    return bit;
  }

  unsigned ReadBits8() {
    if (count_ < 8) Refill();
    const unsigned byte = static_cast<unsigned>(bits_ >> 56);
    bits_ <<= 8;
    count_ -= 8;
    return byte;
  }

  // Up to 57 bits, left-aligned, without taking them.
  std::uint64_t Peek() {
    if (count_ < 32) Refill();
    return bits_;
  }
  void Skip(unsigned n) {  // n <= 32, after Peek
    bits_ <<= n;
    count_ -= n;
  }

  std::uint64_t BitsConsumed() const {
    return (static_cast<std::uint64_t>(storedSize_ - remaining_) * 8u) + padding_ - count_;
  }

  // True once a bit beyond the stored size has been taken: the zero bits
  // supplied so far outnumber those still held.
  bool Overran() const { return padding_ > count_; }

 private:
  void Refill() {
    while (count_ <= 56) {
      if (remaining_ == 0) {
        // The stream has ended: what follows is zero bits, and bits_ already
        // holds zeros below its valid bits.
        padding_ += 64 - count_;
        count_ = 64;
        return;
      }
      bits_ |= static_cast<std::uint64_t>(source_.Fetch(remaining_)) << (56 - count_);
      --remaining_;
      count_ += 8;
    }
  }

  Source& source_;
  std::uint64_t bits_ = 0;
  unsigned count_ = 0;  // valid bits in bits_
  const std::uint32_t storedSize_;
  std::uint32_t remaining_;     // stored bytes not yet fetched
  std::uint64_t padding_ = 0;   // zero bits supplied beyond the stored size
};

// Walks from the root to a leaf, one stream bit per level, and counts the
// symbol found.
template <class Source>
inline unsigned DecodeSymbol(AdaptiveModel& model, BitInput<Source>& input) {
  const std::uint16_t* const child = model.nodeChild;
  unsigned c = child[kRootNode];
  // The tree keeps the sibling order, so it is a Huffman tree of counts that
  // sum to at most 32768: no code is longer than 23 bits, and Peek holds 32.
  std::uint64_t bits = input.Peek();
  unsigned used = 0;
  while (c < kNodeCount) {
    c = child[c + static_cast<unsigned>(bits >> 63)];
    bits <<= 1;
    ++used;
  }
  input.Skip(used);
  const unsigned symbol = c - kNodeCount;
  UpdateModel(model, symbol);
  return symbol;
}

// A match offset p (0-4095): a prefix code for the upper 6 bits, then the
// lower 6 bits.
template <class Source>
inline unsigned DecodeMatchOffset(BitInput<Source>& input) {
  const std::uint64_t bits = input.Peek();
  const unsigned index = static_cast<unsigned>(bits >> 56);
  const unsigned length = kOffsetCodeLength[index] + 6u;
  input.Skip(length);
  const unsigned lower = static_cast<unsigned>(bits >> (64 - length)) & 63u;
  return (static_cast<unsigned>(kOffsetUpperBits[index]) << 6) | lower;
}

// Decodes one entry of `storedSize` stream bytes into `expandedSize` bytes.
// The expanded size is compared as a signed 32-bit number, so one of 2^31 or
// more produces nothing. Allocates nothing.
template <DecodeMode Mode = DecodeMode::kPadWithZeroBits, class Source, class Sink>
DecodeOutcome DecodeEntryWith(DecoderState& state, Source& source, Sink& sink,
                              std::uint32_t expandedSize, std::uint32_t storedSize) {
  const std::int32_t expanded = static_cast<std::int32_t>(expandedSize);
  if (expanded <= 0) return {0, 0, DecodeEnd::kComplete};

  AdaptiveModel& model = state.model;
  std::uint8_t* const ring = state.ringBuffer;
  InitModel(model);
  std::memset(ring, ' ', kRingPreset);
  unsigned next = kRingPreset;  // the ring position the next byte goes to
  std::int64_t produced = 0;
  BitInput<Source> input(source, storedSize);
  constexpr bool kBounded = Mode == DecodeMode::kStopAtStreamEnd;

  while (produced < expanded) {
    const unsigned symbol = DecodeSymbol(model, input);
    if constexpr (kBounded) {
      if (input.Overran()) return {produced, input.BitsConsumed(), DecodeEnd::kStreamExhausted};
    }
    if (symbol < kLiteralCount) {
      const std::uint8_t byte = static_cast<std::uint8_t>(symbol);
      sink.Put(byte);
      ring[next] = byte;
      next = (next + 1) & (kRingSize - 1);
      ++produced;
    } else {
      const unsigned offset = DecodeMatchOffset(input);
      if constexpr (kBounded) {
        if (input.Overran()) return {produced, input.BitsConsumed(), DecodeEnd::kStreamExhausted};
      }
      const unsigned length = MatchLengthOf(symbol);
      // Bytes are copied one at a time, each stored before the next is read,
      // so a match may repeat the bytes it produces (offset 0 repeats the last).
      unsigned from = (next - offset - 1) & (kRingSize - 1);
      const std::int64_t left = expanded - produced;
      const unsigned emitted = left < length ? static_cast<unsigned>(left) : length;
      for (unsigned copied = 0; copied < length; ++copied) {
        const std::uint8_t byte = ring[from];
        if (copied < emitted) sink.Put(byte);
        ring[next] = byte;
        next = (next + 1) & (kRingSize - 1);
        from = (from + 1) & (kRingSize - 1);
      }
      produced += length;
    }
    if constexpr (kBounded) {
      if (sink.Failed()) return {produced, input.BitsConsumed(), DecodeEnd::kSinkFailed};
    }
  }
  return {produced, input.BitsConsumed(), DecodeEnd::kComplete};
}

}  // namespace codec
