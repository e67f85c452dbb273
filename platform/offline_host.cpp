// The offline host: no window and no wall sim_clock. Time is the number of presented frames at a
// fixed frame rate, so a run is the same on every machine, at whatever speed it computes.
#include "platform/offline.h"
#include "platform/platform.h"
#include "platform/viewport.h"

namespace {

OfflineConfig config;
OfflineClock sim_clock;
int width = 0;
int height = 0;
bool open = false;

}  // namespace

void offline_configure(const OfflineConfig& c) {
  config = c;
  if (config.fps <= 0) config.fps = 60;
  offline_clock_reset(&sim_clock, config.fps, config.time_listener, config.time_listener_user);
}

int64_t offline_frames_presented() { return sim_clock.frames; }
int64_t offline_time_us() { return sim_clock.time_us; }
int offline_width() { return width; }
int offline_height() { return height; }
bool offline_is_open() { return open; }

int video_init(int mode, int /*ignored*/) {
  if (config.fail_init) return 1;
  if (!video_mode_size(mode, &width, &height)) return 1;
  open = true;
  offline_clock_notify(&sim_clock);
  return 0;
}

int video_present(const uint32_t* fb) {
  if (config.sink) {
    const OfflineFrame frame{fb, width, height, sim_clock.frames, sim_clock.time_us};
    config.sink(frame, config.sink_user);
  }
  offline_clock_presented(&sim_clock);
  return 0;
}

int video_poll() {
  return config.frame_limit >= 0 && sim_clock.frames >= config.frame_limit ? 1 : 0;
}

void video_shutdown() { open = false; }

int32_t clock_ticks() { return offline_clock_ticks(&sim_clock); }

// Simulated time only moves with presents; the audio was mixed as the device started.
void platform_idle() {}

int video_start_choice() { return 1; }
bool platform_offer_silent_start() { return false; }
void platform_report_no_window() {}
