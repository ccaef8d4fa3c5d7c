// The demo screen saver's data file: what it shows and in which colours.
//
// The file is plain ANSI text, one "key=value" per line, lines ended by
// CR LF, LF or CR. Keys are case-insensitive; blanks and tabs around keys
// and values are ignored; lines starting with ';' or '#' are comments and
// lines starting with '[' (section headers) are skipped. Known keys:
//
//   message=Saverkit Aurora   the text that drifts across the screen,
//                              at most kMaxMessageLength characters
//   background=#061022        sky colour, #RRGGBB
//   foreground=#F2F6FF        message colour, #RRGGBB
//   aurora=#38E0A0            colour of the light curtains, #RRGGBB
//   speed=3                   animation speed, 1 (slow) to 9 (fast)
//
// The file comes from an installer image and may be damaged: only the first
// kMaxDataFileBytes are read, over-long lines and bad values are ignored
// (the default stays), unknown keys are skipped, and the last good value of
// a key repeated wins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace settings {

constexpr std::size_t kMaxDataFileBytes = 8192;
constexpr std::size_t kMaxDataLineLength = 255;  // longer lines are skipped
constexpr std::size_t kMaxMessageLength = 127;   // longer messages are cut
constexpr int kMinSpeed = 1;
constexpr int kMaxSpeed = 9;

// Colours are 0xRRGGBB.
struct DemoSettings {
  std::string Message = "Saverkit Aurora";
  std::uint32_t Background = 0x061022;
  std::uint32_t Foreground = 0xF2F6FF;
  std::uint32_t Aurora = 0x38E0A0;
  int Speed = 3;
};

// Reads settings from the data file's bytes; anything missing or unusable
// keeps its default. Never reads past `text.size()`.
DemoSettings ParseDemoSettings(std::string_view text);

// Writes settings in the format above (a comment line first, CR LF line
// ends), so that ParseDemoSettings gives them back. The message is written
// as parsing would keep it.
std::string FormatDemoSettings(const DemoSettings& settings);

}  // namespace settings
