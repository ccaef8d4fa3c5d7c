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
#if defined(_WIN32)
  // The system's msvcrt formatter, not the C99 one of the mingw runtime (its
  // printf engine and floating-point conversion would be a third of the
  // installer's code). It differs only at the end of the buffer: a text of
  // exactly `size` characters is not terminated and a longer one gives -1,
  // so the last byte is always made the terminator here. The texts use only
  // %s, %c and the integer conversions, which both print alike.
  const int n = _vsnprintf(buffer, size, format, args);
  buffer[size - 1] = '\0';
#else
  const int n = std::vsnprintf(buffer, size, format, args);
  if (n < 0) {
    buffer[0] = '\0';
    return false;
  }
#endif
  return n >= 0 && static_cast<std::size_t>(n) < size;
}

}  // namespace text
