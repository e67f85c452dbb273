#include "effects/lens.h"

#include <gtest/gtest.h>

#include <vector>

#include "effects/effects_internal.h"

namespace {

struct DiscCase {
  int col, row;  // r^2 = (col - 128)^2 + (row - 128)^2
  uint32_t mask;
  uint8_t shade;
};

class LensDisc : public ::testing::TestWithParam<DiscCase> {};

TEST_P(LensDisc, ZoneAtRadius) {
  lens_init(1200, 280);
  const DiscCase& c = GetParam();
  EXPECT_EQ(lens_mask[c.row * 256 + c.col], c.mask);
  EXPECT_EQ(lens_shade[c.row * 256 + c.col], c.shade);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, LensDisc,
    ::testing::Values(DiscCase{128, 128, 0xFFFFFFFFu, 0},    // centre
                      DiscCase{147, 34, 0xFFFFFFFFu, 0},     // r^2 9197, last of the clear disc
                      DiscCase{181, 48, 0xFFFFFFFFu, 1},     // r^2 9209, darkened ring
                      DiscCase{150, 32, 0xFFFFFFFFu, 1},     // r^2 9700, ring's edge
                      DiscCase{154, 33, 0xC0C0C0C0u, 1},     // r^2 9701, rim
                      DiscCase{128, 28, 0xC0C0C0C0u, 1},     // r^2 10000, rim's edge
                      DiscCase{129, 28, 0u, 1},              // r^2 10001, outside
                      DiscCase{0, 0, 0u, 1},                 // corner
                      DiscCase{255, 255, 0u, 1}));

struct MapCase {
  int32_t a, b;
  int x, y;  // screen position
  int32_t u, v;
};

class LensMap : public ::testing::TestWithParam<MapCase> {};

TEST_P(LensMap, OffsetAt) {
  const MapCase& c = GetParam();
  lens_init(c.a, c.b);
  EXPECT_EQ(lens_map_u[c.y * 320 + c.x], c.u) << "at " << c.x << "," << c.y;
  EXPECT_EQ(lens_map_v[c.y * 320 + c.x], c.v) << "at " << c.x << "," << c.y;
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, LensMap,
    ::testing::Values(
        MapCase{1200, 280, 160, 120, 5120, 5120},  // centre: no offset
        MapCase{1200, 280, 280, 120, 5120, 5120},  // distance 120 = a / 10: back to 0
        MapCase{1200, 280, 160, 0, 5120, 5120},    // straight up, distance 120
        MapCase{1200, 280, 220, 120, 5248, 5120},  // 60 * 600 / 280 = 128.57
        MapCase{1200, 280, 159, 120, 5116, 5120},  // -1190 / 280 truncates to -4, not -5
        MapCase{1200, 280, 10, 120, 5280, 5120},   // beyond the zero the offset flips sign
        MapCase{1200, 280, 0, 0, 5120 + 457, 5120 + 342},  // corner: v = -800
        MapCase{500, 180, 210, 120, 5120, 5120},   // the small lens's zero at 50 pixels
        MapCase{500, 180, 160, 95, 5120, 5120 - 34}));  // -25 * 250 / 180 = -34.7

}  // namespace
