#include "effects/compose.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/effects/synthetic.h"

namespace {

using Frame = std::vector<uint32_t>;

uint32_t byte_of(uint32_t p, int i) { return (p >> (8 * i)) & 0xFF; }

// Plain transcriptions, used as oracles for the optimised pixel loops.
uint32_t ref_crossfade(uint32_t a, uint32_t b, int32_t alpha) {
  uint32_t out = 0;
  for (int i = 0; i < 4; ++i)
    out |= ((byte_of(a, i) * (255 - alpha) / 255 + byte_of(b, i) * alpha / 255) & 0xFF) << (8 * i);
  return out;
}

uint32_t ref_blend_add(uint32_t a, uint32_t b, int32_t ka, int32_t kb) {
  auto gain = [](uint32_t v, int32_t k) -> uint32_t { return v * k <= 65279 ? v * k / 255 : 255; };
  uint32_t out = 0;
  for (int i = 0; i < 4; ++i) out |= std::min<uint32_t>(255, gain(byte_of(a, i), ka) + gain(byte_of(b, i), kb)) << (8 * i);
  return out;
}

// Output i of a window blur over n pixels at stride `step`: the sum over the source pixels
// i + r/2 - r + 1 ... i + r/2 inside the run of each channel divided by r.
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

TEST_F(ComposeTest, CrossfadeEndsAreTheInputs) {
  const Frame a = synthetic::random_frame(1), b = synthetic::random_frame(2);
  Frame out(kPixels);
  crossfade(a.data(), b.data(), out.data(), kPixels, 0);
  EXPECT_EQ(out, a);
  crossfade(a.data(), b.data(), out.data(), kPixels, 255);
  EXPECT_EQ(out, b);
}

TEST_F(ComposeTest, CrossfadeMatchesPlainVersionForEveryAlpha) {
  const Frame a = synthetic::random_frame(3, 1001), b = synthetic::random_frame(4, 1001);
  for (int32_t alpha = 0; alpha <= 255; ++alpha) {
    Frame out(a.size());
    crossfade(a.data(), b.data(), out.data(), 1001, alpha);  // odd count: the 4-pixel loop's tail too
    for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(out[i], ref_crossfade(a[i], b[i], alpha)) << alpha << " " << i;
  }
}

TEST_F(ComposeTest, CrossfadeInPlaceAndOutOfRangeAlpha) {
  const Frame a = synthetic::random_frame(5, 99), b = synthetic::random_frame(6, 99);
  Frame in_place = b;
  crossfade(a.data(), in_place.data(), in_place.data(), 99, 77);
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(in_place[i], ref_crossfade(a[i], b[i], 77));
  Frame out(99);
  crossfade(a.data(), b.data(), out.data(), 99, 1000);
  EXPECT_EQ(out, b);
  crossfade(a.data(), b.data(), out.data(), 99, -5);
  EXPECT_EQ(out, a);
}

TEST_F(ComposeTest, BlendAddFlashExample) {
  const uint32_t pixel = 0x00808080, flash = 0x00FFDDCC;
  uint32_t out = 0;
  blend_add(&pixel, &flash, &out, 1, 255, 120);
  EXPECT_EQ(out, 0x00F8E8E0u);
}

TEST_F(ComposeTest, BlendAddMatchesPlainVersion) {
  const Frame a = synthetic::random_frame(7, 1003), b = synthetic::random_frame(8, 1003);
  const int32_t gains[] = {0, 1, 3, 120, 200, 255, 256, 257, 258, 300, 1000, 65279, 65280, 100000};
  for (int32_t ka : gains)
    for (int32_t kb : gains) {
      Frame out(a.size());
      blend_add(a.data(), b.data(), out.data(), 1003, ka, kb);
      for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(out[i], ref_blend_add(a[i], b[i], ka, kb)) << ka << " " << kb;
    }
}

TEST_F(ComposeTest, BlendAddNegativeGainCountsAsZero) {
  const Frame a = synthetic::random_frame(9, 64), b = synthetic::random_frame(10, 64);
  Frame out(64), expected(64);
  blend_add(a.data(), b.data(), out.data(), 64, -40, 255);
  blend_add(a.data(), b.data(), expected.data(), 64, 0, 255);
  EXPECT_EQ(out, expected);
}

TEST_F(ComposeTest, BlurKnownRows) {
  const uint32_t row[5] = {0, 0, 200, 0, 0};
  uint32_t out[5];
  blur_h(row, out, 0, 0, 0, 0, 5, 1, 5, 1, 2);
  EXPECT_EQ(std::vector<uint32_t>(out, out + 5), (std::vector<uint32_t>{0, 100, 100, 0, 0}));
  blur_v(row, out, 0, 0, 0, 0, 1, 5, 1, 5, 2);
  EXPECT_EQ(std::vector<uint32_t>(out, out + 5), (std::vector<uint32_t>{0, 100, 100, 0, 0}));
  // Radius 3 of a white run: each pixel contributes 85, the edges see two pixels.
  const uint32_t white[4] = {0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF};
  blur_h(white, out, 0, 0, 0, 0, 4, 1, 4, 1, 3);
  EXPECT_EQ(std::vector<uint32_t>(out, out + 4), (std::vector<uint32_t>{0xAAAAAA, 0xFFFFFF, 0xFFFFFF, 0xAAAAAA}));
}

TEST_F(ComposeTest, BlurRadiusOneCopiesWithoutTopByte) {
  const Frame src = synthetic::random_frame(11);
  Frame h(kPixels), v(kPixels);
  blur_h(src.data(), h.data(), 0, 0, 0, 0, kWidth, kHeight, kWidth, kHeight, 1);
  blur_v(src.data(), v.data(), 0, 0, 0, 0, kWidth, kHeight, kWidth, kHeight, 1);
  for (int i = 0; i < kPixels; ++i) {
    ASSERT_EQ(h[i], src[i] & 0x00FFFFFF);
    ASSERT_EQ(v[i], src[i] & 0x00FFFFFF);
  }
}

struct BlurCase {
  int32_t radius, width, height;
};

class BlurReference : public ComposeTest, public ::testing::WithParamInterface<BlurCase> {};

// Both blurs against the plain window sum, on random frames.
TEST_P(BlurReference, MatchesPlainWindowSum) {
  const auto [radius, w, h] = GetParam();
  const Frame src = synthetic::random_frame(static_cast<uint32_t>(radius) + 100, size_t(w) * h);
  Frame bh(src.size()), bv(src.size());
  blur_h(src.data(), bh.data(), 0, 0, 0, 0, w, h, w, h, radius);
  blur_v(src.data(), bv.data(), 0, 0, 0, 0, w, h, w, h, radius);
  const int r = std::min(radius, 639);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      ASSERT_EQ(bh[y * w + x], ref_blur_at(&src[y * w], w, 1, x, r)) << x << "," << y;
      ASSERT_EQ(bv[y * w + x], ref_blur_at(&src[x], h, w, y, r)) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Radii, BlurReference,
                         ::testing::Values(BlurCase{1, 320, 240}, BlurCase{2, 320, 240}, BlurCase{21, 320, 240},
                                           BlurCase{110, 320, 240}, BlurCase{255, 320, 240}, BlurCase{256, 33, 9},
                                           BlurCase{639, 320, 7}, BlurCase{7, 5, 3},       // radius beyond the run
                                           BlurCase{40, 1500, 3},                          // rows wider than the row buffer
                                           BlurCase{5, 323, 2}, BlurCase{300, 700, 2}));

TEST_F(ComposeTest, BlurEveryRadiusOnSmallRuns) {
  const Frame src = synthetic::random_frame(12, 61 * 7);
  Frame bh(src.size()), bv(src.size());
  for (int r = 1; r <= 300; ++r) {
    blur_h(src.data(), bh.data(), 0, 0, 0, 0, 61, 7, 61, 7, r);
    blur_v(src.data(), bv.data(), 0, 0, 0, 0, 7, 61, 7, 61, r);
    for (int i = 0; i < 61; ++i)
      for (int j = 0; j < 7; ++j) {
        ASSERT_EQ(bh[j * 61 + i], ref_blur_at(&src[j * 61], 61, 1, i, r)) << r;
        ASSERT_EQ(bv[i * 7 + j], ref_blur_at(&src[j], 61, 7, i, r)) << r;
      }
  }
}

TEST_F(ComposeTest, BlurRectanglesStayInsideTheirPlace) {
  // A 50 x 30 rectangle at (7, 11) blurred to (100, 60) of a 200 x 120 buffer; nothing else moves.
  const int pitch = 200, rows = 120;
  const Frame src = synthetic::random_frame(13, pitch * rows);
  for (auto blur : {blur_h, blur_v}) {
    Frame dst(pitch * rows, 0xDEADBEEF);
    blur(src.data(), dst.data(), 7, 11, 100, 60, 50, 30, pitch, rows, 9);
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < pitch; ++x) {
        const bool inside = x >= 100 && x < 150 && y >= 60 && y < 90;
        const uint32_t* s = &src[11 * pitch + 7];
        const uint32_t expected = !inside            ? 0xDEADBEEF
                                  : blur == blur_h ? ref_blur_at(s + (y - 60) * pitch, 50, 1, x - 100, 9)
                                                   : ref_blur_at(s + (x - 100), 30, pitch, y - 60, 9);
        ASSERT_EQ(dst[y * pitch + x], expected) << x << "," << y;
      }
  }
}

