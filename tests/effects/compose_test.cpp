#include "effects/compose.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "effects/effects_internal.h"
#include "tests/effects/synthetic.h"

namespace {

using Frame = std::vector<uint32_t>;

uint32_t byte_of(uint32_t p, int i) { return (p >> (8 * i)) & 0xFF; }

// Plain transcriptions, the oracles of the SSE2 loops.
uint32_t ref_blend_add(uint32_t a, uint32_t b, int32_t ka, int32_t kb) {
  auto gain = [](uint32_t v, int32_t k) -> uint32_t { return v * k <= 65279 ? v * k / 255 : 255; };
  uint32_t out = 0;
  for (int i = 0; i < 4; ++i) out |= std::min<uint32_t>(255, gain(byte_of(a, i), ka) + gain(byte_of(b, i), kb)) << (8 * i);
  return out;
}

// Output i of a blur over a run of n pixels at stride `step`: the sum, over the pixels
// i + r/2 - r + 1 ... i + r/2 inside the run, of each channel divided by r.
uint32_t ref_blur_at(const uint32_t* s, int n, int step, int i, int r) {
  uint32_t sum[3] = {0, 0, 0};
  for (int k = i + r / 2 - r + 1; k <= i + r / 2; ++k)
    if (k >= 0 && k < n)
      for (int c = 0; c < 3; ++c) sum[c] += byte_of(s[k * step], c) / r;
  return (sum[2] << 16) | (sum[1] << 8) | sum[0];
}

class ComposeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { divtable_init(); }
};

TEST_F(ComposeTest, CrossfadeMatchesPlainVersionForEveryAlpha) {
  const Frame a = synthetic::random_frame(3, 1001), b = synthetic::random_frame(4, 1001);
  Frame out(a.size());
  for (int32_t alpha = 0; alpha <= 255; ++alpha) {
    Frame in_place = b;  // dst may be an input; the odd count runs the 4-pixel loop's tail too
    crossfade(a.data(), in_place.data(), in_place.data(), 1001, alpha);
    for (size_t i = 0; i < a.size(); ++i) {
      uint32_t expected = 0;
      for (int k = 0; k < 4; ++k)
        expected |= (byte_of(a[i], k) * (255 - alpha) / 255 + byte_of(b[i], k) * alpha / 255) << (8 * k);
      ASSERT_EQ(in_place[i], expected) << alpha << " " << i;
    }
  }
  crossfade(a.data(), b.data(), out.data(), 1001, 0);
  EXPECT_EQ(out, a);
  crossfade(a.data(), b.data(), out.data(), 1001, 1000);  // held to 255
  EXPECT_EQ(out, b);
}

TEST_F(ComposeTest, BlendAdd) {
  const uint32_t pixel = 0x00808080, flash = 0x00FFDDCC;
  uint32_t out = 0;
  blend_add(&pixel, &flash, &out, 1, 255, 120);
  EXPECT_EQ(out, 0x00F8E8E0u);
  const Frame a = synthetic::random_frame(7, 1003), b = synthetic::random_frame(8, 1003);
  const int32_t gains[] = {0, 1, 120, 255, 256, 257, 258, 1000, 65279, 65280, 100000};
  Frame sum(a.size());
  for (int32_t ka : gains)
    for (int32_t kb : gains) {
      blend_add(a.data(), b.data(), sum.data(), 1003, ka, kb);
      for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(sum[i], ref_blend_add(a[i], b[i], ka, kb)) << ka << " " << kb;
    }
}

TEST_F(ComposeTest, BlurKnownRow) {
  const uint32_t row[5] = {0, 0, 200, 0, 0};
  const std::vector<uint32_t> expected{0, 100, 100, 0, 0};
  uint32_t out[5];
  blur_h(row, out, 0, 0, 0, 0, 5, 1, 5, 1, 2);
  EXPECT_EQ(std::vector<uint32_t>(out, out + 5), expected);
  blur_v(row, out, 0, 0, 0, 0, 1, 5, 1, 5, 2);
  EXPECT_EQ(std::vector<uint32_t>(out, out + 5), expected);
}

