// The patterns of extract's --include and --exclude, and SHA-256 fed in
// pieces of every size across the 64-byte blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tool/commands/entry_filter.h"
#include "tool/commands/sha256.h"

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

TEST(EntryFilter, IncludeAnyThenExcludeEvery) {
  commands::EntryFilter filter;
  EXPECT_TRUE(filter.Selects("anything"));
  filter.include = {"*.MID", "*.WAV"};
  filter.exclude = {"*0023*"};
  EXPECT_TRUE(filter.Selects("JUKE0024.wav"));
  EXPECT_FALSE(filter.Selects("JUKE0023.MID"));
  EXPECT_FALSE(filter.Selects("Sky.scr"));
}

// The reference digest of the 56-byte FIPS message three times (168 bytes:
// two whole blocks and a tail that needs a block of its own for the length).
TEST(Sha256, PiecesOfAnySizeGiveTheDigestOfTheWhole) {
  const std::string message = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const std::string text = message + message + message;
  for (std::size_t piece = 1; piece <= 70; ++piece) {
    commands::Sha256 hasher;
    for (std::size_t at = 0; at < text.size(); at += piece) {
      const std::size_t size = std::min(piece, text.size() - at);
      hasher.Update(reinterpret_cast<const std::uint8_t*>(text.data() + at), size);
    }
    EXPECT_EQ(hasher.FinishHex(), "50ea825d9684f4229ca29f1fec511593e281e46a140d81e0005f8f688669a06c") << piece;
  }
}

}  // namespace
