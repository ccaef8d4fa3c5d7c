// The decoder of compressed entries, free of any file API: it takes stored
// bytes from a Source and hands decoded bytes to a Sink in blocks, so the
// installer can decode through its buffered file streams and the tool into
// memory or a checksum.
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
//           or FetchRun (see HasFetchRun below), which hands out runs.
//   Sink:   void Write(const std::uint8_t* bytes, std::size_t count)
//           decoded bytes in order, count >= 1 and less than kWindowSize
//           + kMaxMatchLength;
//           min(expandedSize, produced) bytes in all: the surplus of a final
//           match never reaches the sink.
//           With DecodeMode::kStopAtStreamEnd also
//           bool Failed() const
//           true once the sink cannot take more; asked after every Write.
//
// Whatever the bytes and sizes, decoding ends after at most expandedSize
// items (every item produces at least one byte), and the count of produced
// bytes is 64-bit, so no size can make it wrap. The decoder never reads or
// writes outside its state, and never asks the source for more than
// storedSize bytes.
//
// Speed: the ring is not kept as such. Bytes are decoded into a window of
// 64 KiB behind 4 KiB of history (the ring's last 4096 bytes, in order), so
// a match is a plain copy from 1-4096 bytes back, 16 bytes at a time when it
// starts 16 or more back; the window goes to the sink when full and its last
// 4 KiB become the next history. The code tree is read through the
// first-level table of decoding_model.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/codec/adaptive_model.h"
#include "core/codec/decoding_model.h"
#include "core/codec/offset_code.h"

namespace codec {

constexpr unsigned kWindowSize = 1u << 16;  // decoded bytes handed to the sink at once
constexpr unsigned kCarriedBytes = kRingSize - kRingPreset;  // 30
// Room behind the window for the item that crosses its end: a match of 30
// copied 16 bytes at a time writes up to 32.
constexpr unsigned kWindowSlack = 32;

// The decoder's working memory (about 72 KB: the window, its history, the
// model and its table). What survives from one entry to the next: the
// model is rebuilt for every entry, but ring positions 4066-4095 are not
// preset and keep what the last entry left there (zero before the first).
struct DecoderState {
  DecodingModel model;
  std::uint8_t carried[kCarriedBytes];  // ring positions 4066-4095
  // History (the ring's 4096 positions in the order they were written),
  // then the window.
  std::uint8_t window[kRingSize + kWindowSize + kWindowSlack];
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

// Whether a Source also hands out its stored bytes a run at a time:
//   std::size_t FetchRun(const std::uint8_t*& bytes, std::uint32_t remaining)
//           the next n stored bytes (1 <= n <= remaining) at `bytes`, valid
//           until the next call; returns n. Taken as fetched, as n calls of
//           Fetch would be.
template <class Source, class = void>
struct HasFetchRun {
  static constexpr bool value = false;
};
template <class Source>
struct HasFetchRun<Source, decltype(void(std::declval<Source&>().FetchRun(
                               std::declval<const std::uint8_t*&>(), std::uint32_t{})))> {
  static constexpr bool value = true;
};

// Stream bits, most significant first, held left-aligned in 64 bits. Bytes
// are fetched up to seven ahead of use; that never reaches past the stored
// size, which only changes when the source is asked, not what it is asked.
// From a source that hands out runs, eight bytes are loaded at once while
// the run holds eight, without a branch on how many bits are held; the bits
// beyond the valid ones are then the next stream bits, which later loads OR
// in again at the same place.
template <class Source>
class BitInput {
 public:
  BitInput(Source& source, std::uint32_t storedSize)
      : source_(source), storedSize_(storedSize), remaining_(storedSize) {}

  // Up to 57 bits, left-aligned, without taking them.
  std::uint64_t Peek() {
    if constexpr (HasFetchRun<Source>::value) {
      if (__builtin_expect(runEnd_ - run_ >= 8, 1)) {
        std::uint64_t word;
        std::memcpy(&word, run_, sizeof word);
        bits_ |= FromBigEndian(word) >> count_;
        run_ += (63 - count_) >> 3;
        count_ |= 56;
        return bits_;
      }
    }
    if (count_ < 32) Refill();
    return bits_;
  }
  void Skip(unsigned n) {  // n <= 32, after Peek
    bits_ <<= n;
    count_ -= n;
  }

