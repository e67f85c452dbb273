// Framebuffer compositing: cross-fade, additive blend, box blurs, text strips, thumbnail.
#include "effects/compose.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstddef>

#include "effects/effects_internal.h"

uint32_t thumbnail_buffer[kThumbWidth * kThumbHeight];

namespace {

// Rows are blur radii, columns channel values; row 0 is all 255. The blurs read rows 1 to 255
// only: any other radius clears the rectangle before a row is looked up.
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

// The blurs sum whole words q = (red / r) << 16 | (green / r) << 8 | blue / r. A window of at most
// r such terms has at most 255 in each channel, so the word sum is the output pixel itself, and
// since it is an exact integer sum, adding before subtracting cannot spoil it.
//
// The per-channel division reads the division table; the SSE2 path divides by multiplying with
// ceil(65536 / r), which gives the same quotient for every byte when 2 <= r <= 255 (radius 1 only
// clears the top byte, and from 256 on every quotient is 0).
struct Divider {
  int32_t radius;
  const int32_t* row;  // division-table row of the radius
  __m128i reciprocal;
};

Divider make_divider(int32_t radius) {
  Divider d;
  d.radius = radius;
  d.row = divtable[std::min(radius, kDivRows - 1)];
  const int32_t m = radius >= 2 ? (65536 + radius - 1) / radius : 0;
  d.reciprocal = _mm_set1_epi16(static_cast<int16_t>(m));
  return d;
}

inline uint32_t divide_table(const Divider& d, uint32_t p) {
  return (static_cast<uint32_t>(d.row[(p >> 16) & 0xFF]) << 16) +
         (static_cast<uint32_t>(d.row[(p >> 8) & 0xFF]) << 8) + static_cast<uint32_t>(d.row[p & 0xFF]);
}

inline __m128i divide4(const Divider& d, __m128i p) {
  p = _mm_and_si128(p, _mm_set1_epi32(0x00FFFFFF));
  if (d.radius == 1) return p;
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_mulhi_epu16(_mm_unpacklo_epi8(p, zero), d.reciprocal);
  const __m128i hi = _mm_mulhi_epu16(_mm_unpackhi_epi8(p, zero), d.reciprocal);
  return _mm_packus_epi16(lo, hi);
}

inline uint32_t divide1(const Divider& d, uint32_t p) {
  return static_cast<uint32_t>(_mm_cvtsi128_si32(divide4(d, _mm_cvtsi32_si128(static_cast<int32_t>(p)))));
}

// q of n pixels, four at a time.
void divide_run(const Divider& d, const uint32_t* src, uint32_t* q, int32_t n) {
  int32_t i = 0;
  for (; i + 4 <= n; i += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q + i),
                     divide4(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i))));
  for (; i < n; ++i) q[i] = divide1(d, src[i]);
}

// One row of blur_h: output x sums q over x + half - radius + 1 ... x + half, inside the row.
// q(j) gives the term of source pixel j.
template <typename Term>
void blur_row(uint32_t* d, int32_t width, int32_t radius, Term q) {
  const int32_t half = radius / 2;
  uint32_t sum = 0;
  for (int32_t j = 0; j < std::min(half, width); ++j) sum += q(j);
  int32_t x = 0;
  // Growing: the window's left end is still outside the row.
  for (; x < width && x + half - radius < 0; ++x) {
    if (x + half < width) sum += q(x + half);
    d[x] = sum;
  }
  // Steady: one pixel enters and one leaves.
  for (; x + half < width; ++x) {
    sum += q(x + half);
    sum -= q(x + half - radius);
    d[x] = sum;
  }
  // Tail: only pixels leave.
  for (; x < width; ++x) {
    sum -= q(x + half - radius);
    d[x] = sum;
  }
}

// The window along the rows of the width x height rectangle at s0, into the one at d0.
void blur_rows(const uint32_t* s0, uint32_t* d0, int32_t width, int32_t height, int32_t pitch, int32_t radius,
               const Divider& div) {
  constexpr int32_t kMaxRow = 1024;  // wider rows divide on the fly through the table
  uint32_t q[kMaxRow];
  for (int32_t y = 0; y < height; ++y) {
    const uint32_t* s = s0 + static_cast<ptrdiff_t>(y) * pitch;
    uint32_t* d = d0 + static_cast<ptrdiff_t>(y) * pitch;
    if (width <= kMaxRow) {
      divide_run(div, s, q, width);
      blur_row(d, width, radius, [&](int32_t j) { return q[j]; });
    } else {
      blur_row(d, width, radius, [&](int32_t j) { return divide_table(div, s[j]); });
    }
  }
}

