// Each compositing primitive on a whole 320 x 240 frame, in ms per call.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/bench_setup.h"
#include "effects/compose.h"

namespace {

struct Frames {
  std::vector<uint32_t> a = synthetic::random_frame(1), b = synthetic::random_frame(2), dst = std::vector<uint32_t>(kFbPixels);
  std::vector<uint8_t> strips = synthetic::text_strip_images();
  Frames() { bench_effects_setup(); }
};

Frames& frames() {
  static Frames f;
  return f;
}

void BM_crossfade(benchmark::State& state) {
  auto& f = frames();
  for (auto _ : state) {
    crossfade(f.a.data(), f.b.data(), f.dst.data(), kFbPixels, 100);
    benchmark::DoNotOptimize(f.dst.data());
  }
}
BENCHMARK(BM_crossfade)->Unit(benchmark::kMillisecond);

void BM_blend_add(benchmark::State& state) {
  auto& f = frames();
  const int32_t ka = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    blend_add(f.a.data(), f.b.data(), f.dst.data(), kFbPixels, ka, 120);
    benchmark::DoNotOptimize(f.dst.data());
  }
}
BENCHMARK(BM_blend_add)->Arg(255)->Arg(256)->Unit(benchmark::kMillisecond);

void BM_blur_h(benchmark::State& state) {
  auto& f = frames();
  const int32_t r = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    blur_h(f.a.data(), f.dst.data(), 0, 0, 0, 0, kFbWidth, kFbHeight, kFbWidth, kFbHeight, r);
    benchmark::DoNotOptimize(f.dst.data());
  }
}
BENCHMARK(BM_blur_h)->Arg(1)->Arg(21)->Arg(110)->Unit(benchmark::kMillisecond);

void BM_blur_v(benchmark::State& state) {
  auto& f = frames();
  const int32_t r = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    blur_v(f.a.data(), f.dst.data(), 0, 0, 0, 0, kFbWidth, kFbHeight, kFbWidth, kFbHeight, r);
    benchmark::DoNotOptimize(f.dst.data());
  }
}
BENCHMARK(BM_blur_v)->Arg(1)->Arg(21)->Arg(110)->Unit(benchmark::kMillisecond);

void BM_text_draw(benchmark::State& state) {
  auto& f = frames();
  for (auto _ : state) {
    text_draw(6, 100, 5, 200, f.dst.data(), f.strips.data());
    benchmark::DoNotOptimize(f.dst.data());
  }
}
BENCHMARK(BM_text_draw)->Unit(benchmark::kMillisecond);

void BM_thumbnail(benchmark::State& state) {
  auto& f = frames();
  for (auto _ : state) {
    thumbnail(0, 0, f.a.data(), 1);
    thumbnail(120, 100, f.dst.data(), 0);
    benchmark::DoNotOptimize(f.dst.data());
  }
}
BENCHMARK(BM_thumbnail)->Unit(benchmark::kMillisecond);

}  // namespace
