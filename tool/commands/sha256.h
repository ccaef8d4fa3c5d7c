// SHA-256 (FIPS 180-4) of a byte string, for the InstallerSha256 of the
// winget manifest, and of data fed in pieces (files of any size).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace commands {

// The digest as 64 upper-case hexadecimal digits.
std::string Sha256Hex(const std::vector<std::uint8_t>& bytes);

// The same digest of bytes given in any number of pieces.
class Sha256 {
 public:
  void Update(const std::uint8_t* data, std::size_t size);
  // The digest of everything given; the object is spent afterwards.
  std::string HexDigest();

 private:
  std::uint32_t state_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::uint8_t block_[64] = {};
  std::size_t filled_ = 0;     // bytes waiting in block_
  std::uint64_t length_ = 0;  // bytes given in all
};

}  // namespace commands
