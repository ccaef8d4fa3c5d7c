// SHA-256 (FIPS 180-4) of a byte string, for the InstallerSha256 of the
// winget manifest.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace commands {

// The digest as 64 upper-case hexadecimal digits.
std::string Sha256Hex(const std::vector<std::uint8_t>& bytes);

}  // namespace commands
