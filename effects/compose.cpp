// Framebuffer compositing: cross-fade, additive blend, box blurs, text strips, thumbnail.
#include "effects/compose.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstddef>

#include "assets/assets.h"

uint32_t thumbnail_buffer[kThumbWidth * kThumbHeight];

namespace {

// Rows are blur radii, columns channel values; row 0 is all 255. Radii of 256 and more give
// zero everywhere, so larger radii are read from the last row.
constexpr int kDivRows = 640;
int32_t divtable[kDivRows][256];

constexpr uint32_t kThumbBorder = 0x885500;  // dark orange frame around the miniature
constexpr int kThumbStep = 5;                // the miniature samples every fifth pixel

// Exact floor(x / 255) for 0 <= x <= 65535: 0x8081 / 2^23 is 1/255 to within the needed error.
inline uint32_t div255(uint32_t x) { return (x * 0x8081u) >> 23; }

// SSE2 form of div255 on eight 16-bit lanes.
inline __m128i div255_epu16(__m128i x) {
  return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<int16_t>(0x8081))), 7);
}

// Scales the sixteen bytes of v by w / 255 (0 <= w <= 257) into two vectors of 16-bit lanes.
inline void scale_bytes(__m128i v, __m128i w, __m128i& lo, __m128i& hi) {
  const __m128i zero = _mm_setzero_si128();
  lo = div255_epu16(_mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), w));
  hi = div255_epu16(_mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), w));
}

// Both byte tables of a two-input byte-wise operation, applied to every byte of n pixels.
void apply_tables(const uint8_t* ta, const uint8_t* tb, bool saturate, const uint32_t* a, const uint32_t* b,
                  uint32_t* dst, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t pa = a[i], pb = b[i];
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      uint32_t v = static_cast<uint32_t>(ta[(pa >> shift) & 0xFF]) + tb[(pb >> shift) & 0xFF];
      if (saturate) v = std::min<uint32_t>(v, 255);
      out |= (v & 0xFF) << shift;
    }
    dst[i] = out;
  }
}

// Weighs sixteen bytes at a time with wa / 255 and wb / 255 (both at most 257) and sums them with
// unsigned saturation; for a cross-fade the sum never reaches 256, so the result is the same.
void weigh_simd(const uint32_t* a, const uint32_t* b, uint32_t* dst, int32_t n, int32_t wa, int32_t wb) {
  const __m128i va = _mm_set1_epi16(static_cast<int16_t>(wa));
  const __m128i vb = _mm_set1_epi16(static_cast<int16_t>(wb));
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i alo, ahi, blo, bhi;
    scale_bytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)), va, alo, ahi);
    scale_bytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)), vb, blo, bhi);
    const __m128i out = _mm_packus_epi16(_mm_add_epi16(alo, blo), _mm_add_epi16(ahi, bhi));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), out);
  }
  for (; i < n; ++i) {
    __m128i alo, ahi, blo, bhi;
    scale_bytes(_mm_cvtsi32_si128(static_cast<int32_t>(a[i])), va, alo, ahi);
    scale_bytes(_mm_cvtsi32_si128(static_cast<int32_t>(b[i])), vb, blo, bhi);
    dst[i] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_add_epi16(alo, blo), ahi)));
  }
}

// Gain table of blend_add: v * k / 255, or 255 once the product passes 0xFEFF.
void gain_table(uint8_t* t, int32_t k) {
  for (int32_t v = 0; v < 256; ++v) {
    const int32_t prod = v * k;
    t[v] = static_cast<uint8_t>(prod <= 0xFEFF ? prod / 255 : 255);
  }
}

// The blurs add channel values divided by the radius as three 10-bit fields of one word. A window
// sum never exceeds 255 per channel, and the word holds the exact integer sum, so the fields can
// be read back at any point where the window is complete.
struct BlurTables {
  uint32_t r[256], g[256], b[256];
};

void blur_tables(BlurTables& t, int32_t radius) {
  const int32_t* row = divtable[std::min(radius, kDivRows - 1)];
  for (int v = 0; v < 256; ++v) {
    const uint32_t d = static_cast<uint32_t>(row[v]);
    t.r[v] = d << 20;
    t.g[v] = d << 10;
    t.b[v] = d;
  }
}

inline uint32_t packed(const BlurTables& t, uint32_t p) {
  return t.r[(p >> 16) & 0xFF] + t.g[(p >> 8) & 0xFF] + t.b[p & 0xFF];
}

inline uint32_t unpacked(uint32_t sum) {
  return (((sum >> 20) & 0xFF) << 16) | (((sum >> 10) & 0xFF) << 8) | (sum & 0xFF);
}

