// scenerender draws from a file's camera with the field of view its lens gives: a square two
// units wide, ten units in front of the camera, is 320 x 0.1 / tan(fov / 2) pixels wide and as
// many high in a 320 x 240 picture, with fov = 2400 / lens degrees.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "scene_builder.h"

namespace {

using namespace scene_builder;

struct LensCase {
  float lens;
};

class Lens : public ::testing::TestWithParam<LensCase> {};

TEST_P(Lens, SetsTheFieldOfView) {
  const float lens = GetParam().lens;
  Mesh square;
  square.name = "Square";
  square.vertices = {-1, 0, -1, 1, 0, -1, 1, 0, 1, -1, 0, 1};
  square.faces = {0, 1, 2, 0, 0, 2, 3, 0, 2, 1, 0, 0, 3, 2, 0, 0};  // both sides
  Camera camera{"Camera01", {0, -10, 0, 0, 0, 0, 0}, lens};
  const Bytes bytes = file({editor({square}, {camera})});  // no keyframer: the mesh as it stands

  const std::string base = testing::TempDir() + "lens" + std::to_string(static_cast<int>(lens));
  FILE* f = std::fopen((base + ".3ds").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  const std::string command = DRIFTLIGHT_RUN DRIFTLIGHT_BINARY_DIR
                              "/tools/scenerender/scenerender -f " +
                              base + ".3ds " + base + ".png";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, (base + ".png").c_str()));
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  ASSERT_EQ(image.width, 320u);
  ASSERT_EQ(image.height, 240u);
  // The square is lit red on a dark grey-blue background: count its pixels across the middle row
  // and down the middle column.
  auto lit = [&](int x, int y) { return rgb[3 * (y * 320 + x)] > 0x30; };
  int wide = 0, high = 0;
  for (int x = 0; x < 320; ++x) wide += lit(x, 120);
  for (int y = 0; y < 240; ++y) high += lit(160, y);
  const double pi = 3.14159265358979;
  const double expected = 32.0 / std::tan(2400.0 / lens * pi / 360.0);
  EXPECT_NEAR(wide, expected, 2.0) << "lens " << lens;
  EXPECT_NEAR(high, expected, 2.0) << "lens " << lens;  // square pixels
  std::remove((base + ".3ds").c_str());
  std::remove((base + ".png").c_str());
}

// 45 degrees (what the shared files' cameras hold), wide and long.
INSTANTIATE_TEST_SUITE_P(Lenses, Lens,
                         ::testing::Values(LensCase{53.3333f}, LensCase{24.0f}, LensCase{150.0f}));

}  // namespace
