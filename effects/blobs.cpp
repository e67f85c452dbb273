// The blob field.
#include "effects/blobs.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "effects/compose.h"

namespace {

constexpr int kSprite = 256;
constexpr int kGrid = 32;          // blobs per row and column
constexpr int kGridStep = 256 / kGrid;
constexpr uint32_t kBackdropBase = 0x005F0006;
constexpr uint32_t kBlobBase = 0x006F0006;

const uint8_t* image = portrait_b;
uint8_t sprite[kSprite * kSprite];
uint32_t backdrop_small[kFbPixels];
uint32_t backdrop_large[kFbPixels];

// The sprite resampled at every blob size up to kMaxCached, so that a clipped row of a blob is a
// contiguous run of sprite values. Larger blobs gather their values row by row.
constexpr int kMaxCached = 64;
uint8_t resampled[kMaxCached + 1][kMaxCached * kMaxCached];

inline uint32_t green_of(uint8_t b) { return ((171u * b) >> 9) << 8; }

// A sprite coordinate of blob pixel i: a 16.8 accumulator growing by `step` per pixel.
inline int sprite_index(int64_t i, int32_t step) { return static_cast<int>((i * step) >> 8); }

// Adds n pixels of the blob: fb[k] += (s[k] * colour byte) >> 8 per byte, saturating.
// Four pixels at a time; (s << 8) * c >> 16 is (s * c) >> 8.
void add_run(uint32_t* fb, const uint8_t* s, int n, __m128i colour16) {
  const __m128i zero = _mm_setzero_si128();
  int k = 0;
  for (; k + 4 <= n; k += 4) {
    int32_t four;
    __builtin_memcpy(&four, s + k, 4);
    __m128i v = _mm_cvtsi32_si128(four);
    v = _mm_unpacklo_epi8(v, v);
    v = _mm_unpacklo_epi16(v, v);  // each sprite value repeated for the four bytes of its pixel
    const __m128i lo = _mm_mulhi_epu16(_mm_unpacklo_epi8(zero, v), colour16);
    const __m128i hi = _mm_mulhi_epu16(_mm_unpackhi_epi8(zero, v), colour16);
    __m128i* p = reinterpret_cast<__m128i*>(fb + k);
    _mm_storeu_si128(p, _mm_adds_epu8(_mm_loadu_si128(p), _mm_packus_epi16(lo, hi)));
  }
  for (; k < n; ++k) {
    const __m128i v = _mm_cvtsi32_si128(static_cast<int32_t>(s[k] * 0x01010101u));
    const __m128i add = _mm_packus_epi16(_mm_mulhi_epu16(_mm_unpacklo_epi8(zero, v), colour16), zero);
    fb[k] = static_cast<uint32_t>(
        _mm_cvtsi128_si32(_mm_adds_epu8(_mm_cvtsi32_si128(static_cast<int32_t>(fb[k])), add)));
  }
}

}  // namespace

void blobs_init(const uint8_t* picture) {
  image = picture;
  std::fill_n(backdrop_small, kFbPixels, 0u);
  std::fill_n(backdrop_large, kFbPixels, 0u);
  for (int y = 0; y < kSprite; ++y)
    for (int x = 0; x < kSprite; ++x) {
      const double d = std::sqrt(static_cast<double>((x - 128) * (x - 128) + (y - 128) * (y - 128)));
      sprite[y * kSprite + x] =
          2.0 * d > 255.0 ? 1 : static_cast<uint8_t>(static_cast<int32_t>(215.0 * std::cos(2.0 * d * 1.57075 / 256.0)));
    }
  for (int size = 1; size <= kMaxCached; ++size) {
    const int32_t step = 65536 / size;
    for (int i = 0; i < size; ++i)
      for (int j = 0; j < size; ++j)
        resampled[size][i * size + j] = sprite[sprite_index(i, step) * kSprite + sprite_index(j, step)];
  }
  // Row x, column y of the image; each backdrop pixel keeps the last image pixel that lands on it.
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 256; ++y) {
      const uint32_t c = kBackdropBase + green_of(image[x * 256 + y]);
      backdrop_small[(56 + x / 2) * kFbWidth + 96 + y / 2] = c;
      backdrop_large[static_cast<int>(x / 1.5 + 35) * kFbWidth + static_cast<int>(y / 1.5 + 75)] = c;
    }
}

