// The plain bit-at-a-time decoder (see baseline_decoder.h).
#include "baseline_decoder.h"

namespace samples::baseline {

std::uint16_t freq[568];
std::uint16_t son[567];
std::uint16_t prnt[851];

namespace {

constexpr unsigned N = 4096, F = 30, T = 567, R = 566, NCHAR = 284;

std::uint8_t ring[N];
std::uint8_t upperBits[256];
std::uint8_t codeLength[256];

const std::uint8_t* input;
std::uint32_t inputLeft;
unsigned bitBuffer;
unsigned bitCount;

void MakeTables() {
  // Prefix length 3 for 32 indices per value, 4 for 16, ... 8 for 1.
  const unsigned counts[6] = {1, 3, 8, 12, 24, 16};
  unsigned index = 0, value = 0;
  for (unsigned row = 0; row < 6; ++row)
    for (unsigned v = 0; v < counts[row]; ++v, ++value)
      for (unsigned n = 0; n < (32u >> row); ++n, ++index) {
        upperBits[index] = static_cast<std::uint8_t>(value);
        codeLength[index] = static_cast<std::uint8_t>(3 + row);
      }
}

unsigned NextByte() {
  if (inputLeft == 0) return 0;
  --inputLeft;
  return *input++;
}

unsigned GetBit() {
  while (bitCount <= 8) {
    bitBuffer |= NextByte() << (8 - bitCount);
    bitCount += 8;
  }
  const unsigned bit = (bitBuffer >> 15) & 1;
  bitBuffer = (bitBuffer << 1) & 0xFFFF;
  --bitCount;
  return bit;
}

unsigned GetByte() {
  while (bitCount <= 8) {
    bitBuffer |= NextByte() << (8 - bitCount);
    bitCount += 8;
  }
  const unsigned byte = (bitBuffer >> 8) & 0xFF;
  bitBuffer = (bitBuffer << 8) & 0xFFFF;
  bitCount -= 8;
  return byte;
}

void Rebuild() {
  unsigned j = 0;
  for (unsigned i = 0; i < T; ++i) {
    if (son[i] >= T) {
      freq[j] = static_cast<std::uint16_t>((freq[i] + 1) / 2);
      son[j] = son[i];
      ++j;
    }
  }
  for (unsigned i = 0, k = NCHAR; k < T; i += 2, ++k) {
    const unsigned f = freq[i] + freq[i + 1];
    freq[k] = static_cast<std::uint16_t>(f);
    int l = static_cast<int>(k) - 1;
    while (f < freq[l]) --l;
    ++l;
    for (int m = static_cast<int>(k); m > l; --m) {
      freq[m] = freq[m - 1];
      son[m] = son[m - 1];
    }
    freq[l] = static_cast<std::uint16_t>(f);
    son[l] = static_cast<std::uint16_t>(i);
  }
  for (unsigned i = 0; i < T; ++i) {
    const unsigned k = son[i];
    if (k >= T) {
      prnt[k] = static_cast<std::uint16_t>(i);
    } else {
      prnt[k] = prnt[k + 1] = static_cast<std::uint16_t>(i);
    }
  }
}

unsigned DecodeChar() {
  unsigned c = son[R];
  while (c < T) c = son[c + GetBit()];
  c -= T;
  Update(c);
  return c;
}

unsigned DecodePosition() {
  unsigned i = GetByte();
  const unsigned upper = upperBits[i];
  unsigned n = codeLength[i] - 2u;
  while (n--) i = (i << 1) + GetBit();
  return (upper << 6) | (i & 0x3F);
}

}  // namespace

void StartModel() {
  for (unsigned i = 0; i < NCHAR; ++i) {
    freq[i] = 1;
    son[i] = static_cast<std::uint16_t>(i + T);
    prnt[i + T] = static_cast<std::uint16_t>(i);
  }
  for (unsigned i = 0, j = NCHAR; j <= R; i += 2, ++j) {
    freq[j] = static_cast<std::uint16_t>(freq[i] + freq[i + 1]);
    son[j] = static_cast<std::uint16_t>(i);
    prnt[i] = prnt[i + 1] = static_cast<std::uint16_t>(j);
  }
  freq[T] = 0xFFFF;
  prnt[R] = 0;
}

void Update(unsigned symbol) {
  if (freq[R] == 0x8000) Rebuild();
  unsigned c = prnt[symbol + T];
  do {
    const unsigned k = ++freq[c];
    unsigned l = c + 1;
    if (k > freq[l]) {
      while (k > freq[++l]) {
      }
      --l;
      freq[c] = freq[l];
      freq[l] = static_cast<std::uint16_t>(k);
      const unsigned i = son[c];
      prnt[i] = static_cast<std::uint16_t>(l);
      if (i < T) prnt[i + 1] = static_cast<std::uint16_t>(l);
      const unsigned j = son[l];
      son[l] = static_cast<std::uint16_t>(i);
      prnt[j] = static_cast<std::uint16_t>(c);
      if (j < T) prnt[j + 1] = static_cast<std::uint16_t>(c);
      son[c] = static_cast<std::uint16_t>(j);
      c = l;
    }
  } while ((c = prnt[c]) != 0);
}

std::int32_t Decode(const std::uint8_t* stored, std::uint32_t storedSize, std::uint8_t* out,
                    std::uint32_t expandedSize, std::vector<std::uint16_t>* symbols) {
  MakeTables();
  input = stored;
  inputLeft = storedSize;
  bitBuffer = 0;
  bitCount = 0;
  const std::int32_t total = static_cast<std::int32_t>(expandedSize);
  if (total == 0) return 0;
  StartModel();
  for (unsigned i = 0; i < N - F; ++i) ring[i] = ' ';
  unsigned r = N - F;
  std::int32_t count = 0;
  while (count < total) {
    const unsigned c = DecodeChar();
    if (symbols) symbols->push_back(static_cast<std::uint16_t>(c));
    if (c < 256) {
      out[count] = static_cast<std::uint8_t>(c);
      ring[r++] = static_cast<std::uint8_t>(c);
      r &= N - 1;
      ++count;
    } else {
      const unsigned start = (r - DecodePosition() - 1) & (N - 1);
      const unsigned length = c - 253;
      for (unsigned k = 0; k < length; ++k) {
        const std::uint8_t b = ring[(start + k) & (N - 1)];
        out[count + static_cast<std::int32_t>(k)] = b;
        ring[r++] = b;
        r &= N - 1;
      }
      count += static_cast<std::int32_t>(length);
    }
  }
  return count;
}

}  // namespace samples::baseline
