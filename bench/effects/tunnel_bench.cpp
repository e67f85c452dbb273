// The tunnel and the intro frame, in ms per call.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_setup.h"
#include "effects/tunnel.h"

namespace {

void BM_tunnel_draw(benchmark::State& state) {
  bench_effects_setup();
  std::vector<uint32_t> fb(kFbPixels);
  int32_t p = 0;
  for (auto _ : state) {
    tunnel_draw(fb.data(), p += 7);
    benchmark::DoNotOptimize(fb.data());
  }
}
BENCHMARK(BM_tunnel_draw)->Unit(benchmark::kMillisecond);

void BM_intro_draw(benchmark::State& state) {
  bench_effects_setup();
  static const std::vector<uint8_t> strips = synthetic::text_strip_images();
  std::vector<uint32_t> fb(kFbPixels);
  int32_t t = 200;
  for (auto _ : state) {
    intro_draw(fb.data(), t++ % 400, strips.data());
    benchmark::DoNotOptimize(fb.data());
  }
}
BENCHMARK(BM_intro_draw)->Unit(benchmark::kMillisecond);

void BM_tunnel_build(benchmark::State& state) {
  bench_effects_setup();
  static const std::vector<uint8_t> image = synthetic::portrait_image();
  for (auto _ : state) {
    tunnel_build_textures(tex_back, tex_front, image.data());
    tunnel_build_maps(tex_back, tex_front);
  }
}
BENCHMARK(BM_tunnel_build)->Unit(benchmark::kMillisecond);

}  // namespace
