// A small scene rendered end to end and compared with a stored picture: ten lit balls at the
// show's camera, three frames so that the per-frame spin accumulates.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "render3d/render.h"
#include "tests/render3d/test_scene.h"

namespace {

constexpr int kW = 160, kH = 120;
const std::string kGolden =
    std::string(DRIFTLIGHT_SOURCE_DIR) + "/tests/render3d/data/balls_160x120.ppm";

// Views and objects live for the whole run, as in the show.
View3D base_view, ball_view;
uint32_t picture[kW * kH];

void render_scene() {
  ASSERT_EQ(view_init(&base_view), 0);
  view_copy(&ball_view, &base_view);
  ASSERT_EQ(view_set_output(&ball_view, kW, kH, 32), 0);
  ball_view.framebuffer = picture;
  Object3D* ball = make_ball(16384.0f, 0x808080);
  ASSERT_NE(ball, nullptr);
  ASSERT_EQ(view_add_object(&base_view, ball, -1), 0);
  for (int i = 0; i < 9; ++i) ASSERT_NE(object_clone(&base_view, ball), nullptr);
  set_show_camera(&ball_view);
  for (int frame = 0; frame < 3; ++frame) {
    for (uint32_t& p : picture) p = 0x102030;
    place_balls(&ball_view, 1.0f);
    render_view(&ball_view);
  }
  set_shade_range(0, 256);
}

bool read_ppm(const std::string& path, std::vector<uint32_t>* out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  int w = 0, h = 0, max = 0;
  const bool ok = std::fscanf(f, "P6 %d %d %d", &w, &h, &max) == 3 && w == kW && h == kH;
  std::fgetc(f);
  out->assign(kW * kH, 0);
  unsigned char rgb[3];
  for (int i = 0; ok && i < kW * kH && std::fread(rgb, 1, 3, f) == 3; ++i)
    (*out)[i] = rgb[0] << 16 | rgb[1] << 8 | rgb[2];
  std::fclose(f);
  return ok;
}

void write_ppm(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fprintf(f, "P6 %d %d 255\n", kW, kH);
  for (uint32_t p : picture) {
    const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16),
                                  static_cast<unsigned char>(p >> 8),
                                  static_cast<unsigned char>(p)};
    std::fwrite(rgb, 1, 3, f);
  }
  std::fclose(f);
}

TEST(Scene, BallsMatchStoredPicture) {
  render_scene();
  if (std::getenv("DRIFTLIGHT_UPDATE_GOLDEN")) write_ppm(kGolden);
  std::vector<uint32_t> want;
  ASSERT_TRUE(read_ppm(kGolden, &want)) << "missing " << kGolden;
  int differ = 0;
  for (int i = 0; i < kW * kH; ++i) differ += picture[i] != want[i];
  // Exact on this toolchain; a handful of edge pixels may move with another libm.
  EXPECT_LE(differ, kW * kH / 500) << differ << " pixels differ";
  // The picture holds the three shades of the rows and the lit extremes.
  int red = 0;
  for (uint32_t p : picture) red += (p & 0xFF0000) && !(p & 0xFFFF);
  EXPECT_GT(red, kW * kH / 10);
}

}  // namespace
