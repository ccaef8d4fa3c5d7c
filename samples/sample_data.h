// Deterministic sample files for benchmarks and tests: data shaped like
// what screen saver installers carry (a 32-bit Windows executable, text,
// PCM sound), made in code so every run sees the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace samples {

// x86 code in functions with prologues and calls, import names, relocation
// tables, zero padding and UTF-16 resource strings.
std::vector<std::uint8_t> MakeExecutableLike(std::size_t size, std::uint32_t seed);

// English-like prose: words of skewed frequency in sentences and paragraphs.
std::vector<std::uint8_t> MakeTextLike(std::size_t size, std::uint32_t seed);

// A RIFF WAVE file of 16-bit stereo PCM: mixed tones with a little noise.
std::vector<std::uint8_t> MakeWaveLike(std::size_t size, std::uint32_t seed);

// The three above, one after another, `size` bytes in all.
std::vector<std::uint8_t> MakeMixedSample(std::size_t size, std::uint32_t seed);

// Bytes from a small deterministic generator (xorshift32).
class SampleRandom {
 public:
  explicit SampleRandom(std::uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  std::uint32_t Below(std::uint32_t n) { return Next() % n; }

 private:
  std::uint32_t state_;
};

// Bytes without structure (the low byte of each SampleRandom number): data
// the encoder cannot shrink, or a stream the decoder must survive.
inline std::vector<std::uint8_t> MakeNoise(std::size_t size, std::uint32_t seed) {
  SampleRandom random(seed);
  std::vector<std::uint8_t> out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(random.Next());
  return out;
}

}  // namespace samples
