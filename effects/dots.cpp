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

// The kernel's distinct entries (classes), and for each kernel cell the slot of its class in a
// cell's table of addends, or kNothing outside the dot.
constexpr int kMaxClasses = kSpan * kSpan;
constexpr int kNothing = kMaxClasses;
int32_t class_value[kMaxClasses];
int class_count = 0;
uint8_t kernel_slot[kSpan][kSpan];

uint32_t dots_scratch[kFbPixels];

inline uint32_t add_saturated(uint32_t pixel, uint32_t addend) {
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_adds_epu8(_mm_cvtsi32_si128(static_cast<int32_t>(pixel)),
                                                               _mm_cvtsi32_si128(static_cast<int32_t>(addend)))));
}

}  // namespace

void dots_init(int32_t width, int32_t height) {
  grid_width = std::clamp(width, 0, kFbWidth);
  grid_height = std::clamp(height, 0, kFbHeight);
  class_count = 0;
  for (int dy = -kReach; dy <= kReach; ++dy)
    for (int dx = -kReach; dx <= kReach; ++dx) {
      const double d = std::sqrt(static_cast<double>(dx * dx + dy * dy));
      const int32_t k = d > 3.5 ? kOutside : static_cast<int32_t>((d + 0.25) / 3.0 * 256.0);
      kernel[dy + kReach][dx + kReach] = k;
      int slot = kNothing;
      if (k != kOutside) {
        slot = static_cast<int>(std::find(class_value, class_value + class_count, k) - class_value);
        if (slot == class_count) class_value[class_count++] = k;
      }
      kernel_slot[dy + kReach][dx + kReach] = static_cast<uint8_t>(slot);
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
  uint8_t level[256];
  for (int32_t v = 0; v < 256; ++v) level[v] = static_cast<uint8_t>(v * gain <= 0xFEFF ? v * gain / 255 : 255);
  // What a channel at level l adds to a pixel of kernel class k: 255 inside the dot (a saturating
  // add of 255 sets the byte), the rim just outside it, nothing beyond.
  uint8_t add_byte[kMaxClasses][256];
  for (int k = 0; k < class_count; ++k) {
    const int32_t kv = class_value[k];
    for (int32_t l = 0; l < 256; ++l) {
      int32_t add = 0;
      if (l > std::max(kv, 3))
        add = 255;
      else if (l + kRimWidth > kv && l > 3)
        add = std::min(rim[kv - l], 255);
      add_byte[k][l] = static_cast<uint8_t>(add);
    }
  }

  const int32_t w = grid_width, h = grid_height;
  auto draw_cell = [&](int32_t cx, int32_t cy) {
    // Average of the samples that are not above or left of the image: 1, 2 or 4 of them.
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
    const int shift = count == 4 ? 2 : static_cast<int>(count >> 1);  // divide by 1, 2 or 4
    const uint8_t lb = level[sum[0] >> shift], lg = level[sum[1] >> shift], lr = level[sum[2] >> shift];
    uint32_t addend[kMaxClasses + 1];
    for (int k = 0; k < class_count; ++k)
      addend[k] = add_byte[k][lb] | (uint32_t{add_byte[k][lg]} << 8) | (uint32_t{add_byte[k][lr]} << 16);
    addend[kNothing] = 0;

    if (cx >= kReach && cy >= kReach && cx + kReach + 1 < w && cy + kReach < h) {
      // Whole kernel inside: each kernel row as two runs of four pixels, the eighth adding 0.
      for (int32_t dy = -kReach; dy <= kReach; ++dy) {
        const uint8_t* k = kernel_slot[dy + kReach];
        auto lane = [&](int i) { return static_cast<int32_t>(addend[k[i]]); };
        const __m128i left = _mm_set_epi32(lane(3), lane(2), lane(1), lane(0));
        const __m128i right = _mm_set_epi32(0, lane(6), lane(5), lane(4));
        __m128i* p = reinterpret_cast<__m128i*>(dst + (cy + dy) * w + cx - kReach);
        const __m128i a = _mm_loadu_si128(p), b = _mm_loadu_si128(p + 1);
        _mm_storeu_si128(p, _mm_adds_epu8(a, left));
        _mm_storeu_si128(p + 1, _mm_adds_epu8(b, right));
      }
      return;
    }
    // Near the edges: rows above the top and columns left of the edge are skipped, and the kernel
    // stops at the right and bottom edges.
    const int32_t y0 = std::max(cy - kReach, 0), y1 = std::min(cy + kReach, h - 1);
    const int32_t x0 = std::max(cx - kReach, 0), x1 = std::min(cx + kReach, w - 1);
    for (int32_t y = y0; y <= y1; ++y) {
      const uint8_t* k = kernel_slot[y - cy + kReach];
      uint32_t* row = dst + y * w;
      for (int32_t x = x0; x <= x1; ++x) row[x] = add_saturated(row[x], addend[k[x - cx + kReach]]);
    }
  };

  // Saturating adds of non-negative amounts give the same result in any order. Each cell row is
  // drawn as every other cell and then the rest, so that no cell reads pixels that the cell before
  // has only just written (neighbours share their edge columns).
  for (int32_t cy = 0, cell_row = 0; cy < h; cy += kPitchY, ++cell_row) {
    const int32_t first = (cell_row & 1) ? kReach : 0;
    for (int32_t pass = 0; pass < 2; ++pass)
      for (int32_t cx = first + pass * kPitchX; cx < w; cx += 2 * kPitchX) draw_cell(cx, cy);
  }
}

void dotscreen_draw(uint32_t* fb, int32_t t) {
  tunnel_draw(fb, static_cast<int32_t>(10000u - static_cast<uint32_t>(t)));
  std::fill_n(dots_scratch, kFbPixels, 0u);
  dots_render(dots_scratch, fb, 255);
  const int32_t radius = static_cast<int32_t>(8.0 * std::sin(t / 10.0) + 10.0);
  blur_h(dots_scratch, fb, 0, 0, 0, 0, kFbWidth, kFbHeight, kFbWidth, kFbHeight, radius);
  thumbnail(0, 0, fb, 1);
  for (int32_t x : {12, 90, 168, 246}) thumbnail(x, -10, fb, 0);
}

void picture_fill(uint32_t* buffer, const uint8_t* image) {
  constexpr int kLeft = 32;  // the 256-pixel picture centred in the 320-pixel row
  std::fill_n(buffer, kFbPixels, 0u);
  for (int y = 0; y < kFbHeight; ++y)
    for (int x = 0; x < 256; ++x) {
      const uint32_t v = image[y * 256 + x];
      const uint32_t colour = (v << 16) + ((v >> 1) << 8);
      buffer[y * kFbWidth + x + kLeft] = colour;
      buffer[(kFbHeight + y) * kFbWidth + x + kLeft] = colour;
    }
}
