#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "render3d/raster.h"
#include "render3d/render.h"

namespace {

constexpr int kW = 320, kH = 240;

// A 320 x 240 target with a guard band around it, so stray writes are seen.
class RasterTest : public ::testing::Test {
 protected:
  static constexpr int kGuard = 4096;
  std::vector<uint32_t> mem = std::vector<uint32_t>(kW * kH + 2 * kGuard, 0xDEADBEEF);
  uint32_t* fb = mem.data() + kGuard;

  void SetUp() override {
    render_engine_init();
    ASSERT_EQ(raster_set_target(kW, kH, 32), 0);
    ASSERT_EQ(raster_set_buffers(fb, nullptr), 0);
    for (int i = 0; i < kW * kH; ++i) fb[i] = 0;
    raster_reset_mode();
    ASSERT_EQ(raster_set_mode(1), 0);
  }
  void TearDown() override {
    for (int i = 0; i < kGuard; ++i) {
      ASSERT_EQ(mem[i], 0xDEADBEEF) << "write before the target";
      ASSERT_EQ(mem[kGuard + kW * kH + i], 0xDEADBEEF) << "write after the target";
    }
  }
  int count(uint32_t colour) const {
    int n = 0;
    for (int i = 0; i < kW * kH; ++i) n += fb[i] == colour;
    return n;
  }
  // Draws a polygon given in pixels (times 256), full intensity.
  void draw(std::initializer_list<std::pair<float, float>> pts, uint32_t colour = 0xFFFFFF,
            float intensity = 65280.0f) {
    RasterVertex v[8] = {};
    int n = 0;
    for (auto [x, y] : pts) {
      v[n].s[kSlotX] = x;
      v[n].s[kSlotY] = y;
      v[n].s[kSlotIntensity] = intensity;
      ++n;
    }
    draw_polygon(n, v, colour);
  }
};

TEST_F(RasterTest, ClockwiseTriangleSpansRowsTenToEighteen) {
  draw({{2560, 2560}, {5120, 2560}, {2560, 5120}});
  const uint32_t c = 0xFEFEFE;  // 255 scaled by row 255 of the multiply table
  EXPECT_EQ(count(c), 45);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const bool inside = y >= 10 && y <= 18 && x >= 10 && x <= 28 - y;
      ASSERT_EQ(fb[y * kW + x] == c, inside) << x << "," << y;
    }
  }
}

TEST_F(RasterTest, CounterClockwiseDrawsNothing) {
  draw({{2560, 5120}, {5120, 2560}, {2560, 2560}});
  EXPECT_EQ(count(0), kW * kH);
}

TEST_F(RasterTest, ColourScaledByIntensity) {
  fb[0] = 0;
  draw({{0, 0}, {256, 0}, {256, 256}, {0, 256}}, 0xAAFF8040, 32768.0f);
  EXPECT_EQ(fb[0], 0xAA7F4020u);  // the top byte is kept
  EXPECT_EQ(mul_table[255 * 256 + 255], 254);
  EXPECT_EQ(mul_table[128 * 256 + 255], 127);
}

struct ClipCase {
  const char* name;
  std::vector<std::pair<float, float>> pts;  // a clockwise quad, in pixels
  int pixels;                                // expected pixel count
  int min_x, max_x, min_y, max_y;            // expected bounds of the drawn pixels
};

class RasterClip : public RasterTest, public ::testing::WithParamInterface<ClipCase> {};

