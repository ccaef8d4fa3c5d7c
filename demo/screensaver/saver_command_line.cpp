// Reading the screen saver's command line.
#include "demo/screensaver/saver_command_line.h"

namespace screensaver {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void SkipBlanks(std::string_view* s) {
  while (!s->empty() && IsBlank(s->front())) s->remove_prefix(1);
}

// Decimal window number; 0 for no digits or a value that does not fit.
std::uintptr_t ParseWindow(std::string_view s) {
  SkipBlanks(&s);
  if (!s.empty() && s.front() == ':') s.remove_prefix(1);
  SkipBlanks(&s);
  std::uintptr_t value = 0;
  std::size_t digits = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    std::uintptr_t digit = static_cast<std::uintptr_t>(c - '0');
    if (value > (UINTPTR_MAX - digit) / 10) return 0;
    value = value * 10 + digit;
    ++digits;
  }
  return digits == 0 ? 0 : value;
}

}  // namespace

SaverCommand ParseSaverCommandLine(std::string_view arguments) {
  SaverCommand command;
  SkipBlanks(&arguments);
  // A quoted program name is not passed to WinMain, but a stray quote is harmless.
  if (arguments.size() < 2 || (arguments[0] != '/' && arguments[0] != '-')) return command;
  const char letter = arguments[1];
  // The letter must stand alone: "/s", "/s:..." or "/s 123", not "/scan".
  if (arguments.size() > 2 && !IsBlank(arguments[2]) && arguments[2] != ':') return command;
  std::string_view rest = arguments.substr(2);
  switch (letter) {
    case 's': case 'S': command.Mode = SaverMode::kFullScreen; break;
    case 'p': case 'P': command.Mode = SaverMode::kPreview; break;
    case 'a': case 'A': command.Mode = SaverMode::kPassword; break;
    case 'c': case 'C': command.Mode = SaverMode::kSettings; break;
    default: return command;
  }
  command.Window = ParseWindow(rest);
  command.Explicit = true;
  return command;
}

}  // namespace screensaver
