#include "effects/lens_tunnel.h"

#include <gtest/gtest.h>

#include <vector>

#include "effects/compose.h"
#include "effects/effects_internal.h"
#include "effects/lens.h"
#include "effects/lens_overlay.h"
#include "effects/tunnel.h"
#include "effects/zoom.h"

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
  std::vector<uint32_t> fb(kFbPixels), tunnel(kFbPixels), blurred(kFbPixels), expected(kFbPixels);
  for (const BlurCase& c : cases) {
    lens_tunnel_draw(fb.data(), c.t);
    tunnel_draw(tunnel.data(), c.t);
    blur_h(tunnel.data(), blurred.data(), 0, 0, 0, 0, 320, 240, 320, 240, c.radius);
    if (c.t == 0) {
      for (int i = 0; i < kFbPixels; ++i) {
        ASSERT_EQ(blurred[i], tunnel[i] & 0x00FFFFFFu) << "radius 1 copies the tunnel";
      }
    }
    lens_overlay(c.t, expected.data(), blurred.data());
    ASSERT_EQ(fb, expected) << "t " << c.t;
  }
}

TEST_F(LensTunnel, LeavesAThumbnailOfThisFrame) {
  std::vector<uint32_t> fb(kFbPixels);
  lens_tunnel_draw(fb.data(), 300);
  lens_tunnel_draw(fb.data(), 0);
  for (int i = 1; i < 47; ++i) {
    for (int j = 1; j < 63; ++j) {
      ASSERT_EQ(thumbnail_buffer[i * 64 + j], (fb[5 * i * 320 + 5 * j] >> 1) & 0x7F7F7F7Fu) << j << "," << i;
    }
  }
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