  std::uint64_t BitsConsumed() const {
    return (static_cast<std::uint64_t>(storedSize_ - Remaining()) * 8u) + padding_ - count_;
  }

  // True once a bit beyond the stored size has been taken: the zero bits
  // supplied so far outnumber those still held.
  bool Overran() const { return padding_ > count_; }

 private:
  static std::uint64_t FromBigEndian(std::uint64_t word) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return __builtin_bswap64(word);
#else
    return word;
#endif
  }

  // Stored bytes not yet taken into bits_.
  std::uint32_t Remaining() const {
    return remaining_ + static_cast<std::uint32_t>(runEnd_ - run_);
  }

  void Refill() {
    while (count_ <= 56) {
      std::uint8_t byte;
      if constexpr (HasFetchRun<Source>::value) {
        if (run_ == runEnd_) {
          if (remaining_ == 0) return Pad();
          const std::size_t n = source_.FetchRun(run_, remaining_);
          runEnd_ = run_ + n;
          remaining_ -= static_cast<std::uint32_t>(n);
        }
        byte = *run_++;
      } else {
        if (remaining_ == 0) return Pad();
        byte = source_.Fetch(remaining_);
        --remaining_;
      }
      bits_ |= static_cast<std::uint64_t>(byte) << (56 - count_);
      count_ += 8;
    }
  }

  // The stream has ended: what follows is zero bits, and bits_ already
  // holds zeros below its valid bits.
  void Pad() {
    padding_ += 64 - count_;
    count_ = 64;
  }

