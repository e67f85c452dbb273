#include "render3d/math3d.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

Mat4 identity() {
  Mat4 m;
  mat4_identity(&m);
  return m;
}

void expect_rows(const Mat4& m, const float (&rows)[3][3], float tol) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(m.m[4 * r + c], rows[r][c], tol) << r << "," << c;
}

TEST(Math3d, NormalizeUnitAndZero) {
  Vec3 v = {0.0f, 3.0f, 4.0f};
  vec3_normalize(&v);
  EXPECT_FLOAT_EQ(v.x, 0.0f);
  EXPECT_FLOAT_EQ(v.y, 0.6f);
  EXPECT_FLOAT_EQ(v.z, 0.8f);
  Vec3 z = {0.0f, 0.0f, 0.0f};
  vec3_normalize(&z);
  EXPECT_EQ(z.x, 1.0f);
  EXPECT_EQ(z.y, 0.0f);
  EXPECT_EQ(z.z, 0.0f);
}

struct EulerCase {
  float a, b, c;
  float rows[3][3];
};

class EulerTest : public ::testing::TestWithParam<EulerCase> {};

TEST_P(EulerTest, Rows) {
  const EulerCase& e = GetParam();
  Mat4 m = identity();
  m.m[3] = 7.0f;  // untouched elements keep their values
  mat4_euler(&m, e.a, e.b, e.c);
  expect_rows(m, e.rows, 1e-6f);
  EXPECT_EQ(m.m[3], 7.0f);
  EXPECT_EQ(m.m[15], 1.0f);
}

INSTANTIATE_TEST_SUITE_P(Angles, EulerTest,
                         ::testing::Values(EulerCase{0, 0, 0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
                                           EulerCase{256, 0, 0, {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}}},
                                           EulerCase{1024, 0, 0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
                                           // Ry(-b): a quarter turn of b takes x to +z.
                                           EulerCase{0, 256, 0, {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}}},
                                           // Rz(-c)
                                           EulerCase{
                                               0, 0, 256, {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}}));

TEST(Math3d, EulerMatchesElementaryProduct) {
  // Rz(-c) Rx(a) Ry(-b), built from elementary rotations, against the closed formulas.
  const float a = 100, b = 37, c = -250;
  auto rad = [](float x) { return static_cast<double>(angle_to_radians(x)); };
  Mat4 rx = identity(), ry = identity(), rz = identity();
  rx.m[5] = std::cos(rad(a));
  rx.m[6] = -std::sin(rad(a));
  rx.m[9] = std::sin(rad(a));
  rx.m[10] = std::cos(rad(a));
  ry.m[0] = std::cos(rad(-b));
  ry.m[2] = std::sin(rad(-b));
  ry.m[8] = -std::sin(rad(-b));
  ry.m[10] = std::cos(rad(-b));
  rz.m[0] = std::cos(rad(-c));
  rz.m[1] = -std::sin(rad(-c));
  rz.m[4] = std::sin(rad(-c));
  rz.m[5] = std::cos(rad(-c));
  Mat4 p;
  mat4_mul(&rx, &ry, &p);
  mat4_mul(&rz, &p, &p);
  Mat4 m = identity();
  mat4_euler(&m, a, b, c);
  for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) EXPECT_NEAR(m.m[i], p.m[i], 1e-6f) << i;
}

TEST(Math3d, MulAliasing) {
  Mat4 a, b;
  for (int i = 0; i < 16; ++i) {
    a.m[i] = static_cast<float>(i + 1);
    b.m[i] = static_cast<float>((i * 7) % 11) - 5.0f;
  }
  Mat4 expect;
  mat4_mul(&a, &b, &expect);
  EXPECT_EQ(expect.m[0], 1 * -5.0f + 2 * 1.0f + 3 * -4.0f + 4 * 2.0f);  // row 0 . column 0
  Mat4 a2 = a, b2 = b;
  mat4_mul(&a2, &b, &a2);
  mat4_mul(&a, &b2, &b2);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(a2.m[i], expect.m[i]);
    EXPECT_EQ(b2.m[i], expect.m[i]);
  }
}

TEST(Math3d, TransformPointsInPlace) {
  Mat4 m = identity();
  m.m[1] = 2.0f;  // x' = x + 2y + 10
  m.m[3] = 10.0f;
  m.m[11] = -1.0f;  // z' = z - 1
  float p[6] = {1, 2, 3, 4, 5, 6};
  mat4_transform_points(2, &m, p, p);
  const float want[6] = {15, 2, 2, 24, 5, 5};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(p[i], want[i]);
  mat4_transform_points(0, &m, p, p);
  EXPECT_EQ(p[0], 15.0f);
}

TEST(Math3d, RotateTransposedInverts) {
  Mat4 m = identity();
  mat4_euler(&m, 40, 300, 77);
  const Vec3 v = {3, -4, 5};
  float p[3] = {v.x, v.y, v.z};
  mat4_transform_points(1, &m, p, p);
  Vec3 r = {p[0], p[1], p[2]};
  mat3_rotate_transposed(&m, &r, &r);  // out may be the input
  EXPECT_NEAR(r.x, v.x, 1e-5f);
  EXPECT_NEAR(r.y, v.y, 1e-5f);
  EXPECT_NEAR(r.z, v.z, 1e-5f);
}

TEST(Math3d, AxisAngleZeroIsIdentityAndNormalisesAxis) {
  Vec3 axis = {0, 3, 4};
  Mat4 m;
  for (float& e : m.m) e = 9.0f;
  mat4_axis_angle(&axis, 0.0f, &m);
  Mat4 id = identity();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], id.m[i]) << i;
  EXPECT_FLOAT_EQ(axis.y, 0.6f);
  EXPECT_FLOAT_EQ(axis.z, 0.8f);
}

TEST(Math3d, AxisAngleQuarterTurnAboutZ) {
  Vec3 axis = {0, 0, 2};
  Mat4 m;
  mat4_axis_angle(&axis, 1.5707963f, &m);
  const float rows[3][3] = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
  expect_rows(m, rows, 1e-6f);
}

TEST(Math3d, LookAtAlongMinusZ) {
  Mat4 m = identity();
  m.m[3] = 5.0f;  // the translation column comes through
  const Vec3 d = {0, 0, -1};
  mat4_look_at(&m, &d, 0.0f);
  const float rows[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  expect_rows(m, rows, 0.0f);
  EXPECT_EQ(m.m[3], 5.0f);
}

TEST(Math3d, LookAtMapsTargetOntoMinusZ) {
  // A camera at the origin looking at (10, 0, 0): the target must land on the -z axis, and
  // world +y (reference up is -z, so the up row is perpendicular to it) stays in the y-z plane.
  for (float roll : {0.0f, 128.0f}) {
    Mat4 m = identity();
    const Vec3 d = {10, 0, 0};
    mat4_look_at(&m, &d, roll);
    float p[3] = {10, 0, 0};
    mat4_transform_points(1, &m, p, p);
    EXPECT_NEAR(p[0], 0.0f, 1e-5f);
    EXPECT_NEAR(p[1], 0.0f, 1e-5f);
    EXPECT_NEAR(p[2], -10.0f, 1e-5f);
  }
}

}  // namespace
