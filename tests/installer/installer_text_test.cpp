// The installer's arithmetic and text fitting: centring,
// kilobytes of free space, and titles shortened to fit.
#include <gtest/gtest.h>

#include <string>

#include "installer/composed_text.h"
#include "installer/dialogs.h"
#include "installer/installer_texts.h"
#include "installer/preinstall_checks.h"

using namespace installer;

namespace {

// Halving each side before subtracting is pinned by the installer's "move"
// lines; here: an odd screen, a window taller than it, none at all.
TEST(CenteredPosition, HalvesEachSideBeforeSubtracting) {
  struct Case {
    int screen, size, expected;
  } cases[] = {
      {1023, 301, 361},   // 511 - 150
      {768, 1001, -116},  // taller than the screen: negative, not clamped
      {800, 0, 400},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CenteredPosition(c.screen, c.size), c.expected)
        << c.size << " on " << c.screen;
}

TEST(KilobytesFromBytes, DropsTheRemainderAndSaturatesBelowUnknown) {
  EXPECT_EQ(KilobytesFromBytes(0), 0u);
  EXPECT_EQ(KilobytesFromBytes(1023), 0u);
  EXPECT_EQ(KilobytesFromBytes(1024), 1u);
  EXPECT_EQ(KilobytesFromBytes((1ull << 42) - 1024 * 3), 0xFFFFFFFDu);
  // 4 TiB and more must not read as "cannot be determined" nor wrap to
  // a small number that would warn about a full disk.
  EXPECT_EQ(KilobytesFromBytes(1ull << 42), kFreeSpaceAtLeast4TiB);
  EXPECT_EQ(KilobytesFromBytes(5ull << 42), kFreeSpaceAtLeast4TiB);
  EXPECT_EQ(KilobytesFromBytes(UINT64_MAX), kFreeSpaceAtLeast4TiB);
}

TEST(ShortenToFit, KeepsShortTextsAndMarksCutOnes) {
  struct Case {
    const char* text;
    std::size_t maxChars;
    const char* expected;
  } cases[] = {
      {"Aurora", 10, "Aurora"},
      {"Aurora", 6, "Aurora"},
      {"Aurora Borealis", 10, "Aurora ..."},
      {"Aurora", 3, "..."},
      {"Aurora", 2, ".."},
      {"Aurora", 0, ""},
  };
  for (const Case& c : cases) {
    char out[32];
    ShortenToFit(out, sizeof out, c.text, c.maxChars);
    EXPECT_STREQ(out, c.expected) << c.text << " in " << c.maxChars;
  }
  char small[8];
  ShortenToFit(small, sizeof small, "Aurora Borealis", 100);  // the buffer limits
  EXPECT_STREQ(small, "Auro...");
}

TEST(InstallerCaption, HoldsTitlesUpTo229CharactersWhole) {
  char caption[kCaptionSize];
  FormatInstallerCaption(caption, "");
  EXPECT_STREQ(caption, " Screen Saver Installation");

  const std::string fits(229, 'T');
  FormatInstallerCaption(caption, fits.c_str());
  EXPECT_EQ(std::string(caption), fits + " Screen Saver Installation");  // 255 characters
  // A longer title, cut with "...", is pinned through the installer by
  // BoundedTexts.LongTitleIsShortenedInTheCaption.
}

}  // namespace
