// The demo screen saver's picture: its colours come from the data file and
// it moves.
#include "demo/screensaver/aurora_art.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kWidth = 160, kHeight = 120;

std::vector<std::uint32_t> Frame(double seconds, const screensaver::AuroraColours& colours) {
  std::vector<std::uint32_t> pixels(kWidth * kHeight, 0xDEADBEEF);
  screensaver::DrawAuroraFrame(pixels.data(), kWidth, kHeight, seconds, colours);
  return pixels;
}

TEST(AuroraArt, SkyFadesToTheBackgroundColourAtTheHorizon) {
  // Black curtains add no light: what remains is the sky (and a few stars).
  const std::vector<std::uint32_t> pixels = Frame(1.0, {0x204080, 0x000000, 0x000000});
  int horizonMatches = 0;
  for (int x = 0; x < kWidth; ++x) horizonMatches += pixels[(kHeight - 1) * kWidth + x] == 0x204080;
  EXPECT_GT(horizonMatches, kWidth - 5);
  // The zenith is darker than the horizon in every channel.
  const std::uint32_t zenith = pixels[kWidth / 2 + 3];
  EXPECT_LT((zenith >> 16) & 0xFF, 0x20u);
  EXPECT_LT(zenith & 0xFF, 0x80u);
}

TEST(AuroraArt, CurtainsCarryTheAuroraColour) {
  // A pure green aurora over a black sky: no pixel gains red or blue but
  // the white stars, and many gain green.
  const std::vector<std::uint32_t> pixels = Frame(2.0, {0x000000, 0x00FF00, 0x00FF00});
  int green = 0, tinted = 0;
  for (std::uint32_t p : pixels) {
    green += ((p >> 8) & 0xFF) > 40;
    tinted += ((p >> 16) & 0xFF) > 0 && ((p >> 8) & 0xFF) < 200;
  }
  EXPECT_GT(green, kWidth * kHeight / 10);
  EXPECT_LT(tinted, 100);  // stars only
  EXPECT_NE(pixels, Frame(2.5, {0x000000, 0x00FF00, 0x00FF00}));  // the curtains move
}

TEST(AuroraArt, TinyAndRefusedSizesStayInBounds) {
  std::uint32_t one = 0xDEADBEEF;
  screensaver::DrawAuroraFrame(&one, 1, 1, 0.0, {0x123456, 0xFFFFFF, 0xFFFFFF});
  EXPECT_NE(one, 0xDEADBEEFu);
  std::uint32_t untouched = 0xDEADBEEF;
  screensaver::DrawAuroraFrame(&untouched, 0, 1, 0.0, {0, 0, 0});
  screensaver::DrawAuroraFrame(&untouched, 1, 5000, 0.0, {0, 0, 0});
  EXPECT_EQ(untouched, 0xDEADBEEFu);
}

}  // namespace
