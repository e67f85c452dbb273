// Procedural meshes and scenes shared by the engine's tests and benchmarks.
#pragma once

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "render3d/math3d.h"
#include "scene3d/objects.h"

// An object whose arrays the test holds and may write by hand: object-space vertices (three
// floats each), view-space and screen arrays, flat-lit, every matrix the identity.
struct HandObject {
  Object3D o = {};
  std::vector<int32_t> faces;
  std::vector<float> verts, view, screen;
  ShareCounts share = {};

  HandObject(int nv, std::vector<int32_t> f) : HandObject(std::vector<float>(3 * nv), std::move(f)) {}
  HandObject(std::vector<float> v, std::vector<int32_t> f) : faces(std::move(f)), verts(std::move(v)) {
    const int nv = static_cast<int>(verts.size() / 3);
    view.assign(3 * nv, 0.0f);
    screen.assign(2 * nv, 0.0f);
    o.vertex_count = nv;
    o.face_count = static_cast<int32_t>(faces.size() / 4);
    o.faces = faces.data();
    o.vertices = verts.data();
    o.view_vertices = view.data();
    o.screen_vertices = screen.data();
    o.share = &share;
    o.flags = 1;
    mat4_identity(&o.local);
    mat4_identity(&o.view_matrix);
    mat4_identity(&o.pivot);
  }
  HandObject(const HandObject&) = delete;  // o points into this object's own arrays
};

// A ball of 52 vertices and 100 triangles (two poles, five rings of ten), wound clockwise as
// seen from outside on the screen, flat-lit, centred on the object origin.
inline Object3D* make_ball(float radius, uint32_t colour) {
  constexpr int kRings = 5, kSegments = 10;
  constexpr int kVertices = 2 + kRings * kSegments;
  constexpr int kFaces = 2 * kSegments + 2 * kSegments * (kRings - 1);
  Object3D* o = object_create(kVertices, kFaces, 0);
  if (!o) return nullptr;
  float* v = o->vertices;
  auto put = [&](int i, double x, double y, double z) {
    v[3 * i] = static_cast<float>(x);
    v[3 * i + 1] = static_cast<float>(y);
    v[3 * i + 2] = static_cast<float>(z);
  };
  const double pi = 3.141592653589793;
  put(0, 0, radius, 0);
  put(kVertices - 1, 0, -radius, 0);
  for (int r = 0; r < kRings; ++r) {
    const double lat = pi * (r + 1) / (kRings + 1);
    for (int s = 0; s < kSegments; ++s) {
      const double lon = 2 * pi * s / kSegments + (r & 1) * pi / kSegments;
      put(1 + r * kSegments + s, radius * std::sin(lat) * std::cos(lon), radius * std::cos(lat),
          radius * std::sin(lat) * std::sin(lon));
    }
  }
  int32_t* f = o->faces;
  int fi = 0;
  auto face = [&](int a, int b, int c) {
    f[4 * fi] = a;
    f[4 * fi + 1] = b;
    f[4 * fi + 2] = c;
    f[4 * fi + 3] = -1;
    ++fi;
  };
  auto ring = [&](int r, int s) { return 1 + r * kSegments + (s % kSegments); };
  for (int s = 0; s < kSegments; ++s) face(0, ring(0, s), ring(0, s + 1));
  for (int r = 0; r + 1 < kRings; ++r) {
    for (int s = 0; s < kSegments; ++s) {
      if (r & 1) {
        face(ring(r, s), ring(r + 1, s), ring(r + 1, s + 1));
        face(ring(r, s), ring(r + 1, s + 1), ring(r, s + 1));
      } else {
        face(ring(r, s), ring(r + 1, s), ring(r, s + 1));
        face(ring(r, s + 1), ring(r + 1, s), ring(r + 1, s + 1));
      }
    }
  }
  for (int s = 0; s < kSegments; ++s) face(kVertices - 1, ring(kRings - 1, s + 1), ring(kRings - 1, s));
  o->flags = 1;
  o->colour = colour;
  o->radius = radius + 1.0f;
  mat4_identity(&o->local);
  mat4_identity(&o->view_matrix);
  mat4_identity(&o->pivot);
  return o;
}

// The ten-ball layout of the show's bouncing scene, frozen at a fixed arc offset per ball.
inline void place_balls(View3D* view, float phase) {
  view_rewind(view);
  int32_t lane = -72000;
  int i = 0;
  while (Object3D* o = view_next_object(view)) {
    o->pending_rotation[0] = static_cast<float>(i);
    const float a = phase * static_cast<float>((i * 7919) % 30000);
    if (i < 5) {
      o->position = {-20000.0f - a, static_cast<float>(lane), -48600.0f};
      o->colour = 0x5F0000;
    } else if (i < 7) {
      o->position = {12000.0f - a, (static_cast<float>(i) - 5.5f) * 36000.0f, 0.0f};
      o->colour = 0x9F0000;
    } else {
      o->position = {52000.0f - a, static_cast<float>(lane - 216000), 48600.0f};
      o->colour = 0xFF0000;
    }
    ++i;
    lane += 36000;
  }
}

// The show's frame camera and lighting for the ball scene.
inline void set_show_camera(View3D* view) {
  view->eye = {0.0f, 0.0f, 145000.0f};
  view->target = {-11810.8f, 0.0f, 0.0f};
  set_shade_range(80, 176);
  const Vec3 light = {1000.0f, 50000.0f, 180000.0f};
  set_light_position(&light);
}
