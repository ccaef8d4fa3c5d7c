// SHA-256 (FIPS 180-4) of a byte string: the InstallerSha256 of the winget
// manifest, and the digest of each decoded entry (test --json, diff), fed
// piece by piece as the decoder hands the bytes over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace commands {

class Sha256 {
 public:
  Sha256();
  void Update(const std::uint8_t* data, std::size_t size);
  // The digest as 64 lower-case hexadecimal digits (as sha256sum prints
  // it); the hasher is spent afterwards.
  std::string FinishHex();

 private:
  std::uint32_t state_[8];
  std::uint8_t block_[64];
  std::size_t blockFill_ = 0;
  std::uint64_t length_ = 0;  // bytes so far
};

// The digest as 64 upper-case hexadecimal digits.
std::string Sha256Hex(const std::vector<std::uint8_t>& bytes);

}  // namespace commands
