// The ball scene: one mesh from the embedded file, cloned nine times, moved every frame.
#include "scene3d/bounce.h"

#include <cstdlib>

#include "assets/assets.h"
#include "render3d/render.h"
#include "scene3d/reader3ds.h"

View3D bounce_base_view;
View3D bounce_view;
float bounce_speed[kBounceBalls];
int32_t bounce_period[kBounceBalls];

namespace {

constexpr int32_t kClones = 9;
constexpr float kEyeStartZ = 390.0f;   // placeholder until the first frame sets the eye
constexpr float kEyeZ = 145000.0f;     // the camera looks from here towards the origin
constexpr float kLaneStart = -72000.0f;
constexpr int32_t kLaneStep = 36000;
constexpr int32_t kFarRowShift = 216000;  // the third row reuses lanes 7 to 9 shifted back

}  // namespace

int bounce_scene_init(uint32_t* framebuffer) {
  return bounce_scene_init_from(framebuffer, scene_3ds, scene_3ds_size);
}

int bounce_scene_init_from(uint32_t* framebuffer, const uint8_t* data, size_t size) {
  // A second build in one process (the tests run the show more than once) frees the first's.
  view_free(&bounce_base_view);
  view_init(&bounce_base_view);
  view_copy(&bounce_view, &bounce_base_view);
  view_set_output(&bounce_view, 320, 240, 32);
  bounce_view.framebuffer = framebuffer;
  if (load_scene_camera(data, size, 1, &bounce_view) != 0) return 1;
  bounce_view.eye.z = kEyeStartZ;
  if (load_scene_objects(data, size, &bounce_base_view) != 0) return 1;
  set_shade_range(0, 255);

  Object3D* last = nullptr;
  view_rewind(&bounce_view);
  while (Object3D* o = view_next_object(&bounce_view)) last = o;
  for (int32_t i = 0; i < kClones; ++i) object_clone(&bounce_base_view, last);

  // The standard sequence, never seeded: speed then period for each ball in turn.
  for (int32_t i = 0; i < kBounceBalls; ++i) {
    bounce_speed[i] = static_cast<float>(std::rand() % 30000 + 25000);
    bounce_period[i] = std::rand() % 350 + 100;
  }
  view_set_zbuffer(&bounce_view, 0);
  return 0;
}

void bounce_scene_frame(int32_t t) {
  set_shade_range(80, 176);
  bounce_view.eye.z = kEyeZ;
  bounce_view.eye.x = 0.0f;
  const Vec3 light{1000.0f, 50000.0f, 180000.0f};
  set_light_position(&light);

  view_rewind(&bounce_view);
  int32_t i = 0;
  int32_t lane = static_cast<int32_t>(kLaneStart);
  while (Object3D* o = view_next_object(&bounce_view)) {
    // Ball i turns by i/1024 of a turn about its own x axis every frame.
    o->pending_rotation[0] = static_cast<float>(i);
    if (i < kBounceBalls) {
      // A parabola over each period of 2p ticks: 0 at m = 0, the full speed at m = p.
      const int32_t p = bounce_period[i];
      const int32_t m = t % (2 * p);
      const int32_t h = p * p - (m - p) * (m - p);
      const auto a = static_cast<float>(static_cast<double>(h) * bounce_speed[i] /
                                        static_cast<double>(p * p));
      if (i < 5) {
        o->position = {-20000.0f - a, static_cast<float>(lane), -48600.0f};
        o->colour = 0x5F0000;
      } else if (i < 7) {
        o->position = {12000.0f - a, static_cast<float>((i - 5.5) * 36000.0), 0.0f};
        o->colour = 0x9F0000;
      } else {
        o->position = {52000.0f - a, static_cast<float>(lane - kFarRowShift), 48600.0f};
        o->colour = 0xFF0000;
      }
    }
    ++i;
    lane += kLaneStep;
  }
  render_view(&bounce_view);
}
