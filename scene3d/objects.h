// Objects, views and the object list: the small interface that creates, links, clones, iterates
// and configures the records the renderer draws (render3d/records.h).
//
// Lengths are engine units (3D Studio units x 256), angles 1/1024 of a turn, colours 0x00RRGGBB.
// Calls return 0 for success and 1 for failure, or a pointer that is null on failure.
#pragma once

#include <cstdint>

#include "render3d/math3d.h"
#include "render3d/records.h"

// Engine-wide settings. engine_users counts live views. The light and the shade range are set
// here and read by the lighting in render3d, which holds them (render3d/lighting.h).
extern int32_t engine_users;

int view_init(View3D* view);
int view_copy(View3D* dst, const View3D* src);
void view_release(View3D* view);
// Frees the view's objects, their list entries, the list and the z-buffer, leaving the view
// without objects. The program keeps its views for the whole run; tests, benchmarks and tools
// that load scenes again and again free them with this. Copies of the view share the list and
// the z-buffer and must not be used afterwards. Engine users are counted by view_release.
void view_free(View3D* view);
int view_add_object(View3D* view, Object3D* object, int32_t parent_index);
Object3D* object_create(int32_t vertex_count, int32_t face_count, int with_mapping);
void object_free(Object3D* object);
Object3D* object_clone(View3D* view, Object3D* source);
void view_rewind(View3D* view);
Object3D* view_next_object(View3D* view);
int view_set_output(View3D* view, int32_t width, int32_t height, int32_t bits);
int view_set_zbuffer(View3D* view, int on);
int view_set_projection(View3D* view, int32_t value);
int view_set_framebuffer(View3D* view, uint32_t* buffer);
View3D* view_drop_zbuffer(View3D* view);
void set_light_position(const Vec3* v);
void set_shade_range(int32_t base, int32_t levels);
