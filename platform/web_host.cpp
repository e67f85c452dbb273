// The web page's host. The picture goes to a canvas as the window shows it
// (platform/window_picture.h), drawn at the size in device pixels of the centred 4 : 3 rectangle
// the page lays the canvas out in (web_set_output), so that the browser does not scale it and
// the scanlines stay even at every size; 640 x 480 until the page says. Each present hands the
// frame to the canvas and then suspends the show until the browser's next display frame, so the
// scenes' blocking frame loops run one frame per refresh and the browser keeps its event loop
// (keys, audio) in between.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "platform/platform.h"
#include "platform/viewport.h"
#include "platform/web.h"
#include "platform/window_picture.h"

// The page's half, in platform/web_host.js.
extern "C" {
int web_canvas_open(int width, int height);
void web_canvas_put(const uint32_t* rgba, int width, int height);
void web_wait_frame(int quick);  // suspends until the next display frame, or a zero-delay task
void web_idle();                 // suspends for about a millisecond
int web_poll_quit();             // 1 once q or Escape was pressed
}

namespace {

// The largest canvas drawn at full size; a bigger rectangle gets this and the browser scales it.
constexpr int kMaxOutWidth = 3840;
constexpr int kMaxOutHeight = 2880;
// A simulated run draws on the canvas and lets the browser breathe this often (ms of work), not
// every frame: it runs many times faster than real time.
constexpr double kSimulatedYieldMs = 50.0;

WebConfig config;
int logical_width = 0;
int logical_height = 0;
// RGBA bytes in the canvas's order, out_width x out_height; made again only when that changes.
std::vector<uint32_t> canvas_pixels;
int out_width = 640;
int out_height = 480;
// Counts the frames; a simulated run's time too (the offline host's clock).
OfflineClock sim_clock;
double opened_ms = 0;       // the page's clock at video_init
double resumed_ms = 0;      // when the show last got control back from a present
double last_yield_ms = 0;   // simulated runs: when the browser last had the thread
double clock_base_ms = -1;  // the page's clock at the first clock_ticks call; -1 until then

bool simulated() { return config.simulated_fps > 0; }

void show_canvas(const uint32_t* fb) {
  canvas_pixels.resize(static_cast<size_t>(out_width) * out_height);
  window_picture(fb, logical_width, logical_height, out_width, out_height, WindowPixels::Rgba,
                 canvas_pixels.data(), out_width);
  web_canvas_put(canvas_pixels.data(), out_width, out_height);
}

}  // namespace

void web_configure(const WebConfig& c) {
  config = c;
  offline_clock_reset(&sim_clock, c.simulated_fps, c.time_listener, c.time_listener_user);
  clock_base_ms = -1;
}

int video_init(int mode, int /*ignored*/) {
  int width;
  int height;
  if (!video_mode_size(mode, &width, &height)) return 1;
  if (!web_canvas_open(out_width, out_height)) return 1;
  logical_width = width;
  logical_height = height;
  offline_clock_reset(&sim_clock, config.simulated_fps, config.time_listener,
                      config.time_listener_user);
  opened_ms = resumed_ms = last_yield_ms = emscripten_get_now();
  offline_clock_notify(&sim_clock);
  return 0;
}

int video_present(const uint32_t* fb) {
  const double start = emscripten_get_now();
  if (config.sink) {
    const int64_t time_us =
        simulated() ? sim_clock.time_us : static_cast<int64_t>((start - opened_ms) * 1000.0);
    const WebFrame frame{{fb, logical_width, logical_height, sim_clock.frames, time_us},
                         start - resumed_ms};
    config.sink(frame, config.sink_user);
  }
  offline_clock_presented(&sim_clock);
  if (simulated()) {
    if (emscripten_get_now() - last_yield_ms >= kSimulatedYieldMs) {
      show_canvas(fb);
      web_wait_frame(1);
      last_yield_ms = emscripten_get_now();
    }
  } else {
    show_canvas(fb);
    web_wait_frame(0);
  }
  resumed_ms = emscripten_get_now();
  return 0;
}

// Full screen is toggled by the page itself on the key press ("f"): browsers grant it only
// while the key event is being handled, not a frame later.
int video_poll() { return web_poll_quit(); }

void video_shutdown() {}

int32_t clock_ticks() {
  if (simulated()) return offline_clock_ticks(&sim_clock);
  const double now = emscripten_get_now();
  if (clock_base_ms < 0) {
    clock_base_ms = now;
    return 0;
  }
  const double ticks = (now - clock_base_ms) / 20.0 + 0.5;
  return static_cast<int32_t>(std::clamp(ticks, -2147483648.0, 2147483647.0));
}

void platform_idle() {
  if (!simulated()) web_idle();
}

// The size in device pixels of the rectangle the page shows the canvas in.
extern "C" EMSCRIPTEN_KEEPALIVE void web_set_output(int w, int h) {
  out_width = std::clamp(w, 1, kMaxOutWidth);
  out_height = std::clamp(h, 1, kMaxOutHeight);
}

// The 4 : 3 rectangle for a page of w x h CSS pixels, as x, y, width, height: the page lays the
// canvas out with the window's own rule.
extern "C" EMSCRIPTEN_KEEPALIVE const int* web_viewport(int w, int h) {
  static int rect[4];
  const ViewportRect r = viewport_for(w, h);
  rect[0] = r.x;
  rect[1] = r.y;
  rect[2] = r.w;
  rect[3] = r.h;
  return rect;
}

// The page asks its own questions before the program starts.
int video_start_choice() { return 1; }
bool platform_offer_silent_start() { return false; }
void platform_report_no_window() {}
