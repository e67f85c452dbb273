// The depth-buffered fill against a reference made from the same projected geometry: every face
// its own object with a colour of its own, and for every pixel centre the nearest of the faces
// covering it, found by a z-buffer written here. A pixel is wrong when the face drawn there lies
// farther than that nearest face; pixels on the faces' edges, where the engine's coverage and the
// pixel centres differ, count only when the drawn face is farther.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "render3d/render.h"
#include "render3d/render_internal.h"
#include "scene3d/objects.h"
#include "scene3d/reader3ds.h"

namespace {

constexpr uint32_t kBackground = 0xFFFFFF;  // the flat colours below never reach 255 in a channel

// Face colours: the id in base 255 with channel values 1..255, which the fill at full intensity
// draws one lower (255 x c / 256, truncated), so a drawn pixel names its face.
uint32_t id_colour(int32_t id) {
  return static_cast<uint32_t>(id / 65025 + 1) << 16 |
         static_cast<uint32_t>(id / 255 % 255 + 1) << 8 | static_cast<uint32_t>(id % 255 + 1);
}
int32_t drawn_id(uint32_t c) {
  return static_cast<int32_t>((c >> 16 & 255) * 65025 + (c >> 8 & 255) * 255 + (c & 255));
}

// One face on the screen after a frame: corners in pixels, 1 / w as an affine function of them.
struct ScreenFace {
  float x[3], y[3];
  double a = 0, b = 0, c = 0;  // 1 / w = a x + b y + c
  bool usable = false;
  double inv_w(double px, double py) const { return a * px + b * py + c; }
};

ScreenFace screen_face(const Object3D* o) {
  ScreenFace f;
  double iw[3];
  for (int k = 0; k < 3; ++k) {
    const int32_t v = o->faces[k];
    const float z = o->view_vertices[3 * v + 2];
    if (z > NEAR_Z) return f;  // clipped faces are left out of both sides of the comparison
    f.x[k] = o->screen_vertices[2 * v] / 256.0f;
    f.y[k] = o->screen_vertices[2 * v + 1] / 256.0f;
    iw[k] = -1.0 / z;
  }
  const double x1 = f.x[1] - f.x[0], y1 = f.y[1] - f.y[0];
  const double x2 = f.x[2] - f.x[0], y2 = f.y[2] - f.y[0];
  const double det = x1 * y2 - x2 * y1;
  if (std::fabs(det) < 1e-9) return f;
  const double d1 = iw[1] - iw[0], d2 = iw[2] - iw[0];
  f.a = (d1 * y2 - d2 * y1) / det;
  f.b = (x1 * d2 - x2 * d1) / det;
  f.c = iw[0] - f.a * f.x[0] - f.b * f.y[0];
  f.usable = true;
  return f;
}

struct Comparison {
  int64_t covered = 0;  // pixels the engine drew
  int64_t wrong = 0;    // of them, pixels showing a face behind the nearest
  double wrong_percent() const { return covered ? 100.0 * wrong / covered : 0.0; }
};

// Draws view (one face per object, coloured by id_colour of its index) and compares.
Comparison draw_and_compare(View3D* view, bool depth_fill) {
  const int32_t w = view->width, h = view->height;
  std::vector<uint32_t> fb(static_cast<size_t>(w) * h, kBackground);
  view->framebuffer = fb.data();
  raster_set_depth_fill(depth_fill);
  view_set_zbuffer(view, depth_fill ? 1 : 0);
  set_shade_range(255, 1);  // every face at full intensity
  render_view(view);

  std::vector<const Object3D*> objects;
  view_rewind(view);
  while (Object3D* o = view_next_object(view)) objects.push_back(o);
  std::vector<ScreenFace> faces(objects.size());
  std::vector<double> nearest(fb.size(), 0.0);
  for (size_t i = 0; i < objects.size(); ++i) {
    if (objects[i]->depth_key >= kCulledDepthKey || objects[i]->face_count != 1) continue;
    ScreenFace& f = faces[i];
    f = screen_face(objects[i]);
    if (!f.usable) continue;
    const int x0 = std::max(0, static_cast<int>(std::floor(std::min({f.x[0], f.x[1], f.x[2]}))));
    const int x1 = std::min(w - 1, static_cast<int>(std::ceil(std::max({f.x[0], f.x[1], f.x[2]}))));
    const int y0 = std::max(0, static_cast<int>(std::floor(std::min({f.y[0], f.y[1], f.y[2]}))));
    const int y1 = std::min(h - 1, static_cast<int>(std::ceil(std::max({f.y[0], f.y[1], f.y[2]}))));
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) {
        const double px = x + 1, py = y + 1;  // where the engine samples a pixel's coverage
        double e[3];
        for (int k = 0; k < 3; ++k) {
          const int n = (k + 1) % 3;
          e[k] = (f.x[n] - f.x[k]) * (py - f.y[k]) - (f.y[n] - f.y[k]) * (px - f.x[k]);
        }
        const bool inside =
            (e[0] >= 0 && e[1] >= 0 && e[2] >= 0) || (e[0] <= 0 && e[1] <= 0 && e[2] <= 0);
        if (inside) {
          double& n = nearest[static_cast<size_t>(y) * w + x];
          n = std::max(n, f.inv_w(px, py));
        }
      }
    }
  }

  Comparison c;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t p = fb[static_cast<size_t>(y) * w + x];
      if (p == kBackground) continue;
      ++c.covered;
      const int32_t id = drawn_id(p);
      const double n = nearest[static_cast<size_t>(y) * w + x];
      if (id < 0 || id >= static_cast<int32_t>(faces.size()) || !faces[id].usable || n == 0.0)
        continue;
      if (faces[id].inv_w(x + 1, y + 1) < n * (1.0 - 1e-3)) ++c.wrong;
    }
  }
  std::free(view->zbuffer);
  view_set_zbuffer(view, 0);
  raster_set_depth_fill(false);
  return c;
}