// Both blurs against the plain window sum on random pixels: whole frames at the radii the show
// uses, every radius up to past 255 on short runs, radii longer than the run, rows wider than
// the row buffer.
TEST_F(ComposeTest, BlursMatchPlainWindowSum) {
  struct Case {
    int w, h, r_from, r_to;
  };
  for (const Case c : {Case{320, 240, 1, 1}, Case{320, 240, 21, 21}, Case{320, 240, 110, 110}, Case{61, 7, 1, 300},
                       Case{5, 3, 7, 7}, Case{320, 7, 639, 639}, Case{1500, 2, 40, 40}}) {
    const Frame src = synthetic::random_frame(uint32_t(c.w + c.r_from), size_t(c.w) * c.h);
    Frame bh(src.size()), bv(src.size());
    for (int r = c.r_from; r <= c.r_to; ++r) {
      blur_h(src.data(), bh.data(), 0, 0, 0, 0, c.w, c.h, c.w, c.h, r);
      blur_v(src.data(), bv.data(), 0, 0, 0, 0, c.w, c.h, c.w, c.h, r);
      for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
          ASSERT_EQ(bh[y * c.w + x], ref_blur_at(&src[y * c.w], c.w, 1, x, r)) << c.w << " r" << r;
          ASSERT_EQ(bv[y * c.w + x], ref_blur_at(&src[x], c.h, c.w, y, r)) << c.w << " r" << r;
        }
    }
  }
}

TEST_F(ComposeTest, BlurRectanglesAreClippedToTheBuffer) {
  const int pitch = 40, rows = 30, n = pitch * rows;
  const Frame src = synthetic::random_frame(14, n);
  for (auto blur : {blur_h, blur_v}) {
    const bool horizontal = blur == blur_h;
    struct Call {
      int sx, sy, dx, dy;  // a 320 x 240 rectangle is asked for every time
      int w, h;            // the part of it that fits
    };
    for (const Call c : {Call{30, 20, 0, 0, 10, 10}, Call{0, 0, 35, 25, 5, 5}, Call{12, 3, 20, 1, 20, 27}}) {
      Frame dst(n + 64, 0x12345678);  // with guard pixels after the buffer
      blur(src.data(), dst.data(), c.sx, c.sy, c.dx, c.dy, 320, 240, pitch, rows, 5);
      const uint32_t* s = &src[c.sy * pitch + c.sx];
      for (int y = 0; y < rows + 1; ++y)
        for (int x = 0; x < pitch; ++x) {
          const int rx = x - c.dx, ry = y - c.dy;
          const bool inside = rx >= 0 && rx < c.w && ry >= 0 && ry < c.h;
          const uint32_t expected = !inside     ? 0x12345678u
                                    : horizontal ? ref_blur_at(s + ry * pitch, c.w, 1, rx, 5)
                                                 : ref_blur_at(s + rx, c.h, pitch, ry, 5);
          ASSERT_EQ(dst[y * pitch + x], expected) << horizontal << " " << c.sx << " " << x << "," << y;
        }
    }
    Frame dst(n, 0x12345678);
    blur(src.data(), dst.data(), -3, 0, 0, 0, 10, 10, pitch, rows, 5);  // negative positions: nothing
    blur(src.data(), dst.data(), 0, 0, 0, -1, 10, 10, pitch, rows, 5);
    EXPECT_EQ(std::count(dst.begin(), dst.end(), 0x12345678u), n);
    blur(src.data(), dst.data(), 0, 0, 0, 0, 10, 10, pitch, rows, -7);        // radius below 1: black
    blur(src.data(), dst.data(), 0, 0, 30, 0, 10, 10, pitch, rows, 1 << 30);  // huge radius: black
    EXPECT_EQ(std::count(dst.begin(), dst.end(), 0u), 200);
  }
}

// text_draw against a per-pixel transcription, clipped on every side, one guard row each way.
class TextDraw : public ::testing::TestWithParam<std::array<int32_t, 4>> {};

