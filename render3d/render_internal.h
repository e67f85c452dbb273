// The render pipeline's inside: the stages render_view runs (face queue, depth sort, face pass,
// rasterizer) and the state they share. Only render3d's own files and its tests and benchmarks
// include this; everyone else goes through render3d/render.h.
#pragma once

#include <cstdint>

#include "render3d/math3d.h"
#include "render3d/render.h"
#include "scene3d/objects.h"

// ---- The frame driver (render.cpp) -------------------------------------------------------------

// Object flag bits read by the driver (the full table is with the rasterizer below).
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
  int32_t width;       // 1..640 (or the large target width), initially 320
  int32_t height;      // 1..480 (or the large target height), initially 200
  int32_t depth;       // bits per pixel, >= 8, initially 8
  int32_t projection;  // projection factor, initially 256
  uint32_t* framebuffer;
  uint32_t* zbuffer;            // null when there is none
  float projection_x = 192.0f;  // horizontal projection factor (raster_set_projection_x)
  bool large = false;           // sizes up to kLargeTargetWidth x kLargeTargetHeight taken
  bool depth_fill = false;      // flat faces tested against the z-buffer (raster_set_depth_fill)
};
extern RasterTarget raster_target;

void frame_begin();
int view_prepare(View3D* view);
void object_apply_pending(Object3D* o);
void object_project(Object3D* o, int32_t w, int32_t h, float fov);
int32_t object_queue_faces(Object3D* o);
void object_light_vector(Object3D* o);
float light_intensity(const Object3D* o, int32_t slot);
void frame_flush();
void zbuffer_clear();
int raster_set_buffers(uint32_t* fb, uint32_t* zb);

// Sorts n (key, index) pairs by the low 8 x passes bits of the key (unsigned), stably. buffer
// holds 2 x n pairs; returns the half holding the result, or null for passes outside 1..4.
uint32_t* radix_sort_pairs(int32_t n, const int32_t* keys, uint32_t* buffer, int32_t passes);
void radix_pass(int32_t n, int32_t byte, const uint32_t* src, uint32_t* dst);

// ---- The rasterizer (raster.cpp) ---------------------------------------------------------------
// Convex screen-space polygons into the 32-bit framebuffer, with edge walkers and span fillers
// chosen by the render mode.
//
// Render mode bits (an object's flags as prepared by the face pass):
//   0x001 flat lighting (one intensity per face, vertex 0)   0x002 per-vertex intensity
//   0x004 textured (u, v)        0x008 environment-mapped    0x010 textured + environment-mapped
//   0x020 texture unit 1, no interpolated attribute          0x040 z-buffered
//   0x080 perspective-correct attributes                     0x100 two-sided
//   0x200 colour not scaled by the intensity
// Only mode 1 has a span filler at 32-bit depth, and mode 0x041 when the depth fill is on.

// Slots: 0 x, 1 y (1/256 pixel, y down), 2 u, 3 v, 4 and 5 environment coordinates,
// 6 intensity (0..65280), 7 depth w (minus view z).
struct RasterVertex {
  float s[8];
};

constexpr int kSlotX = 0, kSlotY = 1, kSlotU = 2, kSlotV = 3, kSlotEnvU = 4, kSlotEnvV = 5,
              kSlotIntensity = 6, kSlotDepth = 7;

constexpr int kEdgeRows = kLargeTargetHeight;

// One edge-table row: word 0 the x in 1/256 pixel, then the attributes (integers in the linear
// walker, floats in the perspective walker and for the depth slot).
union EdgeWord {
  int32_t i;
  float f;
};
extern EdgeWord left_edges[kEdgeRows][8];
extern EdgeWord right_edges[kEdgeRows][8];

// (i x j) >> 8 at 256 i + j, built by render_engine_init.
extern uint8_t mul_table[65536];
void build_mul_table();

// Returns 0 when faces of this mode can be drawn, 1 when not.
int raster_set_mode(uint32_t mode);
// Forgets the current mode, so the next raster_set_mode takes the full path.
void raster_reset_mode();
void draw_polygon(int32_t n, const RasterVertex* verts, uint32_t colour);
void edge_walk_linear(const RasterVertex* a, const RasterVertex* b);
void edge_walk_perspective(const RasterVertex* a, const RasterVertex* b);
void span_fill_flat();
// The flat fill with the depth test: slot 1 of the edge rows holds 256 / w.
void span_fill_flat_depth();

// ---- The face pass (faces.cpp) -----------------------------------------------------------------
// The sorted face queue drawn far to near, each face clipped against the near plane in screen
// space and handed to the rasterizer.

// Unset marker for the attribute slots 2..7 of a clip record.
constexpr float kUnsetSlot = 2147483648.0f;

void draw_queued_faces();

// The projection at z = NEAR_Z (the near plane), from the raster target and projection factor.
void clip_scales(float* scale_x, float* scale_y);

// Builds the raster records of one queued face (face reference ref): vertices read in drawing
// order, clipped against the near plane, the flat intensity set. Writes up to five records to
// out and returns their count, or 0 when the face is not drawn.
int32_t face_build(const Object3D* o, int32_t ref, float scale_x, float scale_y, RasterVertex* out);

// Texture hook: binds a texture handle to unit 1..3. Textures are not defined; it does nothing.
void texture_bind(void* handle, int unit);
