// The face drawing pass. Faces come from the sorted queue, largest key (farthest) first. Each
// face becomes up to five raster records; where some of its vertices lie behind the near plane,
// two consecutive records are reserved for the points where the polygon crosses the plane. A
// vertex behind the plane was projected to the screen centre, so each crossing point is formed
// by adding to that centre the crossing's projection at z = NEAR_Z, from two scale factors.
#include "render3d/faces.h"

#include <cstdint>

#include "render3d/lighting.h"
#include "render3d/math3d.h"
#include "render3d/raster.h"

namespace {

constexpr uint32_t kBitsNotTexture = 0x001 | 0x040 | 0x080 | 0x100 | 0x200;
constexpr int kMaxRecords = 5;
constexpr int kNone = -1;

// The records of one face and its clip state.
struct ClipState {
  RasterVertex rec[kMaxRecords] = {};
  int n = 0;
  int gap = kNone;  // first of the two records reserved for the crossing points
  bool prev_front = false;
  int e1 = kNone, e2 = kNone;  // last front vertex before the gap, first front vertex after it
  int b1 = kNone, b2 = kNone;  // behind vertices at the start and at the end of the gap
};

void mark_unset(RasterVertex* r) {
  for (int k = 2; k < 8; ++k) r->s[k] = kUnsetSlot;
}

// Fills the attribute slots and the screen position of vertex vi (at slot position s of faces).
void fill_record(RasterVertex* r, const Object3D* o, uint32_t t, int32_t vi, int32_t s,
                 bool zbuffered) {
  auto uv = [&] {
    if (o->uvs) {
      r->s[kSlotU] = o->uvs[2 * vi];
      r->s[kSlotV] = o->uvs[2 * vi + 1];
    }
  };
  auto env = [&] {
    if (o->view_normals) {
      r->s[kSlotEnvU] = 32768.0f + o->view_normals[3 * vi];
      r->s[kSlotEnvV] = 32768.0f - o->view_normals[3 * vi + 1];
    }
  };
  switch (t) {
    case 2:
      r->s[kSlotIntensity] = light_intensity(o, s);
      break;
    case 4:
      uv();
      break;
    case 6:
      r->s[kSlotIntensity] = light_intensity(o, s);
      uv();
      break;
    case 8:
      env();
      break;
    case 12:
    case 16:
      uv();
      env();
      break;
    default:
      break;
  }
  if (zbuffered || (o->flags & kFlagPerspective)) r->s[kSlotDepth] = -o->view_vertices[3 * vi + 2];
  r->s[kSlotX] = o->screen_vertices[2 * vi];
  r->s[kSlotY] = o->screen_vertices[2 * vi + 1];
}

}  // namespace

void clip_scales(float* scale_x, float* scale_y) {
  const int32_t w = raster_target.width, h = raster_target.height;
  *scale_x = -(static_cast<float>(w) * raster_target.projection_x) / NEAR_Z;
  *scale_y = static_cast<float>(-h * raster_target.projection) / NEAR_Z;
}

