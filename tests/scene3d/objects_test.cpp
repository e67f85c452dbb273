#include "scene3d/objects.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "render3d/lighting.h"
#include "render3d/render.h"

namespace {

// Each test's view is freed with everything listed in it (the sanitizer build checks that
// shared geometry is freed once, by the last of its users).
class ObjectsTest : public ::testing::Test {
 protected:
  View3D view{};
  void SetUp() override { ASSERT_EQ(view_init(&view), 0); }
  void TearDown() override {
    view_free(&view);
    view_release(&view);
  }
};

TEST_F(ObjectsTest, FreshView) {
  EXPECT_NE(view.objects, nullptr);
  EXPECT_EQ(view.objects->count, 0);
  EXPECT_EQ(view.width, 320);
  EXPECT_EQ(view.height, 200);
  EXPECT_EQ(view.depth, 8);
  EXPECT_EQ(view.projection, 256);
  EXPECT_EQ(view.up.y, 1.0f);
  EXPECT_EQ(view.forward.z, -1.0f);
  EXPECT_EQ(view.matrix.m[0], 1.0f);
  EXPECT_EQ(view.matrix.m[15], 1.0f);
  EXPECT_EQ(view.framebuffer, nullptr);
  EXPECT_GE(engine_users, 1);
  EXPECT_EQ(view_init(nullptr), 1);
}

TEST_F(ObjectsTest, IterationWrapsAfterTheEnd) {
  EXPECT_EQ(view_next_object(&view), nullptr);  // empty list: null, and null again
  EXPECT_EQ(view_next_object(&view), nullptr);
  Object3D* a = object_create(3, 1, 0);
  Object3D* b = object_create(3, 1, 0);
  ASSERT_EQ(view_add_object(&view, a, -1), 0);
  ASSERT_EQ(view_add_object(&view, b, -1), 0);
  view_rewind(&view);
  EXPECT_EQ(view_next_object(&view), a);
  EXPECT_EQ(view_next_object(&view), b);
  EXPECT_EQ(view_next_object(&view), nullptr);
  EXPECT_EQ(view_next_object(&view), a);
  // A copy shares the list.
  View3D copy;
  ASSERT_EQ(view_copy(&copy, &view), 0);
  EXPECT_EQ(copy.objects, view.objects);
  EXPECT_EQ(view_copy(nullptr, &view), 1);
}

TEST_F(ObjectsTest, ParentsFollowTheIndices) {
  const int32_t indices[4] = {-1, 0, 1, 0};
  Object3D* objs[4];
  for (int i = 0; i < 4; ++i) {
    objs[i] = object_create(1, 0, 0);
    ASSERT_EQ(view_add_object(&view, objs[i], indices[i]), 0);
  }
  SceneNode* n[4];
  n[0] = view.objects->first;
  for (int i = 1; i < 4; ++i) n[i] = n[i - 1]->next;
  EXPECT_EQ(n[3]->next, nullptr);
  EXPECT_EQ(n[0]->parent, nullptr);
  EXPECT_EQ(n[1]->parent, n[0]);
  EXPECT_EQ(n[2]->parent, n[1]);
  EXPECT_EQ(n[3]->parent, n[0]);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(n[i]->object, objs[i]);
    EXPECT_EQ(n[i]->parent_index, indices[i]);
    EXPECT_EQ(n[i]->flags, 15);
    EXPECT_EQ(objs[i]->share->list_entries, 1u);
  }
  EXPECT_EQ(view.objects->count, 4);
  EXPECT_EQ(view_add_object(&view, nullptr, -1), 1);
}

// Each node's parent is the most recently added node with a smaller parent index, found by
// walking the whole list; the list keeps a stack instead, which must find the same node.
TEST_F(ObjectsTest, ParentsMatchAWalkOfTheWholeList) {
  uint32_t seed = 7;
  std::vector<SceneNode*> added;
  for (int i = 0; i < 300; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const int32_t index = static_cast<int32_t>(seed >> 28) % 7 - 1;  // -1 to 5
    ASSERT_EQ(view_add_object(&view, object_create(0, 0, 0), index), 0);
    SceneNode* expected = nullptr;
    for (SceneNode* n : added) {
      if (n->parent_index < index) expected = n;
    }
    SceneNode* node = added.empty() ? view.objects->first : added.back()->next;
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->parent, expected) << "node " << i << ", index " << index;
    added.push_back(node);
  }
}

TEST_F(ObjectsTest, CloneShareCounts) {
  Object3D* lit = object_create(4, 2, 0);
  Object3D* bare = object_create(4, 2, 1);
  ASSERT_NE(lit, nullptr);
  ASSERT_NE(bare, nullptr);
  lit->normals = static_cast<float*>(std::calloc(12, sizeof(float)));
  lit->view_normals = static_cast<float*>(std::calloc(12, sizeof(float)));
  view_add_object(&view, lit, -1);
  view_add_object(&view, bare, -1);

  Object3D* c1 = object_clone(&view, lit);
  ASSERT_NE(c1, nullptr);
  EXPECT_EQ(lit->share->normal_users, 1u);
  EXPECT_EQ(lit->share->geometry_users, 1u);
  EXPECT_EQ(lit->share->list_entries, 2u);
  EXPECT_EQ(c1->faces, lit->faces);
  EXPECT_EQ(c1->vertices, lit->vertices);
  EXPECT_EQ(c1->normals, lit->normals);
  EXPECT_NE(c1->view_vertices, lit->view_vertices);
  EXPECT_NE(c1->screen_vertices, lit->screen_vertices);
  EXPECT_NE(c1->view_normals, nullptr);
  EXPECT_NE(c1->view_normals, lit->view_normals);

  Object3D* c2 = object_clone(&view, bare);
  ASSERT_NE(c2, nullptr);
  EXPECT_EQ(bare->share->normal_users, 0u);
  EXPECT_EQ(bare->share->geometry_users, 1u);
  EXPECT_EQ(c2->view_normals, nullptr);
  EXPECT_EQ(c2->uvs, bare->uvs);
  EXPECT_EQ(view.objects->count, 4);

  // A clone that cannot be listed is undone: counts back where they were.
  EXPECT_EQ(object_clone(nullptr, lit), nullptr);
  EXPECT_EQ(lit->share->normal_users, 1u);
  EXPECT_EQ(lit->share->geometry_users, 1u);
  EXPECT_EQ(object_clone(&view, nullptr), nullptr);
}