// Clips both rectangles of a blur to the buffers. False when nothing is left to do.
bool clip_blur(int32_t src_x, int32_t src_y, int32_t dst_x, int32_t dst_y, int32_t& width, int32_t& height,
               int32_t pitch, int32_t buffer_height) {
  if (pitch <= 0 || buffer_height <= 0 || src_x < 0 || src_y < 0 || dst_x < 0 || dst_y < 0) return false;
  const int64_t w = std::min<int64_t>({width, int64_t{pitch} - src_x, int64_t{pitch} - dst_x});
  const int64_t h = std::min<int64_t>({height, int64_t{buffer_height} - src_y, int64_t{buffer_height} - dst_y});
  if (w <= 0 || h <= 0) return false;
  width = static_cast<int32_t>(w);
  height = static_cast<int32_t>(h);
  return true;
}

void clear_rect(uint32_t* dst, int32_t width, int32_t height, int32_t pitch) {
  for (int32_t y = 0; y < height; ++y) std::fill_n(dst + static_cast<ptrdiff_t>(y) * pitch, width, 0u);
}

}  // namespace

void divtable_init() {
  for (int v = 0; v < 256; ++v) divtable[0][v] = 255;
  for (int r = 1; r < kDivRows; ++r)
    for (int v = 0; v < 256; ++v) divtable[r][v] = v / r;
}

void crossfade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int32_t n, int32_t alpha) {
  alpha = std::clamp(alpha, 0, 255);
  weigh_simd(a, b, dst, n, 255 - alpha, alpha);
}

void blend_add(const uint32_t* a, const uint32_t* b, uint32_t* dst, int32_t n, int32_t ka, int32_t kb) {
  // Beyond 0xFF00 every non-zero byte saturates anyway, so the gains can be held there.
  ka = std::clamp(ka, 0, 0xFF00);
  kb = std::clamp(kb, 0, 0xFF00);
  // Up to 257 the products fit 16 bits and a term can pass 255 only where the sum saturates too.
  if (ka <= 257 && kb <= 257) {
    weigh_simd(a, b, dst, n, ka, kb);
    return;
  }
  uint8_t ta[256], tb[256];
  gain_table(ta, ka);
  gain_table(tb, kb);
  apply_tables(ta, tb, true, a, b, dst, n);
}

void blur_h(const uint32_t* src, uint32_t* dst, int32_t src_x, int32_t src_y, int32_t dst_x, int32_t dst_y,
            int32_t width, int32_t height, int32_t pitch, int32_t buffer_height, int32_t radius) {
  if (!clip_blur(src_x, src_y, dst_x, dst_y, width, height, pitch, buffer_height)) return;
  const uint32_t* s0 = src + static_cast<ptrdiff_t>(src_y) * pitch + src_x;
  uint32_t* d0 = dst + static_cast<ptrdiff_t>(dst_y) * pitch + dst_x;
  if (radius < 1) {  // row 0 of the division table: every window adds and removes the same pixel
    clear_rect(d0, width, height, pitch);
    return;
  }
  radius = std::min(radius, kDivRows - 1);
  BlurTables t;
  blur_tables(t, radius);
  const int32_t half = radius / 2;
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t* s = s0 + static_cast<ptrdiff_t>(y) * pitch;
    uint32_t* d = d0 + static_cast<ptrdiff_t>(y) * pitch;
    // Output x sums the source pixels x + half - radius + 1 ... x + half that lie in the row.
    uint32_t sum = 0;
    for (int32_t j = 0; j < std::min(half, width); ++j) sum += packed(t, s[j]);
    int32_t x = 0;
    // Growing: the window's left end is still outside the row.
    for (; x < width && x + half - radius < 0; ++x) {
      if (x + half < width) sum += packed(t, s[x + half]);
      d[x] = unpacked(sum);
    }
    // Steady: one pixel enters and one leaves.
    for (; x + half < width; ++x) {
      sum += packed(t, s[x + half]);
      sum -= packed(t, s[x + half - radius]);
      d[x] = unpacked(sum);
    }
    // Tail: only pixels leave.
    for (; x < width; ++x) {
      sum -= packed(t, s[x + half - radius]);
      d[x] = unpacked(sum);
    }
  }
}