void blob_draw(uint32_t* fb, int32_t size, int32_t cx, int32_t cy, uint32_t colour) {
  if (size < 1) return;
  const int32_t step = 65536 / size;
  const int64_t left = int64_t{cx} - size / 2, top = int64_t{cy} - size / 2;
  // The blob's rows and columns that fall inside the framebuffer.
  const int64_t i0 = std::max<int64_t>(0, -top), i1 = std::min<int64_t>(size, kFbHeight - top);
  const int64_t j0 = std::max<int64_t>(0, -left), j1 = std::min<int64_t>(size, kFbWidth - left);
  if (i0 >= i1 || j0 >= j1) return;
  const int n = static_cast<int>(j1 - j0);

  const __m128i zero = _mm_setzero_si128();
  const __m128i bytes = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int32_t>(colour)), zero);
  const __m128i colour16 = _mm_unpacklo_epi64(bytes, bytes);

  uint8_t gathered[kFbWidth];
  int cols[kFbWidth];
  const bool cached = size <= kMaxCached;
  if (!cached)
    for (int k = 0; k < n; ++k) cols[k] = sprite_index(j0 + k, step);
  for (int64_t i = i0; i < i1; ++i) {
    uint32_t* out = fb + (top + i) * kFbWidth + (left + j0);
    const uint8_t* s;
    if (cached) {
      s = resampled[size] + i * size + j0;
    } else {
      const uint8_t* row = sprite + sprite_index(i, step) * kSprite;
      for (int k = 0; k < n; ++k) gathered[k] = row[cols[k]];
      s = gathered;
    }
    add_run(out, s, n, colour16);
  }
}

void blobs_draw(uint32_t* fb, int32_t t) {
  if (t <= 63) {
    std::copy_n(backdrop_small, kFbPixels, fb);
    return;
  }
  if (t <= 127) {
    crossfade(backdrop_small, backdrop_large, fb, kFbPixels, 4 * t - 256);
    return;
  }
  // k moves the blobs from the grid (0) to the swarm (1000); c zooms the grid in and out.
  const int32_t k = t < 250 ? 0 : 2 * std::min(t, 750) - 500;
  const int32_t z = 1000 - k;
  const int32_t tc = std::clamp(t, 200, 450);
  const double c = (std::cos(std::abs(325 - tc) * 6.2832 / 250.0) + 1.0) * 0.5 * 150.0;
  for (int32_t i = 0; i < kGrid * kGrid; ++i) {
    const int32_t u = i % kGrid, w = i / kGrid;
    const double s1 = std::sin(i / 2.6 + t / 48.0);
    const double s2 = std::sin(i / 2.7 + t / 42.0);
    const double s3 = std::cos(i / 2.2 + t / 43.0);
    const double depth = (k * (200.0 * s1 + 300.0) + 400.0 * z) / 1000.0 - c;
    const int32_t n = static_cast<int32_t>(3000.0 / depth);
    const int32_t size = (n * k + 2 * n * z) / 1000;
    const int32_t cx = static_cast<int32_t>((18000.0 * s2 * k + ((u - 16) * 2200 + 3000) * z) / 1000.0 / depth + 160.0);
    const int32_t cy = static_cast<int32_t>((((w - 16) * z * 2200) + 18000.0 * s3 * k) / 1000.0 / depth + 120.0);
    const uint32_t colour = kBlobBase + green_of(image[kGridStep * w * 256 + kGridStep * u]);
    blob_draw(fb, size, cx, cy, colour);
  }
  if (t >= 128 && t <= 255)
    crossfade(backdrop_large, fb, fb, kFbPixels, 2 * t - 255);
  else if (t >= 501 && t <= 627)
    crossfade(backdrop_large, fb, fb, kFbPixels, 4 * std::abs(t - 564));
}
