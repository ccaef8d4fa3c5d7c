// The demo installer's own files, made by code so that every build makes
// the same bytes: a short chime (WAV), a short melody (MIDI) and the
// screen saver's data file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media {

constexpr std::uint32_t kChimeSampleRate = 22050;
constexpr std::uint16_t kMelodyTicksPerQuarter = 480;

// 1.6 seconds of a C major chord struck like a bell, 16-bit mono PCM.
std::vector<std::uint8_t> MakeDemoChime();

// About ten seconds of melody over held chords, format 0, two channels.
std::vector<std::uint8_t> MakeDemoMelody();

// The data file the demo screen saver reads (see demo_settings.h).
std::string MakeDemoDataFile();

}  // namespace media
