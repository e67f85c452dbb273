// Milliseconds per call of the lens and zoom effects.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_setup.h"
#include "effects/effects_internal.h"
#include "effects/lens.h"
#include "effects/lens_overlay.h"
#include "effects/lens_tunnel.h"
#include "effects/zoom.h"

namespace {

void BM_lens_init(benchmark::State& state) {
  int32_t a = 1200;
  for (auto _ : state) {
    lens_init(a, 280);
    benchmark::DoNotOptimize(lens_map_u[0]);
    a ^= 1;
  }
}
BENCHMARK(BM_lens_init)->Unit(benchmark::kMillisecond);

void BM_colormap_init(benchmark::State& state) {
  for (auto _ : state) {
    colormap_init();
    benchmark::DoNotOptimize(colour_map[1]);
  }
}
BENCHMARK(BM_colormap_init)->Unit(benchmark::kMillisecond);

void BM_zoom_draw(benchmark::State& state) {
  colormap_init();
  std::vector<uint32_t> dst(kFbPixels);
  int32_t z = 100080;
  for (auto _ : state) {
    zoom_draw(dst.data(), z--, 5.0, colour_map, colour_map, colour_map);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(BM_zoom_draw)->Unit(benchmark::kMillisecond);

void BM_lens_overlay(benchmark::State& state) {
  lens_init(1200, 280);
  const std::vector<uint32_t> src = synthetic::random_frame(7);
  std::vector<uint32_t> fb(kFbPixels);
  int32_t t = 0;
  for (auto _ : state) {
    lens_overlay(t++, fb.data(), src.data());
    benchmark::DoNotOptimize(fb.data());
  }
}
BENCHMARK(BM_lens_overlay)->Unit(benchmark::kMillisecond);

void BM_lens_zoom_draw(benchmark::State& state) {
  colormap_init();
  std::vector<uint32_t> fb(kFbPixels);
  int32_t t = 0;
  for (auto _ : state) {
    lens_zoom_draw(fb.data(), t++);
    benchmark::DoNotOptimize(fb.data());
  }
}
BENCHMARK(BM_lens_zoom_draw)->Unit(benchmark::kMillisecond);

void BM_lens_tunnel_draw(benchmark::State& state) {
  bench_effects_setup();
  lens_init(500, 180);
  std::vector<uint32_t> fb(kFbPixels);
  int32_t t = 0;
  for (auto _ : state) {
    lens_tunnel_draw(fb.data(), t++);
    benchmark::DoNotOptimize(fb.data());
  }
}
BENCHMARK(BM_lens_tunnel_draw)->Unit(benchmark::kMillisecond);

}  // namespace
