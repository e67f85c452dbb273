// Mesh preparation: winding, radius and the averaged vertex normals.
#include "scene3d/mesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scene3d/objects.h"

namespace {

// An object with these vertices (engine units) and faces (4 words each), freed afterwards.
struct TestObject {
  Object3D* o;
  TestObject(const std::vector<float>& vertices, const std::vector<int32_t>& faces) {
    o = object_create(static_cast<int32_t>(vertices.size() / 3),
                      static_cast<int32_t>(faces.size() / 4), 0);
    std::copy(vertices.begin(), vertices.end(), o->vertices);
    std::copy(faces.begin(), faces.end(), o->faces);
    mat4_identity(&o->pivot);
  }
  ~TestObject() { object_free(o); }
  const float* normal(int v) const { return o->normals + 3 * v; }
};

TEST(ObjectPrepare, DummyGetsDefaultsAndNoNormals) {
  TestObject t({}, {});
  t.o->position.z = 5.0f;
  t.o->local.m[3] = 7.0f;
  object_prepare(t.o);
  EXPECT_EQ(t.o->flags, 1u);
  EXPECT_EQ(t.o->colour, 0x808080u);
  EXPECT_EQ(t.o->radius, 1.0f);
  EXPECT_EQ(t.o->depth_key, -5.0f);
  EXPECT_EQ(t.o->local.m[3], 0.0f);
  EXPECT_EQ(t.o->view_matrix.m[15], 1.0f);
  EXPECT_EQ(t.o->normals, nullptr);
}

TEST(ObjectPrepare, ReversesWindingAndNormalsFaceTheReversedWay) {
  // Counter-clockwise about +z in the file; after the swap the face is (2, 1, 0).
  TestObject t({0, 0, 0, 256, 0, 0, 0, 256, 0, 9, 9, 9}, {0, 1, 2, -1});
  object_prepare(t.o);
  EXPECT_EQ(t.o->faces[0], 2);
  EXPECT_EQ(t.o->faces[1], 1);
  EXPECT_EQ(t.o->faces[2], 0);
  EXPECT_EQ(t.o->faces[3], -1);
  for (int v = 0; v < 3; ++v) {
    EXPECT_FLOAT_EQ(t.normal(v)[2], -kNormalLength) << v;
    EXPECT_EQ(t.normal(v)[0], 0.0f);
  }
  // Vertex 3 is on no face.
  EXPECT_EQ(t.normal(3)[0], 0.0f);
  EXPECT_EQ(t.normal(3)[1], 0.0f);
  EXPECT_EQ(t.normal(3)[2], 0.0f);
  EXPECT_EQ(t.o->share->normal_users, 0u);
  EXPECT_NE(t.o->view_normals, nullptr);
}

TEST(ObjectPrepare, RadiusIsMeasuredFromTheMeshOrigin) {
  // Vertices within 65 units (x 256) of the origin (100, -50, 20), which the pivot holds negated.
  const float ox = 100 * 256.0f, oy = -50 * 256.0f, oz = 20 * 256.0f, r = 65 * 256.0f;
  TestObject t({ox + r, oy, oz, ox, oy - r * 0.6f, oz + r * 0.8f, ox, oy, oz - 10}, {});
  t.o->pivot.m[3] = -ox;
  t.o->pivot.m[7] = -oy;
  t.o->pivot.m[11] = -oz;
  object_prepare(t.o);
  EXPECT_LE(t.o->radius, r + 1.0f);
  EXPECT_GE(t.o->radius, r + 1.0f - 0.01f);
}

TEST(ComputeNormals, AVertexAveragesItsFirstFifteenFacesOnly) {
  // Twenty faces around vertex 0: the first fifteen face +z, the last five -z.
  std::vector<float> v = {0, 0, 0};
  std::vector<int32_t> f;
  for (int i = 0; i < 20; ++i) {
    const double a = i * 0.3;
    v.insert(v.end(), {static_cast<float>(256 * std::cos(a)), static_cast<float>(256 * std::sin(a)),
                       0, static_cast<float>(256 * std::cos(a + 0.2)),
                       static_cast<float>(256 * std::sin(a + 0.2)), 0});
    const int b = 1 + 2 * i, c = 2 + 2 * i;
    if (i < 15)
      f.insert(f.end(), {0, b, c, -1});
    else
      f.insert(f.end(), {0, c, b, -1});
  }
  TestObject t(v, f);
  ASSERT_EQ(object_compute_normals(t.o), 0);
  EXPECT_FLOAT_EQ(t.normal(0)[2], kNormalLength);
  EXPECT_FLOAT_EQ(t.normal(40)[2], -kNormalLength);  // a vertex of face 19 alone
}

TEST(ComputeNormals, MeanOfDifferentFacesIsNotRenormalised) {
  // Vertex 0 on a face facing +z and one facing +x: the mean is (0.5, 0, 0.5) x 30976.
  TestObject t({0, 0, 0, 256, 0, 0, 0, 256, 0, 0, 0, 256}, {0, 1, 2, -1, 0, 2, 3, -1});
  ASSERT_EQ(object_compute_normals(t.o), 0);
  EXPECT_FLOAT_EQ(t.normal(0)[0], kNormalLength / 2);
  EXPECT_FLOAT_EQ(t.normal(0)[1], 0.0f);
  EXPECT_FLOAT_EQ(t.normal(0)[2], kNormalLength / 2);
  EXPECT_FLOAT_EQ(t.normal(1)[2], kNormalLength);
}

TEST(ComputeNormals, DegenerateFaceGivesTheXAxis) {
  TestObject t({5, 5, 5, 5, 5, 5, 9, 1, 3}, {0, 1, 2, -1});
  ASSERT_EQ(object_compute_normals(t.o), 0);
  for (int v = 0; v < 3; ++v) {
    EXPECT_EQ(t.normal(v)[0], kNormalLength);
    EXPECT_EQ(t.normal(v)[1], 0.0f);
  }
}

TEST(ObjectCenterXY, CentresOnTheZAxisAndKeepsThePlace) {
  TestObject t({0, 0, 7, 512, 256, 8, 1024, -256, 9}, {});
  t.o->position = {10, 20, 30};
  object_center_xy(t.o);
  EXPECT_EQ(t.o->vertices[0], -512.0f);
  EXPECT_EQ(t.o->vertices[1], 0.0f);
  EXPECT_EQ(t.o->vertices[2], 7.0f);
  EXPECT_EQ(t.o->vertices[6], 512.0f);
  EXPECT_EQ(t.o->position.x, 522.0f);
  EXPECT_EQ(t.o->position.y, 20.0f);
  EXPECT_EQ(t.o->position.z, 30.0f);
  TestObject empty({}, {});
  object_center_xy(empty.o);
  EXPECT_EQ(empty.o->position.x, 0.0f);
}

}  // namespace
