#include "effects/dots.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "effects/compose.h"
#include "effects/tunnel.h"
#include "tests/effects/synthetic.h"

namespace {

using Frame = std::vector<uint32_t>;

class DotsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { divtable_init(); }
  void TearDown() override { dots_init(kFbWidth, kFbHeight); }
};

TEST_F(DotsTest, KernelTable) {
  dots_init(kFbWidth, kFbHeight);
  const int32_t expected[7][7] = {
      {-1, -1, 291, 277, 291, -1, -1},     {-1, 262, 212, 192, 212, 262, -1}, {291, 212, 142, 106, 142, 212, 291},
      {277, 192, 106, 21, 106, 192, 277}, {291, 212, 142, 106, 142, 212, 291}, {-1, 262, 212, 192, 212, 262, -1},
      {-1, -1, 291, 277, 291, -1, -1}};
  for (int dy = -3; dy <= 3; ++dy)
    for (int dx = -3; dx <= 3; ++dx) EXPECT_EQ(dots_kernel_at(dx, dy), expected[dy + 3][dx + 3]) << dx << "," << dy;
  EXPECT_EQ(dots_kernel_at(4, 0), -1);
}

// A plain transcription: per cell, per kernel pixel, per channel, with the rules as they read.
void ref_dots(uint32_t* dst, const uint32_t* src, int32_t w, int32_t h, int32_t gain) {
  int32_t rim[256], level[256];
  for (int32_t d = 0; d < 256; ++d) rim[d] = (21760 - 256 * d) / 85;
  for (int32_t v = 0; v < 256; ++v) level[v] = v * gain <= 65279 ? v * gain / 255 : 255;
  int cell_row = 0;
  for (int32_t cy = 0; cy < h; cy += 5, ++cell_row)
    for (int32_t cx = cell_row % 2 ? 3 : 0; cx < w; cx += 6) {
      int32_t sum[3] = {0, 0, 0}, n = 0;
      const int32_t pts[4][2] = {{cx - 3, cy - 3}, {cx, cy - 3}, {cx - 3, cy}, {cx, cy}};
      for (auto& p : pts) {
        if (p[0] < 0 || p[1] < 0) continue;
        for (int c = 0; c < 3; ++c) sum[c] += (src[p[1] * w + p[0]] >> (8 * c)) & 0xFF;
        ++n;
      }
      for (int dy = -3; dy <= 3; ++dy) {
        const int y = cy + dy;
        if (y < 0) continue;
        if (y >= h) break;
        for (int dx = -3; dx <= 3; ++dx) {
          const int x = cx + dx;
          if (x < 0) continue;
          if (x >= w) break;
          const int32_t k = dots_kernel_at(dx, dy);
          if (k == -1) continue;
          uint32_t& px = dst[y * w + x];
          for (int c = 0; c < 3; ++c) {
            const int32_t l = level[sum[c] / n];
            int32_t b = (px >> (8 * c)) & 0xFF;
            if (l > std::max(k, 3))
              b = 255;
            else if (l + 85 > k && l > 3)
              b = std::min(255, b + rim[k - l]);
            px = (px & ~(0xFFu << (8 * c))) | uint32_t(b) << (8 * c);
          }
        }
      }
    }
}

struct DotsCase {
  int32_t width, height, gain;
};

class DotsReference : public DotsTest, public ::testing::WithParamInterface<DotsCase> {};

TEST_P(DotsReference, MatchesPlainVersion) {
  const auto [w, h, gain] = GetParam();
  dots_init(w, h);
  // Sources of random, dark and bright pixels; destinations already holding something.
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    Frame src = synthetic::random_frame(seed, size_t(w) * h);
    if (seed == 2)
      for (auto& p : src) p &= 0x3F3F3F3F;
    if (seed == 3)
      for (auto& p : src) p |= 0xC0C0C0;
    Frame dst = synthetic::random_frame(seed + 10, size_t(w) * h);
    for (auto& p : dst) p &= 0xFF1F1F1F;
    Frame expected = dst;
    dots_render(dst.data(), src.data(), gain);
    ref_dots(expected.data(), src.data(), w, h, std::clamp(gain, 0, 65280));
    ASSERT_EQ(dst, expected) << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, DotsReference,
                         ::testing::Values(DotsCase{320, 240, 255}, DotsCase{320, 240, 100}, DotsCase{320, 240, 260},
                                           DotsCase{320, 240, 100000}, DotsCase{317, 233, 255}, DotsCase{13, 9, 255},
                                           DotsCase{1, 1, 255}));

