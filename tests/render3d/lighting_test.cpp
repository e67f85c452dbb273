#include "render3d/lighting.h"

#include <gtest/gtest.h>

#include "render3d/math3d.h"
#include "scene3d/objects.h"
#include "tests/render3d/test_scene.h"

namespace {

TEST(Lighting, IntensityOverShadeRange) {
  set_shade_range(80, 176);
  EXPECT_EQ(shade_low, 20480.0f);
  EXPECT_EQ(shade_high, 65280.0f);
  EXPECT_EQ(shade_span, 45056.0f);
  HandObject h(3, {0, 1, 2, -1});
  // Face (0,0,0), (1,0,0), (0,1,0): normal +z.
  h.verts = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  h.o.vertices = h.verts.data();
  h.o.light_vec = {0, 0, -5};
  EXPECT_EQ(light_intensity(&h.o, 0), 20480.0f);
  h.o.light_vec = {0, 0, 5};
  EXPECT_EQ(light_intensity(&h.o, 0), 65280.0f);
  h.o.light_vec = {5, 0, 0};  // at right angles: the low end
  EXPECT_EQ(light_intensity(&h.o, 0), 20480.0f);
  h.o.light_vec = {0, 0, 0};
  EXPECT_EQ(light_intensity(&h.o, 0), 20480.0f);
  set_shade_range(0, 256);
}

TEST(Lighting, LightVectorInObjectAxes) {
  HandObject h(1, {});
  const Vec3 light = {0, 0, 100};
  set_light_position(&light);
  h.o.position = {0, 0, 0};
  mat4_euler(&h.o.local, 256, 0, 0);  // object x-axis quarter turn
  object_light_vector(&h.o);
  // position - light = (0, 0, -100), turned back into the object's axes.
  EXPECT_NEAR(h.o.light_vec.x, 0.0f, 1e-4f);
  EXPECT_NEAR(h.o.light_vec.y, -100.0f, 1e-4f);
  EXPECT_NEAR(h.o.light_vec.z, 0.0f, 1e-4f);
  const Vec3 initial = {900, 1000, -400};
  set_light_position(&initial);
}

}  // namespace
