// The face pass: a frame's queued faces drawn far to near, each face clipped against the near
// plane in screen space and handed to the rasterizer. The frame driver fills the queue and sorts
// it; the pass takes both as arguments.
#pragma once

#include <cstdint>

#include "render3d/raster.h"
#include "render3d/records.h"

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

// Unset marker for the attribute slots 2..7 of a clip record.
constexpr float kUnsetSlot = 2147483648.0f;

// Draws the queue's faces in the sorted order, far to near: sorted holds sorted_count
// (key, queue index) pairs in ascending key order, drawn from the last to the first.
void draw_queued_faces(const FaceQueue& queue, const uint32_t* sorted, int32_t sorted_count);

// The projection at z = NEAR_Z (the near plane), from the raster target and projection factor.
void clip_scales(float* scale_x, float* scale_y);

// Builds the raster records of one queued face (face reference ref): vertices read in drawing
// order, clipped against the near plane, the flat intensity set. Writes up to five records to
// out and returns their count, or 0 when the face is not drawn.
int32_t face_build(const Object3D* o, int32_t ref, float scale_x, float scale_y, RasterVertex* out);

// Texture hook: binds a texture handle to unit 1..3. Textures are not defined; it does nothing.
void texture_bind(void* handle, int unit);
