// Test images: a posterised portrait, a second one with six levels, and six text strips of
// blocky anti-aliased letters. Both portraits have their background level in the first byte.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "assets/assets.h"
#include "base/framebuffer.h"

namespace synthetic {

inline bool in_ellipse(int x, int y, int cx, int cy, int rx, int ry) {
  const double dx = double(x - cx) / rx, dy = double(y - cy) / ry;
  return dx * dx + dy * dy <= 1.0;
}

// Levels 25, 99, 168 (background) and 250: hair, shoulders, face, eyes.
inline std::vector<uint8_t> portrait_image() {
  std::vector<uint8_t> img(256 * 256, 168);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      uint8_t& v = img[y * 256 + x];
      if (in_ellipse(x, y, 128, 250, 110, 70)) v = 99;
      if (in_ellipse(x, y, 128, 105, 58, 72)) v = 25;
      if (in_ellipse(x, y, 128, 120, 48, 62)) v = 250;
      if (in_ellipse(x, y, 108, 110, 8, 5) || in_ellipse(x, y, 148, 110, 8, 5)) v = 25;
      if (y > 150 && y < 156 && x > 112 && x < 144) v = 99;
    }
  return img;
}

// Six levels, background 168 in the first byte.
inline std::vector<uint8_t> portrait_b_image() {
  static const uint8_t levels[6] = {20, 60, 110, 168, 205, 250};
  std::vector<uint8_t> img(256 * 256, 168);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      uint8_t& v = img[y * 256 + x];
      if (in_ellipse(x, y, 128, 260, 120, 80)) v = levels[1];
      if (in_ellipse(x, y, 128, 118, 62, 80)) v = levels[0];
      if (in_ellipse(x, y, 128, 130, 52, 66)) v = levels[4];
      if (in_ellipse(x, y, 118, 125, 30, 40)) v = levels[5];
      if (in_ellipse(x, y, 108, 118, 8, 5) || in_ellipse(x, y, 148, 118, 8, 5)) v = levels[2];
    }
  return img;
}

// Strip i holds 3 + i letters, each a 14 x 16 block with a soft one-pixel edge, from column 4.
inline std::vector<uint8_t> text_strip_images() {
  std::vector<uint8_t> s(kTextStripCount * kTextStripWidth * kTextStripHeight, 0);
  for (int i = 0; i < kTextStripCount; ++i)
    for (int letter = 0; letter < 3 + i; ++letter)
      for (int y = 4; y < 20; ++y)
        for (int x = 0; x < 14; ++x) {
          const bool edge = y == 4 || y == 19 || x == 0 || x == 13;
          const bool hole = letter % 2 == 1 && y > 8 && y < 15 && x > 4 && x < 9;
          if (hole) continue;
          s[(i * kTextStripHeight + y) * kTextStripWidth + 4 + letter * 18 + x] = edge ? 96 : 255;
        }
  return s;
}

inline std::vector<uint32_t> random_frame(uint32_t seed, size_t n = kFbPixels) {
  std::vector<uint32_t> f(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& p : f) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    p = x;
  }
  return f;
}

}  // namespace synthetic
