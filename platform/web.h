// The web page's host: the platform face over a canvas, the browser's key events and its
// monotonic clock, with every present yielding to the browser until its next display frame.
// Asked to, it runs on the offline host's terms instead: a simulated clock at a fixed frame
// rate, so that the page computes the same frames as the native program.
#pragma once
#include <cstdint>

#include "platform/offline.h"

// A presented frame as the offline host reports one (its time is the page's clock when live),
// with the time the show spent on it since the previous present returned.
struct WebFrame {
  OfflineFrame frame;
  double work_ms;
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
