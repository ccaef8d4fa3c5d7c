// A plain decoder of the entry format, one stream bit at a time, written
// straight from the algorithm with linear scans and per-byte fetches: the
// yardstick that the real decoder (core/codec/decoder_core.h) is measured
// against, and an independent second reading of the format for tests.
#pragma once

#include <cstdint>
#include <vector>

namespace samples::baseline {

// The model's arrays, exposed so that tests can compare trees.
extern std::uint16_t freq[568];
extern std::uint16_t son[567];
extern std::uint16_t prnt[851];

void StartModel();
void Update(unsigned symbol);  // rebuilds first at a root count of 0x8000

// Decodes `storedSize` stream bytes at `stored` into `expandedSize` bytes at
// `out`, which has room for expandedSize + 29. Returns the bytes produced.
// With `symbols`, each decoded symbol is appended there as well.
std::int32_t Decode(const std::uint8_t* stored, std::uint32_t storedSize, std::uint8_t* out,
                    std::uint32_t expandedSize, std::vector<std::uint16_t>* symbols = nullptr);

}  // namespace samples::baseline
