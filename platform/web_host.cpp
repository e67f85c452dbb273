// The web page's host. Each present hands the show's 320 x 240 picture to a canvas of that size;
// the browser scales it to the centred 4 : 3 rectangle (nearest neighbour) and lays over it the
// scanlines, a one-pixel-wide canvas with a row per device pixel of that rectangle, made once per
// size from window_row_light (platform/window_picture.h) and blended by multiplying. So the
// page's work per frame is the same at every size, and the look is the window's. Each present
// then suspends the show until the browser's next display frame, so the scenes' blocking frame
// loops run one frame per refresh and the browser keeps its event loop (keys, audio) in between.
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

// The tallest scanline canvas; a taller rectangle gets this and the browser scales it.
constexpr int kMaxOutHeight = 8192;
// A simulated run draws on the canvas and lets the browser breathe this often (ms of work), not
// every frame: it runs many times faster than real time.
constexpr double kSimulatedYieldMs = 50.0;

WebConfig config;
int logical_width = 0;
int logical_height = 0;
// The picture as RGBA bytes in the canvas's order.
std::vector<uint32_t> canvas_pixels;
// Each row's light for the scanline canvas, as RGBA; made again only when the height changes.
std::vector<uint32_t> scanline_pixels;
// Counts the frames; a simulated run's time too (the offline host's clock).
OfflineClock sim_clock;
double opened_ms = 0;       // the page's clock at video_init
double resumed_ms = 0;      // when the show last got control back from a present
double last_yield_ms = 0;   // simulated runs: when the browser last had the thread
double clock_base_ms = -1;  // the page's clock at the first clock_ticks call; -1 until then

bool simulated() { return config.simulated_fps > 0; }

void show_canvas(const uint32_t* fb) {
  const size_t n = static_cast<size_t>(logical_width) * logical_height;
  canvas_pixels.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t p = fb[i];
    canvas_pixels[i] = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
  }
  web_canvas_put(canvas_pixels.data(), logical_width, logical_height);
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
  if (!web_canvas_open(width, height)) return 1;
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
  // The frame goes to the canvas first, so that the time reported for it is all of the page's
  // own work on it, the hand-over included.
  bool shown = false;
  if (!simulated() || start - last_yield_ms >= kSimulatedYieldMs) {
    show_canvas(fb);
    shown = true;
  }
  if (config.sink) {
    const int64_t time_us =
        simulated() ? sim_clock.time_us : static_cast<int64_t>((start - opened_ms) * 1000.0);
    const WebFrame frame{{fb, logical_width, logical_height, sim_clock.frames, time_us},
                         emscripten_get_now() - resumed_ms};
    config.sink(frame, config.sink_user);
  }
  offline_clock_presented(&sim_clock);
  if (simulated()) {
    if (shown) {
      web_wait_frame(1);
      last_yield_ms = emscripten_get_now();
    }
  } else {
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

// The scanlines for a rectangle h device pixels tall: h RGBA words, each row's light as grey.
// The page makes its scanline canvas from them when the size changes.
extern "C" EMSCRIPTEN_KEEPALIVE const uint32_t* web_scanlines(int h) {
  h = std::clamp(h, 1, kMaxOutHeight);
  scanline_pixels.resize(static_cast<size_t>(h));
  const int height = logical_height > 0 ? logical_height : 240;
  for (int y = 0; y < h; ++y)
    scanline_pixels[y] = 0xFF000000u | window_row_light(height, h, y) * 0x010101u;
  return scanline_pixels.data();
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
