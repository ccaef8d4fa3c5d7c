// Comparing names the way Windows file systems do for the names the
// installer writes: letters a to z and A to Z are the same, nothing else
// is folded (no locale).
#pragma once

#include <cstddef>
#include <string_view>

namespace text {

inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

inline bool LessNoCase(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return AsciiUpper(a[i]) < AsciiUpper(b[i]);
  return a.size() < b.size();
}

}  // namespace text
