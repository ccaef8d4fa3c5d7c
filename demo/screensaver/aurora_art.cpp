// Drawing the night sky and its curtains of light.
#include "demo/screensaver/aurora_art.h"

#include <cmath>

namespace screensaver {
namespace {

constexpr int kMaxSide = 4096;
constexpr int kStarCount = 90;
constexpr int kCurtainCount = 3;

struct Rgb {
  float r, g, b;
};

Rgb ToRgb(std::uint32_t c) {
  return {static_cast<float>((c >> 16) & 0xFF), static_cast<float>((c >> 8) & 0xFF),
          static_cast<float>(c & 0xFF)};
}

Rgb Mix(Rgb a, Rgb b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

std::uint8_t Channel(float v) {
  return static_cast<std::uint8_t>(v < 0.f ? 0.f : v > 255.f ? 255.f : v + 0.5f);
}

std::uint32_t ToPixel(Rgb c) {
  return (std::uint32_t{Channel(c.r)} << 16) | (std::uint32_t{Channel(c.g)} << 8) | Channel(c.b);
}

// Adds `c` scaled by `k` to the pixel, each channel saturating at 255.
void AddLight(std::uint32_t* pixel, Rgb c, float k) {
  Rgb p = ToRgb(*pixel);
  *pixel = ToPixel({p.r + c.r * k, p.g + c.g * k, p.b + c.b * k});
}

// Star positions are fixed fractions of the frame, from a small linear
// congruential generator, so they stay put when the window is resized.
std::uint32_t NextRandom(std::uint32_t* state) {
  *state = *state * 1664525u + 1013904223u;
  return *state >> 8;
}

void DrawSky(std::uint32_t* pixels, int width, int height, Rgb horizon) {
  const Rgb zenith = Mix(Rgb{0, 0, 0}, horizon, 0.35f);
  for (int y = 0; y < height; ++y) {
    const float t = height > 1 ? static_cast<float>(y) / static_cast<float>(height - 1) : 1.f;
    const std::uint32_t row = ToPixel(Mix(zenith, horizon, t * t));
    for (int x = 0; x < width; ++x) pixels[y * width + x] = row;
  }
}

void DrawStars(std::uint32_t* pixels, int width, int height, double seconds) {
  std::uint32_t state = 0x5A17u;
  for (int i = 0; i < kStarCount; ++i) {
    const int x = static_cast<int>(NextRandom(&state) % 10000u * static_cast<std::uint32_t>(width) / 10000u);
    const int y = static_cast<int>(NextRandom(&state) % 10000u * static_cast<std::uint32_t>(height) / 10000u);
    const float phase = static_cast<float>(NextRandom(&state) % 628u) / 100.f;
    const float twinkle = 0.55f + 0.45f * static_cast<float>(std::sin(seconds * 1.7 + phase));
    AddLight(&pixels[y * width + x], Rgb{255, 250, 235}, 0.75f * twinkle);
  }
}

// Adds `colour` (0..255 per channel) scaled by weight / 256 to the pixel,
// each channel saturating at 255.
void AddLightFixed(std::uint32_t* pixel, const int (&colour)[3], int weight) {
  const std::uint32_t p = *pixel;
  int r = static_cast<int>((p >> 16) & 0xFF) + ((colour[0] * weight) >> 8);
  int g = static_cast<int>((p >> 8) & 0xFF) + ((colour[1] * weight) >> 8);
  int b = static_cast<int>(p & 0xFF) + ((colour[2] * weight) >> 8);
  r = r > 255 ? 255 : r;
  g = g > 255 ? 255 : g;
  b = b > 255 ? 255 : b;
  *pixel = (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
}

// The brightness across a curtain, sampled once: kProfileSteps + 1 values
// above the edge (0 at the edge, the last at the top) and below it (down
// to three fall lengths).
constexpr int kProfileSteps = 256;
struct CurtainProfile {
  float Up[kProfileSteps + 1];
  float Down[kProfileSteps + 1];
  CurtainProfile() {
    for (int i = 0; i <= kProfileSteps; ++i) {
      const double up = static_cast<double>(i) / kProfileSteps;
      Up[i] = static_cast<float>((1.0 - up) * (1.0 - up) * (0.35 + 0.65 * std::exp(-up * 9.0)));
      const double down = 3.0 * i / kProfileSteps;
      Down[i] = static_cast<float>(std::exp(-down * down));
    }
  }
};

// One curtain: along x, a wavy lower edge whose height and brightness
// drift with time; light rises from the edge and fades upwards over a tall
// stretch, and falls off quickly below it.
void DrawCurtain(std::uint32_t* pixels, int width, int height, double seconds, int index, Rgb colour) {
  static const CurtainProfile profile;
  const int tint[3] = {static_cast<int>(colour.r), static_cast<int>(colour.g), static_cast<int>(colour.b)};
  const double h = height;
  const double k = 6.2831853 / (width > 1 ? width : 1);
  const double base = h * (0.42 + 0.11 * index);
  const double rise = h * (0.30 - 0.05 * index);
  const double fall = h * 0.035 + 1.0;
  const double drift = seconds * (0.23 + 0.07 * index);
  for (int x = 0; x < width; ++x) {
    const double edge = base + h * 0.07 * std::sin(x * k * (1.3 + 0.4 * index) + drift) +
                        h * 0.025 * std::sin(x * k * (4.1 - 0.9 * index) - drift * 1.9 + index);
    double glow = 0.55 + 0.45 * std::sin(x * k * (2.2 + index) - seconds * (0.5 + 0.15 * index) + 2.0 * index);
    // Fine vertical rays that come and go.
    glow *= 0.78 + 0.12 * std::sin(x * k * 37.0 + seconds * 0.9 + index) +
            0.10 * std::sin(x * k * 91.0 - seconds * 1.3 + 3.0 * index);
    glow *= 0.95 - 0.15 * index;
    const float weight = static_cast<float>(glow * 256.0);
    const int top = static_cast<int>(edge - rise) < 0 ? 0 : static_cast<int>(edge - rise);
    const int bottom = static_cast<int>(edge + fall * 3) >= height ? height - 1 : static_cast<int>(edge + fall * 3);
    const double upScale = kProfileSteps / rise, downScale = kProfileSteps / (3.0 * fall);
    for (int y = top; y <= bottom; ++y) {
      int step;
      const float* table;
      if (y <= edge) {
        step = static_cast<int>((edge - y) * upScale);
        table = profile.Up;
      } else {
        step = static_cast<int>((y - edge) * downScale);
        table = profile.Down;
      }
      if (step > kProfileSteps) continue;
      AddLightFixed(&pixels[y * width + x], tint, static_cast<int>(table[step] * weight));
    }
  }
}

}  // namespace

void DrawAuroraFrame(std::uint32_t* pixels, int width, int height, double seconds,
                     const AuroraColours& colours) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return;
  DrawSky(pixels, width, height, ToRgb(colours.Sky));
  DrawStars(pixels, width, height, seconds);
  const Rgb aurora = ToRgb(colours.Aurora);
  const Rgb accent = ToRgb(colours.Accent);
  for (int i = kCurtainCount - 1; i >= 0; --i)
    DrawCurtain(pixels, width, height, seconds, i, Mix(aurora, accent, 0.45f * static_cast<float>(i)));
}

}  // namespace screensaver
