// render_view timings: the show's ten 100-face balls, and a 20,000-face stress scene.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "base/framebuffer.h"
#include "render3d/render.h"
#include "render3d/render_internal.h"
#include "tests/render3d/test_scene.h"

namespace {

uint32_t framebuffer[kFbPixels];

// Ten balls laid out as in the show's bouncing scene, at its frame camera (eye (0, 0, 145000)
// looking at (-11810.8, 0, 0)) or at the file's camera ((239.908, 0, -2.307) looking at
// (-46.136, 0, 0), times 256).
struct BallScene {
  View3D base, view;
  explicit BallScene(bool file_camera) {
    view_init(&base);
    view_copy(&view, &base);
    view_set_output(&view, kFbWidth, kFbHeight, 32);
    view.framebuffer = framebuffer;
    Object3D* ball = make_ball(16384.0f, 0x808080);
    view_add_object(&base, ball, -1);
    for (int i = 0; i < 9; ++i) object_clone(&base, ball);
    set_show_camera(&view);
    if (file_camera) {
      view.eye = {239.908f * 256, 0.0f, -2.307f * 256};
      view.target = {-46.136f * 256, 0.0f, 0.0f};
    }
  }
};

// frame_ms is printed with an "s" suffix by the library; it is milliseconds of CPU per frame.
// The caller clears the framebuffer in the show, so the timing leaves that out.
void run_frames(benchmark::State& state, View3D* view, int faces_per_frame_total) {
  int64_t drawn = 0;
  for (auto _ : state) {
    render_view(view);
    drawn += face_queue.count;
    benchmark::ClobberMemory();
  }
  state.counters["frame_ms"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 1e-3,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["faces_per_s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * faces_per_frame_total, benchmark::Counter::kIsRate);
  state.counters["queued_per_frame"] =
      static_cast<double>(drawn) / static_cast<double>(state.iterations());
}

void BM_TenBalls(benchmark::State& state) {
  static BallScene scene(false);
  place_balls(&scene.view, 1.0f);
  run_frames(state, &scene.view, 1000);
}
BENCHMARK(BM_TenBalls);

void BM_TenBallsFileCamera(benchmark::State& state) {
  static BallScene scene(true);
  place_balls(&scene.view, 1.0f);
  run_frames(state, &scene.view, 1000);
}
BENCHMARK(BM_TenBallsFileCamera);

// 200 small balls (20,000 faces) in a 20 x 10 grid filling the screen.
void BM_Stress20000(benchmark::State& state) {
  static View3D view;
  static bool ready = false;
  if (!ready) {
    view_init(&view);
    view_set_output(&view, kFbWidth, kFbHeight, 32);
    view.framebuffer = framebuffer;
    Object3D* ball = make_ball(4000.0f, 0xC0A060);
    view_add_object(&view, ball, -1);
    for (int i = 1; i < 200; ++i) object_clone(&view, ball);
    view_rewind(&view);
    int i = 0;
    while (Object3D* o = view_next_object(&view)) {
      o->position = {static_cast<float>((i % 20) - 10) * 9000.0f + 4500.0f,
                     static_cast<float>((i / 20) - 5) * 9000.0f + 4500.0f,
                     -200000.0f + static_cast<float>(i % 7) * 20000.0f};
      o->pending_rotation[1] = static_cast<float>(i % 5);
      ++i;
    }
    view.target = {0.0f, 0.0f, -1.0f};
    set_shade_range(80, 176);
    ready = true;
  }
  run_frames(state, &view, 20000);
}
BENCHMARK(BM_Stress20000);

}  // namespace
