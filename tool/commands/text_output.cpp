// Showing untrusted Windows-1252 text from an image.
#include "tool/commands/text_output.h"

#include <cstdint>
#include <cstdio>
#include <iostream>

#include "core/text/format_thousands.h"
#include "core/text/windows1252.h"

using format::InstallRefusal;
using text::FormatThousands;
using text::kFormatThousandsSize;

namespace commands {

namespace {

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) AppendUtf8(out, text::Windows1252ToUnicode(c));
  return out;
}

std::string Printable(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    std::uint32_t code = text::Windows1252ToUnicode(c);
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
      AppendUtf8(out, code);
    }
  }
  return out;
}

std::string Thousands(std::uint32_t value) {
  char text[kFormatThousandsSize];
  return FormatThousands(value, text);
}

const char* RefusalText(InstallRefusal refusal) {
  switch (refusal) {
    case InstallRefusal::kNone: return "written";
    case InstallRefusal::kNoWindowsDirectory: return "refused: no Windows directory";
    case InstallRefusal::kUnsafeTitle: return "refused: the title could lead outside its folder";
    case InstallRefusal::kUnsafeName: return "refused: the name could land outside the folder";
    case InstallRefusal::kPathTooLong: return "refused: the installed path is too long";
    case InstallRefusal::kDataOutsideImage: return "data lies beyond the end of the file";
  }
  return "?";
}

void PrintError(const std::string& file, const std::string& problem) {
  std::cerr << "saverkit: " << file << ": " << problem << '\n';
}

void PrintError(const std::string& problem) { std::cerr << "saverkit: " << problem << '\n'; }

}  // namespace commands
