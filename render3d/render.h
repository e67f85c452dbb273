// The 3D renderer's face: draw a view's objects into its framebuffer, and the engine set-up that
// the object interface runs when the first view opens and the last one closes.
#pragma once

#include <cstdint>

#include "scene3d/objects.h"

// One frame: camera and object matrices, culling, projection, the frame-wide face queue sorted by
// depth, and the faces drawn far to near into view->framebuffer (the painter's algorithm).
void render_view(View3D* view);

// The raster settings a view's output takes: projection factor (>= 0), and size (1..640 x
// 1..480) with bits per pixel (>= 8). Each returns 0, or 1 (nothing changed) for a value refused.
int raster_set_projection(int32_t p);
int raster_set_target(int32_t w, int32_t h, int32_t depth);

int render_engine_init();
void render_engine_shutdown();
