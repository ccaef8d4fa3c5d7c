// Writing RIFF WAVE files of 16-bit mono PCM.
//
// Layout (all integers little-endian), 44 bytes of header then the samples:
//   "RIFF" u32 (file size - 8) "WAVE"
//   "fmt " u32 16  u16 1 (PCM) u16 1 (channels) u32 rate u32 rate*2 (bytes
//                  per second) u16 2 (bytes per frame) u16 16 (bits)
//   "data" u32 (sample bytes)  int16 samples
#pragma once

#include <cstdint>
#include <vector>

namespace media {

constexpr std::uint32_t kWaveHeaderSize = 44;

std::vector<std::uint8_t> MakeWaveFile(const std::vector<std::int16_t>& samples,
                                       std::uint32_t sampleRate);

}  // namespace media