TEST_F(ObjectsTest, CreateAndFree) {
  EXPECT_EQ(object_create(3, 65537, 0), nullptr);
  EXPECT_EQ(object_create(-1, 1, 0), nullptr);
  Object3D* o = object_create(5, 65536, 1);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->vertex_count, 5);
  EXPECT_EQ(o->face_count, 65536);
  EXPECT_NE(o->uvs, nullptr);
  EXPECT_NE(o->faces, nullptr);
  EXPECT_EQ(o->normals, nullptr);
  EXPECT_EQ(o->flags, 0u);
  EXPECT_EQ(o->share->list_entries, 0u);
  object_free(o);  // unlisted: released (checked by the sanitizer build)
  object_free(nullptr);

  Object3D* empty = object_create(0, 0, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->faces, nullptr);
  EXPECT_EQ(empty->vertices, nullptr);
  object_free(empty);
}

TEST_F(ObjectsTest, FreeRefusesListedObject) {
  Object3D* o = object_create(3, 1, 0);
  o->faces[0] = 42;
  view_add_object(&view, o, -1);
  object_free(o);
  // Still intact: its list node keeps using it.
  EXPECT_EQ(o->faces[0], 42);
  EXPECT_EQ(o->share->list_entries, 1u);
  view_rewind(&view);
  EXPECT_EQ(view_next_object(&view), o);
}

TEST_F(ObjectsTest, OutputAndZBuffer) {
  EXPECT_EQ(view_set_output(&view, 641, 240, 32), 1);
  EXPECT_EQ(view.width, 320);
  EXPECT_EQ(view.height, 200);
  EXPECT_EQ(view.depth, 8);
  EXPECT_EQ(view_set_output(&view, 320, 240, 7), 1);
  ASSERT_EQ(view_set_output(&view, 320, 240, 32), 0);
  EXPECT_EQ(view.height, 240);
  EXPECT_EQ(view.zbuffer, nullptr);  // no z-buffer: none made
  ASSERT_EQ(view_set_zbuffer(&view, 1), 0);
  ASSERT_NE(view.zbuffer, nullptr);
  uint32_t* old = view.zbuffer;
  old[320 * 240 - 1] = 5;
  ASSERT_EQ(view_set_output(&view, 640, 480, 32), 0);
  ASSERT_NE(view.zbuffer, nullptr);
  EXPECT_NE(view.zbuffer, old);
  EXPECT_EQ(view.zbuffer[640 * 480 - 1], 0u);
  uint32_t* second = view.zbuffer;
  EXPECT_EQ(view_drop_zbuffer(&view), &view);
  EXPECT_EQ(view.zbuffer, nullptr);
  ASSERT_EQ(view_set_zbuffer(&view, 1), 0);
  uint32_t* third = view.zbuffer;
  ASSERT_EQ(view_set_zbuffer(&view, 0), 0);
  EXPECT_EQ(view.zbuffer, nullptr);
  // Neither call releases the buffer (a copy of the view may hold it); the owner does.
  std::free(old);
  std::free(second);
  std::free(third);
  raster_set_target(320, 240, 32);
}

TEST_F(ObjectsTest, ProjectionAndFramebuffer) {
  EXPECT_EQ(view_set_projection(&view, -1), 1);
  EXPECT_EQ(view.projection, 256);
  EXPECT_EQ(view_set_projection(&view, 300), 0);
  EXPECT_EQ(view.projection, 300);
  uint32_t fb[4];
  EXPECT_EQ(view_set_framebuffer(&view, nullptr), 1);
  EXPECT_EQ(view_set_framebuffer(&view, fb), 0);
  EXPECT_EQ(view.framebuffer, fb);
  raster_set_projection(256);
}

TEST(EngineSettings, ShadeRangeAndLight) {
  set_shade_range(0, 255);
  EXPECT_EQ(shade_low, 0.0f);
  EXPECT_EQ(shade_high, 65024.0f);
  EXPECT_EQ(shade_span, 65280.0f);
  set_shade_range(-1, 10);  // refused: nothing changes
  set_shade_range(3, -10);
  EXPECT_EQ(shade_low, 0.0f);
  EXPECT_EQ(shade_high, 65024.0f);
  EXPECT_EQ(shade_span, 65280.0f);
  set_shade_range(0, 256);
  const Vec3 l = {1, 2, 3};
  set_light_position(&l);
  EXPECT_EQ(light_position.z, 3.0f);
  const Vec3 initial = {900, 1000, -400};
  set_light_position(&initial);
}

TEST(EngineSettings, UsersCountViews) {
  const int32_t before = engine_users;
  View3D a{};
  View3D b{};
  ASSERT_EQ(view_init(&a), 0);
  ASSERT_EQ(view_init(&b), 0);
  EXPECT_EQ(engine_users, before + 2);
  View3D c;
  view_copy(&c, &a);
  EXPECT_EQ(engine_users, before + 2);
  view_release(&a);
  view_release(&b);
  view_release(nullptr);
  EXPECT_EQ(engine_users, before);
  view_free(&a);
  view_free(&b);
}

}  // namespace
