// The time a packed image carries: the PE file header's TimeDateStamp. The
// packer keeps the stub's (0 for the project's own deterministic build)
// unless a build time is given, as SOURCE_DATE_EPOCH gives it, so that the
// same inputs always make the same bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace packer {

// Sets TimeDateStamp to `secondsSince1970` and recomputes the PE checksum.
// Returns false (image unchanged) when the headers cannot be found.
bool StampImageTime(std::vector<std::uint8_t>& image, std::uint32_t secondsSince1970);

// A SOURCE_DATE_EPOCH value: decimal seconds since 1970, 0 to 4294967295
// (the field is an unsigned 32-bit count). Empty when `text` is not one.
std::optional<std::uint32_t> ParseSourceDateEpoch(const std::string& text);

}  // namespace packer
