// The frame render driver. The first half walks the object list (matrices, culling, projection,
// face queue, light vectors); the second sorts the queue by depth key and hands queue and order
// to the face drawing pass.
// Hidden surfaces go by the painter's algorithm: the largest key (farthest) is drawn first.
#include "render3d/render.h"

#include <cstdlib>
#include <cstring>

#include "base/saturate.h"
#include "render3d/faces.h"
#include "render3d/lighting.h"
#include "render3d/raster.h"
#include "render3d/render_internal.h"

FaceQueue face_queue;

namespace {

// Two halves of kMaxQueuedFaces (key, index) pairs.
uint32_t sort_buffer[2 * kMaxQueuedFaces * 2];
uint32_t radix_counters[256];

// The object-centre radius is inflated by 91/64 for the visibility test.
constexpr float kRadiusInflate = 91.0f;
constexpr float kRadiusScale = 0.015625f;

// Centres and depth sums go to int32 held to the largest float below 2^31.
constexpr float kIntLimit = 2147483520.0f;

// A face's vertex index is usable when it names a vertex of the object.
bool vertex_ok(const Object3D* o, int32_t v) { return v >= 0 && v < o->vertex_count; }

}  // namespace

void frame_begin() { face_queue.count = 0; }

void object_apply_pending(Object3D* o) {
  float* rot = o->pending_rotation;
  if (rot[0] != 0.0f || rot[1] != 0.0f || rot[2] != 0.0f) {
    Mat4 r;
    mat4_identity(&r);
    mat4_euler(&r, rot[0], rot[1], rot[2]);
    rot[0] = rot[1] = rot[2] = 0.0f;
    mat4_mul(&r, &o->local, &o->local);
  }
  o->local.m[3] += o->pending_move.x;
  o->local.m[7] += o->pending_move.y;
  o->local.m[11] += o->pending_move.z;
  o->pending_move = {0.0f, 0.0f, 0.0f};
}

int view_prepare(View3D* view) {
  const float fovk = static_cast<float>(view->projection / 128);
  const float fovx = raster_target.projection_x / 192.0f;
  ObjectList* list = view->objects;
  const int32_t count = list ? list->count : 0;
  Vec3* centres = static_cast<Vec3*>(std::calloc(count > 0 ? count : 1, sizeof(Vec3)));
  if (!centres) return 1;

  switch (view->camera_mode) {
    case 0:
    case 1: {  // mode 1 has no second matrix defined; it is taken like mode 0
      mat4_identity(&view->matrix);
      const Vec3 d = {view->target.x - view->eye.x, view->target.y - view->eye.y,
                      view->target.z - view->eye.z};
      mat4_look_at(&view->matrix, &d, view->angles[2]);
      break;
    }
    case 2:
      mat4_identity(&view->matrix);
      mat4_from_axes(&view->matrix, &view->forward, &view->up);
      break;
    default:
      break;  // keeps last frame's rotation
  }
  view->matrix.m[3] = -view->view_offset.x;
  view->matrix.m[7] = -view->view_offset.y;
  view->matrix.m[11] = -view->view_offset.z;

  int32_t index = 0;
  for (SceneNode* node = list ? list->first : nullptr; node; node = node->next, ++index) {
    Object3D* o = node->object;
    object_apply_pending(o);
    o->view_matrix = o->local;
    if (!node->parent) {
      o->view_matrix.m[3] += o->position.x - view->eye.x;
      o->view_matrix.m[7] += o->position.y - view->eye.y;
      o->view_matrix.m[11] += o->position.z - view->eye.z;
      mat4_mul(&view->matrix, &o->view_matrix, &o->view_matrix);
    } else {
      mat4_mul(&node->parent->object->view_matrix, &o->view_matrix, &o->view_matrix);
    }
    // A list longer than its count would write past the centres; such nodes are culled.
    if (index < count) {
      const float c[3] = {-o->pivot.m[3], -o->pivot.m[7], -o->pivot.m[11]};
      mat4_transform_points(1, &o->view_matrix, c, &centres[index].x);
    }
  }

  index = 0;
  for (SceneNode* node = list ? list->first : nullptr; node; node = node->next, ++index) {
    Object3D* o = node->object;
    if (index >= count) {
      o->depth_key = kCulledDepthKey;
      continue;
    }
    const Vec3& c = centres[index];
    const float r = o->radius * kRadiusInflate * kRadiusScale;
    const float ax = static_cast<float>(std::abs(saturate_int32(c.x, -kIntLimit, kIntLimit)));
    const float ay = static_cast<float>(std::abs(saturate_int32(c.y, -kIntLimit, kIntLimit)));
    const bool culled = (ax - r) * fovx > -c.z || (ay - r) * fovk > -c.z || o->vertex_count == 0;
    o->depth_key = culled ? kCulledDepthKey : -c.z;
  }
  std::free(centres);

  if (raster_set_projection(view->projection)) return 1;
  if (raster_set_target(view->width, view->height, view->depth)) return 1;
  if (raster_set_buffers(view->framebuffer, view->zbuffer)) return 1;
  return 0;
}

