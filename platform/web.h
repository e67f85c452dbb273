// The web page's host: the platform face over a canvas, the browser's key events and its
// monotonic clock, with every present yielding to the browser until its next display frame.
// Asked to, it runs on the offline host's terms instead: a simulated clock at a fixed frame
// rate, so that the page computes the same frames as the native program.
#pragma once
#include <cstdint>

struct WebFrame {
  const uint32_t* pixels;  // logical width x height, 0x00RRGGBB
  int width;
  int height;
  int64_t index;           // 0 for the first presented frame
  int64_t time_us;         // simulated time, or the page's clock since video_init
  double work_ms;          // time the show spent on this frame, since the previous present returned
};

using WebSink = void (*)(const WebFrame& frame, void* user);
// Called whenever simulated time moves forward (at start-up and after every present).
using WebTimeListener = void (*)(int64_t time_us, void* user);

struct WebConfig {
  int simulated_fps = 0;  // 0: live, paced by the display; else frames per simulated second
  WebSink sink = nullptr;
  void* sink_user = nullptr;
  WebTimeListener time_listener = nullptr;
  void* time_listener_user = nullptr;
};

// Set before video_init.
void web_configure(const WebConfig& config);
