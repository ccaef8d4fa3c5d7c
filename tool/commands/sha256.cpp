// SHA-256 as FIPS 180-4 describes it: 64-byte blocks, the message padded
// with 0x80, zeros and its length in bits (big-endian u64).
#include "tool/commands/sha256.h"

#include <cstddef>

namespace commands {

namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t Rotr(std::uint32_t x, unsigned n) { return (x >> n) | (x << (32 - n)); }

void Compress(std::uint32_t (&state)[8], const std::uint8_t* block) {
  std::uint32_t w[64];
  for (unsigned t = 0; t < 16; ++t)
    w[t] = std::uint32_t{block[4 * t]} << 24 | std::uint32_t{block[4 * t + 1]} << 16 |
           std::uint32_t{block[4 * t + 2]} << 8 | block[4 * t + 3];
  for (unsigned t = 16; t < 64; ++t) {
    const std::uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
    const std::uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (unsigned t = 0; t < 64; ++t) {
    const std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
    const std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  const std::uint32_t result[8] = {a, b, c, d, e, f, g, h};
  for (unsigned i = 0; i < 8; ++i) state[i] += result[i];
}

}  // namespace

Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19},
      block_{} {}

void Sha256::Update(const std::uint8_t* data, std::size_t size) {
  length_ += size;
  while (size > 0) {
    if (blockFill_ == 0 && size >= 64) {
      Compress(state_, data);
      data += 64;
      size -= 64;
      continue;
    }
    const std::size_t take = size < 64 - blockFill_ ? size : 64 - blockFill_;
    for (std::size_t i = 0; i < take; ++i) block_[blockFill_ + i] = data[i];
    blockFill_ += take;
    data += take;
    size -= take;
    if (blockFill_ == 64) {
      Compress(state_, block_);
      blockFill_ = 0;
    }
  }
}

Sha256Digest Sha256::Finish() {
  const std::uint64_t bits = length_ * 8;
  // 0x80, zeros up to 8 bytes before a block's end (in a block of its own
  // when the tail leaves no room), and the length.
  block_[blockFill_++] = 0x80;
  if (blockFill_ > 56) {
    for (std::size_t i = blockFill_; i < 64; ++i) block_[i] = 0;
    Compress(state_, block_);
    blockFill_ = 0;
  }
  for (std::size_t i = blockFill_; i < 56; ++i) block_[i] = 0;
  for (int i = 0; i < 8; ++i) block_[56 + i] = static_cast<std::uint8_t>(bits >> (8 * (7 - i)));
  Compress(state_, block_);
  blockFill_ = 0;
  Sha256Digest digest;
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = state_[i];
  return digest;
}

std::string Sha256::FinishHex() { return HexOf(Finish()); }

std::string HexOf(const Sha256Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex(64, '0');
  std::size_t at = 0;
  for (std::uint32_t word : digest)
    for (int shift = 28; shift >= 0; shift -= 4) hex[at++] = kDigits[(word >> shift) & 0xF];
  return hex;
}

std::string Sha256Hex(const std::vector<std::uint8_t>& bytes) {
  Sha256 hasher;
  hasher.Update(bytes.data(), bytes.size());
  std::string hex = hasher.FinishHex();
  for (char& c : hex)
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  return hex;
}

}  // namespace commands
