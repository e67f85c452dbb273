// The frame driver's inside: the stages render_view runs (matrices and culling, projection, the
// face queue, the depth sort) and the queue they fill. The face pass (render3d/faces.h), the
// rasterizer (render3d/raster.h) and the lighting (render3d/lighting.h) sit below it. Only
// render3d's own files and its tests and benchmarks include this; everyone else goes through
// render3d/render.h.
#pragma once

#include <cstdint>

#include "render3d/faces.h"
#include "render3d/records.h"

// depth_key of an object culled this frame.
constexpr float kCulledDepthKey = 2147483648.0f;

// This frame's faces, filled by object_queue_faces and drawn by frame_flush.
extern FaceQueue face_queue;

void frame_begin();
int view_prepare(View3D* view);
void object_apply_pending(Object3D* o);
void object_project(Object3D* o, int32_t w, int32_t h, float fov);
int32_t object_queue_faces(Object3D* o);
// Sorts the queue by depth key and draws it with the face pass, after clearing the z-buffer.
void frame_flush();

// Sorts n (key, index) pairs by the low 8 x passes bits of the key (unsigned), stably. buffer
// holds 2 x n pairs; returns the half holding the result, or null for passes outside 1..4.
uint32_t* radix_sort_pairs(int32_t n, const int32_t* keys, uint32_t* buffer, int32_t passes);
void radix_pass(int32_t n, int32_t byte, const uint32_t* src, uint32_t* dst);
