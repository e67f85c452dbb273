// The demo's 3D scene: ten red balls rising and falling in parabolic arcs in three rows.
#pragma once
#include <cstddef>
#include <cstdint>

#include "scene3d/objects.h"

constexpr int32_t kBounceBalls = 10;

// The loaded objects live in bounce_base_view; bounce_view is a copy sharing its object list
// that carries the camera, the output settings and the framebuffer, and is the one rendered.
extern View3D bounce_base_view;
extern View3D bounce_view;
extern float bounce_speed[kBounceBalls];     // arc height of each ball, engine units
extern int32_t bounce_period[kBounceBalls];  // half period of each ball, clock ticks

// Builds the scene from the embedded scene file, drawing into framebuffer (320 x 240).
// Returns 0, or 1 when the scene file's camera or objects cannot be read (read_3ds_last_error
// says why); the caller decides what the show does then. Building it again frees the previous
// build's objects first.
int bounce_scene_init(uint32_t* framebuffer);

// The same from size bytes of scene file at data.
int bounce_scene_init_from(uint32_t* framebuffer, const uint8_t* data, size_t size);

// Places the balls for time t (clock ticks) and renders them into the framebuffer.
void bounce_scene_frame(int32_t t);
