// Matching installed paths against extract's patterns.
#include "tool/commands/entry_filter.h"

#include <cstddef>

#include "core/text/windows_case.h"

namespace commands {

namespace {

bool SameCharacter(char pattern, char path) {
  if (pattern == '/') pattern = '\\';
  return text::FoldWindowsCase(pattern) == text::FoldWindowsCase(path);
}

}  // namespace

bool MatchesGlob(std::string_view pattern, std::string_view path) {
  // The classic walk with one remembered star: on a mismatch the last star
  // takes one more character. A later star supersedes an earlier one, since
  // whatever the earlier could still take the later can too.
  std::size_t p = 0;
  std::size_t s = 0;
  std::size_t star = std::string_view::npos;  // pattern position after the last star
  std::size_t starAt = 0;                     // path position that star has reached
  while (s < path.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = ++p;
      starAt = s;
    } else if (p < pattern.size() && (pattern[p] == '?' || SameCharacter(pattern[p], path[s]))) {
      ++p;
      ++s;
    } else if (star != std::string_view::npos) {
      p = star;
      s = ++starAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool EntryFilter::Selects(std::string_view path) const {
  bool included = include.empty();
  for (const std::string& pattern : include) included = included || MatchesGlob(pattern, path);
  if (!included) return false;
  for (const std::string& pattern : exclude)
    if (MatchesGlob(pattern, path)) return false;
  return true;
}

}  // namespace commands
