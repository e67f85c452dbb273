#include "effects/zoom.h"

#include <cmath>

#include "assets/assets.h"
#include "base/saturate.h"
#include "effects/effects_internal.h"
#include "effects/lens.h"

uint32_t colour_map[256 * 256];

namespace {

// Output size of zoom_draw: zoom_height rows of zoom_width consecutive pixels.
int32_t zoom_width = 0;
int32_t zoom_height = 0;

constexpr uint32_t kOrange = 0x00EE8800;  // the colour map's background

constexpr double kTurn = 3.7699111843077517;     // 1.2 pi: the rotation's resting angle
constexpr double kCorner = 1.208304866765305;    // 5 pi / 13: top-left to bottom-left corner
constexpr double kCentre = 128.5;                // the texture point the zoom closes in on
constexpr int32_t kCycle = 768;                  // three textures, 256 steps each

// Truncation toward zero to 32 bits. Coordinates are small for any sane exponent; an absurd one
// (inf or NaN radius) gives a held value instead of an undefined conversion.
int32_t trunc32(double v) { return saturate_int32(v, -2147483648.0, 2147483647.0); }

}  // namespace

int32_t zoom_set_size(int32_t width, int32_t height) {
  if (width < 1 || width > kFbWidth || height < 1 || height > kFbHeight) return 1;
  zoom_width = width;
  zoom_height = height;
  return 0;
}

void zoom_draw(uint32_t* dst, int32_t z, double e, const uint32_t* tex_a, const uint32_t* tex_b,
               const uint32_t* tex_c) {
  const int32_t f = z & 255;
  const int32_t phase = z % kCycle;  // negative phases stay with the first pair
  const uint32_t* first = tex_a;
  const uint32_t* second = tex_b;
  if (phase >= 512) {
    first = tex_c;
    second = tex_a;
  } else if (phase >= 256) {
    first = tex_b;
    second = tex_c;
  }

  uint8_t wa[256];
  uint8_t wb[256];
  for (int32_t i = 0; i < 256; ++i) {
    wa[i] = static_cast<uint8_t>(i * (255 - f) / 255);
    wb[i] = static_cast<uint8_t>(i * f / 255);
  }

  // Nothing to draw (also keeps the divisions below away from a zero width).
  if (zoom_height <= 0 || zoom_width <= 0) return;

  const double a = std::cos(static_cast<double>(z) / 25.6 * 0.5) + kTurn;
  const double q = std::pow(static_cast<double>(f), e) / (std::pow(256.0, e) * 0.00390625) + 1.0;
  const double s = 256.0 / q;
  const double a2 = a - kCorner;
  const double px = s * std::cos(a) + kCentre;
  const double py = s * std::sin(a) + kCentre;
  const double qx = s * std::cos(a2) + kCentre;
  const double qy = s * std::sin(a2) + kCentre;
  const double rx = kCentre - s * std::cos(a2);
  const double ry = kCentre - s * std::sin(a2);

  const double width = zoom_width;
  const double height = zoom_height;
  // 16.16 steps; coordinates wrap in 32 bits, only their low 16 integer bits are ever used.
  const uint32_t du = static_cast<uint32_t>(trunc32((rx - px) * 65536.0 / width));
  const uint32_t dv = static_cast<uint32_t>(trunc32((ry - py) * 65536.0 / width));

  uint32_t* out = dst;
  for (int32_t y = 0; y < zoom_height; ++y) {
    uint32_t u = static_cast<uint32_t>(trunc32((px + y * (qx - px) / height) * 65536.0));
    uint32_t v = static_cast<uint32_t>(trunc32((py + y * (qy - py) / height) * 65536.0));
    for (int32_t x = 0; x < zoom_width; ++x) {
      const uint32_t ca = first[((v >> 16) & 255) * 256 + ((u >> 16) & 255)];
      // The same point at 256 times the coordinates.
      const uint32_t cb = second[((v >> 8) & 255) * 256 + ((u >> 8) & 255)];
      const uint32_t red = wa[(ca >> 16) & 255] + wb[(cb >> 16) & 255];
      const uint32_t green = wa[(ca >> 8) & 255] + wb[(cb >> 8) & 255];
      const uint32_t blue = wa[ca & 255] + wb[cb & 255];
      *out++ = (red << 16) | (green << 8) | blue;
      u += du;
      v += dv;
    }
  }
}

void colour_map_fill(const uint8_t* image) {
  const uint8_t background = image[0];
  colour_map[0] = kOrange;
  for (int32_t j = 1; j < 256 * 256; ++j) {
    const uint32_t g = image[j];
    colour_map[j] = g == background ? kOrange : ((3 * g) >> 2) << 16;
  }
}

void colormap_init() {
  zoom_set_size(kFbWidth, kFbHeight);
  lens_init(500, 180);
  colour_map_fill(portrait_b);
}
