#include "effects/tunnel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "effects/compose.h"
#include "tests/effects/synthetic.h"

namespace {

using Frame = std::vector<uint32_t>;
constexpr uint32_t kSky = 0x00EE8800;

class TunnelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    divtable_init();
    image = synthetic::portrait_image();
    tunnel_build_textures(tex_back, tex_front, image.data());
    tunnel_build_maps(tex_back, tex_front);
  }
  static std::vector<uint8_t> image;
};
std::vector<uint8_t> TunnelTest::image;

TEST_F(TunnelTest, BackTextureHasSkyBandAndFloor) {
  for (int y = 0; y < kTexHeight; ++y)
    for (int x = 0; x < kTexWidth; ++x) {
      const uint32_t p = tex_back[y * kTexWidth + x];
      if (y <= 72) {
        ASSERT_EQ(p, kSky) << x << "," << y;
      } else if (y >= 201) {
        ASSERT_EQ(p, 0u) << x << "," << y;
      } else {
        // The band: half-size faces, repeating every 82 columns, dark red or sky-coloured background.
        const uint8_t s = image[((2 * y + 110) % 256) * 256 + 44 + (2 * x) % 164];
        ASSERT_EQ(p, s == image[0] ? kSky : uint32_t(3 * s / 5) << 16) << x << "," << y;
        if (x + 82 < kTexWidth) {
          ASSERT_EQ(p, tex_back[y * kTexWidth + x + 82]);
        }
      }
    }
  // The synthetic faces do reach into the band, so both kinds of pixel are there.
  const uint32_t* band = tex_back + 73 * kTexWidth;
  EXPECT_GT(std::count(band, band + 128 * kTexWidth, kSky), 1000);
  EXPECT_GT(std::count(band, band + 128 * kTexWidth, uint32_t(3 * 250 / 5) << 16), 1000);
}

TEST_F(TunnelTest, FrontTextureIsTheImageInRed) {
  for (int y = 0; y < kTexHeight; ++y)
    for (int x = 0; x < kTexWidth; ++x) ASSERT_EQ(tex_front[y * kTexWidth + x], uint32_t(image[y * 256 + x % 256]) << 16);
}

// With a front layer that is all colour key and a back texture that encodes its own coordinates,
// a frame shows the maps: which texture row and column each screen pixel reads.
class TunnelMaps : public ::testing::Test {
 protected:
  void SetUp() override {
    back.resize(kTexWidth * kTexHeight);
    front.assign(kTexWidth * kTexHeight, 0x00123456);
    for (int y = 0; y < kTexHeight; ++y)
      for (int x = 0; x < kTexWidth; ++x) back[y * kTexWidth + x] = uint32_t(y) << 16 | uint32_t(x);
    tunnel_build_maps(back.data(), front.data());
  }
  void TearDown() override { tunnel_build_maps(tex_back, tex_front); }
  static int row_of(uint32_t p) { return int(p >> 16); }
  static int column_of(uint32_t p) { return int(p & 0xFFFF); }
  Frame back, front;
};

TEST_F(TunnelMaps, RowsStayInsideAndBendSymmetrically) {
  Frame fb(kPixels);
  tunnel_draw(fb.data(), 0);
  int lowest = 1000, highest = -1;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const int row = row_of(fb[y * kWidth + x]);
      lowest = std::min(lowest, row);
      highest = std::max(highest, row);
      if (x > 0) {
        ASSERT_EQ(row, row_of(fb[y * kWidth + (320 - x)])) << x << "," << y;
      }
      if (y > 0) {
        ASSERT_LE(row_of(fb[(y - 1) * kWidth + x]), row);
      }
    }
  EXPECT_EQ(lowest, 1);
  EXPECT_EQ(highest, 238);
  // The middle column is undistorted; the edges pull towards the middle row.
  EXPECT_EQ(row_of(fb[0 * kWidth + 160]), 1);
  EXPECT_GT(row_of(fb[0 * kWidth + 0]), 1);
  EXPECT_EQ(column_of(fb[100 * kWidth + 160]), 0);  // the angle of the middle column is 982
}

