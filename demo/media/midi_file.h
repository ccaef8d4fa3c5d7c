// Writing standard MIDI files of format 0 (one track).
//
// Layout (integers big-endian):
//   "MThd" u32 6  u16 0 (format) u16 1 (tracks) u16 division (ticks per quarter note)
//   "MTrk" u32 (track bytes)  events, each a variable-length delta time in
//   ticks followed by a channel message or a meta event (FF type length data);
//   the track ends with the end-of-track meta event FF 2F 00.
//
// Variable-length quantities carry 7 bits per byte, most significant group
// first, with bit 7 set on every byte but the last: 0x80 is 81 00, 0x3FFF
// is FF 7F. Values above 0x0FFFFFFF cannot be written.
#pragma once

#include <cstdint>
#include <vector>

namespace media {

constexpr std::uint32_t kMaxVariableLength = 0x0FFFFFFF;

// Appends `value` (at most kMaxVariableLength; larger values are clamped).
void AppendVariableLength(std::vector<std::uint8_t>* out, std::uint32_t value);

// The events of one track, written with their delta times as they are added.
class MidiTrack {
 public:
  void Tempo(std::uint32_t delta, std::uint32_t microsecondsPerQuarter);
  void Program(std::uint32_t delta, std::uint8_t channel, std::uint8_t program);
  void NoteOn(std::uint32_t delta, std::uint8_t channel, std::uint8_t note, std::uint8_t velocity);
  void NoteOff(std::uint32_t delta, std::uint8_t channel, std::uint8_t note);
  // Adds the end-of-track event; nothing may follow it.
  void End(std::uint32_t delta);
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  void Event(std::uint32_t delta, std::uint8_t status, std::uint8_t a, std::uint8_t b);
  std::vector<std::uint8_t> bytes_;
};

std::vector<std::uint8_t> MakeMidiFile(std::uint16_t ticksPerQuarter, const MidiTrack& track);

}  // namespace media
