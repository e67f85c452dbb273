#include "platform/viewport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ViewportCase {
  int w, h;
  ViewportRect expected;
};

class ViewportTest : public testing::TestWithParam<ViewportCase> {};

TEST_P(ViewportTest, CentredFourByThree) {
  const ViewportCase& c = GetParam();
  const ViewportRect r = viewport_for(c.w, c.h);
  EXPECT_EQ(r.x, c.expected.x);
  EXPECT_EQ(r.y, c.expected.y);
  EXPECT_EQ(r.w, c.expected.w);
  EXPECT_EQ(r.h, c.expected.h);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ViewportTest,
    testing::Values(ViewportCase{1000, 500, {167, 0, 666, 500}},   // wide: bars left and right
                    ViewportCase{400, 600, {0, 150, 400, 300}},    // tall: bars top and bottom
                    ViewportCase{640, 480, {0, 0, 640, 480}},      // exactly 4:3: whole window
                    ViewportCase{1024, 768, {0, 0, 1024, 768}},
                    ViewportCase{1920, 1080, {240, 0, 1440, 1080}},
                    ViewportCase{1280, 1024, {0, 32, 1280, 960}},
                    ViewportCase{641, 480, {0, 0, 640, 480}},      // odd bar: 1 / 2 truncates
                    ViewportCase{639, 480, {0, 0, 639, 479}},      // 479.25 truncates
                    ViewportCase{643, 481, {1, 0, 641, 481}},      // 641.33 truncates, bars of 1
                    ViewportCase{3, 1, {1, 0, 1, 1}},
                    ViewportCase{1, 1, {0, 0, 1, 0}}),
    [](const testing::TestParamInfo<ViewportCase>& i) {
      return std::to_string(i.param.w) + "x" + std::to_string(i.param.h);
    });

TEST(Viewport, DegenerateSizesStayInsideTheWindow) {
  for (const auto& [w, h] : {std::pair{0, 0}, {5, 0}, {0, 5}}) {
    const ViewportRect r = viewport_for(w, h);
    EXPECT_GE(r.w, 0);
    EXPECT_GE(r.h, 0);
    EXPECT_LE(r.x + r.w, w);
    EXPECT_LE(r.y + r.h, h);
  }
}

}  // namespace
