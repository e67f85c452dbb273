// The blob field at the moments of its script, and single blobs, in ms per call.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "bench/bench_setup.h"
#include "effects/blobs.h"

namespace {

void BM_blobs_draw(benchmark::State& state) {
  bench_effects_setup();
  std::vector<uint32_t> fb(kFbPixels);
  const int32_t t = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    std::fill(fb.begin(), fb.end(), 0u);
    blobs_draw(fb.data(), t);
    benchmark::DoNotOptimize(fb.data());
  }
}
BENCHMARK(BM_blobs_draw)->Arg(100)->Arg(200)->Arg(325)->Arg(400)->Arg(700)->Arg(800)->Unit(benchmark::kMillisecond);

void BM_blob_draw(benchmark::State& state) {
  bench_effects_setup();
  std::vector<uint32_t> fb(kFbPixels);
  const int32_t size = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    blob_draw(fb.data(), size, 160, 120, 0x006F2A06);
    benchmark::DoNotOptimize(fb.data());
  }
}
BENCHMARK(BM_blob_draw)->Arg(30)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_blobs_init(benchmark::State& state) {
  static const std::vector<uint8_t> image = synthetic::portrait_b_image();
  for (auto _ : state) blobs_init(image.data());
}
BENCHMARK(BM_blobs_init)->Unit(benchmark::kMillisecond);

}  // namespace