TEST_F(TunnelMaps, PhaseScrollsTheLayersLeftAtOneAndTwoColumnsAStep) {
  Frame f0(kPixels), f(kPixels);
  tunnel_draw(f0.data(), 0);
  for (int32_t p : {1, 491, 982, 5000, 2147483647}) {
    tunnel_draw(f.data(), p);
    const uint32_t shift = static_cast<uint32_t>(p) % kTexWidth;
    for (int i = 0; i < kPixels; ++i) {
      ASSERT_EQ(row_of(f[i]), row_of(f0[i]));
      ASSERT_EQ(uint32_t(column_of(f[i])), (column_of(f0[i]) + shift) % kTexWidth) << p;
    }
  }
}

TEST_F(TunnelMaps, FrontShowsWhereItDiffersFromItsFirstPixel) {
  // Front: key everywhere except even columns, where it carries its column in the blue byte + 1.
  for (int y = 0; y < kTexHeight; ++y)
    for (int x = 2; x < kTexWidth; x += 2) front[y * kTexWidth + x] = 0xFF000000u | uint32_t(x);
  Frame f0(kPixels), f(kPixels);
  tunnel_draw(f0.data(), 0);
  for (int32_t p : {0, 491, 982}) {
    tunnel_draw(f.data(), p);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const uint32_t got = f[y * kWidth + x];
        // Columns the front reads at phase p: (angle + 2p) mod 982; 2 * 491 = 982 brings it back.
        const uint32_t col_front = (uint32_t(column_of(f0[y * kWidth + x])) + 2u * uint32_t(p)) % kTexWidth;
        if (col_front % 2 == 0 && col_front != 0)
          ASSERT_EQ(got, 0xFF000000u | col_front);
        else
          ASSERT_EQ(got >> 24, 0u);
      }
  }
  Frame f491(kPixels), f982(kPixels);
  tunnel_draw(f491.data(), 491);
  tunnel_draw(f982.data(), 982);
  EXPECT_EQ(f982, f0);
  EXPECT_NE(f491, f0);
}

TEST_F(TunnelTest, AnyPhaseStaysInsideTheTextures) {
  Frame fb(kPixels);
  for (int32_t p : {0, -1, -982, 2147483647, -2147483647 - 1}) tunnel_draw(fb.data(), p);  // sanitizers watch
  SUCCEED();
}

// The intro at the two ends of its pulse, composed from the primitives it is made of.
Frame expected_intro(int32_t t, int32_t radius, int32_t dim) {
  Frame tunnel(kPixels), blurred(kPixels), out(kPixels);
  const Frame black(kPixels, 0);
  tunnel_draw(tunnel.data(), 10000 - t);
  blur_h(tunnel.data(), blurred.data(), 0, 0, 0, 0, kWidth, kHeight, kWidth, kHeight, radius);
  crossfade(blurred.data(), black.data(), out.data(), kPixels, dim);
  return out;
}

TEST_F(TunnelTest, IntroPulseAndTitles) {
  const std::vector<uint8_t> strips = synthetic::text_strip_images();
  Frame fb(kPixels);
  // t = 0: widest blur, brightest (165/255), strips not yet visible.
  intro_draw(fb.data(), 0, strips.data());
  EXPECT_EQ(fb, expected_intro(0, 41, 90));
  // t = 63, close to 20 pi: the blur is gone and the frame at its darkest (sin just past pi).
  intro_draw(fb.data(), 63, strips.data());
  Frame expected = expected_intro(63, 1, 239);
  text_draw(125, 114, 0, 63, expected.data(), strips.data());
  EXPECT_EQ(fb, expected);
  // t = 128: the name at half strength, the title just starting (alpha 0).
  intro_draw(fb.data(), 128, strips.data());
  expected = expected_intro(128, int(41 - 40 * std::sqrt(std::fabs(std::sin(3.2)))),
                                  int(240 - 150 * std::fabs(std::sin(3.2 + 1.5707963267948966))));
  text_draw(125, 114, 0, 128, expected.data(), strips.data());
  EXPECT_EQ(fb, expected);
  // t = 500: both at full strength.
  intro_draw(fb.data(), 500, strips.data());
  expected = expected_intro(500, int(41 - 40 * std::sqrt(std::fabs(std::sin(12.5)))),
                            int(240 - 150 * std::fabs(std::sin(12.5 + 1.5707963267948966))));
  text_draw(125, 114, 0, 255, expected.data(), strips.data());
  text_draw(65, 138, 1, 255, expected.data(), strips.data());
  EXPECT_EQ(fb, expected);
}

}  // namespace
