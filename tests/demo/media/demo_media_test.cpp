// The demo's generated files: RIFF WAVE and standard MIDI structure.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "core/format/manifest_layout.h"
#include "demo/media/demo_media.h"
#include "demo/media/midi_file.h"
#include "demo/media/wave_file.h"
#include "demo/settings/demo_settings.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t Be32(const Bytes& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}
std::uint16_t Be16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]); }

TEST(WaveFile, HeaderOfTwoSamplesIsPinned) {
  const Bytes file = media::MakeWaveFile({0x0102, -2}, 11025);
  const Bytes expected = {
      'R', 'I', 'F', 'F', 40, 0, 0, 0, 'W', 'A', 'V', 'E',         //
      'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,                 // PCM, mono
      0x11, 0x2B, 0, 0, 0x22, 0x56, 0, 0, 2, 0, 16, 0,             // 11025 Hz, 22050 B/s
      'd', 'a', 't', 'a', 4, 0, 0, 0, 0x02, 0x01, 0xFE, 0xFF,      // two samples
  };
  EXPECT_EQ(file, expected);
}

// The header's fields are pinned above through the same writer.
TEST(WaveFile, ChimeLastsOneToTwoSecondsIsAudibleUnclippedAndEndsSilent) {
  const Bytes file = media::MakeDemoChime();
  ASSERT_GE(file.size(), media::kWaveHeaderSize);
  const std::uint32_t rate = format::ReadLe32(&file[24]);
  EXPECT_GE((file.size() - media::kWaveHeaderSize) / 2, rate);
  EXPECT_LE((file.size() - media::kWaveHeaderSize) / 2, 2 * rate);
  int peak = 0;
  for (std::size_t i = media::kWaveHeaderSize; i < file.size(); i += 2) {
    const int s = static_cast<std::int16_t>(format::ReadLe16(&file[i]));
    peak = std::max(peak, s < 0 ? -s : s);
  }
  EXPECT_GT(peak, 4000);
  EXPECT_LT(peak, 32767);
  EXPECT_EQ(format::ReadLe16(&file[file.size() - 2]), 0);
}

TEST(MidiFile, VariableLengthQuantities) {
  const std::pair<std::uint32_t, Bytes> cases[] = {
      {0x00, {0x00}},
      {0x40, {0x40}},
      {0x7F, {0x7F}},
      {0x80, {0x81, 0x00}},
      {0x2000, {0xC0, 0x00}},
      {0x3FFF, {0xFF, 0x7F}},
      {0x4000, {0x81, 0x80, 0x00}},
      {0x100000, {0xC0, 0x80, 0x00}},
      {0x1FFFFF, {0xFF, 0xFF, 0x7F}},
      {0x200000, {0x81, 0x80, 0x80, 0x00}},
      {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
      {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},  // clamped: nothing larger exists
  };
  for (const auto& c : cases) {
    Bytes out;
    media::AppendVariableLength(&out, c.first);
    EXPECT_EQ(out, c.second) << c.first;
  }
}

TEST(MidiFile, SmallTrackIsPinned) {
  media::MidiTrack track;
  track.NoteOn(0, 0, 60, 100);
  track.NoteOff(480, 0, 60);
  track.End(0);
  const Bytes expected = {
      'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0,  // format 0, 1 track, 480 ticks
      'M', 'T', 'r', 'k', 0, 0, 0, 13,                         // 13 bytes of events
      0x00, 0x90, 60, 100,                                     // note on
      0x83, 0x60, 0x80, 60, 64,                                // 480 ticks later, note off
      0x00, 0xFF, 0x2F, 0x00,                                  // end of track
  };
  EXPECT_EQ(media::MakeMidiFile(480, track), expected);
}

// Reads a variable-length quantity; fails past the end or after four bytes.
bool ReadVariableLength(const Bytes& b, std::size_t* at, std::size_t end, std::uint32_t* value) {
  *value = 0;
  for (int i = 0; i < 4 && *at < end; ++i) {
    const std::uint8_t byte = b[(*at)++];
    *value = (*value << 7) | (byte & 0x7F);
    if (!(byte & 0x80)) return true;
  }
  return false;
}

TEST(MidiFile, MelodyIsAWellFormedFormatZeroFile) {
  const Bytes file = media::MakeDemoMelody();
  // The fixed header is pinned above through the same writer.
  ASSERT_GE(file.size(), 22u);
  EXPECT_EQ(Be16(file, 12), media::kMelodyTicksPerQuarter);
  const std::size_t end = 22 + Be32(file, 18);
  ASSERT_EQ(end, file.size());

  // Walk every event: delta times are well formed, running status is not
  // used, every note that starts also stops, and the track ends exactly
  // with the end-of-track event.
  std::size_t at = 22;
  std::uint64_t ticks = 0;
  std::map<int, int> sounding;  // channel * 128 + note -> count
  int notes = 0;
  bool ended = false;
  while (at < end) {
    ASSERT_FALSE(ended) << "events after the end of the track";
    std::uint32_t delta;
    ASSERT_TRUE(ReadVariableLength(file, &at, end, &delta));
    ticks += delta;
    ASSERT_LT(at, end);
    const std::uint8_t status = file[at++];
    ASSERT_TRUE(status & 0x80) << "running status at " << at;
    if (status == 0xFF) {
      ASSERT_LT(at, end);
      const std::uint8_t type = file[at++];
      std::uint32_t length;
      ASSERT_TRUE(ReadVariableLength(file, &at, end, &length));
      ASSERT_LE(at + length, end);
      if (type == 0x2F) {
        EXPECT_EQ(length, 0u);
        ended = true;
      }
      at += length;
      continue;
    }
    const int kind = status & 0xF0;
    const std::size_t dataBytes = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
    ASSERT_LE(at + dataBytes, end);
    for (std::size_t i = 0; i < dataBytes; ++i) EXPECT_LT(file[at + i], 0x80);
    const int key = (status & 0x0F) * 128 + file[at];
    if (kind == 0x90 && file[at + 1] > 0) {
      ++sounding[key];
      ++notes;
    } else if (kind == 0x80 || kind == 0x90) {
      ASSERT_GT(sounding[key], 0) << "note off without note on";
      --sounding[key];
    }
    at += dataBytes;
  }
  EXPECT_TRUE(ended);
  for (const auto& entry : sounding) EXPECT_EQ(entry.second, 0) << "note left sounding: " << entry.first;
  EXPECT_GE(notes, 10);
  // Between 5 and 20 seconds at 100 quarter notes a minute.
  const double seconds = ticks / double(media::kMelodyTicksPerQuarter) * 0.6;
  EXPECT_GT(seconds, 5.0);
  EXPECT_LT(seconds, 20.0);
}

}  // namespace
