// FormatText, apart from the other bounded operations: it brings the C
// runtime's formatter along, which a program that only copies and appends
// (UNINSTAL.EXE) then does not link.
#include <cstdarg>
#include <cstdio>

#include "bounded_text.h"

namespace text {

bool FormatText(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const bool whole = FormatTextV(buffer, size, format, args);
  va_end(args);
  return whole;
}

bool FormatTextV(char* buffer, std::size_t size, const char* format, va_list args) {
  if (size == 0) return false;
  int n = std::vsnprintf(buffer, size, format, args);
  if (n < 0) {
    buffer[0] = '\0';
    return false;
  }
  return static_cast<std::size_t>(n) < size;
}

}  // namespace text
