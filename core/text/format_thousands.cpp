// Thousands separators for counts shown to the user.
#include "core/text/format_thousands.h"

namespace text {

char* FormatThousands(std::uint32_t value, char* output) {
  // Digits least significant first, a comma after every third one that is
  // followed by another digit, then the whole text reversed in place.
  char reversed[32];
  unsigned digits = 0;
  do {
    reversed[digits++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  unsigned n = 0;
  for (unsigned i = 0; i < digits; ++i) {
    output[n++] = reversed[i];
    if ((i + 1) % 3 == 0 && i + 1 < digits) output[n++] = ',';
  }
  output[n] = '\0';
  for (unsigned a = 0, b = n - 1; a < b; ++a, --b) {
    char t = output[a];
    output[a] = output[b];
    output[b] = t;
  }
  return output;
}

}  // namespace text
