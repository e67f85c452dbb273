// Start-up and per-frame costs of the 3D scene data: reading the embedded scene file,
// smoothing its normals, and placing and drawing the ten balls.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "assets/assets.h"
#include "scene3d/bounce.h"
#include "scene3d/mesh.h"
#include "scene3d/reader3ds.h"

namespace {

void BM_LoadEmbeddedScene(benchmark::State& state) {
  View3D view{};
  view_init(&view);
  for (auto _ : state) {
    benchmark::DoNotOptimize(load_scene_camera(scene_3ds, scene_3ds_size, 1, &view));
    benchmark::DoNotOptimize(load_scene_objects(scene_3ds, scene_3ds_size, &view));
    free_view(&view);
  }
}
BENCHMARK(BM_LoadEmbeddedScene);

void BM_ComputeNormals(benchmark::State& state) {
  View3D view{};
  view_init(&view);
  load_scene_objects(scene_3ds, scene_3ds_size, &view);
  Object3D* ball = view.objects->first != nullptr ? view.objects->first->object : nullptr;
  for (auto _ : state) {
    if (ball != nullptr) benchmark::DoNotOptimize(object_compute_normals(ball));
  }
  free_view(&view);
}
BENCHMARK(BM_ComputeNormals);

void BM_BounceFrame(benchmark::State& state) {
  static uint32_t framebuffer[320 * 240];
  bounce_scene_init(framebuffer);
  int32_t t = 0;
  for (auto _ : state) {
    bounce_scene_frame(t++);
    benchmark::DoNotOptimize(framebuffer[160 * 320 + 120]);
  }
}
BENCHMARK(BM_BounceFrame);

}  // namespace
