// Bounded text operations on fixed buffers.
#include "bounded_text.h"

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

bool AppendNumber(char* buffer, std::size_t size, unsigned long value) {
  char digits[24];  // 20 digits hold any 64-bit value
  std::size_t at = sizeof digits - 1;
  digits[at] = '\0';
  do {
    digits[--at] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return AppendText(buffer, size, digits + at);
}

void TrimTrailingBlanks(char* text) {
  std::size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
}

}  // namespace text
