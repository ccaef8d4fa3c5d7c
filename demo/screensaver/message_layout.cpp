// Fitting the demo screen saver's message to the screen, and its drift.
#include "demo/screensaver/message_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace screensaver {
namespace {

constexpr int kSmallestFont = 9;
// Of the screen's width, the most the message may take: the rest lets it
// drift from side to side.
constexpr int kWidthShareTenths = 9;
// The status line's text as far as its height goes; the file name differs.
constexpr std::string_view kStatusSample = "Now playing: JUKE0023.MID";

bool IsBlank(char c) { return c == ' '; }

struct TwoLines {
  std::string First, Second;
};

// The message broken at the blank at `at`: the blanks around it go.
TwoLines BreakAt(std::string_view message, std::size_t at) {
  std::size_t firstEnd = at, secondStart = at;
  while (firstEnd > 0 && IsBlank(message[firstEnd - 1])) --firstEnd;
  while (secondStart < message.size() && IsBlank(message[secondStart])) ++secondStart;
  return {std::string(message.substr(0, firstEnd)), std::string(message.substr(secondStart))};
}

// The break whose longer line is the narrowest at `fontHeight`; false when
// the message has no blank between two words.
bool BestBreak(std::string_view message, int fontHeight, const TextMeasure& measure,
               TwoLines* best) {
  int bestWidth = 0;
  bool found = false;
  for (std::size_t at = 0; at < message.size(); ++at) {
    if (!IsBlank(message[at])) continue;
    TwoLines lines = BreakAt(message, at);
    if (lines.First.empty() || lines.Second.empty()) continue;
    const int width = std::max(measure(lines.First, fontHeight).Width,
                               measure(lines.Second, fontHeight).Width);
    if (!found || width < bestWidth) {
      *best = std::move(lines);
      bestWidth = width;
      found = true;
    }
  }
  return found;
}

}  // namespace

MessageLayout LayOutMessage(std::string_view message, int width, int height, bool statusLine,
                            const TextMeasure& measure) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  MessageLayout layout;
  layout.ShadowOffset = height > 200 ? 3 : 1;

  // The status line sits one margin above the bottom; the message keeps
  // another margin's distance above it.
  const int margin = height / 40;
  layout.StatusFontHeight = std::max(height / 40, kSmallestFont);
  int driftBottom = height;
  if (statusLine) {
    // Its shadow lies one pixel below it.
    const int statusLineHeight = measure(kStatusSample, layout.StatusFontHeight).Height + 1;
    layout.StatusX = margin;
    layout.StatusY = height - margin - statusLineHeight;
    driftBottom = std::max(layout.StatusY - margin, 1);
  }
  layout.DriftArea = {0, 0, width, driftBottom};

  const int maxWidth = width * kWidthShareTenths / 10;
  const int maxHeight = driftBottom / 2;
  const int preferred = std::max(height / 11, 1);
  const int smallest = std::min(kSmallestFont, preferred);
  auto fits = [&](int textWidth, int textHeight) {
    return textWidth + layout.ShadowOffset <= maxWidth &&
           textHeight + layout.ShadowOffset <= maxHeight;
  };

  TwoLines lines;
  const bool breakable = BestBreak(message, preferred, measure, &lines);
  for (int font = preferred;;) {
    const TextExtent one = measure(message, font);
    layout.FontHeight = font;
    if (fits(one.Width, one.Height) || (!breakable && font <= smallest)) {
      layout.First = std::string(message);
      layout.Second.clear();
      layout.FirstWidth = one.Width;
      layout.SecondWidth = 0;
      layout.LineHeight = one.Height;
      break;
    }
    int narrowest = one.Width;
    if (breakable) {
      const TextExtent first = measure(lines.First, font);
      const TextExtent second = measure(lines.Second, font);
      const int twoWidth = std::max(first.Width, second.Width);
      const int lineHeight = std::max(first.Height, second.Height);
      if (fits(twoWidth, 2 * lineHeight) || font <= smallest) {
        layout.First = lines.First;
        layout.Second = lines.Second;
        layout.FirstWidth = first.Width;
        layout.SecondWidth = second.Width;
        layout.LineHeight = lineHeight;
        break;
      }
      narrowest = std::min(narrowest, twoWidth);
    }
    // Text widens about in proportion to its font: jump to about the size
    // that fits, then go down one pixel at a time.
    const std::int64_t scaled =
        static_cast<std::int64_t>(font) * maxWidth / std::max(narrowest, 1);
    font = static_cast<int>(std::clamp<std::int64_t>(scaled, smallest, font - 1));
  }
  const int lineCount = layout.Second.empty() ? 1 : 2;
  layout.BlockWidth = std::max(layout.FirstWidth, layout.SecondWidth) + layout.ShadowOffset;
  layout.BlockHeight = lineCount * layout.LineHeight + layout.ShadowOffset;
  return layout;
}

MessageDrift StartDrift(const MessageLayout& layout, int width, int height, int speed) {
  const double pace = speed / 3.0;
  MessageDrift drift;
  drift.SpeedX = width / 20.0 * pace;
  drift.SpeedY = height / 27.0 * pace;
  const PixelRect& area = layout.DriftArea;
  drift.X = std::max<double>(area.Left, std::min<double>(width / 10.0, area.Right - layout.BlockWidth));
  drift.Y = std::max<double>(area.Top, std::min<double>(height * 0.62, area.Bottom - layout.BlockHeight));
  return drift;
}

namespace {

// One axis: turns back at `low` and `high` (the largest allowed place);
// with no room between them the place stays at `low`.
void Bounce(double& place, double& speed, double low, double high) {
  if (place > high) {
    place = high;
    speed = -std::abs(speed);
  }
  if (place < low) {
    place = low;
    speed = std::abs(speed);
  }
}

}  // namespace

void AdvanceDrift(MessageDrift& drift, const MessageLayout& layout, double seconds) {
  const PixelRect& area = layout.DriftArea;
  drift.X += drift.SpeedX * seconds;
  drift.Y += drift.SpeedY * seconds;
  Bounce(drift.X, drift.SpeedX, area.Left, area.Right - layout.BlockWidth);
  Bounce(drift.Y, drift.SpeedY, area.Top, area.Bottom - layout.BlockHeight);
}

}  // namespace screensaver
