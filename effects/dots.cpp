// The dot screen and its scene effect.
#include "effects/dots.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

#include "effects/compose.h"
#include "effects/tunnel.h"

namespace {

constexpr int kReach = 3;                 // the kernel covers offsets -3 ... 3
constexpr int kSpan = 2 * kReach + 1;
constexpr int kPitchX = 6, kPitchY = 5;   // cell spacing across and down; odd cell rows shift by 3
constexpr int32_t kRimWidth = 85;         // kernel steps over which a rim fades from 256 to 3
constexpr int32_t kOutside = -1;

int32_t grid_width = 0, grid_height = 0;
int32_t kernel[kSpan][kSpan];

// The kernel's distinct entries, and the class of each kernel cell (-1 outside the dot).
constexpr int kMaxClasses = kSpan * kSpan;
int32_t class_value[kMaxClasses];
int class_count = 0;
int8_t kernel_class[kSpan][kSpan];

uint32_t dots_scratch[kPixels];

inline uint32_t add_saturated(uint32_t pixel, uint32_t addend) {
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_adds_epu8(_mm_cvtsi32_si128(static_cast<int32_t>(pixel)),
                                                               _mm_cvtsi32_si128(static_cast<int32_t>(addend)))));
}

}  // namespace

void dots_init(int32_t width, int32_t height) {
  grid_width = std::clamp(width, 0, kWidth);
  grid_height = std::clamp(height, 0, kHeight);
  class_count = 0;
  for (int dy = -kReach; dy <= kReach; ++dy)
    for (int dx = -kReach; dx <= kReach; ++dx) {
      const double d = std::sqrt(static_cast<double>(dx * dx + dy * dy));
      const int32_t k = d > 3.5 ? kOutside : static_cast<int32_t>((d + 0.25) / 3.0 * 256.0);
      kernel[dy + kReach][dx + kReach] = k;
      int8_t cls = -1;
      if (k != kOutside) {
        cls = static_cast<int8_t>(std::find(class_value, class_value + class_count, k) - class_value);
        if (cls == class_count) class_value[class_count++] = k;
      }
      kernel_class[dy + kReach][dx + kReach] = cls;
    }
}

int32_t dots_kernel_at(int32_t dx, int32_t dy) {
  if (dx < -kReach || dx > kReach || dy < -kReach || dy > kReach) return kOutside;
  return kernel[dy + kReach][dx + kReach];
}

void dots_render(uint32_t* dst, const uint32_t* src, int32_t gain) {
  // Past 0xFF00 every non-zero level is 255 anyway.
  gain = std::clamp(gain, 0, 0xFF00);
  int32_t rim[kRimWidth];  // only differences 0 ... 84 between kernel and level are ever used
  for (int32_t d = 0; d < kRimWidth; ++d) rim[d] = (21760 - 256 * d) / 85;
  int32_t level[256];
  for (int32_t v = 0; v < 256; ++v) level[v] = v * gain <= 0xFEFF ? v * gain / 255 : 255;

  const int32_t w = grid_width, h = grid_height;
  for (int32_t cy = 0, cell_row = 0; cy < h; cy += kPitchY, ++cell_row) {
    for (int32_t cx = (cell_row & 1) ? kReach : 0; cx < w; cx += kPitchX) {
      // Average of up to four samples, leaving out those above or left of the image.
      uint32_t sum[3] = {0, 0, 0};
      uint32_t count = 0;
      for (int32_t sy = cy - kReach; sy <= cy; sy += kReach) {
        if (sy < 0) continue;
        for (int32_t sx = cx - kReach; sx <= cx; sx += kReach) {
          if (sx < 0) continue;
          const uint32_t p = src[sy * w + sx];
          for (int c = 0; c < 3; ++c) sum[c] += (p >> (8 * c)) & 0xFF;
          ++count;
        }
      }
      // What each kernel class adds to the pixel: 255 inside the dot (a saturating add of 255
      // sets the byte), the rim just outside it, nothing beyond.
      uint32_t addend[kMaxClasses];
      for (int k = 0; k < class_count; ++k) {
        const int32_t kv = class_value[k];
        uint32_t a = 0;
        for (int c = 0; c < 3; ++c) {
          const int32_t l = level[sum[c] / count];
          int32_t add = 0;
          if (l > std::max(kv, 3))
            add = 255;
          else if (l + kRimWidth > kv && l > 3)
            add = std::min(rim[kv - l], 255);
          a |= static_cast<uint32_t>(add) << (8 * c);
        }
        addend[k] = a;
      }
      const int32_t y0 = std::max(cy - kReach, 0), y1 = std::min(cy + kReach, h - 1);
      const int32_t x0 = std::max(cx - kReach, 0), x1 = std::min(cx + kReach, w - 1);
      for (int32_t y = y0; y <= y1; ++y) {
        const int8_t* cls = kernel_class[y - cy + kReach] - (cx - kReach);
        uint32_t* row = dst + y * w;
        for (int32_t x = x0; x <= x1; ++x)
          if (cls[x] >= 0) row[x] = add_saturated(row[x], addend[cls[x]]);
      }
    }
  }
}

void dotscreen_draw(uint32_t* fb, int32_t t) {
  tunnel_draw(fb, static_cast<int32_t>(10000u - static_cast<uint32_t>(t)));
  std::fill_n(dots_scratch, kPixels, 0u);
  dots_render(dots_scratch, fb, 255);
  const int32_t radius = static_cast<int32_t>(8.0 * std::sin(t / 10.0) + 10.0);
  blur_h(dots_scratch, fb, 0, 0, 0, 0, kWidth, kHeight, kWidth, kHeight, radius);
  thumbnail(0, 0, fb, 1);
  for (int32_t x : {12, 90, 168, 246}) thumbnail(x, -10, fb, 0);
}

void picture_fill(uint32_t* buffer, const uint8_t* image) {
  constexpr int kLeft = 32;  // the 256-pixel picture centred in the 320-pixel row
  std::fill_n(buffer, kPixels, 0u);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < 256; ++x) {
      const uint32_t v = image[y * 256 + x];
      const uint32_t colour = (v << 16) + ((v >> 1) << 8);
      buffer[y * kWidth + x + kLeft] = colour;
      buffer[(kHeight + y) * kWidth + x + kLeft] = colour;
    }
}
