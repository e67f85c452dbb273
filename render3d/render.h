// The 3D renderer's face: draw a view's objects into its framebuffer, and the engine set-up that
// the object interface runs when the first view opens and the last one closes. The settings a
// view's output takes belong to the rasterizer and come with it (render3d/raster.h).
#pragma once

#include "render3d/raster.h"
#include "render3d/records.h"

// One frame: camera and object matrices, culling, projection, the frame-wide face queue sorted by
// depth, and the faces drawn far to near into view->framebuffer (the painter's algorithm).
void render_view(View3D* view);

int render_engine_init();
void render_engine_shutdown();
