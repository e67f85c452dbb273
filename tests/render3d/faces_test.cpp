#include <gtest/gtest.h>

#include <vector>

#include "render3d/faces.h"
#include "render3d/raster.h"
#include "render3d/render.h"
#include "render3d/render_internal.h"
#include "tests/render3d/test_scene.h"

namespace {

constexpr float kCx = 160.0f * 256, kCy = 120.0f * 256;

// An object given directly in view space (view matrix identity), projected at 320 x 240.
struct ViewObject : HandObject {
  ViewObject(std::vector<float> v, std::vector<int32_t> f)
      : HandObject(std::move(v), std::move(f)) {
    o.colour = 0xFFFFFF;
    object_project(&o, 320, 240, 256.0f);
  }
  // Screen position of vertex i.
  std::pair<float, float> at(int i) const { return {screen[2 * i], screen[2 * i + 1]}; }
  // Screen position of the point where the edge from vertex b (behind) to e (in front) meets
  // the near plane.
  std::pair<float, float> crossing(int b, int e) const {
    const float* B = &view[3 * b];
    const float* E = &view[3 * e];
    const float t = (B[2] + 105.0f) / (B[2] - E[2]);
    const float x = B[0] + (E[0] - B[0]) * t, y = B[1] + (E[1] - B[1]) * t;
    return {kCx - x * 61440.0f / -105.0f, kCy + y * 61440.0f / -105.0f};
  }
};

class FacesTest : public ::testing::Test {
 protected:
  float sx = 0, sy = 0;
  RasterVertex rec[5];
  void SetUp() override {
    render_engine_init();
    raster_set_target(320, 240, 32);
    raster_set_projection(256);
    raster_set_buffers(fb, nullptr);
    clip_scales(&sx, &sy);
  }
  uint32_t fb[320 * 240] = {};

  void expect_records(int n, std::initializer_list<std::pair<float, float>> want) {
    ASSERT_EQ(n, static_cast<int>(want.size()));
    int i = 0;
    for (auto [x, y] : want) {
      EXPECT_NEAR(rec[i].s[kSlotX], x, 0.05f) << "record " << i;
      EXPECT_NEAR(rec[i].s[kSlotY], y, 0.05f) << "record " << i;
      ++i;
    }
  }
};

// A triangle in front of the camera, clockwise on screen; z values picked per case.
std::vector<float> triangle(float z0, float z1, float z2) {
  return {-100, 100, z0, 100, 100, z1, 0, -100, z2};
}

TEST_F(FacesTest, ScaleFactorsAreTheProjectionAtTheNearPlane) {
  EXPECT_FLOAT_EQ(sx, 61440.0f / 105.0f);
  EXPECT_FLOAT_EQ(sy, 61440.0f / 105.0f);
}

TEST_F(FacesTest, AllInFrontIsUnchanged) {
  ViewObject v(triangle(-500, -500, -500), {0, 1, 2, -1});
  expect_records(face_build(&v.o, 0, sx, sy, rec), {v.at(0), v.at(1), v.at(2)});
}

TEST_F(FacesTest, MiddleVertexBehind) {
  ViewObject v(triangle(-500, -50, -500), {0, 1, 2, -1});
  expect_records(face_build(&v.o, 0, sx, sy, rec),
                 {v.at(0), v.crossing(1, 0), v.crossing(1, 2), v.at(2)});
}

TEST_F(FacesTest, LastTwoBehind) {
  ViewObject v(triangle(-500, -50, -20), {0, 1, 2, -1});
  expect_records(face_build(&v.o, 0, sx, sy, rec), {v.at(0), v.crossing(1, 0), v.crossing(2, 0)});
}

TEST_F(FacesTest, FirstVertexBehindAndFlatIntensityStillSet) {
  ViewObject v(triangle(-50, -500, -500), {0, 1, 2, -1});
  set_shade_range(10, 100);  // 2560 + 25600 x cos, held to 2560 .. 27904
  v.o.light_vec = {0, 0, -1};
  const int n = face_build(&v.o, 0, sx, sy, rec);
  expect_records(n, {v.crossing(0, 2), v.crossing(0, 1), v.at(1), v.at(2)});
  // The face normal (200, 0, -450) x (100, -200, -450) = (-90000, 45000, -40000): the cosine
  // with the light is 40000 / 108282.4, whichever record the clipping put first.
  EXPECT_NEAR(rec[0].s[kSlotIntensity], 2560.0f + 25600.0f * 0.3694057f, 0.5f);
  set_shade_range(0, 256);
}

TEST_F(FacesTest, QuadWithOneVertexBehindIsSkipped) {
  ViewObject v({-100, 100, -500, 100, 100, -50, 100, -100, -500, -100, -100, -500}, {0, 1, 2, 3});
  EXPECT_EQ(face_build(&v.o, 0, sx, sy, rec), 0);
}

TEST_F(FacesTest, QuadWithTwoAdjacentBehindStaysAQuad) {
  ViewObject v({-100, 100, -500, 100, 100, -50, 100, -100, -60, -100, -100, -500}, {0, 1, 2, 3});
  expect_records(face_build(&v.o, 0, sx, sy, rec),
                 {v.at(0), v.crossing(1, 0), v.crossing(2, 3), v.at(3)});
  // Behind run wrapping round from the last vertex to the first.
  ViewObject w({-100, 100, -50, 100, 100, -500, 100, -100, -500, -100, -100, -60}, {0, 1, 2, 3});
  expect_records(face_build(&w.o, 0, sx, sy, rec),
                 {w.crossing(3, 2), w.crossing(0, 1), w.at(1), w.at(2)});
}

TEST_F(FacesTest, BackFaceReadInOrderTwoOneZero) {
  ViewObject v(triangle(-500, -500, -500), {0, 1, 2, -1});
  v.o.flags = 1 | kFlagTwoSided;
  expect_records(face_build(&v.o, ~0, sx, sy, rec), {v.at(2), v.at(1), v.at(0)});
  v.o.flags = 1;  // one-sided: the reference is taken as it stands and refused
  EXPECT_EQ(face_build(&v.o, ~0, sx, sy, rec), 0);
}

TEST_F(FacesTest, ClippedTriangleIsDrawnToTheNearPlaneLine) {
  // The tip lies behind the camera's near plane. Unclipped, it would sit at the screen centre
  // and the triangle would end at row 120; clipped, the polygon reaches far below the screen.
  ViewObject v({-300, 300, -500, 300, 300, -500, 0, -300, -50}, {0, 1, 2, -1});
  v.o.light_vec = {0, 0, -1};
  face_queue.count = 0;
  ASSERT_EQ(object_queue_faces(&v.o), 1);
  frame_flush();
  EXPECT_NE(fb[5 * 320 + 160], 0u);
  EXPECT_NE(fb[230 * 320 + 160], 0u);
  EXPECT_EQ(fb[5 * 320 + 5], 0u);
  EXPECT_EQ(fb[230 * 320 + 5], 0u);
  EXPECT_EQ(fb[230 * 320 + 315], 0u);
}

}  // namespace
