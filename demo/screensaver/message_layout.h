// Where and how large the demo screen saver draws its message and its
// "Now playing" line: a font size at which the message fits the screen's
// width, on one line or broken in two at a blank, and the area in which the
// message drifts, clear of the status line at the bottom. Plain arithmetic
// over a text measure that the caller supplies (GDI on Windows, a model in
// tests); all sizes are in pixels.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace screensaver {

// A line of text as drawn: its advance width and its line height.
struct TextExtent {
  int Width = 0;
  int Height = 0;
};

// The extent of `text` (one line) in the message or status font whose
// characters are `fontHeight` pixels high (CreateFont's negative height).
// Expected to grow with the font height.
using TextMeasure = std::function<TextExtent(std::string_view text, int fontHeight)>;

struct PixelRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;  // Right and Bottom exclusive
};

struct MessageLayout {
  int FontHeight = 0;
  int ShadowOffset = 0;  // the black shadow lies this far right and down
  // The message as drawn: one line, or two when Second is not empty. Each
  // line is centred in the block.
  std::string First, Second;
  int FirstWidth = 0, SecondWidth = 0;
  int LineHeight = 0;
  // The block of lines with their shadow.
  int BlockWidth = 0, BlockHeight = 0;
  // The block's top-left corner stays where the whole block lies inside
  // this area: the screen, less the status line's band when there is one.
  PixelRect DriftArea;
  // The status line ("Now playing: ..."): its font and top-left corner.
  int StatusFontHeight = 0;
  int StatusX = 0, StatusY = 0;
};

// Lays out `message` for a screen (or preview window) of `width` x `height`.
// With `statusLine` the bottom band is kept for the status line. The block
// is at most nine tenths of the width and half of the drift area's height;
// the font shrinks (down to 9 pixels, or the height's eleventh part if that
// is less) until it fits, and below that the text is cut at the edge.
MessageLayout LayOutMessage(std::string_view message, int width, int height, bool statusLine,
                            const TextMeasure& measure);

// The message's place and velocity (pixels, pixels per second).
struct MessageDrift {
  double X = 0, Y = 0;
  double SpeedX = 0, SpeedY = 0;
};

// Where the message starts for a screen of `width` x `height`: a slow drift
// that crosses the screen in about twenty seconds at speed 3 (1 to 9).
MessageDrift StartDrift(const MessageLayout& layout, int width, int height, int speed);

// Moves the message on by `seconds`, bouncing off the drift area's edges,
// so that the block stays inside the area (at its top-left corner when the
// block is larger than the area).
void AdvanceDrift(MessageDrift& drift, const MessageLayout& layout, double seconds);

}  // namespace screensaver