void object_project(Object3D* o, int32_t w, int32_t h, float fov) {
  const int32_t n = o->vertex_count;
  mat4_transform_points(n, &o->view_matrix, o->vertices, o->view_vertices);
  if ((o->flags & (kFlagEnvMap | kFlagTexEnvMap)) && o->view_normals && o->normals) {
    Mat4 rot = o->view_matrix;
    rot.m[3] = rot.m[7] = rot.m[11] = 0.0f;
    mat4_transform_points(n, &rot, o->normals, o->view_normals);
  }
  const float big_w = static_cast<float>(w) * raster_target.projection_x;
  const float big_h = static_cast<float>(h) * fov;
  const float cx = static_cast<float>(w * 128);
  const float cy = static_cast<float>(h * 128);
  const float* v = o->view_vertices;
  float* s = o->screen_vertices;
  for (int32_t i = 0; i < n; ++i, v += 3, s += 2) {
    const float z = v[2];
    if (z <= NEAR_Z) {
      s[0] = cx - (v[0] * big_w) / z;
      s[1] = cy + (v[1] * big_h) / z;
    } else {
      // Behind the near plane: the screen centre, which the clipper relies on.
      s[0] = cx;
      s[1] = cy;
    }
  }
}

int32_t object_queue_faces(Object3D* o) {
  const bool front_to_back = raster_target.zbuffer && !(o->flags & kFlagTwoSided);
  const float* vv = o->view_vertices;
  const float* sv = o->screen_vertices;
  for (int32_t i = 0; i < o->face_count; ++i) {
    const int32_t* f = &o->faces[4 * i];
    if (!vertex_ok(o, f[0]) || !vertex_ok(o, f[1]) || !vertex_ok(o, f[2])) continue;
    int32_t zsum = 0;
    int behind = 0;
    for (int k = 0; k < 3; ++k) {
      const float z = vv[3 * f[k] + 2];
      zsum = saturate_int32(z + static_cast<float>(zsum), -kIntLimit, kIntLimit);
      if (z > NEAR_Z) ++behind;
    }
    if (behind == 3) continue;
    bool back = false;
    if (behind == 0) {
      const float* p0 = &sv[2 * f[0]];
      const float* p1 = &sv[2 * f[1]];
      const float* p2 = &sv[2 * f[2]];
      const float a = (p1[1] - p0[1]) * (p2[0] - p1[0]);
      const float b = (p2[1] - p1[1]) * (p1[0] - p0[0]);
      if (!(b >= a)) {
        if (!(o->flags & kFlagTwoSided)) continue;
        back = true;
      }
    }
    if (face_queue.count >= kMaxQueuedFaces) break;
    int32_t key;
    if (front_to_back) {
      key = (zsum <= 0 ? zsum : 0) >> 8;
    } else {
      key = zsum < 0 ? (-zsum) >> 8 : 0;
    }
    const int32_t q = face_queue.count++;
    face_queue.object[q] = o;
    face_queue.face_ref[q] = back ? ~(4 * i) : 4 * i;
    face_queue.key[q] = key;
  }
  return face_queue.count;
}

void radix_pass(int32_t n, int32_t byte, const uint32_t* src, uint32_t* dst) {
  std::memset(radix_counters, 0, sizeof radix_counters);
  const int shift = 8 * byte;
  for (int32_t j = 0; j < n; ++j) radix_counters[(src[2 * j] >> shift) & 255] += 2;
  uint32_t sum = 0;
  for (uint32_t& c : radix_counters) {
    sum += c;
    c = sum;
  }
  for (int32_t j = n - 1; j >= 0; --j) {
    const uint32_t pos = radix_counters[(src[2 * j] >> shift) & 255] -= 2;
    dst[pos] = src[2 * j];
    dst[pos + 1] = src[2 * j + 1];
  }
}

uint32_t* radix_sort_pairs(int32_t n, const int32_t* keys, uint32_t* buffer, int32_t passes) {
  if (passes < 1 || passes > 4) return nullptr;
  if (n < 0) n = 0;
  uint32_t* halves[2] = {buffer, buffer + 2 * n};
  for (int32_t j = 0; j < n; ++j) {
    buffer[2 * j] = static_cast<uint32_t>(keys[j]);
    buffer[2 * j + 1] = static_cast<uint32_t>(j);
  }
  for (int32_t p = 0; p < passes; ++p) radix_pass(n, p, halves[p & 1], halves[(p + 1) & 1]);
  return halves[passes & 1];
}

void frame_flush() {
  if (raster_target.zbuffer) zbuffer_clear();
  const uint32_t* sorted = radix_sort_pairs(face_queue.count, face_queue.key, sort_buffer, 3);
  draw_queued_faces(face_queue, sorted, face_queue.count);
}

void render_view(View3D* view) {
  frame_begin();
  view_prepare(view);
  const float fov = static_cast<float>(view->projection);
  for (SceneNode* node = view->objects ? view->objects->first : nullptr; node; node = node->next) {
    Object3D* o = node->object;
    if (o->depth_key < kCulledDepthKey) {
      object_project(o, view->width, view->height, fov);
      object_queue_faces(o);
      if (o->flags & (kFlagFlatLit | kFlagVertexLit)) object_light_vector(o);
    }
  }
  frame_flush();
}

int render_engine_init() {
  build_mul_table();
  return 0;
}

void render_engine_shutdown() {}
