#include "effects/lens_overlay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "effects/effects_internal.h"
#include "effects/lens.h"

namespace {

void fill_pattern(uint32_t mask, uint8_t shade) {
  std::fill(std::begin(lens_mask), std::end(lens_mask), mask);
  std::fill(std::begin(lens_shade), std::end(lens_shade), shade);
}

struct ScrollCase {
  int32_t t;
  int row, col;  // pattern entry seen at the frame centre
};

class OverlayScroll : public ::testing::TestWithParam<ScrollCase> {};

// Only one pattern entry lets light through; the centre must see exactly that one.
TEST_P(OverlayScroll, CentreSeesEntry) {
  const ScrollCase& c = GetParam();
  lens_init(1200, 280);
  fill_pattern(0, 0);
  lens_mask[c.row * 256 + c.col] = 0xFFFFFFFFu;
  std::vector<uint32_t> src(kFbPixels, 0x00FFFFFFu), fb(kFbPixels, 0x00777777u);
  lens_overlay(c.t, fb.data(), src.data());
  EXPECT_EQ(fb[120 * 320 + 160], 0x00FFFFFFu);
  lens_mask[c.row * 256 + c.col] = 0;
  lens_mask[c.row * 256 + ((c.col + 1) & 255)] = 0xFFFFFFFFu;
  lens_overlay(c.t, fb.data(), src.data());
  EXPECT_EQ(fb[120 * 320 + 160], 0u);
}

// Worked out from the drift and sway: su = trunc(sin(t / 600) * 5000 + t),
// sv = 3 * trunc(100 * cos(t / 22.1)), entry ((sv + 5120) & 255, (su + 5120) & 255).
INSTANTIATE_TEST_SUITE_P(Times, OverlayScroll,
                         ::testing::Values(ScrollCase{0, 44, 0}, ScrollCase{100, 202, 161},
                                           ScrollCase{-50, 67, 46},  // truncation, not floor
                                           ScrollCase{1000, 87, 89},
                                           ScrollCase{12345, 246, 133}));

struct OrderCase {
  uint32_t mask;
  uint8_t shade;
  uint32_t upper, lower;  // what a white source becomes in each half
};

class OverlayOrder : public ::testing::TestWithParam<OrderCase> {};

// Upper-half pixels are masked before their mirror shades them, lower-half pixels the other way.
TEST_P(OverlayOrder, WhiteSource) {
  const OrderCase& c = GetParam();
  fill_pattern(c.mask, c.shade);
  std::vector<uint32_t> src(kFbPixels, 0x00FFFFFFu), fb(kFbPixels);
  lens_overlay(0, fb.data(), src.data());
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      ASSERT_EQ(fb[y * 320 + x], y < 120 ? c.upper : c.lower) << x << "," << y;
    }
  }
  EXPECT_EQ(src[0], 0x00FFFFFFu);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, OverlayOrder,
    ::testing::Values(OrderCase{0xFFFFFFFFu, 0, 0x00FFFFFFu, 0x00FFFFFFu},
                      OrderCase{0xFFFFFFFFu, 1, 0x007F7F7Fu, 0x007F7F7Fu},
                      OrderCase{0xC0C0C0C0u, 0, 0x00C0C0C0u, 0x00C0C0C0u},
                      OrderCase{0xC0C0C0C0u, 1, 0x00606060u, 0x00404040u},
                      OrderCase{0u, 1, 0u, 0u}));

TEST(Overlay, BlackStaysBlack) {
  lens_init(1200, 280);
  std::vector<uint32_t> src(kFbPixels, 0), fb(kFbPixels, 0x00FFFFFFu);
  for (int32_t t : {0, 77, 5000}) {
    lens_overlay(t, fb.data(), src.data());
    ASSERT_EQ(std::count(fb.begin(), fb.end(), 0u), kFbPixels) << "t = " << t;
  }
}

}  // namespace