TEST_F(ComposeTest, BlurClipsToTheBuffer) {
  const int pitch = 40, rows = 30, n = pitch * rows;
  const Frame src = synthetic::random_frame(14, n);
  for (auto blur : {blur_h, blur_v}) {
    const bool h = blur == blur_h;
    // Expected pixel (x, y) of a w x hgt rectangle of src at (sx, sy), blurred with radius 5.
    auto expected = [&](int sx, int sy, int w, int hgt, int x, int y) {
      const uint32_t* s = &src[sy * pitch + sx];
      return h ? ref_blur_at(s + y * pitch, w, 1, x, 5) : ref_blur_at(s + x, hgt, pitch, y, 5);
    };
    struct Call {
      int sx, sy, dx, dy;  // the rectangle asked for is 320 x 240 every time
      int w, h;            // what is left of it
    };
    for (const Call c : {Call{30, 20, 0, 0, 10, 10}, Call{0, 0, 35, 25, 5, 5}, Call{12, 3, 20, 1, 20, 27}}) {
      Frame dst(n + 64, 0x12345678);  // guard pixels after the buffer
      blur(src.data(), dst.data(), c.sx, c.sy, c.dx, c.dy, 320, 240, pitch, rows, 5);
      for (int i = n; i < n + 64; ++i) ASSERT_EQ(dst[i], 0x12345678u);
      for (int y = 0; y < rows; ++y)
        for (int x = 0; x < pitch; ++x) {
          const int rx = x - c.dx, ry = y - c.dy;
          const bool inside = rx >= 0 && rx < c.w && ry >= 0 && ry < c.h;
          ASSERT_EQ(dst[y * pitch + x], inside ? expected(c.sx, c.sy, c.w, c.h, rx, ry) : 0x12345678u)
              << h << " " << c.sx << " " << x << "," << y;
        }
    }
    Frame dst(n, 0x12345678);
    blur(src.data(), dst.data(), -3, 0, 0, 0, 10, 10, pitch, rows, 5);  // negative position: nothing
    blur(src.data(), dst.data(), 0, 0, 0, -1, 10, 10, pitch, rows, 5);
    blur(src.data(), dst.data(), 0, 0, 0, 0, 10, 10, 0, rows, 5);       // no pitch: nothing
    EXPECT_EQ(std::count(dst.begin(), dst.end(), 0x12345678u), n);
    blur(src.data(), dst.data(), 0, 0, 0, 0, 10, 10, pitch, rows, -7);       // radius below 1: black
    blur(src.data(), dst.data(), 0, 0, 30, 0, 10, 10, pitch, rows, 1 << 30);  // huge radius: black
    EXPECT_EQ(std::count(dst.begin(), dst.end(), 0u), 200);
  }
}

