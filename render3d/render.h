// The frame render driver: camera and object matrices, object culling, projection, the
// frame-wide face queue with its radix depth sort, the raster settings and the lighting.
#pragma once

#include <cstdint>

#include "render3d/math3d.h"
#include "scene3d/objects.h"

// Object flag bits read by the driver (the full table is in raster.h).
constexpr uint32_t kFlagFlatLit = 0x001;
constexpr uint32_t kFlagVertexLit = 0x002;
constexpr uint32_t kFlagEnvMap = 0x008;
constexpr uint32_t kFlagTexEnvMap = 0x010;
constexpr uint32_t kFlagZBuffer = 0x040;
constexpr uint32_t kFlagPerspective = 0x080;
constexpr uint32_t kFlagTwoSided = 0x100;

// depth_key of an object culled this frame.
constexpr float kCulledDepthKey = 2147483648.0f;

// The face queue holds at most this many faces per frame; the rest are not drawn.
constexpr int32_t kMaxQueuedFaces = 65536;

// One frame's faces: the object, the face reference (4 x face index, or its bitwise NOT for a
// back face of a two-sided object) and the depth key.
struct FaceQueue {
  Object3D* object[kMaxQueuedFaces];
  int32_t face_ref[kMaxQueuedFaces];
  int32_t key[kMaxQueuedFaces];
  int32_t count;
};
extern FaceQueue face_queue;

// The (key, queue index) pairs of the last sort, in ascending key order; face_sorted_count pairs.
extern const uint32_t* face_sorted;
extern int32_t face_sorted_count;

// Raster target and projection, set per frame from the view.
struct RasterTarget {
  int32_t width;       // 1..640, initially 320
  int32_t height;      // 1..480, initially 200
  int32_t depth;       // bits per pixel, >= 8, initially 8
  int32_t projection;  // projection factor, initially 256
  uint32_t* framebuffer;
  uint32_t* zbuffer;   // null when there is none
};
extern RasterTarget raster_target;

void render_view(View3D* view);
void frame_begin();
int view_prepare(View3D* view);
void object_apply_pending(Object3D* o);
void object_project(Object3D* o, int32_t w, int32_t h, float fov);
int32_t object_queue_faces(Object3D* o);
void object_light_vector(Object3D* o);
float light_intensity(const Object3D* o, int32_t slot);
void frame_flush();
void zbuffer_clear();

// Sorts n (key, index) pairs by the low 8 x passes bits of the key (unsigned), stably. buffer
// holds 2 x n pairs; returns the half holding the result, or null for passes outside 1..4.
uint32_t* radix_sort_pairs(int32_t n, const int32_t* keys, uint32_t* buffer, int32_t passes);
void radix_pass(int32_t n, int32_t byte, const uint32_t* src, uint32_t* dst);

int raster_set_projection(int32_t p);
int raster_set_target(int32_t w, int32_t h, int32_t depth);
int raster_set_buffers(uint32_t* fb, uint32_t* zb);

int render_engine_init();
void render_engine_shutdown();
