// The demo's chime, melody and data file.
#include "demo/media/demo_media.h"

#include <algorithm>
#include <cmath>

#include "demo/media/midi_file.h"
#include "demo/media/wave_file.h"
#include "demo/settings/demo_settings.h"

namespace media {
namespace {

constexpr double kPi = 3.14159265358979323846;

// General MIDI programs, counted from 0.
constexpr std::uint8_t kVibraphone = 11;
constexpr std::uint8_t kWarmPad = 89;

struct NoteEvent {
  std::uint32_t Tick;
  bool On;
  std::uint8_t Channel, Note, Velocity;
};

}  // namespace

std::vector<std::uint8_t> MakeDemoChime() {
  // C5, E5, G5 and C6, each with a quieter partial at 2.76 times its
  // frequency (a struck bar's first overtone), decaying exponentially;
  // the notes start 60 ms apart like a soft arpeggio.
  const double notes[] = {523.25, 659.26, 783.99, 1046.50};
  const std::uint32_t total = kChimeSampleRate * 16 / 10;
  std::vector<std::int16_t> samples(total);
  for (std::uint32_t i = 0; i < total; ++i) {
    const double t = static_cast<double>(i) / kChimeSampleRate;
    double v = 0;
    for (int n = 0; n < 4; ++n) {
      const double local = t - 0.06 * n;
      if (local < 0) continue;
      const double attack = std::min(1.0, local / 0.004);  // 4 ms, no click
      v += attack * (std::exp(-local * 2.6) * std::sin(2 * kPi * notes[n] * local) +
                     0.25 * std::exp(-local * 9.0) * std::sin(2 * kPi * notes[n] * 2.76 * local));
    }
    // The last 50 ms fade to silence so that the file ends without a click.
    const double tail = std::min(1.0, (total - i) / (0.05 * kChimeSampleRate));
    samples[i] = static_cast<std::int16_t>(std::lround(v * tail * 6500.0));
  }
  return MakeWaveFile(samples, kChimeSampleRate);
}

std::vector<std::uint8_t> MakeDemoMelody() {
  const std::uint32_t q = kMelodyTicksPerQuarter;
  // Melody in C major, quarter notes, the last one held for a bar.
  const std::uint8_t melody[] = {76, 79, 84, 83, 81, 79, 76, 79, 77, 81, 79, 76, 74, 76, 72};
  // One chord per bar of four quarters: C, Am, F, C.
  const std::uint8_t chords[][3] = {{48, 55, 64}, {45, 52, 60}, {41, 48, 57}, {48, 55, 64}};

  std::vector<NoteEvent> events;
  for (std::uint32_t i = 0; i < sizeof melody; ++i) {
    const std::uint32_t length = i + 1 == sizeof melody ? 4 * q : q - q / 8;
    events.push_back({i * q, true, 0, melody[i], static_cast<std::uint8_t>(i % 4 == 0 ? 96 : 80)});
    events.push_back({i * q + length, false, 0, melody[i], 0});
  }
  for (std::uint32_t bar = 0; bar < 4; ++bar)
    for (std::uint8_t note : chords[bar]) {
      events.push_back({bar * 4 * q, true, 1, note, 56});
      events.push_back({(bar + 1) * 4 * q - (bar == 3 ? 0 : q / 16), false, 1, note, 0});
    }
  // In time order; at the same tick a note ends before the next begins.
  std::stable_sort(events.begin(), events.end(), [](const NoteEvent& a, const NoteEvent& b) {
    return a.Tick != b.Tick ? a.Tick < b.Tick : (!a.On && b.On);
  });

  MidiTrack track;
  track.Tempo(0, 600000);  // 100 quarter notes a minute
  track.Program(0, 0, kVibraphone);
  track.Program(0, 1, kWarmPad);
  std::uint32_t now = 0;
  for (const NoteEvent& e : events) {
    if (e.On)
      track.NoteOn(e.Tick - now, e.Channel, e.Note, e.Velocity);
    else
      track.NoteOff(e.Tick - now, e.Channel, e.Note);
    now = e.Tick;
  }
  track.End(q / 2);
  return MakeMidiFile(kMelodyTicksPerQuarter, track);
}

std::string MakeDemoDataFile() {
  settings::DemoSettings settings;
  settings.Message = "Saverkit Aurora - installed by Saverkit";
  settings.Background = 0x081630;
  settings.Foreground = 0xF4F1E6;
  settings.Aurora = 0x3CE6A8;
  settings.Speed = 3;
  return settings::FormatDemoSettings(settings);
}

}  // namespace media
