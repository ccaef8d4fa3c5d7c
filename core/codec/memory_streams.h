// Sources and sinks of the decoder core for decoding without files: stored
// bytes from memory, decoded bytes into a caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/codec/decoder_core.h"

namespace codec {

// An entry's stored bytes in memory as the decoder's sequential source.
// `available` may be less than the entry's stored size (an image cut
// short): bytes beyond it read as 0.
struct MemoryStoredSource {
  const std::uint8_t* data;
  std::size_t available;
  std::size_t position = 0;

  std::uint8_t Fetch(std::uint32_t /*remaining*/) {
    const std::uint8_t byte = position < available ? data[position] : 0;
    ++position;
    return byte;
  }
  std::size_t FetchRun(const std::uint8_t*& bytes, std::uint32_t remaining) {
    static const std::uint8_t kZeros[64] = {};
    if (position < available) {
      const std::size_t left = available - position;
      const std::size_t n = left < remaining ? left : remaining;
      bytes = data + position;
      position += n;
      return n;
    }
    const std::size_t n = remaining < sizeof kZeros ? remaining : sizeof kZeros;
    bytes = kZeros;
    position += n;
    return n;
  }
};

// Decoded bytes into a buffer that holds the whole expanded size.
struct BufferSink {
  std::uint8_t* out;
  void Write(const std::uint8_t* bytes, std::size_t count) {
    std::memcpy(out, bytes, count);
    out += count;
  }
};

// Decodes an entry whose stored bytes are in memory into `out`, which has
// room for `expandedSize` bytes.
inline DecodeOutcome DecodeToBuffer(DecoderState& state, const std::uint8_t* stored,
                                    std::size_t available, std::uint32_t storedSize,
                                    std::uint32_t expandedSize, std::uint8_t* out) {
  MemoryStoredSource source{stored, available};
  BufferSink sink{out};
  return DecodeEntryWith(state, source, sink, expandedSize, storedSize);
}

}  // namespace codec