// A one-face object, wound to face the camera, in view units.
Object3D* triangle(const float (&v)[9], int32_t id) {
  Object3D* o = object_create(3, 1, 0);
  for (int i = 0; i < 9; ++i) o->vertices[i] = v[i];
  o->faces[0] = 0, o->faces[1] = 1, o->faces[2] = 2, o->faces[3] = -1;
  o->flags = 1;
  o->colour = id_colour(id);
  o->radius = 100000.0f;
  mat4_identity(&o->local);
  mat4_identity(&o->pivot);
  return o;
}

// A view of one-face objects, freed with them.
struct FaceView {
  View3D view{};
  int32_t faces = 0;
  FaceView(int32_t w, int32_t h) {
    view_init(&view);
    view_set_output(&view, w, h, 32);
    view.target = {0, 0, -1};  // from the origin down -z: view space is object space
  }
  ~FaceView() {
    view_free(&view);
    view_release(&view);
  }
  void add(const float (&v)[9]) { view_add_object(&view, triangle(v, faces++), -1); }
};

// Two quads that cross in depth along x = 0, each the nearer on one side: whichever the painter
// draws last covers the other on both sides; the depth fill shows each where it is in front.
TEST(DepthFill, CrossingQuadsShowTheNearerEverywhere) {
  FaceView v(320, 240);
  for (float slope : {0.5f, -0.5f}) {
    const float l = -1000.0f - 300.0f * slope, r = -1000.0f + 300.0f * slope;
    v.add({-300, 200, l, 300, 200, r, 300, -200, r});
    v.add({-300, 200, l, 300, -200, r, -300, -200, l});
  }
  const Comparison painter = draw_and_compare(&v.view, false);
  const Comparison depth = draw_and_compare(&v.view, true);
  EXPECT_EQ(depth.covered, painter.covered);
  EXPECT_GT(painter.wrong_percent(), 10.0);  // the scene does test what it is for
  EXPECT_EQ(depth.wrong, 0) << depth.wrong_percent() << " % of " << depth.covered;
}

// The real files: every mesh face by face, framed as scenerender frames a scene, both fills.
TEST(DepthFill, RealFilesAgreeWithTheReference) {
  const std::string dir = std::string(DRIFTLIGHT_TESTDATA) + "/3ds/";
  const char* files[] = {"CameraRollAnimWithChildObject.3ds", "RotatingCube.3DS", "fels.3ds",
                         "jeep1.3ds", "test1.3ds"};
  int read = 0;
  for (const char* name : files) {
    FaceView v(640, 480);
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    {
      FaceView scene(320, 240);
      if (read_3ds_objects((dir + name).c_str(), &scene.view, SceneReadMode::kNodesOrMeshes) != 0)
        continue;
      view_rewind(&scene.view);
      while (Object3D* o = view_next_object(&scene.view)) {
        for (int32_t f = 0; f < o->face_count; ++f) {
          float p[9];
          for (int k = 0; k < 9; ++k) {
            p[k] = o->vertices[3 * o->faces[4 * f + k / 3] + k % 3];
            lo[k % 3] = std::min(lo[k % 3], p[k]);
            hi[k % 3] = std::max(hi[k % 3], p[k]);
          }
          v.add(p);
        }
      }
    }
    ++read;
    const Vec3 centre{(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
    const double radius = std::hypot(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]) / 2;
    const double distance = radius / (0.5 / std::sqrt(1.25)) * 1.05;
    const double az = -3.14159265 / 3, el = 25 * 3.14159265 / 180;
    v.view.target = centre;
    v.view.eye = {static_cast<float>(centre.x + distance * std::cos(el) * std::cos(az)),
                  static_cast<float>(centre.y + distance * std::cos(el) * std::sin(az)),
                  static_cast<float>(centre.z + distance * std::sin(el))};
    const Comparison painter = draw_and_compare(&v.view, false);
    const Comparison depth = draw_and_compare(&v.view, true);
    std::printf("%-34s %5d faces %6lld pixels  wrong: painter %5.2f %%, depth fill %5.2f %%\n",
                name, v.faces, static_cast<long long>(depth.covered), painter.wrong_percent(),
                depth.wrong_percent());
    EXPECT_LT(depth.wrong_percent(), 0.1) << name;
  }
  if (read == 0) GTEST_SKIP() << "no 3D Studio files in " << dir;
}

}  // namespace
