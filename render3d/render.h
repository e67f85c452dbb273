// The 3D renderer's face: draw a view's objects into its framebuffer, and the engine set-up that
// the object interface runs when the first view opens and the last one closes.
#pragma once

#include <cstdint>

#include "render3d/records.h"

// One frame: camera and object matrices, culling, projection, the frame-wide face queue sorted by
// depth, and the faces drawn far to near into view->framebuffer (the painter's algorithm).
void render_view(View3D* view);

// The raster settings a view's output takes (held by the rasterizer, raster.cpp): projection factor
// (>= 0), and size (1..640 x 1..480, or up to the large target size when allowed) with bits per
// pixel (>= 8). Each returns 0, or 1 (nothing changed) for a value refused.
int raster_set_projection(int32_t p);
int raster_set_target(int32_t w, int32_t h, int32_t depth);

// Choices the show never makes, for a tool that draws any scene (scenerender). All are off until
// a tool asks, and then hold for the rest of the process.
// - Depth fill: with a z-buffer on the view, flat-lit faces are drawn nearest first, each pixel
//   only where it is nearer than what is there (its 1/w against the z-buffer's), so that faces
//   that intersect or overlap in depth show as they stand instead of by their centres' order.
// - Large targets: raster_set_target takes sizes up to kLargeTargetWidth x kLargeTargetHeight.
// - Horizontal projection: the factor that sets the half width's tangent, (w / 2) / (w x factor /
//   256); 192 (a tangent of 2 / 3) by default. Refused (1) when not positive.
constexpr int32_t kLargeTargetWidth = 3840;
constexpr int32_t kLargeTargetHeight = 2160;
void raster_set_depth_fill(bool on);
void raster_allow_large_targets(bool on);
int raster_set_projection_x(float factor);

int render_engine_init();
void render_engine_shutdown();
