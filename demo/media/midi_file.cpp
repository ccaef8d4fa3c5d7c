// Standard MIDI files of format 0.
#include "demo/media/midi_file.h"

namespace media {
namespace {

void Put16(std::vector<std::uint8_t>* out, std::uint32_t v) {
  out->push_back(static_cast<std::uint8_t>(v >> 8));
  out->push_back(static_cast<std::uint8_t>(v));
}

void Put32(std::vector<std::uint8_t>* out, std::uint32_t v) {
  Put16(out, v >> 16);
  Put16(out, v & 0xFFFF);
}

}  // namespace

void AppendVariableLength(std::vector<std::uint8_t>* out, std::uint32_t value) {
  if (value > kMaxVariableLength) value = kMaxVariableLength;
  std::uint8_t groups[4];
  int count = 0;
  do {
    groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (count > 1) out->push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
  out->push_back(groups[0]);
}

void MidiTrack::Event(std::uint32_t delta, std::uint8_t status, std::uint8_t a, std::uint8_t b) {
  AppendVariableLength(&bytes_, delta);
  bytes_.push_back(status);
  bytes_.push_back(a & 0x7F);
  if ((status & 0xF0) != 0xC0) bytes_.push_back(b & 0x7F);  // program change has one data byte
}

void MidiTrack::Tempo(std::uint32_t delta, std::uint32_t microsecondsPerQuarter) {
  AppendVariableLength(&bytes_, delta);
  const std::uint8_t meta[] = {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(microsecondsPerQuarter >> 16),
                               static_cast<std::uint8_t>(microsecondsPerQuarter >> 8),
                               static_cast<std::uint8_t>(microsecondsPerQuarter)};
  bytes_.insert(bytes_.end(), meta, meta + sizeof meta);
}

void MidiTrack::Program(std::uint32_t delta, std::uint8_t channel, std::uint8_t program) {
  Event(delta, static_cast<std::uint8_t>(0xC0 | (channel & 0x0F)), program, 0);
}

void MidiTrack::NoteOn(std::uint32_t delta, std::uint8_t channel, std::uint8_t note, std::uint8_t velocity) {
  Event(delta, static_cast<std::uint8_t>(0x90 | (channel & 0x0F)), note, velocity);
}

void MidiTrack::NoteOff(std::uint32_t delta, std::uint8_t channel, std::uint8_t note) {
  Event(delta, static_cast<std::uint8_t>(0x80 | (channel & 0x0F)), note, 64);
}

void MidiTrack::End(std::uint32_t delta) {
  AppendVariableLength(&bytes_, delta);
  const std::uint8_t meta[] = {0xFF, 0x2F, 0x00};
  bytes_.insert(bytes_.end(), meta, meta + sizeof meta);
}

std::vector<std::uint8_t> MakeMidiFile(std::uint16_t ticksPerQuarter, const MidiTrack& track) {
  std::vector<std::uint8_t> file = {'M', 'T', 'h', 'd'};
  Put32(&file, 6);
  Put16(&file, 0);  // format 0
  Put16(&file, 1);  // one track
  Put16(&file, ticksPerQuarter);
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  Put32(&file, static_cast<std::uint32_t>(track.Bytes().size()));
  file.insert(file.end(), track.Bytes().begin(), track.Bytes().end());
  return file;
}

}  // namespace media
