#include "render3d/render_internal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "render3d/raster.h"
#include "render3d/render.h"
#include "scene3d/objects.h"
#include "tests/render3d/test_scene.h"

namespace {

// Views and their lists live for the whole run, as in the show; holding them here keeps them
// reachable for the leak checker.
std::vector<View3D*>* const kept_views = new std::vector<View3D*>;  // never destroyed

View3D& new_view() {
  kept_views->push_back(new View3D());
  return *kept_views->back();
}

class RenderTest : public ::testing::Test {
 protected:
  uint32_t fb[320 * 240] = {};
  void SetUp() override {
    render_engine_init();
    raster_set_target(320, 240, 32);
    raster_set_projection(256);
    raster_set_buffers(fb, nullptr);
    frame_begin();
  }
};

TEST_F(RenderTest, CullingAtDistanceThousand) {
  View3D& view = new_view();
  ASSERT_EQ(view_init(&view), 0);
  view.target = {0, 0, -1};  // camera at the origin looking down -z: the view rotation is identity
  view.framebuffer = fb;
  HandObject a(1, {}), b(1, {}), c(0, {});
  a.o.radius = b.o.radius = c.o.radius = 10.0f;
  a.o.position = {0, 0, -1000};
  b.o.position = {1100, 0, -1000};  // 1100 - 14.2 > 1000
  c.o.position = {0, 0, -1000};     // no vertices
  view_add_object(&view, &a.o, -1);
  view_add_object(&view, &b.o, -1);
  view_add_object(&view, &c.o, -1);
  EXPECT_EQ(view_prepare(&view), 0);
  EXPECT_EQ(a.o.depth_key, 1000.0f);
  EXPECT_EQ(b.o.depth_key, kCulledDepthKey);
  EXPECT_EQ(c.o.depth_key, kCulledDepthKey);
  // y is tested against half the depth with factor 256: 490 - 14.2 < 500 drawn, 520 culled.
  a.o.position = {0, 490, -1000};
  b.o.position = {0, 520, -1000};
  view_prepare(&view);
  EXPECT_EQ(a.o.depth_key, 1000.0f);
  EXPECT_EQ(b.o.depth_key, kCulledDepthKey);
  view_release(&view);
}

TEST_F(RenderTest, ChildObjectsChainTheParentMatrix) {
  View3D& view = new_view();
  ASSERT_EQ(view_init(&view), 0);
  view.target = {0, 0, -1};
  view.framebuffer = fb;
  HandObject parent(1, {}), child(1, {});
  parent.o.position = {100, 0, -1000};
  parent.o.pending_move = {0, 50, 0};
  child.o.position = {9999, 9999, 9999};  // ignored for a child
  child.o.local.m[3] = 7.0f;
  view_add_object(&view, &parent.o, -1);
  view_add_object(&view, &child.o, 0);
  view_prepare(&view);
  EXPECT_EQ(parent.o.pending_move.y, 0.0f);
  EXPECT_EQ(parent.o.local.m[7], 50.0f);
  EXPECT_EQ(child.o.view_matrix.m[3], 107.0f);
  EXPECT_EQ(child.o.view_matrix.m[7], 50.0f);
  EXPECT_EQ(child.o.view_matrix.m[11], -1000.0f);
  view_release(&view);
}

TEST_F(RenderTest, PendingRotationTurnsLocalAndClears) {
  HandObject h(1, {});
  h.o.local.m[7] = 10.0f;            // a translation along y
  h.o.pending_rotation[0] = 256.0f;  // a quarter turn about x: y goes to z
  object_apply_pending(&h.o);
  EXPECT_EQ(h.o.pending_rotation[0], 0.0f);
  EXPECT_NEAR(h.o.local.m[7], 0.0f, 1e-5f);
  EXPECT_NEAR(h.o.local.m[11], 10.0f, 1e-5f);
}

TEST_F(RenderTest, ProjectionCentreAndBehind) {
  HandObject h(3, {});
  h.verts = {0, 0, -1000, 100, 50, -1000, 5, 5, -50};
  h.o.vertices = h.verts.data();
  object_project(&h.o, 320, 240, 256.0f);
  EXPECT_EQ(h.screen[0], 160.0f * 256);
  EXPECT_EQ(h.screen[1], 120.0f * 256);
  // 240 pixels per unit of x/z on both axes: (100, 50) at depth 1000 is 24 and 12 pixels off.
  EXPECT_FLOAT_EQ(h.screen[2], (160.0f + 24.0f) * 256);
  EXPECT_FLOAT_EQ(h.screen[3], (120.0f - 12.0f) * 256);
  EXPECT_EQ(h.screen[4], 160.0f * 256);  // behind the near plane: the centre
  EXPECT_EQ(h.screen[5], 120.0f * 256);
}

TEST_F(RenderTest, ZSumTruncationsAndKey) {
  HandObject h(3, {0, 1, 2, -1});
  h.view = {0, 0, -1000.7f, 0, 0, -1000.7f, 0, 0, -1000.7f};
  EXPECT_EQ(object_queue_faces(&h.o), 1);
  EXPECT_EQ(face_queue.key[0], 11);  // -1000, -2000, -3000; 3000 >> 8
  EXPECT_EQ(face_queue.face_ref[0], 0);
  EXPECT_EQ(face_queue.object[0], &h.o);
  // With a z-buffer and a one-sided object the key is the (negative) sum shifted.
  uint32_t zb[320 * 240];
  raster_set_buffers(fb, zb);
  object_queue_faces(&h.o);
  EXPECT_EQ(face_queue.key[1], -3000 >> 8);
  raster_set_buffers(fb, nullptr);
}

struct BehindCase {
  float z0, z1, z2;
  bool queued;
};

class BehindTest : public RenderTest, public ::testing::WithParamInterface<BehindCase> {};

TEST_P(BehindTest, NearPlane) {
  const BehindCase& c = GetParam();
  HandObject h(3, {0, 1, 2, -1});
  h.view = {0, 0, c.z0, 0, 0, c.z1, 0, 0, c.z2};
  // Screen points wound counter-clockwise: only faces that skip the facing test get queued.
  h.screen = {0, 0, 2560, 2560, 2560, 0};
  EXPECT_EQ(object_queue_faces(&h.o), c.queued ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faces, BehindTest,
    ::testing::Values(BehindCase{-200, -200, -200, false}, BehindCase{-105, -105, -105, false},
                      BehindCase{-104.9f, -200, -200, true}, BehindCase{-200, -50, -50, true},
                      BehindCase{-50, -50, -50, false}, BehindCase{10, 20, 30, false}));

TEST_F(RenderTest, FacingTest) {
  HandObject h(3, {0, 1, 2, -1, 2, 1, 0, -1});
  h.view = {0, 0, -500, 0, 0, -500, 0, 0, -500};
  h.screen = {0, 0, 2560, 0, 2560, 2560};  // face 0 clockwise on screen, face 1 its reverse
  EXPECT_EQ(object_queue_faces(&h.o), 1);
  EXPECT_EQ(face_queue.face_ref[0], 0);
  h.o.flags |= kFlagTwoSided;
  EXPECT_EQ(object_queue_faces(&h.o), 3);
  EXPECT_EQ(face_queue.face_ref[1], 0);
  EXPECT_EQ(face_queue.face_ref[2], ~4);
  // A face of zero area counts as front-facing.
  frame_begin();
  h.o.flags = 1;
  h.screen = {0, 0, 0, 0, 0, 0};
  EXPECT_EQ(object_queue_faces(&h.o), 2);
}

TEST_F(RenderTest, QueueStopsAtCapacity) {
  std::vector<int32_t> faces;
  for (int i = 0; i < 40000; ++i) faces.insert(faces.end(), {0, 1, 2, -1});
  HandObject a(3, faces), b(3, faces);
  for (HandObject* h : {&a, &b}) {
    h->view = {0, 0, -500, 0, 0, -500, 0, 0, -500};
    h->screen = {0, 0, 2560, 0, 2560, 2560};
  }
  EXPECT_EQ(object_queue_faces(&a.o), 40000);
  EXPECT_EQ(object_queue_faces(&b.o), kMaxQueuedFaces);
  EXPECT_EQ(object_queue_faces(&a.o), kMaxQueuedFaces);
  EXPECT_EQ(face_queue.object[kMaxQueuedFaces - 1], &b.o);
}

TEST_F(RenderTest, FacesNamingMissingVerticesAreNotQueued) {
  HandObject h(3, {0, 1, 3, -1, 0, -2, 1, -1, 0, 1, 2, -1});
  h.view = {0, 0, -500, 0, 0, -500, 0, 0, -500};
  h.screen = {0, 0, 2560, 0, 2560, 2560};
  EXPECT_EQ(object_queue_faces(&h.o), 1);
  EXPECT_EQ(face_queue.face_ref[0], 8);
}

TEST(RadixSort, DrawOrderOfEqualKeys) {
  const int32_t keys[3] = {5, 5, 7};
  uint32_t buffer[12];
  const uint32_t* out = radix_sort_pairs(3, keys, buffer, 3);
  ASSERT_EQ(out, buffer + 6);  // three passes end in the second half
  // Drawn from the last pair to the first: the key-7 face, then the second key-5, then the first.
  EXPECT_EQ(out[5], 2u);
  EXPECT_EQ(out[3], 1u);
  EXPECT_EQ(out[1], 0u);
}

TEST(RadixSort, OrdersLow24BitsUnsigned) {
  const int32_t keys[6] = {300, 0x123456, -1, 0, 70000, 300};
  uint32_t buffer[24];
  const uint32_t* out = radix_sort_pairs(6, keys, buffer, 3);
  const uint32_t want_index[6] = {3, 0, 5, 4, 1, 2};  // -1 has all 24 bits set: last
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[2 * i + 1], want_index[i]) << i;
  EXPECT_EQ(radix_sort_pairs(6, keys, buffer, 2), buffer);
  EXPECT_EQ(radix_sort_pairs(6, keys, buffer, 0), nullptr);
  EXPECT_EQ(radix_sort_pairs(6, keys, buffer, 5), nullptr);
}

}  // namespace
