// Integer arithmetic throughout, so that every build draws the same bytes.
#include "assets/icon.h"

#include <algorithm>

namespace {

constexpr int kBackgroundLevel = 168;  // the portrait's flat backdrop
constexpr int kMargin = 8;             // transparent border around the rounded square
constexpr int kRadius = 36;
constexpr int kTitleWidth = 256, kTitleHeight = 24;
constexpr int kBandTop = 196, kBandBottom = 240;  // the darkened band behind the title
constexpr int kTitleTop = 206;

// Of the 4 x 4 sample points in pixel (x, y), how many lie inside the rounded square (0..16).
int square_coverage(int x, int y) {
  const int lo = kMargin, hi = kIconSize - kMargin;
  int inside = 0;
  for (int sy = 0; sy < 4; ++sy) {
    for (int sx = 0; sx < 4; ++sx) {
      // Sample positions in eighths of a pixel: 1, 3, 5, 7.
      const int px = x * 8 + sx * 2 + 1, py = y * 8 + sy * 2 + 1;
      if (px < lo * 8 || px >= hi * 8 || py < lo * 8 || py >= hi * 8) continue;
      // Distance past the straight edges into a corner, if any.
      const int cx = std::clamp(px, (lo + kRadius) * 8, (hi - kRadius) * 8);
      const int cy = std::clamp(py, (lo + kRadius) * 8, (hi - kRadius) * 8);
      const int dx = px - cx, dy = py - cy;
      inside += dx * dx + dy * dy <= kRadius * 8 * kRadius * 8;
    }
  }
  return inside;
}

}  // namespace

void icon_draw(const uint8_t* portrait, const uint8_t* title, uint8_t* out) {
  // Where the title's ink lies, so that it can be centred.
  int ink_first = kTitleWidth, ink_last = -1;
  if (title) {
    for (int y = 0; y < kTitleHeight; ++y) {
      for (int x = 0; x < kTitleWidth; ++x) {
        if (title[y * kTitleWidth + x]) {
          ink_first = std::min(ink_first, x);
          ink_last = std::max(ink_last, x);
        }
      }
    }
  }
  const int shift = ink_last < 0 ? 0 : (kIconSize - (ink_last - ink_first + 1)) / 2 - ink_first;
  for (int y = 0; y < kIconSize; ++y) {
    for (int x = 0; x < kIconSize; ++x) {
      const int p = portrait[y * kIconSize + x];
      int r, g, b;
      if (p == kBackgroundLevel) {
        // Dusk: violet at the top to deep blue at the bottom.
        r = 70 - 50 * y / (kIconSize - 1);
        g = 36 + 24 * y / (kIconSize - 1);
        b = 110 + 20 * y / (kIconSize - 1);
      } else {
        // The figure's levels as a warm ramp from plum to cream.
        r = std::min(255, 40 + p * 9 / 8);
        g = 20 + p * 3 / 4;
        b = 50 + p / 4;
      }
      if (title && y >= kBandTop && y < kBandBottom) {
        r = r * 2 / 5;
        g = g * 2 / 5;
        b = b * 2 / 5;
      }
      const int tx = x - shift, ty = y - kTitleTop;
      if (title && tx >= 0 && tx < kTitleWidth && ty >= 0 && ty < kTitleHeight) {
        const int ink = title[ty * kTitleWidth + tx];
        r += (255 - r) * ink / 255;
        g += (240 - g) * ink / 255;
        b += (220 - b) * ink / 255;
      }
      uint8_t* o = out + (size_t(y) * kIconSize + x) * 4;
      o[0] = uint8_t(r);
      o[1] = uint8_t(g);
      o[2] = uint8_t(b);
      o[3] = uint8_t((square_coverage(x, y) * 255 + 8) / 16);
    }
  }
}

namespace {

// A size that does not divide 256 (48): each icon pixel averages the part of the picture it
// covers, the source pixels on its edges weighted by how much of them lies inside it.
void shrink_by_area(const uint8_t* icon, int size, uint8_t* out) {
  // In units of 1 / size of a source pixel, icon pixel x spans [256 x, 256 (x + 1)) and source
  // pixel i spans [size i, size (i + 1)).
  const auto overlap = [size](int x, int i) {
    const int lo = std::max(kIconSize * x, size * i);
    const int hi = std::min(kIconSize * (x + 1), size * (i + 1));
    return std::max(0, hi - lo);
  };
  const int64_t n = int64_t(kIconSize) * kIconSize;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      int64_t a = 0, r = 0, g = 0, b = 0;
      for (int sy = kIconSize * y / size; sy <= (kIconSize * (y + 1) - 1) / size; ++sy) {
        for (int sx = kIconSize * x / size; sx <= (kIconSize * (x + 1) - 1) / size; ++sx) {
          const int64_t w = int64_t(overlap(y, sy)) * overlap(x, sx);
          const uint8_t* p = icon + (size_t(sy) * kIconSize + size_t(sx)) * 4;
          a += p[3] * w;
          r += p[0] * p[3] * w;
          g += p[1] * p[3] * w;
          b += p[2] * p[3] * w;
        }
      }
      uint8_t* o = out + (size_t(y) * size + x) * 4;
      o[0] = uint8_t(a ? (r + a / 2) / a : 0);
      o[1] = uint8_t(a ? (g + a / 2) / a : 0);
      o[2] = uint8_t(a ? (b + a / 2) / a : 0);
      o[3] = uint8_t((a + n / 2) / n);
    }
  }
}

}  // namespace

void icon_shrink(const uint8_t* icon, int size, uint8_t* out) {
  if (kIconSize % size != 0) {
    shrink_by_area(icon, size, out);
    return;
  }
  const int f = kIconSize / size, n = f * f;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      int a = 0, r = 0, g = 0, b = 0;
      for (int dy = 0; dy < f; ++dy) {
        const uint8_t* p = icon + (size_t(y * f + dy) * kIconSize + size_t(x) * f) * 4;
        for (int dx = 0; dx < f; ++dx, p += 4) {
          a += p[3];
          r += p[0] * p[3];
          g += p[1] * p[3];
          b += p[2] * p[3];
        }
      }
      uint8_t* o = out + (size_t(y) * size + x) * 4;
      o[0] = uint8_t(a ? (r + a / 2) / a : 0);
      o[1] = uint8_t(a ? (g + a / 2) / a : 0);
      o[2] = uint8_t(a ? (b + a / 2) / a : 0);
      o[3] = uint8_t((a + n / 2) / n);
    }
  }
}
