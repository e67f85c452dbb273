#include "platform/viewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/window_picture.h"

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

// What the window shows: at whole-number scales each show pixel is an s x s block whose lower
// rows are black; at every scale each show row, lit alone, lights the same share of the output
// rows (half a band where the scale is not whole), so the dark lines keep one mean darkness.
TEST(WindowPicture, WholeScalesAreBlocksAndEveryBandIsEquallyDark) {
  const int w = 320, h = 240;
  std::vector<uint32_t> fb(w * h);
  for (int i = 0; i < w * h; ++i) fb[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
  for (int s : {2, 3, 4}) {
    std::vector<uint32_t> out(w * s * h * s);
    window_picture(fb.data(), w, h, w * s, h * s, WindowPixels::Xrgb, out.data(), w * s);
    int wrong = 0;
    for (int y = 0; y < h * s; ++y)
      for (int x = 0; x < w * s; ++x)
        wrong += out[y * w * s + x] != (y % s < (s + 1) / 2 ? fb[(y / s) * w + x / s] : 0u);
    EXPECT_EQ(wrong, 0) << "scale " << s;
  }
  uint32_t rgba = 0;
  const uint32_t one = 0x123456;
  window_picture_row(&one, 1, 1, 1, 2, 0, WindowPixels::Rgba, &rgba);
  EXPECT_EQ(rgba, 0xFF563412u);

  for (int out_h : {500, 525, 720, 1080, 240, 200}) {
    std::vector<uint32_t> band(w * h), column(out_h);
    double least = 1e9, most = 0;
    for (int k = 0; k < h; ++k) {
      std::fill(band.begin(), band.end(), 0u);
      std::fill(band.begin() + k * w, band.begin() + (k + 1) * w, 0xFFFFFFu);
      window_picture(band.data(), w, h, 1, out_h, WindowPixels::Xrgb, column.data(), 1);
      double lit = 0;  // output rows' worth
      for (uint32_t p : column) lit += (p & 0xFF) / 255.0;
      least = std::min(least, lit);
      most = std::max(most, lit);
    }
    const double half = out_h % h ? 0.5 * out_h / h : (out_h / h + 1) / 2;
    EXPECT_NEAR(least, half, 0.01) << out_h << " rows";
    EXPECT_NEAR(most, half, 0.01) << out_h << " rows";
  }
}

}  // namespace
