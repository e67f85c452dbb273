// Start-up and per-frame costs of the 3D scene data: reading the embedded scene file and the
// stress files, smoothing normals, and placing and drawing the ten balls.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "assets/assets.h"
#include "scene3d/bounce.h"
#include "scene3d/mesh.h"
#include "scene3d/reader3ds.h"
#include "tests/scene3d/stress_files.h"

namespace {

// Loads the file's camera (when asked) and objects into a fresh view, freed outside the timing.
// The engine stays up through a view of its own, so that no iteration pays for its tables.
void load_repeatedly(benchmark::State& state, const std::vector<uint8_t>& bytes, bool camera) {
  View3D engine{};
  view_init(&engine);
  for (auto _ : state) {
    View3D view{};
    view_init(&view);
    if (camera) benchmark::DoNotOptimize(load_scene_camera(bytes.data(), bytes.size(), 1, &view));
    benchmark::DoNotOptimize(load_scene_objects(bytes.data(), bytes.size(), &view));
    state.PauseTiming();
    view_free(&view);
    view_release(&view);
    state.ResumeTiming();
  }
  view_free(&engine);
  view_release(&engine);
  // Seconds per megabyte of file: a load that is linear in the file's size keeps this flat.
  state.counters["s_per_MB"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * static_cast<double>(bytes.size()) / 1e6,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_LoadEmbeddedScene(benchmark::State& state) {
  load_repeatedly(state, std::vector<uint8_t>(scene_3ds, scene_3ds + scene_3ds_size), true);
}
BENCHMARK(BM_LoadEmbeddedScene);

// 20,000 nodes naming one small mesh, 10,000 meshes with a node each, and 1,000 nodes naming
// one 32,767-vertex mesh (refused at the vertex limit).
void BM_LoadManyNodes(benchmark::State& state) {
  load_repeatedly(state, stress3ds::many_nodes(), false);
}
BENCHMARK(BM_LoadManyNodes)->Unit(benchmark::kMillisecond);

void BM_LoadManyObjects(benchmark::State& state) {
  load_repeatedly(state, stress3ds::many_objects(), false);
}
BENCHMARK(BM_LoadManyObjects)->Unit(benchmark::kMillisecond);

void BM_LoadOneMeshManyNodes(benchmark::State& state) {
  load_repeatedly(state, stress3ds::one_mesh_many_nodes(), false);
}
BENCHMARK(BM_LoadOneMeshManyNodes)->Unit(benchmark::kMillisecond);

void BM_ComputeNormals(benchmark::State& state) {
  View3D view{};
  view_init(&view);
  load_scene_objects(scene_3ds, scene_3ds_size, &view);
  Object3D* ball = view.objects->first != nullptr ? view.objects->first->object : nullptr;
  for (auto _ : state) {
    if (ball != nullptr) benchmark::DoNotOptimize(object_compute_normals(ball));
  }
  view_free(&view);
  view_release(&view);
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
