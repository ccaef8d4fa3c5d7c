// The plain decoder as a whole program, the yardstick of the end-to-end
// figure: one stream bit per tree level, the stream read with getc and the
// output written with putc through the C runtime's own buffers, the plain
// model of samples/baseline_decoder and a 4096-byte ring.
//
//   plain_decoder STREAM OUTPUT EXPANDED_SIZE
//
// Decodes one entry whose compressed stream is the whole file STREAM into
// EXPANDED_SIZE bytes in OUTPUT (bits beyond the file read as 0). Exit
// status 0, or 1 with one line on standard error.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "baseline_decoder.h"
#include "core/codec/offset_code.h"

namespace {

namespace baseline = samples::baseline;

constexpr unsigned kRing = 4096, kTail = 30, kNodes = 567, kRoot = 566;

std::FILE* input;
unsigned bitBuffer;  // the next bits, most significant first
unsigned bitCount;

unsigned GetBit() {
  if (bitCount == 0) {
    const int byte = std::getc(input);
    bitBuffer = byte == EOF ? 0u : static_cast<unsigned>(byte);
    bitCount = 8;
  }
  --bitCount;
  return (bitBuffer >> bitCount) & 1u;
}

unsigned GetBits(unsigned n) {
  unsigned value = 0;
  while (n-- > 0) value = (value << 1) | GetBit();
  return value;
}

int Fail(const char* file, const char* what) {
  std::fprintf(stderr, "plain_decoder: %s: %s\n", file, what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return Fail("usage", "plain_decoder STREAM OUTPUT EXPANDED_SIZE");
  char* end = nullptr;
  errno = 0;
  const unsigned long expanded = std::strtoul(argv[3], &end, 10);
  if (errno != 0 || *end != '\0' || expanded >= 0x80000000ul) return Fail(argv[3], "not a size below 2^31");
  input = std::fopen(argv[1], "rb");
  if (input == nullptr) return Fail(argv[1], std::strerror(errno));
  std::FILE* output = std::fopen(argv[2], "wb");
  if (output == nullptr) return Fail(argv[2], std::strerror(errno));

  static std::uint8_t ring[kRing];
  std::memset(ring, ' ', kRing - kTail);
  unsigned r = kRing - kTail;
  baseline::StartModel();
  unsigned long produced = 0;
  while (produced < expanded) {
    unsigned c = baseline::son[kRoot];
    while (c < kNodes) c = baseline::son[c + GetBit()];
    c -= kNodes;
    baseline::Update(c);
    if (c < 256) {
      std::putc(static_cast<int>(c), output);
      ring[r] = static_cast<std::uint8_t>(c);
      r = (r + 1) & (kRing - 1);
      ++produced;
      continue;
    }
    // The offset: 8 bits index the prefix tables, then the rest one by one.
    unsigned index = GetBits(8);
    const unsigned upper = codec::kOffsetUpperBits[index];
    index = (index << (codec::kOffsetCodeLength[index] - 2u)) | GetBits(codec::kOffsetCodeLength[index] - 2u);
    unsigned from = (r - ((upper << 6) | (index & 63u)) - 1) & (kRing - 1);
    for (unsigned k = 0, length = c - 253; k < length; ++k) {
      const std::uint8_t b = ring[from];
      if (produced < expanded) std::putc(b, output);
      ring[r] = b;
      r = (r + 1) & (kRing - 1);
      from = (from + 1) & (kRing - 1);
      ++produced;
    }
  }
  std::fclose(input);
  if (std::fclose(output) != 0) return Fail(argv[2], "write failed");
  return 0;
}
