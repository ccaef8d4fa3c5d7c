// Names Windows takes for the same file: ASCII and the Windows-1252 letters
// whose upper case is also in Windows-1252, nothing else.
#include "core/text/windows_case.h"

#include <gtest/gtest.h>

#include <string>

using text::FoldWindowsCase;
using text::SameWindowsName;

namespace {

TEST(WindowsCase, NamesThatClashAndNamesThatDoNot) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"juke0001.DAT", "JUKE0001.DAT", true},
      {"Deep Sea.scr", "DEEP SEA.SCR", true},
      {"\xE9t\xE9.MID", "\xC9T\xC9.MID", true},              // été ÉTÉ
      {"\xE0\xFE\xE6.MID", "\xC0\xDE\xC6.MID", true},        // àþæ ÀÞÆ
      {"\x9A\x9C\x9E.MID", "\x8A\x8C\x8E.MID", true},        // šœž ŠŒŽ
      {"\xFF.MID", "\x9F.MID", true},                        // ÿ Ÿ
      {"\xF7.MID", "\xD7.MID", false},                       // ÷ and × are no letters
      {"\xDF.MID", "SS.MID", false},                         // ß has no single upper case
      {"\xB5.MID", "\xCC.MID", false},                       // µ is not Ì
      {"\xFF.MID", "\xDF.MID", false},                       // ÿ is not ß (0xFF - 0x20)
      {"\x9A.MID", "\xBA.MID", false},                       // š is not º
      {"JUKE0001.MID", "JUKE0001.MI", false},
      {"JUKE_001.MID", "JUKE 001.MID", false},               // non-letters stay apart
      {"a[b].MID", "a{b}.MID", false},                       // [ ] and { } are 0x20 apart
      {"@.MID", "`.MID", false},
      {"1.MID", "\x11.MID", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(SameWindowsName(c.a, c.b), c.same);
    EXPECT_EQ(SameWindowsName(c.b, c.a), c.same);
  }
}

// Exactly the 60 lower-case letters fold, each to a byte that stays put.
TEST(WindowsCase, SixtyLettersFoldAndFoldingIsFinal) {
  int folded = 0;
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    if (FoldWindowsCase(c) != c) ++folded;
    EXPECT_EQ(FoldWindowsCase(FoldWindowsCase(c)), FoldWindowsCase(c)) << byte;
  }
  EXPECT_EQ(folded, 26 + 30 + 4);
}

}  // namespace
