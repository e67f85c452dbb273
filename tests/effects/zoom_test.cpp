#include "effects/zoom.h"

#include <gtest/gtest.h>

#include <vector>

#include "effects/compose.h"
#include "effects/lens.h"
#include "effects/lens_overlay.h"

namespace {

// A texture whose every texel names itself: red = which texture, green = row, blue = column,
// and a top byte that the zoom must drop.
std::vector<uint32_t> labelled(uint32_t which) {
  std::vector<uint32_t> tex(256 * 256);
  for (uint32_t i = 0; i < tex.size(); ++i) tex[i] = 0xAB000000u | (which << 16) | i;
  return tex;
}

struct Textures {
  std::vector<uint32_t> a = labelled(1), b = labelled(2), c = labelled(3);
};

struct PairCase {
  int32_t z;
  uint32_t shown;  // the only texture visible at this step
};

class ZoomPair : public ::testing::TestWithParam<PairCase> {};

TEST_P(ZoomPair, ShowsOneTexture) {
  ASSERT_EQ(zoom_set_size(320, 240), 0);
  Textures t;
  std::vector<uint32_t> dst(320 * 240);
  zoom_draw(dst.data(), GetParam().z, 5.0, t.a.data(), t.b.data(), t.c.data());
  for (uint32_t p : dst) ASSERT_EQ(p >> 16, GetParam().shown) << "z = " << GetParam().z;
}

// At the low byte 0 only the first texture of the pair shows, at 255 only the second.
INSTANTIATE_TEST_SUITE_P(Phases, ZoomPair,
                         ::testing::Values(PairCase{0, 1}, PairCase{255, 2}, PairCase{256, 2},
                                           PairCase{511, 3}, PairCase{512, 3}, PairCase{767, 1},
                                           PairCase{768, 1}, PairCase{-1, 2}, PairCase{-256, 1},
                                           PairCase{-257, 2}, PairCase{100096, 2}));

struct Sample {
  int x, y;
  int row, col;  // texel seen there
};

// Texels under a few pixels, worked out independently from the corner geometry.
TEST(Zoom, SamplesFirstTextureAtZeroAndSecondFinerAt255) {
  ASSERT_EQ(zoom_set_size(320, 240), 0);
  Textures t;
  std::vector<uint32_t> dst(320 * 240);
  const Sample at0[] = {{0, 0, 128, 143},   {319, 0, 231, 105},  {0, 239, 23, 151},
                        {319, 239, 126, 114}, {160, 120, 128, 128}, {17, 200, 18, 203}};
  zoom_draw(dst.data(), 0, 5.0, t.a.data(), t.b.data(), t.c.data());
  for (const Sample& s : at0) {
    EXPECT_EQ(dst[s.y * 320 + s.x], 0x00010000u | (s.row << 8) | s.col) << s.x << "," << s.y;
  }
  const Sample at255[] = {{0, 0, 181, 220},  {319, 0, 46, 117},    {0, 239, 207, 137},
                          {319, 239, 72, 33}, {160, 120, 127, 127}, {17, 200, 167, 172}};
  zoom_draw(dst.data(), 255, 5.0, t.a.data(), t.b.data(), t.c.data());
  for (const Sample& s : at255) {
    EXPECT_EQ(dst[s.y * 320 + s.x], 0x00020000u | (s.row << 8) | s.col) << s.x << "," << s.y;
  }
}

TEST(Zoom, BlendsChannelsThroughWeightTables) {
  ASSERT_EQ(zoom_set_size(320, 240), 0);
  std::vector<uint32_t> a(256 * 256, 0xFFC8C8C8u), b(256 * 256, 0x00646464u);
  std::vector<uint32_t> dst(320 * 240);
  // f = 128: 200 * 127 / 255 = 99 plus 100 * 128 / 255 = 50.
  zoom_draw(dst.data(), 128, 5.0, a.data(), b.data(), b.data());
  for (uint32_t p : dst) ASSERT_EQ(p, 0x00959595u);
}

// Exactly height x width pixels are written, and no size that overruns a frame is taken.
TEST(Zoom, SizeIsBounded) {
  ASSERT_EQ(zoom_set_size(17, 5), 0);
  const int32_t bad[][2] = {{321, 240}, {320, 241}, {0, 240}, {320, 0}, {-1, 10}, {10, -1}};
  for (const auto& s : bad) EXPECT_EQ(zoom_set_size(s[0], s[1]), 1) << s[0] << " x " << s[1];
  Textures t;
  std::vector<uint32_t> dst(200, 0xDEADBEEFu);
  zoom_draw(dst.data(), 42, 5.0, t.a.data(), t.b.data(), t.c.data());
  for (int i = 0; i < 200; ++i) EXPECT_EQ(dst[i] == 0xDEADBEEFu, i >= 17 * 5) << i;
  EXPECT_EQ(zoom_set_size(320, 240), 0);
}

TEST(LensZoom, FrameAtTimeZero) {
  colormap_init();
  // A busy colour map so that every step of the composition leaves a trace.
  for (uint32_t i = 0; i < 65536; ++i) colour_map[i] = (i * 2654435761u) & 0x00FFFFFFu;

  std::vector<uint32_t> fb(320 * 240, 0x00123456u);
  lens_zoom_draw(fb.data(), 0);

  // t = 0 is zoom step 100080: phase 240, f = 240.
  std::vector<uint32_t> zoomed(320 * 240), expected(320 * 240);
  zoom_draw(zoomed.data(), 100080, 5.0, colour_map, colour_map, colour_map);
  for (int i = 0; i < 320 * 240; ++i) ASSERT_EQ(zoom_buffer[i], zoomed[i]) << i;
  zoom_draw(expected.data(), 100081, 5.0, colour_map, colour_map, colour_map);
  EXPECT_NE(expected, zoomed);

  lens_overlay(0, expected.data(), zoomed.data());
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 245; ++x) ASSERT_EQ(fb[y * 320 + x], expected[y * 320 + x]) << x << "," << y;
  }

  // Three miniatures of the finished frame, captured before any is pasted, at x = 245 and
  // y = 24, 109, 182 (sin k * 16 + base).
  for (int top : {24, 109, 182}) {
    for (int i = 1; i < 47; ++i) {
      for (int j = 1; j < 63; ++j) {
        ASSERT_EQ(fb[(top + i) * 320 + 245 + j], (expected[5 * i * 320 + 5 * j] >> 1) & 0x7F7F7F7Fu)
            << "thumbnail at " << top;
      }
    }
    EXPECT_EQ(fb[top * 320 + 245], 0x885500u);
  }
  for (int y : {23, 72, 108, 157, 181, 230}) {
    EXPECT_EQ(fb[y * 320 + 250], expected[y * 320 + 250]) << "row " << y;
  }
}

}  // namespace
