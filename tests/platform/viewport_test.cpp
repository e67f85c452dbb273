#include "platform/viewport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ViewportCase {
  int w, h;
  ViewportRect expected;
};

TEST(Viewport, CentredFourByThreeWithBars) {
  const ViewportCase cases[] = {
      {1000, 500, {167, 0, 666, 500}},  // wide: bars left and right
      {400, 600, {0, 150, 400, 300}},   // tall: bars top and bottom
      {640, 480, {0, 0, 640, 480}},     // exactly 4:3: the whole window
      {1024, 768, {0, 0, 1024, 768}},
      {1920, 1080, {240, 0, 1440, 1080}},
      {1280, 1024, {0, 32, 1280, 960}},
      {641, 480, {0, 0, 640, 480}},  // a 1-pixel bar halves to 0
      {639, 480, {0, 0, 639, 479}},  // 479.25 truncates
      {643, 481, {1, 0, 641, 481}},  // 641.33 truncates, bars of 1
      {3, 1, {1, 0, 1, 1}},
      {1, 1, {0, 0, 1, 0}},
  };
  for (const ViewportCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const ViewportRect r = viewport_for(c.w, c.h);
    EXPECT_EQ(r.x, c.expected.x);
    EXPECT_EQ(r.y, c.expected.y);
    EXPECT_EQ(r.w, c.expected.w);
    EXPECT_EQ(r.h, c.expected.h);
  }
}

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
