// RIFF WAVE files of 16-bit mono PCM.
#include "demo/media/wave_file.h"

namespace media {
namespace {

void Put16(std::vector<std::uint8_t>* out, std::uint32_t v) {
  out->push_back(static_cast<std::uint8_t>(v));
  out->push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>* out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

void PutTag(std::vector<std::uint8_t>* out, const char (&tag)[5]) {
  out->insert(out->end(), tag, tag + 4);
}

}  // namespace

std::vector<std::uint8_t> MakeWaveFile(const std::vector<std::int16_t>& samples,
                                       std::uint32_t sampleRate) {
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
  std::vector<std::uint8_t> file;
  file.reserve(kWaveHeaderSize + dataBytes + 1);
  PutTag(&file, "RIFF");
  // The RIFF size counts everything after itself; 16-bit data never needs a pad byte.
  Put32(&file, 4 + 8 + 16 + 8 + dataBytes);
  PutTag(&file, "WAVE");
  PutTag(&file, "fmt ");
  Put32(&file, 16);
  Put16(&file, 1);  // PCM
  Put16(&file, 1);  // mono
  Put32(&file, sampleRate);
  Put32(&file, sampleRate * 2);
  Put16(&file, 2);
  Put16(&file, 16);
  PutTag(&file, "data");
  Put32(&file, dataBytes);
  for (std::int16_t s : samples) Put16(&file, static_cast<std::uint16_t>(s));
  return file;
}

}  // namespace media
