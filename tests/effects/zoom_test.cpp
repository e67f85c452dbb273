#include "effects/zoom.h"

#include <gtest/gtest.h>

#include <vector>

#include "assets/assets.h"
#include "effects/effects_internal.h"
#include "effects/lens.h"

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

TEST(ColourMap, BackgroundOrangeAndRedLevels) {
  std::vector<uint8_t> image(256 * 256, 168);
  image[1] = 250;
  image[2] = 25;
  image[3] = 0;
  image[65535] = 99;
  image[300] = 255;
  colour_map_fill(image.data());
  EXPECT_EQ(colour_map[0], 0x00EE8800u);
  EXPECT_EQ(colour_map[4], 0x00EE8800u);
  EXPECT_EQ(colour_map[1], 187u << 16);  // 750 >> 2
  EXPECT_EQ(colour_map[2], 18u << 16);   // 75 >> 2
  EXPECT_EQ(colour_map[3], 0u);          // black is not background here
  EXPECT_EQ(colour_map[65535], 74u << 16);
  EXPECT_EQ(colour_map[300], 191u << 16);
}

TEST(ColourMap, InitUsesSecondPortraitSmallLensAndFullFrameZoom) {
  zoom_set_size(16, 8);
  lens_init(1200, 280);
  colormap_init();
  // The zoom fills a whole frame again, and not a pixel more.
  std::vector<uint32_t> dst(kFbPixels + 1, 0xDEADBEEFu);
  zoom_draw(dst.data(), 0, 5.0, colour_map, colour_map, colour_map);
  EXPECT_NE(dst[kFbPixels - 1], 0xDEADBEEFu);
  EXPECT_EQ(dst[kFbPixels], 0xDEADBEEFu);
  EXPECT_EQ(lens_map_u[120 * 320 + 210], 5120);  // zero of the (500, 180) lens
  for (int j = 0; j < 256 * 256; ++j) {
    if (portrait_b[j] == portrait_b[0]) {
      ASSERT_EQ(colour_map[j], 0x00EE8800u) << "entry " << j;
    }
  }
}

}  // namespace