// text_draw against a plain per-pixel transcription, on strips made for the test.
uint32_t ref_text_pixel(uint32_t p, uint32_t c, int32_t alpha) {
  const uint32_t a = c * alpha / 255, inv = 255 - a, ab = 2 * a / 3;
  const uint32_t blue = ((p & 0xFF) * inv / 255 + ab) & 0xFF;
  const uint32_t green = (((p >> 8) & 0xFF) * inv / 255 + a) & 0xFF;
  const uint32_t red = (((p >> 16) & 0xFF) * inv / 255 + a) & 0xFF;
  return (p & 0xFF000000) | (red << 16) | (green << 8) | blue;
}

struct TextCase {
  int32_t x, y, index, alpha;
};

class TextDraw : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextDraw, MatchesPlainBlendAndClips) {
  const auto [x, y, index, alpha] = GetParam();
  const std::vector<uint8_t> strips = synthetic::text_strip_images();
  Frame fb = synthetic::random_frame(15, kPixels + 2 * kWidth);  // one guard row either side
  const Frame before = fb;
  text_draw(x, y, index, alpha, fb.data() + kWidth, strips.data());
  for (int i = 0; i < kWidth; ++i) {
    ASSERT_EQ(fb[i], before[i]);
    ASSERT_EQ(fb[kWidth + kPixels + i], before[kWidth + kPixels + i]);
  }
  for (int fy = 0; fy < kHeight; ++fy)
    for (int fx = 0; fx < kWidth; ++fx) {
      const int sx = fx - x, sy = fy - y;
      uint32_t expected = before[kWidth + fy * kWidth + fx];
      if (sx >= 0 && sx < kTextStripWidth && sy >= 0 && sy < kTextStripHeight) {
        const uint8_t c = strips[(index * kTextStripHeight + sy) * kTextStripWidth + sx];
        if (c != 0) expected = ref_text_pixel(expected, c, alpha);
      }
      ASSERT_EQ(fb[kWidth + fy * kWidth + fx], expected) << fx << "," << fy;
    }
}