// The same window down the columns; every column of the rectangle advances together, row by row,
// so memory is read along rows and four columns share each SSE2 operation.
void blur_columns(const uint32_t* s0, uint32_t* d0, int32_t width, int32_t height, int32_t pitch, int32_t radius,
                  const Divider& div) {
  const int32_t half = radius / 2;
  constexpr int32_t kStrip = kFbWidth;  // columns per pass
  alignas(16) uint32_t sums[kStrip];
  auto add_row = [&](const uint32_t* s, int32_t n, bool add) {
    int32_t c = 0;
    for (; c + 4 <= n; c += 4) {
      __m128i* sum = reinterpret_cast<__m128i*>(sums + c);
      const __m128i q = divide4(div, _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + c)));
      _mm_store_si128(sum, add ? _mm_add_epi32(*sum, q) : _mm_sub_epi32(*sum, q));
    }
    for (; c < n; ++c) sums[c] = add ? sums[c] + divide1(div, s[c]) : sums[c] - divide1(div, s[c]);
  };
  for (int32_t c0 = 0; c0 < width; c0 += kStrip) {
    const int32_t n = std::min(kStrip, width - c0);
    auto row = [&](int32_t y) { return s0 + static_cast<ptrdiff_t>(y) * pitch + c0; };
    std::fill_n(sums, n, 0u);
    for (int32_t j = 0; j < std::min(half, height); ++j) add_row(row(j), n, true);
    for (int32_t y = 0; y < height; ++y) {
      if (y + half < height) add_row(row(y + half), n, true);
      if (y + half - radius >= 0) add_row(row(y + half - radius), n, false);
      std::copy_n(sums, n, d0 + static_cast<ptrdiff_t>(y) * pitch + c0);
    }
  }
}

using BlurPass = void (*)(const uint32_t*, uint32_t*, int32_t, int32_t, int32_t, int32_t, const Divider&);

// What both blurs do: clip the two rectangles to the buffers and run the pass over them. Radii
// below 1 (no window) and from 256 on (every quotient would be 0) give black: the destination
// rectangle is cleared without running the window or reading the division table.
void blur(const uint32_t* src, uint32_t* dst, int32_t src_x, int32_t src_y, int32_t dst_x, int32_t dst_y,
          int32_t width, int32_t height, int32_t pitch, int32_t buffer_height, int32_t radius, BlurPass pass) {
  if (pitch <= 0 || buffer_height <= 0 || src_x < 0 || src_y < 0 || dst_x < 0 || dst_y < 0) return;
  const int64_t w = std::min<int64_t>({width, int64_t{pitch} - src_x, int64_t{pitch} - dst_x});
  const int64_t h = std::min<int64_t>({height, int64_t{buffer_height} - src_y, int64_t{buffer_height} - dst_y});
  if (w <= 0 || h <= 0) return;
  const uint32_t* s0 = src + static_cast<ptrdiff_t>(src_y) * pitch + src_x;
  uint32_t* d0 = dst + static_cast<ptrdiff_t>(dst_y) * pitch + dst_x;
  if (radius < 1 || radius > 255) {
    for (int64_t y = 0; y < h; ++y) std::fill_n(d0 + y * pitch, w, 0u);
    return;
  }
  pass(s0, d0, static_cast<int32_t>(w), static_cast<int32_t>(h), pitch, radius, make_divider(radius));
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
  blur(src, dst, src_x, src_y, dst_x, dst_y, width, height, pitch, buffer_height, radius, blur_rows);
}

void blur_v(const uint32_t* src, uint32_t* dst, int32_t src_x, int32_t src_y, int32_t dst_x, int32_t dst_y,
            int32_t width, int32_t height, int32_t pitch, int32_t buffer_height, int32_t radius) {
  blur(src, dst, src_x, src_y, dst_x, dst_y, width, height, pitch, buffer_height, radius, blur_columns);
}

void text_draw(int32_t x, int32_t y, int32_t index, int32_t alpha, uint32_t* fb, const uint8_t* strips) {
  if (index < 0 || index >= kTextStripCount) return;
  alpha = std::clamp(alpha, 0, 255);
  // Opacity of each coverage value.
  uint32_t opacity[256];
  for (uint32_t c = 0; c < 256; ++c) opacity[c] = c * static_cast<uint32_t>(alpha) / 255;
  const uint8_t* strip = strips + static_cast<ptrdiff_t>(index) * kTextStripWidth * kTextStripHeight;
  const int64_t x0 = std::max<int64_t>(0, -int64_t{x});
  const int64_t x1 = std::min<int64_t>(kTextStripWidth, int64_t{kFbWidth} - x);
  for (int32_t i = 0; i < kTextStripHeight; ++i) {
    const int64_t fy = int64_t{y} + i;
    if (fy < 0 || fy >= kFbHeight) continue;
    const uint8_t* cov = strip + i * kTextStripWidth;
    const int64_t base = fy * kFbWidth + x;
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
            border ? kThumbBorder : (fb[kThumbStep * i * kFbWidth + kThumbStep * j] >> 1) & 0x7F7F7F7Fu;
      }
    return;
  }
  int64_t count = kThumbWidth, from = 0, to = x;
  if (x > kFbWidth - kThumbWidth) {
    count = int64_t{kFbWidth} - x;
  } else if (x < 0) {
    count = int64_t{x} + kThumbWidth;
    from = -int64_t{x};
    to = 0;
  }
  if (count < 1) return;
  for (int i = 0; i < kThumbHeight; ++i) {
    const int64_t fy = int64_t{y} + i;
    if (fy < 0 || fy >= kFbHeight) continue;
    std::copy_n(thumbnail_buffer + i * kThumbWidth + from, count, fb + fy * kFbWidth + to);
  }
}