  Source& source_;
  std::uint64_t bits_ = 0;
  unsigned count_ = 0;  // valid bits in bits_
  const std::uint8_t* run_ = nullptr;     // bytes of the source's current run
  const std::uint8_t* runEnd_ = nullptr;  // not yet taken into bits_
  const std::uint32_t storedSize_;
  std::uint32_t remaining_;     // stored bytes the source has not handed out
  std::uint64_t padding_ = 0;   // zero bits supplied beyond the stored size
};

// Reads one symbol: the first 8 bits through the table, any more one per
// tree level from the node the table gives; then counts it.
template <class Source>
inline unsigned DecodeSymbol(DecodingModel& model, BitInput<Source>& input) {
  // The tree keeps the sibling order, so it is a Huffman tree of counts that
  // sum to at most 32768: no code is longer than 23 bits, and Peek holds 32.
  std::uint64_t bits = input.Peek();
  const unsigned entry = model.firstLevel[bits >> (64 - kTableBits)];
  const std::uint16_t* const child = model.tree.nodeChild;
  unsigned leaf = entry & kEntryNodeMask;
  unsigned used = entry >> kEntryDepthShift;
  unsigned c = child[leaf];
  if (__builtin_expect(c < kNodeCount, 0)) {
    bits <<= kTableBits;
    do {
      leaf = c + static_cast<unsigned>(bits >> 63);
      c = child[leaf];
      bits <<= 1;
      ++used;
    } while (c < kNodeCount);
  }
  input.Skip(used);
  const unsigned symbol = c - kNodeCount;
  UpdateDecodingModel(model, symbol, leaf, used);
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

// Where decoded bytes go: the window of a DecoderState, handed to the sink
// a window at a time. `next` is where the next byte goes; every byte of the
// entry before it in the window (and the history before that) is decoded.
template <class Sink>
class WindowOutput {
 public:
  WindowOutput(DecoderState& state, Sink& sink, std::int64_t expanded)
      : state_(state), sink_(sink), expanded_(expanded), start_(state.window + kRingSize) {
    // The ring as the entry finds it: positions 4066-4095 were written
    // longest ago, then come the spaces of 0-4065.
    std::memcpy(state.window, state.carried, kCarriedBytes);
    std::memset(state.window + kCarriedBytes, ' ', kRingPreset);
    next = start_;
  }

  // Where the current window must be handed on: its end, or the end of the
  // entry if that comes first.
  std::uint8_t* Limit() const {
    const std::int64_t left = expanded_ - flushed_;
    return start_ + (left < kWindowSize ? left : kWindowSize);
  }

  std::int64_t Produced() const { return flushed_ + (next - start_); }

  // Hands the window to the sink (never beyond the expanded size) and keeps
  // its last 4096 bytes as the history of the next one.
  void Flush() {
    const std::int64_t inWindow = next - start_;
    const std::int64_t left = expanded_ - flushed_;
    const std::size_t count = static_cast<std::size_t>(inWindow < left ? inWindow : left);
    if (count > 0) sink_.Write(start_, count);
    std::memmove(state_.window, next - kRingSize, kRingSize);
    flushed_ += inWindow;
    next = start_;
  }

  // Leaves in `carried` what ring positions 4066-4095 hold now: of the last
  // 4096 bytes (produced, then history), the one whose ring position that is.
  // Produced byte j went to position (4066 + j) mod 4096.
  void Carry() {
    const std::uint64_t produced = static_cast<std::uint64_t>(Produced());
    for (unsigned t = 0; t < kCarriedBytes; ++t) {
      const unsigned back = static_cast<unsigned>((produced - t - 1) & (kRingSize - 1)) + 1;
      state_.carried[t] = next[-static_cast<std::ptrdiff_t>(back)];
    }
  }

  std::uint8_t* next;

 private:
  DecoderState& state_;
  Sink& sink_;
  const std::int64_t expanded_;
  std::uint8_t* const start_;
  std::int64_t flushed_ = 0;  // bytes of the entry before start_
};

// Copies a match of `length` (3-30) bytes starting `distance` (1-4096) bytes
// back to `to`, byte by byte in effect: a match may repeat the bytes it
// produces. May write up to 32 bytes.
inline void CopyMatch(std::uint8_t* to, unsigned distance, unsigned length) {
  const std::uint8_t* from = to - distance;
  if (distance >= 16) {
    // Each 16 bytes read lie wholly before the 16 written.
    std::memcpy(to, from, 16);
    if (length > 16) std::memcpy(to + 16, from + 16, 16);
    return;
  }
  if (distance == 1) {  // a run of the last byte, common in padding
    std::memset(to, to[-1], length);
    return;
  }
  for (unsigned i = 0; i < length; ++i) to[i] = from[i];
}

// Decodes one entry of `storedSize` stream bytes into `expandedSize` bytes.
// The expanded size is compared as a signed 32-bit number, so one of 2^31 or
// more produces nothing. Allocates nothing.
template <DecodeMode Mode = DecodeMode::kPadWithZeroBits, class Source, class Sink>
DecodeOutcome DecodeEntryWith(DecoderState& state, Source& source, Sink& sink,
                              std::uint32_t expandedSize, std::uint32_t storedSize) {
  const std::int32_t expanded = static_cast<std::int32_t>(expandedSize);
  if (expanded <= 0) return {0, 0, DecodeEnd::kComplete};

  DecodingModel& model = state.model;
  InitDecodingModel(model);
  WindowOutput<Sink> output(state, sink, expanded);
  BitInput<Source> input(source, storedSize);
  constexpr bool kBounded = Mode == DecodeMode::kStopAtStreamEnd;
  const auto finish = [&](DecodeEnd end) -> DecodeOutcome {
    const std::int64_t produced = output.Produced();
    output.Flush();
    output.Carry();
    return {produced, input.BitsConsumed(), end};
  };
  // Carry reads the 4096 bytes before `next`; after Flush they are the
  // history, so it runs on the window as Flush leaves it.

  for (;;) {
    std::uint8_t* const limit = output.Limit();
    std::uint8_t* out = output.next;
    while (out < limit) {
      const unsigned symbol = DecodeSymbol(model, input);
      if constexpr (kBounded) {
        if (input.Overran()) {
          output.next = out;
          return finish(DecodeEnd::kStreamExhausted);
        }
      }
      if (symbol < kLiteralCount) {
        *out++ = static_cast<std::uint8_t>(symbol);
        continue;
      }
      const unsigned offset = DecodeMatchOffset(input);
      if constexpr (kBounded) {
        if (input.Overran()) {
          output.next = out;
          return finish(DecodeEnd::kStreamExhausted);
        }
      }
      const unsigned length = MatchLengthOf(symbol);
      CopyMatch(out, offset + 1, length);
      out += length;
    }
    output.next = out;
    if (output.Produced() >= expanded) return finish(DecodeEnd::kComplete);
    output.Flush();
    if constexpr (kBounded) {
      if (sink.Failed()) {
        output.Carry();
        return {output.Produced(), input.BitsConsumed(), DecodeEnd::kSinkFailed};
      }
    }
  }
}

}  // namespace codec