INSTANTIATE_TEST_SUITE_P(Positions, TextDraw,
                         ::testing::Values(TextCase{6, 84, 2, 200}, TextCase{125, 114, 0, 255}, TextCase{-100, 40, 5, 255},
                                           TextCase{300, 0, 1, 128}, TextCase{10, -10, 3, 255},
                                           TextCase{10, 230, 4, 90}, TextCase{0, 216, 5, 1}));

TEST(TextDrawEdges, NothingChangesWithoutInkOrStrip) {
  const std::vector<uint8_t> strips = synthetic::text_strip_images();
  const Frame before = synthetic::random_frame(16);
  Frame fb = before;
  text_draw(6, 84, 2, 0, fb.data(), strips.data());  // alpha 0
  text_draw(6, 84, 6, 255, fb.data(), strips.data());  // no such strip
  text_draw(6, 84, -1, 255, fb.data(), strips.data());
  text_draw(400, 84, 0, 255, fb.data(), strips.data());  // wholly off-screen, every side
  text_draw(-300, 84, 0, 255, fb.data(), strips.data());
  text_draw(6, -2000000000, 0, 255, fb.data(), strips.data());
  text_draw(6, 2000000000, 0, 255, fb.data(), strips.data());
  EXPECT_EQ(fb, before);
}

TEST(TextDrawEdges, LeftCutShowsOnlyTheStripsRightPart) {
  // A strip with ink only in its columns 0 ... 99 leaves no trace at x = -100.
  std::vector<uint8_t> strips(kTextStripCount * kTextStripWidth * kTextStripHeight, 0);
  for (int y = 0; y < kTextStripHeight; ++y)
    for (int x = 0; x < 100; ++x) strips[y * kTextStripWidth + x] = 255;
  Frame fb(kPixels, 0);
  text_draw(-100, 0, 0, 255, fb.data(), strips.data());
  EXPECT_EQ(std::count(fb.begin(), fb.end(), 0u), kPixels);
  strips[5 * kTextStripWidth + 100] = 255;
  text_draw(-100, 0, 0, 255, fb.data(), strips.data());
  EXPECT_EQ(fb[5 * kWidth], 0x00FFFFAAu);  // full ink is pale yellow
}

TEST(Thumbnail, CaptureSamplesEveryFifthPixelInsideABorder) {
  Frame fb(kPixels);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) fb[y * kWidth + x] = 0xFF000000u | uint32_t(y) << 8 | uint32_t(x & 0xFF);
  thumbnail(123, 45, fb.data(), 1);
  for (int i = 0; i < kThumbHeight; ++i)
    for (int j = 0; j < kThumbWidth; ++j) {
      const bool border = i == 0 || j == 0 || i == kThumbHeight - 1 || j == kThumbWidth - 1;
      const uint32_t expected = border ? 0x885500u : 0x7F000000u | uint32_t(5 * i / 2) << 8 | uint32_t(((5 * j) & 0xFF) / 2);
      ASSERT_EQ(thumbnail_buffer[i * kThumbWidth + j], expected) << i << "," << j;
    }
}

struct PasteCase {
  int32_t x, y;
  int first_column, columns, first_row, rows;  // the framebuffer area written
};

class ThumbnailPaste : public ::testing::TestWithParam<PasteCase> {};

TEST_P(ThumbnailPaste, WritesOnlyTheVisiblePart) {
  const auto [x, y, fx0, ncols, fy0, nrows] = GetParam();
  for (int i = 0; i < kThumbWidth * kThumbHeight; ++i) thumbnail_buffer[i] = 0x01000000u + i;
  Frame fb(kPixels, 0xAAAAAAAA);
  thumbnail(x, y, fb.data(), 0);
  for (int fy = 0; fy < kHeight; ++fy)
    for (int fx = 0; fx < kWidth; ++fx) {
      const bool written = fx >= fx0 && fx < fx0 + ncols && fy >= fy0 && fy < fy0 + nrows;
      const uint32_t expected = written ? 0x01000000u + (fy - y) * kThumbWidth + (fx - x) : 0xAAAAAAAA;
      ASSERT_EQ(fb[fy * kWidth + fx], expected) << fx << "," << fy;
    }
}

INSTANTIATE_TEST_SUITE_P(Places, ThumbnailPaste,
                         ::testing::Values(PasteCase{12, 30, 12, 64, 30, 48}, PasteCase{256, 0, 256, 64, 0, 48},
                                           PasteCase{300, 100, 300, 20, 100, 48}, PasteCase{-70, 100, 0, 0, 0, 0},
                                           PasteCase{-20, 100, 0, 44, 100, 48}, PasteCase{100, -10, 100, 64, 0, 38},
                                           PasteCase{245, 220, 245, 64, 220, 20}, PasteCase{320, 0, 0, 0, 0, 0},
                                           PasteCase{5, 2147483640, 0, 0, 0, 0}, PasteCase{-2147483647, 5, 0, 0, 0, 0}));

}  // namespace
