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
  Frame fb(kFbPixels);
  tunnel_draw(fb.data(), 0);
  int lowest = 1000, highest = -1;
  for (int y = 0; y < kFbHeight; ++y)
    for (int x = 0; x < kFbWidth; ++x) {
      const int row = row_of(fb[y * kFbWidth + x]);
      lowest = std::min(lowest, row);
      highest = std::max(highest, row);
      if (x > 0) {
        ASSERT_EQ(row, row_of(fb[y * kFbWidth + (320 - x)])) << x << "," << y;
      }
      if (y > 0) {
        ASSERT_LE(row_of(fb[(y - 1) * kFbWidth + x]), row);
      }
    }
  EXPECT_EQ(lowest, 1);
  EXPECT_EQ(highest, 238);
  // The middle column is undistorted; the edges pull towards the middle row.
  EXPECT_EQ(row_of(fb[0 * kFbWidth + 160]), 1);
  EXPECT_GT(row_of(fb[0 * kFbWidth + 0]), 1);
  EXPECT_EQ(column_of(fb[100 * kFbWidth + 160]), 0);  // the angle of the middle column is 982
}

// Each layer scrolls left, the back one column per step of p, the front two; the front shows
// wherever it differs from its first pixel. Any p, negative or huge, stays inside the textures.
TEST_F(TunnelMaps, LayersScrollAndTheFrontIsColourKeyed) {
  Frame f0(kFbPixels), f(kFbPixels);
  tunnel_draw(f0.data(), 0);
  // Front: the key everywhere but in even columns, which carry their column and a top byte.
  for (int y = 0; y < kTexHeight; ++y)
    for (int x = 2; x < kTexWidth; x += 2) front[y * kTexWidth + x] = 0xFF000000u | uint32_t(x);
  for (int32_t p : {0, 1, 491, 982, 5000, -7, 2147483647, -2147483647 - 1}) {
    tunnel_draw(f.data(), p);
    for (int i = 0; i < kFbPixels; ++i) {
      // The column angles lie in 847 ... 1117, so the column read at p = 0 tells the angle.
      const uint32_t col0 = uint32_t(column_of(f0[i])), angle = col0 < 500 ? col0 + 982 : col0;
      const uint32_t col_back = (angle + uint32_t(p)) % kTexWidth, col_front = (angle + 2u * uint32_t(p)) % kTexWidth;
      const bool front_shows = col_front % 2 == 0 && col_front != 0;
      ASSERT_EQ(f[i], front_shows ? 0xFF000000u | col_front : uint32_t(row_of(f0[i])) << 16 | col_back) << p;
    }
  }
}

// The intro composed from the primitives it is made of: the tunnel at 10000 - t blurred with
// `radius`, dimmed by `dim`, the name and the title at the given alphas.
Frame expected_intro(int32_t t, int32_t radius, int32_t dim, int32_t name, int32_t title, const uint8_t* strips) {
  Frame tunnel(kFbPixels), blurred(kFbPixels), out(kFbPixels);
  const Frame black(kFbPixels, 0);
  tunnel_draw(tunnel.data(), 10000 - t);
  blur_h(tunnel.data(), blurred.data(), 0, 0, 0, 0, kFbWidth, kFbHeight, kFbWidth, kFbHeight, radius);
  crossfade(blurred.data(), black.data(), out.data(), kFbPixels, dim);
  text_draw(125, 114, 0, name, out.data(), strips);
  text_draw(65, 138, 1, title, out.data(), strips);
  return out;
}

TEST_F(TunnelTest, IntroPulseAndTitles) {
  const std::vector<uint8_t> strips = synthetic::text_strip_images();
  struct Case {
    int32_t t, radius, dim, name, title;
  };
  // t = 0: widest blur, brightest (165/255), no text. t = 63, just past 20 pi: no blur, darkest.
  // t = 128: the title starts. t = 500: both strips at full strength.
  for (const Case c : {Case{0, 41, 90, 0, 0}, Case{63, 1, 239, 63, 0}, Case{128, 31, 90, 128, 0},
                       Case{500, 30, 90, 255, 255}}) {
    Frame fb(kFbPixels);
    intro_draw(fb.data(), c.t, strips.data());
    EXPECT_EQ(fb, expected_intro(c.t, c.radius, c.dim, c.name, c.title, strips.data())) << c.t;
  }
}

}  // namespace
