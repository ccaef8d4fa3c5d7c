// Splitting and reading the installer's command line.
#include "installer/command_line.h"

#include <cstring>

#include "core/text/bounded_text.h"

namespace installer {

using text::AppendTextPart;
using text::CopyText;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char FoldCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// True when `argument` begins with `prefix`, compared without regard to case.
bool StartsWithFolded(const char* argument, const char* prefix) {
  for (; *prefix != '\0'; ++argument, ++prefix)
    if (FoldCase(*argument) != *prefix) return false;
  return true;
}

// Takes the next argument from `*cursor` into `argument` (cut when it does
// not fit; `*cut` then tells). False when none is left.
bool NextArgument(const char** cursor, char (&argument)[2 * format::kPathBufferSize], bool* cut) {
  const char* p = *cursor;
  while (IsBlank(*p)) ++p;
  if (*p == '\0') return false;
  std::size_t length = 0;
  *cut = false;
  auto put = [&](char c, std::size_t count) {
    for (; count > 0; --count) {
      if (length + 1 < sizeof argument) argument[length++] = c;
      else *cut = true;
    }
  };
  bool quoted = false;
  while (*p != '\0' && (quoted || !IsBlank(*p))) {
    std::size_t backslashes = 0;
    while (*p == '\\') ++backslashes, ++p;
    if (*p == '"') {
      // 2n backslashes and a quote: n backslashes, the quote groups; 2n+1:
      // n backslashes and a literal quote.
      put('\\', backslashes / 2);
      if (backslashes % 2 == 1) put('"', 1);
      else quoted = !quoted;
      ++p;
    } else {
      put('\\', backslashes);
      if (*p != '\0' && (quoted || !IsBlank(*p))) put(*p++, 1);
    }
  }
  argument[length] = '\0';
  *cursor = p;
  return true;
}

}  // namespace

CommandLine ParseCommandLine(const char* arguments) {
  CommandLine line;
  if (arguments == nullptr) return line;
  constexpr char kLogSwitch[] = "/LOG=";
  char argument[2 * format::kPathBufferSize];
  bool cut = false;
  for (const char* cursor = arguments; NextArgument(&cursor, argument, &cut);) {
    bool understood = true;
    if (cut) {
      understood = false;  // longer than any switch with a path that fits
    } else if (StartsWithFolded(argument, "/S") && argument[2] == '\0') {
      line.silent = true;
    } else if (StartsWithFolded(argument, kElevatedChildSwitch) &&
               argument[sizeof kElevatedChildSwitch - 1] == '\0') {
      line.elevatedChild = true;
    } else if (std::strcmp(argument, "/?") == 0) {
      line.help = true;
    } else if (StartsWithFolded(argument, kLogSwitch)) {
      const char* file = argument + sizeof kLogSwitch - 1;
      understood = *file != '\0' && CopyText(line.logPath, file);
    } else {
      understood = false;
    }
    if (!understood && line.unknown[0] == '\0')
      AppendTextPart(line.unknown, sizeof line.unknown, argument, sizeof line.unknown - 1);
  }
  return line;
}

const char* SkipProgramName(const char* commandLine) {
  // Blanks here are every byte up to 0x20, as the C runtime's start-up code
  // takes them; bytes from 0x80 on belong to the name.
  auto separates = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; };
  const char* p = commandLine;
  bool quoted = false;
  for (; *p != '\0' && (quoted || !separates(*p)); ++p)
    if (*p == '"') quoted = !quoted;
  while (separates(*p)) ++p;
  return p;
}

}  // namespace installer