void blur_v(const uint32_t* src, uint32_t* dst, int32_t src_x, int32_t src_y, int32_t dst_x, int32_t dst_y,
            int32_t width, int32_t height, int32_t pitch, int32_t buffer_height, int32_t radius) {
  if (!clip_blur(src_x, src_y, dst_x, dst_y, width, height, pitch, buffer_height)) return;
  const uint32_t* s0 = src + static_cast<ptrdiff_t>(src_y) * pitch + src_x;
  uint32_t* d0 = dst + static_cast<ptrdiff_t>(dst_y) * pitch + dst_x;
  if (radius < 1) {
    clear_rect(d0, width, height, pitch);
    return;
  }
  radius = std::min(radius, kDivRows - 1);
  BlurTables t;
  blur_tables(t, radius);
  const int32_t half = radius / 2;
  // All columns of a strip advance together, row by row, so that memory is read along rows.
  constexpr int32_t kStrip = kWidth;
  uint32_t sums[kStrip];
  for (int32_t c0 = 0; c0 < width; c0 += kStrip) {
    const int32_t n = std::min(kStrip, width - c0);
    auto row = [&](int32_t y) { return s0 + static_cast<ptrdiff_t>(y) * pitch + c0; };
    std::fill_n(sums, n, 0u);
    for (int32_t j = 0; j < std::min(half, height); ++j) {
      const uint32_t* s = row(j);
      for (int32_t c = 0; c < n; ++c) sums[c] += packed(t, s[c]);
    }
    for (int32_t y = 0; y < height; ++y) {
      const int32_t in = y + half, out = y + half - radius;
      if (in < height) {
        const uint32_t* s = row(in);
        for (int32_t c = 0; c < n; ++c) sums[c] += packed(t, s[c]);
      }
      if (out >= 0) {
        const uint32_t* s = row(out);
        for (int32_t c = 0; c < n; ++c) sums[c] -= packed(t, s[c]);
      }
      uint32_t* d = d0 + static_cast<ptrdiff_t>(y) * pitch + c0;
      for (int32_t c = 0; c < n; ++c) d[c] = unpacked(sums[c]);
    }
  }
}

void text_draw(int32_t x, int32_t y, int32_t index, int32_t alpha, uint32_t* fb) {
  if (index < 0 || index >= kTextStripCount) return;
  alpha = std::clamp(alpha, 0, 255);
  // Opacity of each coverage value.
  uint32_t opacity[256];
  for (uint32_t c = 0; c < 256; ++c) opacity[c] = c * static_cast<uint32_t>(alpha) / 255;
  const uint8_t* strip = text_strips + static_cast<ptrdiff_t>(index) * kTextStripWidth * kTextStripHeight;
  const int64_t x0 = std::max<int64_t>(0, -int64_t{x});
  const int64_t x1 = std::min<int64_t>(kTextStripWidth, int64_t{kWidth} - x);
  for (int32_t i = 0; i < kTextStripHeight; ++i) {
    const int64_t fy = int64_t{y} + i;
    if (fy < 0 || fy >= kHeight) continue;
    const uint8_t* cov = strip + i * kTextStripWidth;
    const int64_t base = fy * kWidth + x;
    for (int64_t j = x0; j < x1; ++j) {
      const uint8_t c = cov[j];
      if (c == 0) continue;
      const uint32_t a = opacity[c], inv = 255 - a, ab = 2 * a / 3;
      uint32_t& px = fb[base + j];
      const uint32_t p = px;
      const uint32_t blue = div255((p & 0xFF) * inv) + ab;
      const uint32_t green = div255(((p >> 8) & 0xFF) * inv) + a;
      const uint32_t red = div255(((p >> 16) & 0xFF) * inv) + a;
      px = (p & 0xFF000000u) | ((red & 0xFF) << 16) | ((green & 0xFF) << 8) | (blue & 0xFF);
    }
  }
}

void thumbnail(int32_t x, int32_t y, uint32_t* fb, int32_t capture) {
  if (capture != 0) {
    for (int i = 0; i < kThumbHeight; ++i)
      for (int j = 0; j < kThumbWidth; ++j) {
        const bool border = i == 0 || i == kThumbHeight - 1 || j == 0 || j == kThumbWidth - 1;
        thumbnail_buffer[i * kThumbWidth + j] =
            border ? kThumbBorder : (fb[kThumbStep * i * kWidth + kThumbStep * j] >> 1) & 0x7F7F7F7Fu;
      }
    return;
  }
  int64_t count = kThumbWidth, from = 0, to = x;
  if (x > kWidth - kThumbWidth) {
    count = int64_t{kWidth} - x;
  } else if (x < 0) {
    count = int64_t{x} + kThumbWidth;
    from = -int64_t{x};
    to = 0;
  }
  if (count < 1) return;
  for (int i = 0; i < kThumbHeight; ++i) {
    const int64_t fy = int64_t{y} + i;
    if (fy < 0 || fy >= kHeight) continue;
    std::copy_n(thumbnail_buffer + i * kThumbWidth + from, count, fb + fy * kWidth + to);
  }
}
