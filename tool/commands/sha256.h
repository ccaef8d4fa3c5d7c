// SHA-256 (FIPS 180-4) of a byte string: the InstallerSha256 of the winget
// manifest, and the digest of each decoded entry (test --json, diff), fed
// piece by piece as the decoder hands the bytes over.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace commands {

// A digest as its eight 32-bit words (the digest's bytes, big-endian).
using Sha256Digest = std::array<std::uint32_t, 8>;

class Sha256 {
 public:
  Sha256();
  void Update(const std::uint8_t* data, std::size_t size);
  // The digest; the hasher is spent afterwards.
  Sha256Digest Finish();
  // The digest as 64 lower-case hexadecimal digits (as sha256sum prints
  // it); the hasher is spent afterwards.
  std::string FinishHex();

 private:
  std::uint32_t state_[8];
  std::uint8_t block_[64];
  std::size_t blockFill_ = 0;
  std::uint64_t length_ = 0;  // bytes so far
};

// 64 lower-case hexadecimal digits.
std::string HexOf(const Sha256Digest& digest);

// The digest as 64 upper-case hexadecimal digits.
std::string Sha256Hex(const std::vector<std::uint8_t>& bytes);

}  // namespace commands
