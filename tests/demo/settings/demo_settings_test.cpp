// The demo screen saver's data file: written by the generator, read back by
// the screen saver, and read safely when it is damaged.
#include "demo/settings/demo_settings.h"

#include <gtest/gtest.h>

namespace {

using settings::DemoSettings;
using settings::ParseDemoSettings;

TEST(DemoSettings, WrittenSettingsAreReadBack) {
  DemoSettings settings;
  settings.Message = "Hello = world; #1";
  settings.Background = 0x000000;
  settings.Foreground = 0xFFFFFF;
  settings.Aurora = 0xA0B1C2;
  settings.Speed = 9;
  const DemoSettings read = ParseDemoSettings(settings::FormatDemoSettings(settings));
  EXPECT_EQ(read.Message, settings.Message);
  EXPECT_EQ(read.Background, settings.Background);
  EXPECT_EQ(read.Foreground, settings.Foreground);
  EXPECT_EQ(read.Aurora, settings.Aurora);
  EXPECT_EQ(read.Speed, settings.Speed);
}

TEST(DemoSettings, LenientWhereHarmless) {
  const DemoSettings s = ParseDemoSettings(
      "\xEF\xBB\xBF[Saverkit]\n"
      "  MESSAGE =  Good night \r"
      "Background\t=\t#0a0B0c\n"
      "aurora=#123456\r\n"
      "colour=#FFFFFF\n"
      "; speed=1\n"
      "speed=7");  // no line end at the end
  EXPECT_EQ(s.Message, "Good night");
  EXPECT_EQ(s.Background, 0x0A0B0Cu);
  EXPECT_EQ(s.Aurora, 0x123456u);
  EXPECT_EQ(s.Foreground, DemoSettings().Foreground);
  EXPECT_EQ(s.Speed, 7);
}

TEST(DemoSettings, BadValuesKeepTheDefault) {
  const DemoSettings defaults;
  const char* const files[] = {
      "background=102040",  "background=#10204", "background=#1020405", "background=#10204G",
      "background=",        "background",         "=#102040",           "speed=0",
      "speed=10",           "speed=03",           "speed=-3",           "speed=x",
      "message=",           "message=   ",        "message=\x01\x02",   "#message=hidden",
  };
  for (const char* file : files) {
    const DemoSettings s = ParseDemoSettings(file);
    EXPECT_EQ(s.Message, defaults.Message) << file;
    EXPECT_EQ(s.Background, defaults.Background) << file;
    EXPECT_EQ(s.Speed, defaults.Speed) << file;
  }
}

TEST(DemoSettings, MessageIsCleanedAndCut) {
  EXPECT_EQ(ParseDemoSettings("message=a\tb\x7f" "c").Message, "a b c");
  const std::string longMessage(200, 'x');
  EXPECT_EQ(ParseDemoSettings("message=" + longMessage).Message, std::string(settings::kMaxMessageLength, 'x'));
}

TEST(DemoSettings, WhichSpeedLineCounts) {
  using namespace std::string_literals;
  const struct {
    const char* name;
    std::string text;
    int speed;
  } cases[] = {
      {"a repeated key keeps its last good value", "speed=2\nspeed=5\nspeed=11\n", 5},
      {"a line of 256 characters is skipped whole", "speed=" + std::string(250, '1') + "\nspeed=8\n", 8},
      {"nothing past the first kMaxDataFileBytes bytes is read",
       std::string(settings::kMaxDataFileBytes - 4, '\n') + "speed=8\n", DemoSettings().Speed},
      {"embedded NUL bytes do not end the file", "speed=2\n\0\0garbage\nspeed=4\n"s, 4},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDemoSettings(c.text).Speed, c.speed) << c.name;
  // A line of exactly 255 characters is read.
  EXPECT_EQ(ParseDemoSettings("message=" + std::string(247, 'm')).Message,
            std::string(settings::kMaxMessageLength, 'm'));
}

// Garbage in: whatever the bytes, the settings stay within their limits.
TEST(DemoSettings, RandomBytesGiveSettingsWithinLimits) {
  std::uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 16;
  };
  const char alphabet[] = "message=speedbackground#0123456789ABCDEFaurora\r\n\t ;[]\x01\xff";
  for (int round = 0; round < 2000; ++round) {
    std::string text(next() % 600, '\0');
    for (char& c : text) c = alphabet[next() % (sizeof alphabet - 1)];
    const settings::DemoSettings s = ParseDemoSettings(text);
    EXPECT_FALSE(s.Message.empty());
    EXPECT_LE(s.Message.size(), settings::kMaxMessageLength);
    for (char c : s.Message) EXPECT_GE(static_cast<unsigned char>(c), 0x20);
    EXPECT_GE(s.Speed, settings::kMinSpeed);
    EXPECT_LE(s.Speed, settings::kMaxSpeed);
    EXPECT_LE(s.Background | s.Foreground | s.Aurora, 0xFFFFFFu);
  }
}

}  // namespace
