// The demo screen saver's message fits the screen and stays clear of the
// "Now playing" line, measured with a model of a bold sans-serif font.
#include "demo/screensaver/message_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// Advance widths of a bold sans-serif face in thousandths of the character
// height, about those of Arial Bold; a line is 1.15 heights high.
int Thousandths(char c) {
  switch (c) {
    case ' ': case 'i': case 'j': case 'l': return 278;
    case '-': case 't': case 'f': return 333;
    case 'r': return 389;
    case 'm': return 889;
    case 'w': return 778;
    default: return c >= 'A' && c <= 'Z' ? 722 : 556;
  }
}

screensaver::TextExtent BoldSans(std::string_view text, int fontHeight) {
  long long total = 0;
  for (char c : text) total += Thousandths(c);
  return {static_cast<int>((total * fontHeight + 999) / 1000), (fontHeight * 115 + 99) / 100};
}

constexpr char kDemoMessage[] = "Saverkit Aurora - installed by Saverkit";

// The block of lines stays on the screen, inside the drift area, and the
// drift area ends above the status line.
void ExpectClear(const screensaver::MessageLayout& layout, int width, int height, bool statusLine,
                 const std::string& what) {
  // Measured anew: the lines as drawn, not the layout's word for them.
  const int widest = std::max(BoldSans(layout.First, layout.FontHeight).Width,
                              BoldSans(layout.Second, layout.FontHeight).Width);
  EXPECT_LE(widest + layout.ShadowOffset, layout.BlockWidth) << what;
  EXPECT_LE(layout.BlockWidth, width) << what;
  EXPECT_LE(layout.BlockHeight, layout.DriftArea.Bottom - layout.DriftArea.Top) << what;
  EXPECT_LE(layout.DriftArea.Bottom, height) << what;
  if (statusLine) {
    EXPECT_LT(layout.DriftArea.Bottom, layout.StatusY) << what;
    EXPECT_LE(layout.StatusY + BoldSans("Now playing: JUKE0023.MID", layout.StatusFontHeight).Height,
              height)
        << what;
  }
}

TEST(MessageLayout, TheDemoMessageFitsTheCommonScreens) {
  struct Case {
    int width, height;
    const char* first;
    const char* second;
  } cases[] = {
      // Too wide for one line at an eleventh of the height: broken at the
      // blank that gives the narrowest pair, the font kept large.
      {800, 600, "Saverkit Aurora -", "installed by Saverkit"},
      {1024, 768, "Saverkit Aurora -", "installed by Saverkit"},
      {1920, 1080, "Saverkit Aurora -", "installed by Saverkit"},
  };
  for (const Case& c : cases) {
    const std::string what = std::to_string(c.width) + "x" + std::to_string(c.height);
    const screensaver::MessageLayout layout = screensaver::LayOutMessage(kDemoMessage, c.width, c.height, true, BoldSans);
    EXPECT_EQ(layout.First, c.first) << what;
    EXPECT_EQ(layout.Second, c.second) << what;
    EXPECT_GE(layout.FontHeight, c.height / 14) << what;
    ExpectClear(layout, c.width, c.height, true, what);

    // Two minutes of drift at the highest speed, a frame at a time: the
    // block never leaves the area.
    screensaver::MessageDrift drift = screensaver::StartDrift(layout, c.width, c.height, 9);
    for (int frame = 0; frame < 120 * 25; ++frame) {
      screensaver::AdvanceDrift(drift, layout, 0.04);
      ASSERT_GE(drift.X, 0) << what << " frame " << frame;
      ASSERT_GE(drift.Y, 0) << what << " frame " << frame;
      ASSERT_LE(drift.X + layout.BlockWidth, c.width) << what << " frame " << frame;
      ASSERT_LE(drift.Y + layout.BlockHeight, layout.DriftArea.Bottom) << what << " frame " << frame;
    }
  }
}

TEST(MessageLayout, ShortMessagesStayOnOneLineAndLongOnesShrink) {
  struct Case {
    const char* name;
    std::string message;
    int width, height;
    bool statusLine;
    int lines;
  } cases[] = {
      {"short", "Aurora", 1024, 768, true, 1},
      {"preview box", kDemoMessage, 152, 112, false, 2},
      {"longest message", std::string(60, 'W') + " " + std::string(66, 'W'), 800, 600, true, 2},
  };
  for (const Case& c : cases) {
    const screensaver::MessageLayout layout =
        screensaver::LayOutMessage(c.message, c.width, c.height, c.statusLine, BoldSans);
    EXPECT_EQ(layout.Second.empty() ? 1 : 2, c.lines) << c.name;
    ExpectClear(layout, c.width, c.height, c.statusLine, c.name);
  }
  // Nothing to shrink for: the font stays an eleventh of the height.
  EXPECT_EQ(screensaver::LayOutMessage("Aurora", 1024, 768, true, BoldSans).FontHeight, 768 / 11);
  // Without a status line the message may drift down to the bottom.
  EXPECT_EQ(screensaver::LayOutMessage(kDemoMessage, 152, 112, false, BoldSans).DriftArea.Bottom, 112);
}

TEST(MessageLayout, AWordTooLongForTheScreenEndsAtTheSmallestFont) {
  const std::string word(127, 'W');
  const screensaver::MessageLayout layout = screensaver::LayOutMessage(word, 800, 600, true, BoldSans);
  EXPECT_EQ(layout.FontHeight, 9);
  EXPECT_EQ(layout.First, word);
  EXPECT_TRUE(layout.Second.empty());
  // Wider than the screen: it stays at the left edge and still clear of
  // the status line.
  screensaver::MessageDrift drift = screensaver::StartDrift(layout, 800, 600, 3);
  for (int frame = 0; frame < 500; ++frame) screensaver::AdvanceDrift(drift, layout, 0.04);
  EXPECT_EQ(drift.X, 0);
  EXPECT_LE(drift.Y + layout.BlockHeight, layout.DriftArea.Bottom);
}

}  // namespace
