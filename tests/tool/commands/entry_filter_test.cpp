// The patterns of extract's --include and --exclude (how they combine:
// ExtractFilters).
#include <gtest/gtest.h>

#include <string>

#include "tool/commands/entry_filter.h"

namespace {

using commands::MatchesGlob;

TEST(EntryFilter, GlobsMatchAsWindowsComparesNames) {
  struct Case {
    const char* pattern;
    const char* path;
    bool matches;
  };
  const std::string longRun(200, 'a');
  const Case cases[] = {
      {"*.MID", "MARLOWEN\\VELDRAKE\\Sky\\JUKE0023.MID", true},  // a star crosses backslashes
      {"*.mid", "MARLOWEN\\VELDRAKE\\Sky\\JUKE0023.MID", true},
      {"*.MID", "MARLOWEN\\VELDRAKE\\Sky\\JUKE0023.MIDI", false},
      {"marlowen/veldrake/sky/*", "MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE", true},  // '/' for '\'
      {"MARLOWEN\\*", "MARLOWEN\\VELDRAKE\\Sky\\x", true},
      {"JUKE????.*", "JUKE0023.WAV", true},
      {"JUKE????.*", "JUKE023.WAV", false},
      {"\xe9t\xe9*", "\xc9T\xc9.scr", true},  // Windows-1252 letters fold too
      {"\xff", "\x9f", true},
      {"\xdf", "\xdf", true},  // sharp s stays itself
      {"ss", "\xdf", false},
      {"", "", true},
      {"", "a", false},
      {"*", "", true},
      {"**a**b**", "xaxxbx", true},
      {"*a*b", "xaxxbx", false},
      {"a*a*a*a*a*a*a*a*b", longRun.c_str(), false},  // no exponential backtracking
  };
  for (const Case& c : cases) EXPECT_EQ(MatchesGlob(c.pattern, c.path), c.matches) << c.pattern << " " << c.path;
}

}  // namespace
