// The offline host: the platform face over a simulated clock, for tests and the capture tool.
// Frames go to a sink instead of a window; the clock advances with the frame count.
#pragma once
#include <cstdint>

struct OfflineFrame {
  const uint32_t* pixels;  // logical width x height, 0x00RRGGBB
  int width;
  int height;
  int64_t index;    // 0 for the first presented frame
  int64_t time_us;  // simulated time at which the frame is shown
};

using OfflineSink = void (*)(const OfflineFrame& frame, void* user);
// Called whenever simulated time moves forward (at start-up and after every present), so the
// audio half can mix what the device would have consumed by then.
using OfflineTimeListener = void (*)(int64_t time_us, void* user);

struct OfflineConfig {
  int fps = 60;              // presented frames per simulated second
  int64_t frame_limit = -1;  // video_poll reports quit once this many frames were shown; -1 = never
  OfflineSink sink = nullptr;
  void* sink_user = nullptr;
  OfflineTimeListener time_listener = nullptr;
  void* time_listener_user = nullptr;
  bool fail_init = false;  // video_init fails (tests the "GFX failure" path)
};

// The simulated clock: time is the number of presented frames at a fixed frame rate, told to a
// listener whenever it moves. The offline host runs on it, and so does the web page's simulated
// mode (platform/web_host.cpp).
struct OfflineClock {
  int fps = 60;
  int64_t frames = 0;   // presented so far
  int64_t time_us = 0;  // frames * 1 s / fps
  OfflineTimeListener listener = nullptr;
  void* user = nullptr;
};

inline void offline_clock_reset(OfflineClock* c, int fps, OfflineTimeListener listener,
                                void* user) {
  *c = OfflineClock{fps > 0 ? fps : 60, 0, 0, listener, user};
}
// Tells the listener the time (at start-up, and after every present).
inline void offline_clock_notify(const OfflineClock* c) {
  if (c->listener) c->listener(c->time_us, c->user);
}
// A frame was presented: the time moves on by one frame.
inline void offline_clock_presented(OfflineClock* c) {
  ++c->frames;
  c->time_us = c->frames * 1000000 / c->fps;
  offline_clock_notify(c);
}
// The time rounded to the nearest 20 ms tick, like the wall clock of the SDL host.
inline int32_t offline_clock_ticks(const OfflineClock* c) {
  return static_cast<int32_t>((c->time_us + 10000) / 20000);
}

// Set before video_init; resets the simulated clock and the frame count.
void offline_configure(const OfflineConfig& config);
int64_t offline_frames_presented();
int64_t offline_time_us();

// The logical size chosen by video_init (0 x 0 before it), and whether the output is open
// (between a successful video_init and video_shutdown).
int offline_width();
int offline_height();
bool offline_is_open();
