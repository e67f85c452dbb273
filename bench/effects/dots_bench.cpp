// The dot screen, in ms per call.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_setup.h"
#include "effects/dots.h"

namespace {

void BM_dots_render(benchmark::State& state) {
  bench_effects_setup();
  const std::vector<uint32_t> src = synthetic::random_frame(3);
  std::vector<uint32_t> dst(kFbPixels);
  for (auto _ : state) {
    dots_render(dst.data(), src.data(), 255);
    benchmark::DoNotOptimize(dst.data());
  }
}
BENCHMARK(BM_dots_render)->Unit(benchmark::kMillisecond);

void BM_dotscreen_draw(benchmark::State& state) {
  bench_effects_setup();
  std::vector<uint32_t> fb(kFbPixels);
  int32_t t = 0;
  for (auto _ : state) {
    dotscreen_draw(fb.data(), t++);
    benchmark::DoNotOptimize(fb.data());
  }
}
BENCHMARK(BM_dotscreen_draw)->Unit(benchmark::kMillisecond);

void BM_picture_fill(benchmark::State& state) {
  static const std::vector<uint8_t> image = synthetic::portrait_image();
  std::vector<uint32_t> buffer(2 * kFbPixels);
  for (auto _ : state) {
    picture_fill(buffer.data(), image.data());
    benchmark::DoNotOptimize(buffer.data());
  }
}
BENCHMARK(BM_picture_fill)->Unit(benchmark::kMillisecond);

}  // namespace
