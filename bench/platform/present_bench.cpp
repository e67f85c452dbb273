// Presentation at three window sizes (a 640 x 480 window, a 1080p screen's 4 : 3 viewport, a
// 4K screen's), on SDL's offscreen driver and software renderer, so that it runs without a
// display:
//   WindowPicture  the picture drawn at the window's size by the CPU: what the host did per frame
//                  before the renderer scaled it;
//   HostOwnWork    what the host does per frame now, in processor time: the 320 x 240 picture
//                  uploaded, its copy and the scanlines' fills queued (the renderer batches them
//                  until the present);
//   SoftwareWhole  the whole present on the software renderer, the renderer's scaling and
//                  blending included: what a machine without a graphics card pays on its CPU.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "platform/sdl_host.h"
#include "platform/window_picture.h"

namespace {

double thread_seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

std::vector<uint32_t> picture() {
  std::vector<uint32_t> fb(320 * 240);
  for (int i = 0; i < 320 * 240; ++i) fb[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
  return fb;
}

// The host opened once, its window set to w x h (4 : 3, so the viewport is the whole window)
// and one frame shown at that size, so that the scanlines are made before anything is timed.
bool host_at(int w, int h, const std::vector<uint32_t>& fb) {
  static const bool opened = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_RENDER_DRIVER", "software", 1);
    // As with a graphics card's renderer, which batches by default: the draws run at the present.
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    if (video_init(1, 0) != 0) return false;
    video_set_pacing(false);
    return true;
  }();
  if (!opened) return false;
  SDL_SetWindowSize(video_window(), w, h);
  SDL_PumpEvents();
  video_present(fb.data());
  return true;
}

void WindowPicture(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0));
  const int h = static_cast<int>(state.range(1));
  const std::vector<uint32_t> fb = picture();
  std::vector<uint32_t> out(static_cast<size_t>(w) * h);
  for (auto _ : state) {
    window_picture(fb.data(), 320, 240, w, h, WindowPixels::Xrgb, out.data(), w);
    benchmark::DoNotOptimize(out.data());
  }
}

void HostOwnWork(benchmark::State& state) {
  const std::vector<uint32_t> fb = picture();
  if (!host_at(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), fb)) {
    state.SkipWithError("no SDL window on the offscreen driver");
    return;
  }
  // Each frame starts as after the last present: the software renderer's present has just
  // walked through the whole window (25 MB at the largest size), a graphics card's through
  // other memory of the show's. Every size starts from the same state: the processor's own
  // caches (2 MB here) written over, then the show's picture read, as the show just drew it.
  std::vector<uint32_t> other(2 * 1024 * 1024);
  for (auto _ : state) {
    for (uint32_t& v : other) v += 1;
    benchmark::DoNotOptimize(other.data());
    uint32_t sum = 0;
    for (uint32_t p : fb) sum += p;
    benchmark::DoNotOptimize(sum);
    // The thread's processor time: on a shared machine the wall clock also counts other work.
    const double start = thread_seconds();
    video_present_stage(fb.data());
    state.SetIterationTime(thread_seconds() - start);
    video_present_show();
  }
}

void SoftwareWhole(benchmark::State& state) {
  const std::vector<uint32_t> fb = picture();
  if (!host_at(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), fb)) {
    state.SkipWithError("no SDL window on the offscreen driver");
    return;
  }
  for (auto _ : state) video_present(fb.data());
}

void sizes(benchmark::internal::Benchmark* b) {
  b->Args({640, 480})->Args({1440, 1080})->Args({2880, 2160})->Unit(benchmark::kMillisecond);
}

BENCHMARK(WindowPicture)->Apply(sizes);
// A fixed count: each timed stage is followed by an untimed software present that costs far more.
BENCHMARK(HostOwnWork)->Apply(sizes)->UseManualTime()->Iterations(300);
BENCHMARK(SoftwareWhole)->Apply(sizes)->UseRealTime()->Iterations(50);

}  // namespace

BENCHMARK_MAIN();