TEST_F(DotsTest, WhiteCellFillsItsDotAndRims) {
  // A 4 x 4 grid holds one cell, at (0, 0): the lower-right quarter of the kernel.
  dots_init(4, 4);
  const Frame src(16, 0x00FFFFFF);
  Frame dst(16 + 4, 0);  // four guard pixels
  dots_render(dst.data(), src.data(), 255);
  const uint32_t solid = 0xFFFFFF;
  auto grey = [](uint32_t v) { return v * 0x010101u; };
  const uint32_t expected[16] = {solid, solid, solid, grey(189),   //
                                 solid, solid, solid, grey(147),   // kernel 291: rim 147
                                 solid, solid, grey(234), 0,       // kernel 262: rim 234
                                 grey(189), grey(147), 0, 0};      // kernel 277: rim 189
  for (int i = 0; i < 16; ++i) EXPECT_EQ(dst[i], expected[i]) << i;
  for (int i = 16; i < 20; ++i) EXPECT_EQ(dst[i], 0u);
}

TEST_F(DotsTest, OneRowOfCellsPerChannel) {
  // 12 x 1: cells at x = 0 and 6, each averaging the single sample of its own column.
  // Red 255 makes solid dots; green 100 reaches kernel 21 and rims kernel 106 (237); blue 0 nothing.
  dots_init(12, 1);
  const Frame src(12, 0x00FF6400);
  Frame dst(12, 0);
  dots_render(dst.data(), src.data(), 255);
  const uint32_t green[12] = {255, 237, 0, 0, 0, 237, 255, 237, 0, 0, 0, 0};
  // Red: kernel 277 at x = 3 gets 189 from each neighbour, saturating; 192 and below are solid.
  const uint32_t red[12] = {255, 255, 255, 255, 255, 255, 255, 255, 255, 189, 0, 0};
  for (int x = 0; x < 12; ++x) EXPECT_EQ(dst[x], red[x] << 16 | green[x] << 8) << x;
}

TEST_F(DotsTest, BlackGivesBlackAndTheGridNeverExceedsAFramebuffer) {
  const Frame black(kFbPixels, 0xFF000000), src = synthetic::random_frame(5);
  Frame dst(kFbPixels + 16, 0);
  dots_init(kFbWidth, kFbHeight);
  dots_render(dst.data(), black.data(), 260);
  EXPECT_EQ(std::count(dst.begin(), dst.end(), 0u), kFbPixels + 16);
  dots_init(100000, 100000);  // held to 320 x 240: the guard pixels after the frame stay 0
  dots_render(dst.data(), src.data(), 255);
  EXPECT_EQ(std::count(dst.begin() + kFbPixels, dst.end(), 0u), 16);
}

TEST_F(DotsTest, DotscreenPastesMiniaturesOfTheBlurredFrame) {
  const std::vector<uint8_t> image = synthetic::portrait_image();
  tunnel_build_textures(tex_back, tex_front, image.data());
  tunnel_build_maps(tex_back, tex_front);
  dots_init(kFbWidth, kFbHeight);
  for (int32_t t : {0, 16, 47}) {
    Frame fb(kFbPixels), expected(kFbPixels), dots(kFbPixels, 0);
    dotscreen_draw(fb.data(), t);
    tunnel_draw(expected.data(), 10000 - t);
    dots_render(dots.data(), expected.data(), 255);
    blur_h(dots.data(), expected.data(), 0, 0, 0, 0, kFbWidth, kFbHeight, kFbWidth, kFbHeight, int(8 * std::sin(t / 10.0) + 10));
    thumbnail(0, 0, expected.data(), 1);
    for (int x : {12, 90, 168, 246}) thumbnail(x, -10, expected.data(), 0);
    ASSERT_EQ(fb, expected) << t;
    EXPECT_EQ(fb[12], 0x885500u);  // the miniatures' bottom border lies on row 37; their top is cut off
    EXPECT_EQ(fb[37 * kFbWidth + 20], 0x885500u);
    EXPECT_NE(fb[38 * kFbWidth + 20], 0x885500u);
  }
}

TEST(PictureFill, TwoCopiesCentredOnBlack) {
  const std::vector<uint8_t> image = synthetic::portrait_image();
  Frame buffer(2 * kFbPixels, 0x77777777);
  std::fill(buffer.begin() + kFbPixels, buffer.end(), 0u);  // the lower half starts out zero
  picture_fill(buffer.data(), image.data());
  for (int y = 0; y < kFbHeight; ++y)
    for (int x = 0; x < kFbWidth; ++x) {
      uint32_t expected = 0;
      if (x >= 32 && x < 288) {
        const uint32_t v = image[y * 256 + x - 32];
        expected = v << 16 | (v >> 1) << 8;
      }
      ASSERT_EQ(buffer[y * kFbWidth + x], expected);
      ASSERT_EQ(buffer[kFbPixels + y * kFbWidth + x], expected);
    }
  EXPECT_EQ(buffer[120 * kFbWidth + 160], 0x00FA7D00u);  // face level 250: red 250, green 125
}

}  // namespace
