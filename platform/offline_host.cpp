// The offline host: no window and no wall clock. Time is the number of presented frames at a
// fixed frame rate, so a run is the same on every machine, at whatever speed it computes.
#include "platform/offline.h"
#include "platform/platform.h"
#include "platform/viewport.h"

namespace {

OfflineConfig config;
int64_t frames = 0;
int64_t time_us = 0;
int width = 0;
int height = 0;
bool open = false;

int64_t time_of_frame(int64_t n) {
  const int fps = config.fps > 0 ? config.fps : 60;
  return n * 1000000 / fps;
}

void notify_time() {
  if (config.time_listener) config.time_listener(time_us, config.time_listener_user);
}

}  // namespace

void offline_configure(const OfflineConfig& c) {
  config = c;
  if (config.fps <= 0) config.fps = 60;
  frames = 0;
  time_us = 0;
}

int64_t offline_frames_presented() { return frames; }
int64_t offline_time_us() { return time_us; }
int offline_width() { return width; }
int offline_height() { return height; }
bool offline_is_open() { return open; }

int video_init(int mode, int /*ignored*/) {
  if (config.fail_init) return 1;
  if (!video_mode_size(mode, &width, &height)) return 1;
  open = true;
  notify_time();
  return 0;
}

int video_present(const uint32_t* fb) {
  if (config.sink) {
    const OfflineFrame frame{fb, width, height, frames, time_us};
    config.sink(frame, config.sink_user);
  }
  ++frames;
  time_us = time_of_frame(frames);
  notify_time();
  return 0;
}

int video_poll() { return config.frame_limit >= 0 && frames >= config.frame_limit ? 1 : 0; }

void video_shutdown() { open = false; }

int32_t clock_ticks() {
  // Rounded to the nearest 20 ms tick, like the wall clock of the SDL host.
  return static_cast<int32_t>((time_us + 10000) / 20000);
}

// Simulated time only moves with presents; the audio was mixed as the device started.
void platform_idle() {}
