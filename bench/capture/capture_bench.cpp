// The capture's speed as a multiple of real time: the show alone, and the show encoded at each
// documented setting (the defaults, --web, and the window's own 640 x 480 at 4:2:0 for
// comparison), over the first POSITION positions of the show (the intro and the tunnels).
//
// x_real_time is seconds of show per second of wall clock: what the encoder's threads add runs
// beside the show, so only the wall clock tells whether a capture keeps up. cpu_per_show_s is
// the CPU time of every thread per second of show: above 2 it cannot keep up on two cores.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/show_run.h"
#include "tools/capture/encoder.h"

namespace {

constexpr int kFps = 50;

struct Setting {
  const char* name;
  bool encode;
  int scale;
  Chroma chroma;
};

const Setting kSettings[] = {
    {"render only", false, 4, Chroma::k444},
    {"defaults: 1280x960 4:4:4", true, 4, Chroma::k444},
    {"--web: 2560x1920 4:2:0", true, 8, Chroma::k420},
    {"window: 640x480 4:2:0", true, 2, Chroma::k420},
};

double process_cpu_seconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

void BM_Capture(benchmark::State& state) {
  const Setting& s = kSettings[state.range(0)];
  const int32_t until = static_cast<int32_t>(state.range(1));
  state.SetLabel(s.name);
  const std::string path = "/tmp/capture_bench_" + std::to_string(state.range(0)) + ".mp4";
  double shown = 0, wall = 0, cpu = 0;
  for (auto _ : state) {
    EncoderSettings settings;
    settings.path = path;
    settings.fps = kFps;
    settings.scale = s.scale;
    settings.chroma = s.chroma;
    std::string error;
    if (s.encode && !encoder_open(settings, &error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    int64_t frames = 0;
    ShowRunOptions run;
    run.fps = kFps;
    run.keep_records = false;
    run.hash_frames = false;
    run.on_frame = [&](const FrameRecord& r, const uint32_t* pixels) {
      if (r.position >= until) return false;
      ++frames;
      if (s.encode) encoder_video(pixels);
      return true;
    };
    if (s.encode)
      run.on_audio = [](const int16_t* samples, int count) { encoder_audio(samples, count); };
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = process_cpu_seconds();
    show_run_offline(run);
    if (s.encode && !encoder_close(&error)) state.SkipWithError(error.c_str());
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    cpu += process_cpu_seconds() - c0;
    shown += static_cast<double>(frames) / kFps;
  }
  std::remove(path.c_str());
  state.counters["x_real_time"] = shown / wall;
  state.counters["cpu_per_show_s"] = cpu / shown;
}

// Whole runs are long: one iteration each, timed by the wall clock.
BENCHMARK(BM_Capture)
    ->ArgsProduct({{0, 1, 2, 3}, {300}})
    ->ArgNames({"setting", "until"})
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kSecond);

// The picture for the encoder straight from the 320 x 240 frame: one conversion per show pixel,
// then copies, and the scanline rows filled with black.
void BM_FrameToYcc(benchmark::State& state) {
  const Setting& s = kSettings[state.range(0)];
  const int w = 320 * s.scale, h = 240 * s.scale;
  const int cw = s.chroma == Chroma::k444 ? w : w / 2, ch = s.chroma == Chroma::k444 ? h : h / 2;
  std::vector<uint32_t> frame(320 * 240);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint32_t>(i * 2654435761u);
  std::vector<uint8_t> y(w * h), cb(cw * ch), cr(cw * ch);
  uint8_t* const planes[3] = {y.data(), cb.data(), cr.data()};
  const int linesize[3] = {w, cw, cw};
  state.SetLabel(s.name);
  for (auto _ : state) {
    frame_to_ycc(frame.data(), s.scale, s.chroma, planes, linesize);
    benchmark::DoNotOptimize(y.data());
  }
}
BENCHMARK(BM_FrameToYcc)->DenseRange(1, 3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