int32_t face_build(const Object3D* o, int32_t ref, float scale_x, float scale_y,
                   RasterVertex* out) {
  const bool zbuffered = raster_target.zbuffer != nullptr;
  const uint32_t t = o->flags & ~kBitsNotTexture;
  const bool back = (o->flags & kFlagTwoSided) && ref < 0;
  const int32_t base = back ? ~ref : ref;
  if (base < 0 || base / 4 >= o->face_count) return 0;

  ClipState c;
  const float* vv = o->view_vertices;
  for (int k = 0; k < 4; ++k) {
    const int j = (back && !(k & 1)) ? 2 - k : k;
    const int32_t s = base + j;
    const int32_t vi = o->faces[s];
    if (vi < 0) break;
    if (vi >= o->vertex_count) return 0;  // a face naming a missing vertex is not drawn
    const bool front = vv[3 * vi + 2] <= NEAR_Z;
    RasterVertex* r;
    if (k == 0) {
      if (front) {
        r = &c.rec[0];
        c.e1 = c.e2 = vi;
        c.n = 1;
      } else {
        c.gap = 0;
        c.n = 2;
        mark_unset(&c.rec[0]);
        r = &c.rec[0];
        c.b1 = vi;
      }
    } else if (front) {
      r = &c.rec[c.n++];
      if (c.gap == kNone || c.gap == 0) c.e1 = vi;
      if (!c.prev_front) c.e2 = vi;
    } else if (c.prev_front) {
      if (c.gap == kNone) {
        c.gap = c.n;
        c.n += 2;
        mark_unset(&c.rec[c.gap]);
      } else {
        // The run behind the plane wraps around from the last vertex to vertex 0.
        c.rec[c.gap + 1] = c.rec[c.gap];
        c.b2 = c.b1;
      }
      r = &c.rec[c.gap];
      c.b1 = vi;
    } else {
      r = &c.rec[c.gap + 1];
      c.b2 = vi;
    }
    fill_record(r, o, t, vi, s, zbuffered);
    c.prev_front = front;
  }
  if (c.n == 0 || c.e1 == kNone) return 0;  // no vertex in front: nothing to draw

  if (c.gap != kNone) {
    if (c.n > 4) return 0;  // a quadrilateral with one vertex behind is never drawn
    if (c.b2 == kNone) {
      c.rec[c.gap + 1] = c.rec[c.gap];
      c.b2 = c.b1;
    }
    RasterVertex& p = c.rec[c.gap];
    RasterVertex& q = c.rec[c.gap + 1];
    const RasterVertex& pn = c.rec[c.gap == 0 ? c.n - 1 : c.gap - 1];
    const RasterVertex& qn = c.rec[c.gap + 2 == c.n ? 0 : c.gap + 2];
    const float* b1 = &vv[3 * c.b1];
    const float* e1 = &vv[3 * c.e1];
    const float* b2 = &vv[3 * c.b2];
    const float* e2 = &vv[3 * c.e2];
    const float t1 = (b1[2] - NEAR_Z) / (b1[2] - e1[2]);
    p.s[kSlotX] += scale_x * (b1[0] + (e1[0] - b1[0]) * t1);
    p.s[kSlotY] -= scale_y * (b1[1] + (e1[1] - b1[1]) * t1);
    const float t2 = (b2[2] - NEAR_Z) / (b2[2] - e2[2]);
    q.s[kSlotX] += scale_x * (b2[0] + (e2[0] - b2[0]) * t2);
    q.s[kSlotY] -= scale_y * (b2[1] + (e2[1] - b2[1]) * t2);
    for (int k = 2; k < 8; ++k) {
      if (p.s[k] != kUnsetSlot) {
        p.s[k] += (pn.s[k] - p.s[k]) * t1;
        q.s[k] += (qn.s[k] - q.s[k]) * t2;
      }
    }
  }

  if (o->flags & kFlagFlatLit) c.rec[0].s[kSlotIntensity] = light_intensity(o, base);
  for (int i = 0; i < c.n; ++i) out[i] = c.rec[i];
  return c.n;
}

namespace {

// Draws one face: o with face reference ref.
void draw_face(Object3D* o, int32_t ref, float scale_x, float scale_y) {
  const bool zbuffered = raster_target.zbuffer != nullptr;
  const uint32_t mode = (o->flags | (zbuffered ? kFlagZBuffer : 0)) & ~kFlagTwoSided;
  if (raster_set_mode(mode)) return;

  switch (o->flags & ~kBitsNotTexture) {
    case 4:
    case 6:
    case 32:
      texture_bind(o->texture, 1);
      break;
    case 8:
      texture_bind(o->texture2, 1);
      break;
    case 12:
      texture_bind(o->texture2, 2);
      texture_bind(o->texture, 1);
      break;
    case 16:
      texture_bind(o->texture3, 3);
      texture_bind(o->texture2, 2);
      texture_bind(o->texture, 1);
      break;
    default:
      break;
  }
  if ((o->flags & kFlagTwoSided) && ref < 0 && o->back_texture) texture_bind(o->back_texture, 1);

  RasterVertex records[kMaxRecords];
  const int32_t n = face_build(o, ref, scale_x, scale_y, records);
  if (n > 0) draw_polygon(n, records, o->colour);
}

}  // namespace

void texture_bind(void*, int) {}

void draw_queued_faces(const FaceQueue& queue, const uint32_t* sorted, int32_t sorted_count) {
  if (sorted_count <= 0 || !sorted) return;
  float scale_x, scale_y;
  clip_scales(&scale_x, &scale_y);
  for (int32_t i = sorted_count - 1; i >= 0; --i) {
    const uint32_t q = sorted[2 * i + 1];
    if (q >= static_cast<uint32_t>(queue.count)) continue;
    draw_face(queue.object[q], queue.face_ref[q], scale_x, scale_y);
  }
}
