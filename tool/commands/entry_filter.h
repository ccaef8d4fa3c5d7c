// Which entries extract writes, by --include and --exclude patterns matched
// against the installed path ("MARLOWEN\VELDRAKE\Night Sky\JUKE0001.MID").
// Names are compared as Windows compares them (text::FoldWindowsCase), so
// "*.mid" selects JUKE0001.MID.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace commands {

// A shell-style pattern: '*' any run of characters (backslashes too, so
// "*.MID" reaches into folders), '?' any one character, '/' a backslash (so
// a pattern typed in a POSIX shell needs no escaping); every other
// character itself, folded. Takes at most pattern size times path size
// steps, whatever the stars.
bool MatchesGlob(std::string_view pattern, std::string_view path);

struct EntryFilter {
  std::vector<std::string> include;  // empty: every path
  std::vector<std::string> exclude;

  // True when `path` matches some include (or none was given) and no exclude.
  bool Selects(std::string_view path) const;
};

}  // namespace commands