TEST_P(TextDraw, MatchesPlainBlendAndClips) {
  const auto [x, y, index, alpha] = GetParam();
  const std::vector<uint8_t> strips = synthetic::text_strip_images();
  Frame fb = synthetic::random_frame(15, kFbPixels + 2 * kFbWidth);
  const Frame before = fb;
  text_draw(x, y, index, alpha, fb.data() + kFbWidth, strips.data());
  for (int fy = -1; fy <= kFbHeight; ++fy)
    for (int fx = 0; fx < kFbWidth; ++fx) {
      const int sx = fx - x, sy = fy - y, i = kFbWidth + fy * kFbWidth + fx;
      uint32_t expected = before[i];
      const bool on = fy >= 0 && fy < kFbHeight && sx >= 0 && sx < kTextStripWidth && sy >= 0 &&
                      sy < kTextStripHeight && index >= 0 && index < kTextStripCount;
      const uint32_t c = on ? strips[(index * kTextStripHeight + sy) * kTextStripWidth + sx] : 0;
      if (c != 0) {
        const uint32_t a = c * alpha / 255, inv = 255 - a;
        expected = (expected & 0xFF000000) | ((byte_of(expected, 2) * inv / 255 + a) & 0xFF) << 16 |
                   ((byte_of(expected, 1) * inv / 255 + a) & 0xFF) << 8 | ((byte_of(expected, 0) * inv / 255 + 2 * a / 3) & 0xFF);
      }
      ASSERT_EQ(fb[i], expected) << fx << "," << fy;
    }
}

INSTANTIATE_TEST_SUITE_P(Positions, TextDraw,
                         ::testing::Values(std::array{6, 84, 2, 200}, std::array{-100, 40, 5, 255}, std::array{300, 0, 1, 128},
                                           std::array{10, -10, 3, 255}, std::array{10, 230, 4, 90},
                                           std::array{6, 84, 2, 0}, std::array{6, 84, 6, 255},
                                           std::array{6, -2000000000, 0, 255}, std::array{-2000000000, 5, 0, 255}));

TEST(Thumbnail, CaptureSamplesEveryFifthPixelInsideABorder) {
  Frame fb(kFbPixels);
  for (int y = 0; y < kFbHeight; ++y)
    for (int x = 0; x < kFbWidth; ++x) fb[y * kFbWidth + x] = 0xFF000000u | uint32_t(y) << 8 | uint32_t(x & 0xFF);
  thumbnail(123, 45, fb.data(), 1);
  for (int i = 0; i < kThumbHeight; ++i)
    for (int j = 0; j < kThumbWidth; ++j) {
      const bool border = i == 0 || j == 0 || i == kThumbHeight - 1 || j == kThumbWidth - 1;
      const uint32_t halved = 0x7F000000u | uint32_t(5 * i / 2) << 8 | uint32_t(((5 * j) & 0xFF) / 2);
      ASSERT_EQ(thumbnail_buffer[i * kThumbWidth + j], border ? 0x885500u : halved) << i << "," << j;
    }
}

// Paste at (x, y); the framebuffer columns and rows expected to be written.
class ThumbnailPaste : public ::testing::TestWithParam<std::array<int32_t, 6>> {};

TEST_P(ThumbnailPaste, WritesOnlyTheVisiblePart) {
  const auto [x, y, fx0, ncols, fy0, nrows] = GetParam();
  for (int i = 0; i < kThumbWidth * kThumbHeight; ++i) thumbnail_buffer[i] = 0x01000000u + i;
  Frame fb(kFbPixels, 0xAAAAAAAA);
  thumbnail(x, y, fb.data(), 0);
  for (int fy = 0; fy < kFbHeight; ++fy)
    for (int fx = 0; fx < kFbWidth; ++fx) {
      const bool written = fx >= fx0 && fx < fx0 + ncols && fy >= fy0 && fy < fy0 + nrows;
      ASSERT_EQ(fb[fy * kFbWidth + fx], written ? 0x01000000u + (fy - y) * kThumbWidth + (fx - x) : 0xAAAAAAAA)
          << fx << "," << fy;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Places, ThumbnailPaste,
    ::testing::Values(std::array{256, 0, 256, 64, 0, 48}, std::array{300, 100, 300, 20, 100, 48},
                      std::array{-70, 100, 0, 0, 0, 0}, std::array{-20, 100, 0, 44, 100, 48},
                      std::array{100, -10, 100, 64, 0, 38}, std::array{245, 220, 245, 64, 220, 20},
                      std::array{5, 2147483640, 0, 0, 0, 0}, std::array{-2147483647, 5, 0, 0, 0, 0}));

}  // namespace
