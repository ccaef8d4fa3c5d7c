// Bounded text operations on fixed buffers.
#include "bounded_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace text {

bool CopyText(char* buffer, std::size_t size, const char* text) {
  if (size == 0) return false;
  buffer[0] = '\0';
  return AppendText(buffer, size, text);
}

bool AppendText(char* buffer, std::size_t size, const char* text) {
  return AppendTextPart(buffer, size, text, std::strlen(text));
}

bool AppendTextPart(char* buffer, std::size_t size, const char* text, std::size_t count) {
  std::size_t have = strnlen(buffer, size);
  if (have >= size) return false;  // not terminated: refuse to touch it
  std::size_t add = strnlen(text, count);
  if (add >= size - have) return false;
  std::memcpy(buffer + have, text, add);
  buffer[have + add] = '\0';
  return true;
}

void TrimTrailingBlanks(char* text) {
  std::size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
}

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
