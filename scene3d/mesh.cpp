// Mesh preparation: flags, matrices, winding, bounding radius and smooth vertex normals.
#include "scene3d/mesh.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "render3d/math3d.h"
#include "scene3d/objects.h"

namespace {

constexpr uint32_t kDefaultFlags = 1;
constexpr uint32_t kDefaultColour = 0x808080;

// Each incidence row: the count of faces recorded, then up to 15 face-normal offsets.
constexpr int32_t kIncidenceRow = 1 + kMaxFacesPerVertex;

// Releases the object's normals unless clones share them.
void drop_normals(Object3D* o) {
  if (o->share != nullptr && o->share->normal_users != 0) return;
  std::free(o->normals);
  std::free(o->view_normals);
  o->normals = nullptr;
  o->view_normals = nullptr;
}

}  // namespace

void object_prepare(Object3D* o) {
  o->flags = kDefaultFlags;
  o->colour = kDefaultColour;
  o->depth_key = -o->position.z;
  mat4_identity(&o->local);
  mat4_identity(&o->view_matrix);

  // The file winds its faces the other way round from the renderer's front faces.
  for (int32_t f = 0; f < o->face_count; ++f) {
    int32_t* face = o->faces + 4 * f;
    const int32_t first = face[0];
    face[0] = face[2];
    face[2] = first;
  }

  // Radius about the mesh origin, which the pivot's translation column holds negated.
  const float tx = o->pivot.m[3], ty = o->pivot.m[7], tz = o->pivot.m[11];
  float largest = 0.0f;
  for (int32_t v = 0; v < o->vertex_count; ++v) {
    const float* p = o->vertices + 3 * v;
    const float x = p[0] + tx, y = p[1] + ty, z = p[2] + tz;
    const float d = x * x + y * y + z * z;
    if (d > largest) largest = d;
  }
  o->radius = std::sqrt(largest) + 1.0f;

  if (o->vertex_count != 0) object_compute_normals(o);
}

int32_t object_compute_normals(Object3D* o) {
  const int32_t vc = o->vertex_count > 0 ? o->vertex_count : 0;
  const int32_t fc = o->face_count > 0 ? o->face_count : 0;
  const size_t floats = static_cast<size_t>(3) * vc;

  if (o->normals == nullptr) {
    o->normals = static_cast<float*>(std::malloc(sizeof(float) * (floats ? floats : 1)));
    o->view_normals = static_cast<float*>(std::malloc(sizeof(float) * (floats ? floats : 1)));
    if (o->share != nullptr) o->share->normal_users = 0;
    if (o->normals == nullptr || o->view_normals == nullptr) {
      drop_normals(o);
      return 1;
    }
  }

  std::unique_ptr<int32_t[]> incidence(new (std::nothrow)
                                           int32_t[static_cast<size_t>(kIncidenceRow) * vc + 1]());
  std::unique_ptr<float[]> face_normals(new (std::nothrow) float[static_cast<size_t>(3) * fc + 1]);
  if (!incidence || !face_normals) {
    drop_normals(o);
    return 1;
  }

  for (int32_t f = 0; f < fc; ++f) {
    const int32_t* face = o->faces + 4 * f;
    // Indices outside the mesh (which the reader never lets through) give the fallback normal.
    Vec3 n{1.0f, 0.0f, 0.0f};
    if (face[0] >= 0 && face[0] < vc && face[1] >= 0 && face[1] < vc && face[2] >= 0 &&
        face[2] < vc) {
      const float* a = o->vertices + 3 * face[0];
      const float* b = o->vertices + 3 * face[1];
      const float* c = o->vertices + 3 * face[2];
      const Vec3 e1{b[0] - a[0], b[1] - a[1], b[2] - a[2]};
      const Vec3 e2{c[0] - a[0], c[1] - a[1], c[2] - a[2]};
      vec3_cross(&e1, &e2, &n);
      vec3_normalize(&n);
    }
    face_normals[3 * f + 0] = kNormalLength * n.x;
    face_normals[3 * f + 1] = kNormalLength * n.y;
    face_normals[3 * f + 2] = kNormalLength * n.z;
  }

  // All four words of a face are looked at; the flags word (-1) is skipped as negative.
  for (int32_t f = 0; f < fc; ++f) {
    for (int k = 0; k < 4; ++k) {
      const int32_t v = o->faces[4 * f + k];
      if (v < 0 || v >= vc) continue;
      int32_t* row = incidence.get() + static_cast<size_t>(kIncidenceRow) * v;
      if (row[0] < kMaxFacesPerVertex) {
        ++row[0];
        row[row[0]] = 3 * f;
      }
    }
  }

  std::memset(o->normals, 0, sizeof(float) * floats);
  for (int32_t v = 0; v < vc; ++v) {
    const int32_t* row = incidence.get() + static_cast<size_t>(kIncidenceRow) * v;
    const int32_t k = row[0];
    if (k == 0) continue;
    float* n = o->normals + 3 * v;
    for (int32_t j = 1; j <= k; ++j) {
      n[0] += face_normals[row[j] + 0];
      n[1] += face_normals[row[j] + 1];
      n[2] += face_normals[row[j] + 2];
    }
    n[0] /= static_cast<float>(k);
    n[1] /= static_cast<float>(k);
    n[2] /= static_cast<float>(k);
  }
  return 0;
}

void object_center_xy(Object3D* o) {
  if (o->vertex_count <= 0) return;
  double sx = 0.0, sy = 0.0;
  for (int32_t v = 0; v < o->vertex_count; ++v) {
    sx += o->vertices[3 * v + 0];
    sy += o->vertices[3 * v + 1];
  }
  const auto mx = static_cast<float>(sx / o->vertex_count);
  const auto my = static_cast<float>(sy / o->vertex_count);
  for (int32_t v = 0; v < o->vertex_count; ++v) {
    o->vertices[3 * v + 0] -= mx;
    o->vertices[3 * v + 1] -= my;
  }
  o->position.x += mx;
  o->position.y += my;
}
