// Showing untrusted Windows-1252 text from an image.
#include "tool/commands/text_output.h"

#include <cstdint>
#include <cstdio>
#include <iostream>

#include "core/text/format_thousands.h"
#include "core/text/windows1252.h"
#include "saverkit/text.h"

using text::FormatThousands;
using text::kFormatThousandsSize;

namespace commands {

std::string Windows1252ToUtf8(std::string_view text) { return saverkit::Windows1252ToUtf8(text); }

std::string Printable(std::string_view text) {
  // Most names are plain printable ASCII, which stays as it is.
  bool plain = true;
  for (const char byte : text) plain = plain && byte >= 0x20 && byte < 0x7F;
  if (plain) return std::string(text);
  std::string out;
  for (const char& byte : text) {
    const unsigned char c = static_cast<unsigned char>(byte);
    const std::uint32_t code = text::Windows1252ToUnicode(c);
    if (code == '\r') {
      out += "\\r";
    } else if (code == '\n') {
      out += "\\n";
    } else if (code == '\t') {
      out += "\\t";
    } else if (code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      out += escape;
    } else {
      out += saverkit::Windows1252ToUtf8(std::string_view(&byte, 1));
    }
  }
  return out;
}

std::string PrintableLines(std::string_view text) {
  std::string out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != '\r' && text[i] != '\n' && text[i] != '\t') continue;
    out += Printable(text.substr(start, i - start));
    if (i == text.size()) break;
    out += text[i] == '\t' ? '\t' : '\n';
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return out;
}

std::string Thousands(std::uint32_t value) {
  char text[kFormatThousandsSize];
  return FormatThousands(value, text);
}

void PrintError(const std::string& file, const std::string& problem) {
  std::cerr << "saverkit: " << file << ": " << problem << '\n';
}

void PrintError(const std::string& problem) { std::cerr << "saverkit: " << problem << '\n'; }

}  // namespace commands
