#include "effects/lens_tunnel.h"

#include <gtest/gtest.h>

#include <vector>

#include "effects/compose.h"
#include "effects/lens.h"
#include "effects/lens_overlay.h"
#include "effects/tunnel.h"

namespace {


class LensTunnel : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A busy stand-in portrait (background 168 first) so both layers show detail.
    static uint8_t image[256 * 256];
    const uint8_t levels[4] = {168, 25, 99, 250};
    for (int i = 0; i < 256 * 256; ++i) image[i] = levels[((i >> 3) ^ (i >> 11)) & 3];
    divtable_init();
    tunnel_build_textures(tex_back, tex_front, image);
    tunnel_build_maps(tex_back, tex_front);
  }
  void SetUp() override { lens_init(1200, 280); }
};

struct BlurCase {
  int32_t t, radius;
};

// The frame is the tunnel at phase t, blurred by the pulsing radius, through the lens at t.
TEST_F(LensTunnel, ComposesTunnelBlurAndLens) {
  const BlurCase cases[] = {{0, 1}, {19, 20}, {14, 19}, {40, 4}};
  std::vector<uint32_t> fb(kPixels), tunnel(kPixels), blurred(kPixels), expected(kPixels);
  for (const BlurCase& c : cases) {
    lens_tunnel_draw(fb.data(), c.t);
    tunnel_draw(tunnel.data(), c.t);
    blur_h(tunnel.data(), blurred.data(), 0, 0, 0, 0, 320, 240, 320, 240, c.radius);
    if (c.t == 0) {
      for (int i = 0; i < kPixels; ++i) {
        ASSERT_EQ(blurred[i], tunnel[i] & 0x00FFFFFFu) << "radius 1 copies the tunnel";
      }
    }
    for (int i = 0; i < kPixels; ++i) ASSERT_EQ(blur_buffer[i], blurred[i]) << "t " << c.t;
    lens_overlay(c.t, expected.data(), blurred.data());
    ASSERT_EQ(fb, expected) << "t " << c.t;
  }
}

TEST_F(LensTunnel, LeavesAThumbnailOfThisFrame) {
  std::vector<uint32_t> fb(kPixels);
  lens_tunnel_draw(fb.data(), 300);
  lens_tunnel_draw(fb.data(), 0);
  for (int i = 1; i < 47; ++i) {
    for (int j = 1; j < 63; ++j) {
      ASSERT_EQ(thumbnail_buffer[i * 64 + j], (fb[5 * i * 320 + 5 * j] >> 1) & 0x7F7F7F7Fu) << j << "," << i;
    }
  }
}

}  // namespace