TEST_P(RasterClip, StaysInsideTarget) {
  const ClipCase& c = GetParam();
  RasterVertex v[4] = {};
  for (int i = 0; i < 4; ++i) {
    v[i].s[kSlotX] = c.pts[i].first * 256.0f;
    v[i].s[kSlotY] = c.pts[i].second * 256.0f;
    v[i].s[kSlotIntensity] = 65280.0f;
  }
  draw_polygon(4, v, 0xFFFFFF);
  int n = 0, x0 = kW, x1 = -1, y0 = kH, y1 = -1;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (fb[y * kW + x]) {
        ++n;
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
      }
  EXPECT_EQ(n, c.pixels);
  if (c.pixels) {
    EXPECT_EQ(x0, c.min_x);
    EXPECT_EQ(x1, c.max_x);
    EXPECT_EQ(y0, c.min_y);
    EXPECT_EQ(y1, c.max_y);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Edges, RasterClip,
    ::testing::Values(
        ClipCase{"AboveTop", {{10, -20}, {20, -20}, {20, -5}, {10, -5}}, 0, 0, 0, 0, 0},
        ClipCase{"CrossesTop", {{10, -20}, {20, -20}, {20, 5}, {10, 5}}, 50, 10, 19, 0, 4},
        ClipCase{
            "CrossesRight", {{310, 50}, {330, 50}, {330, 60}, {310, 60}}, 100, 310, 319, 50, 59},
        ClipCase{"CrossesLeft", {{-10, 50}, {5, 50}, {5, 60}, {-10, 60}}, 50, 0, 4, 50, 59},
        ClipCase{
            "CrossesBottom", {{10, 235}, {20, 235}, {20, 250}, {10, 250}}, 50, 10, 19, 235, 239},
        ClipCase{"BelowBottom", {{10, 240}, {20, 240}, {20, 250}, {10, 250}}, 0, 0, 0, 0, 0},
        ClipCase{"CoversAll",
                 {{-1000, -1000}, {1000, -1000}, {1000, 1000}, {-1000, 1000}},
                 kW* kH,
                 0,
                 319,
                 0,
                 239},
        ClipCase{"Huge",
                 {{-3e30f, -3e30f}, {3e30f, -3e30f}, {3e30f, 3e30f}, {-3e30f, 3e30f}},
                 kW* kH,
                 0,
                 319,
                 0,
                 239}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RasterTest, DegenerateCoordinatesNeverWriteOutside) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float odd[] = {nan, inf, -inf, 3e38f, -3e38f, 1e10f, -1e10f, 0.0f, 60000.0f, 1e-30f};
  // Every combination of one odd vertex with a sane triangle, and sliver edges.
  for (float x : odd) {
    for (float y : odd) {
      draw({{x, y}, {30000, 1000}, {20000, 30000}});
      draw({{1000, 1000}, {x, y}, {20000, 30000}});
      draw({{1000, 1000}, {1000.5f, 50000}, {x, y}});
    }
  }
  // Only the guard bands matter here (checked in TearDown).
  SUCCEED();
}

TEST_F(RasterTest, SetModeAtDepth32) {
  raster_reset_mode();
  EXPECT_EQ(raster_set_mode(2), 1);
  EXPECT_EQ(raster_set_mode(2), 1);  // the cached result of the same mode
  EXPECT_EQ(raster_set_mode(1), 0);
  EXPECT_EQ(raster_set_mode(0x041), 1);
  EXPECT_EQ(raster_set_mode(0x201), 1);
}

TEST_F(RasterTest, DepthEightWalksEdgesButFillsNothing) {
  ASSERT_EQ(raster_set_target(kW, kH, 8), 0);
  EXPECT_EQ(raster_set_mode(0x0FF), 0);
  draw({{0, 0}, {2560, 0}, {2560, 2560}});
  EXPECT_EQ(raster_set_mode(2), 0);
  ASSERT_EQ(raster_set_target(kW, kH, 32), 0);
  EXPECT_EQ(raster_set_mode(2), 1);  // a change of depth forgets the cached result
  EXPECT_EQ(count(0), kW * kH);
}

TEST_F(RasterTest, LinearWalkerInterpolatesAttributes) {
  // At depth 8 with mode 4 the list is x, u, v (mask 0x0D): words 1 and 2 carry u and v in
  // 1/256 units along the edge.
  ASSERT_EQ(raster_set_target(kW, kH, 8), 0);
  raster_set_mode(4);
  RasterVertex a = {}, b = {};
  a.s[kSlotX] = 0;
  a.s[kSlotY] = 0;
  a.s[kSlotU] = 0;
  a.s[kSlotV] = 100;
  b.s[kSlotX] = 2560;
  b.s[kSlotY] = 2560;
  b.s[kSlotU] = 10;
  b.s[kSlotV] = 100;
  edge_walk_linear(&a, &b);
  // Row 0 is evaluated at its lower boundary, y = 1 pixel: x = 256, u = 1 (256 in 1/256).
  EXPECT_EQ(right_edges[0][0].i, 256);
  EXPECT_EQ(right_edges[0][1].i, 256);
  EXPECT_EQ(right_edges[0][2].i, 25600);
  EXPECT_EQ(right_edges[9][0].i, 2560);
  EXPECT_EQ(right_edges[9][1].i, 2560);
  raster_set_target(kW, kH, 32);
}

TEST_F(RasterTest, PerspectiveWalkerCarriesInverseDepth) {
  ASSERT_EQ(raster_set_target(kW, kH, 8), 0);
  raster_set_mode(0x084);  // x, u, v, w: perspective
  RasterVertex a = {}, b = {};
  a.s[kSlotY] = 0;
  a.s[kSlotU] = 0;
  a.s[kSlotDepth] = 1;
  b.s[kSlotY] = 2560;
  b.s[kSlotU] = 10;
  b.s[kSlotDepth] = 1;
  edge_walk_perspective(&b, &a);                // runs up: left table
  EXPECT_FLOAT_EQ(left_edges[0][1].f, 256.0f);  // 256 u / w at y = 1
  EXPECT_FLOAT_EQ(left_edges[0][3].f, 256.0f);  // 256 / w
  EXPECT_FLOAT_EQ(left_edges[9][1].f, 2560.0f);
  raster_set_target(kW, kH, 32);
}

TEST(RasterSetters, RefusalsKeepState) {
  ASSERT_EQ(raster_set_target(320, 200, 32), 0);
  EXPECT_EQ(raster_set_target(641, 200, 32), 1);
  EXPECT_EQ(raster_set_target(320, 481, 32), 1);
  EXPECT_EQ(raster_set_target(0, 200, 32), 1);
  EXPECT_EQ(raster_set_target(320, 200, 7), 1);
  EXPECT_EQ(raster_target.width, 320);
  EXPECT_EQ(raster_target.height, 200);
  EXPECT_EQ(raster_set_target(640, 480, 8), 0);
  EXPECT_EQ(raster_set_projection(-1), 1);
  EXPECT_EQ(raster_set_projection(0), 0);
  EXPECT_EQ(raster_set_buffers(nullptr, nullptr), 1);
  raster_set_projection(256);
  raster_set_target(320, 240, 32);
}

}  // namespace
