// The demo screen saver's picture: a night sky with stars and drifting
// curtains of light, drawn into a 32-bit pixel buffer (0x00RRGGBB per pixel,
// rows top-down, as a top-down DIB section holds them). Plain arithmetic,
// so it draws the same on any machine and can be checked off Windows.
#pragma once

#include <cstdint>

namespace screensaver {

struct AuroraColours {
  std::uint32_t Sky;     // 0xRRGGBB at the horizon; the zenith is darker
  std::uint32_t Aurora;  // 0xRRGGBB of the main curtain
  std::uint32_t Accent;  // 0xRRGGBB mixed into the other curtains
};

// Draws the frame at `seconds` of animated time into `pixels`
// (`width` * `height` values). Does nothing for sizes below 1 or above
// 4096 on either side.
void DrawAuroraFrame(std::uint32_t* pixels, int width, int height, double seconds,
                     const AuroraColours& colours);

}  // namespace screensaver
