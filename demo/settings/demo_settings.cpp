// Reading and writing the demo screen saver's data file.
#include "demo/settings/demo_settings.h"

#include <cstdio>

namespace settings {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool KeyIs(std::string_view key, std::string_view name) {
  if (key.size() != name.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i)
    if (Lower(key[i]) != name[i]) return false;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "#RRGGBB", exactly.
bool ParseColour(std::string_view value, std::uint32_t* colour) {
  if (value.size() != 7 || value[0] != '#') return false;
  std::uint32_t result = 0;
  for (std::size_t i = 1; i < 7; ++i) {
    int digit = HexDigit(value[i]);
    if (digit < 0) return false;
    result = (result << 4) | static_cast<std::uint32_t>(digit);
  }
  *colour = result;
  return true;
}

// One decimal digit in range; anything else (signs, "03", "10") is refused.
bool ParseSpeed(std::string_view value, int* speed) {
  if (value.size() != 1 || value[0] < '0' + kMinSpeed || value[0] > '0' + kMaxSpeed) return false;
  *speed = value[0] - '0';
  return true;
}

// Control characters would draw as boxes or break the line: each becomes a
// blank. The message is cut to its maximum length.
std::string CleanMessage(std::string_view value) {
  std::string message;
  for (char c : value.substr(0, kMaxMessageLength))
    message.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c);
  return std::string(Trim(message));
}

void ApplyLine(std::string_view line, DemoSettings* settings) {
  line = Trim(line);
  if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '[') return;
  std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return;
  std::string_view key = Trim(line.substr(0, equals));
  std::string_view value = Trim(line.substr(equals + 1));
  if (KeyIs(key, "message")) {
    std::string message = CleanMessage(value);
    if (!message.empty()) settings->Message = message;
  } else if (KeyIs(key, "background")) {
    ParseColour(value, &settings->Background);
  } else if (KeyIs(key, "foreground")) {
    ParseColour(value, &settings->Foreground);
  } else if (KeyIs(key, "aurora")) {
    ParseColour(value, &settings->Aurora);
  } else if (KeyIs(key, "speed")) {
    ParseSpeed(value, &settings->Speed);
  }
}

std::string ColourText(std::uint32_t colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(colour & 0xFFFFFF));
  return text;
}

}  // namespace

DemoSettings ParseDemoSettings(std::string_view text) {
  DemoSettings settings;
  text = text.substr(0, kMaxDataFileBytes);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // UTF-8 byte order mark
  while (!text.empty()) {
    std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    if (line.size() <= kMaxDataLineLength) ApplyLine(line, &settings);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return settings;
}

std::string FormatDemoSettings(const DemoSettings& settings) {
  std::string message = CleanMessage(settings.Message);
  std::string text = "; Saverkit demo screen saver: what it shows and in which colours\r\n";
  if (!message.empty()) text += "message=" + message + "\r\n";
  text += "background=" + ColourText(settings.Background) + "\r\n";
  text += "foreground=" + ColourText(settings.Foreground) + "\r\n";
  text += "aurora=" + ColourText(settings.Aurora) + "\r\n";
  if (settings.Speed >= kMinSpeed && settings.Speed <= kMaxSpeed)
    text += "speed=" + std::to_string(settings.Speed) + "\r\n";
  return text;
}

}  // namespace settings
