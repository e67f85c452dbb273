// Lighting: one directional term per face or vertex, from the object's light vector.
#include "render3d/lighting.h"

#include <cmath>

Vec3 light_position = {900.0f, 1000.0f, -400.0f};
float shade_low = 0.0f;
float shade_high = 65280.0f;
float shade_span = 65536.0f;

namespace {

// A face's vertex index is usable when it names a vertex of the object.
bool vertex_ok(const Object3D* o, int32_t v) { return v >= 0 && v < o->vertex_count; }

}  // namespace

void object_light_vector(Object3D* o) {
  const Vec3 v = {o->position.x - light_position.x, o->position.y - light_position.y,
                  o->position.z - light_position.z};
  mat3_rotate_transposed(&o->local, &v, &o->light_vec);
}

float light_intensity(const Object3D* o, int32_t slot) {
  const int32_t* faces = o->faces;
  Vec3 n;
  const int32_t vi = faces[slot];
  if ((o->flags & kFlagVertexLit) && o->normals && vertex_ok(o, vi)) {
    n = {o->normals[3 * vi], o->normals[3 * vi + 1], o->normals[3 * vi + 2]};
  } else {
    // The face normal, from the face holding this slot (an object that lost its vertex normals
    // is lit per face).
    const int32_t f = slot & ~3;
    if (!vertex_ok(o, faces[f]) || !vertex_ok(o, faces[f + 1]) || !vertex_ok(o, faces[f + 2]))
      return shade_low;
    const float* v0 = &o->vertices[3 * faces[f]];
    const float* v1 = &o->vertices[3 * faces[f + 1]];
    const float* v2 = &o->vertices[3 * faces[f + 2]];
    const Vec3 e1 = {v1[0] - v0[0], v1[1] - v0[1], v1[2] - v0[2]};
    const Vec3 e2 = {v2[0] - v0[0], v2[1] - v0[1], v2[2] - v0[2]};
    vec3_cross(&e1, &e2, &n);
    vec3_normalize(&n);
  }
  const Vec3& l = o->light_vec;
  const float nn = n.x * n.x + n.y * n.y + n.z * n.z;
  const float ll = l.x * l.x + l.y * l.y + l.z * l.z;
  const float d = std::sqrt(nn * ll);
  float value = shade_low;
  if (d != 0.0f) value = shade_low + (n.x * l.x + n.y * l.y + n.z * l.z) * shade_span / d;
  if (value > shade_high) value = shade_high;
  if (value < shade_low) value = shade_low;
  return value;
}
