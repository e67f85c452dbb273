// The SDL host: one window, one renderer, one streaming texture and one software surface for the
// whole run. Every frame is doubled into the surface (each pixel twice across, every other row
// left black for a scanline look), uploaded and stretched over the 4 : 3 viewport.
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "base/saturate.h"
#include "platform/platform.h"
#include "platform/sdl_host.h"
#include "platform/viewport.h"

namespace {

SDL_Window* window = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;
SDL_Surface* surface = nullptr;
Uint32 window_id = 0;
int logical_width = 0;
int logical_height = 0;

// The whole second of the first clock_ticks call; -1 until then.
int64_t clock_base = -1;

// Pacing. Renderers that really wait for the retrace pace the show by themselves; the software
// renderer (dummy and offscreen drivers, machines without accelerated graphics) returns from a
// present at once, so the show would run thousands of frames a second. Those are held to the
// display's refresh rate here, with a deadline per frame.
using PaceClock = std::chrono::steady_clock;
bool pacing = false;
int refresh_hz = 60;
PaceClock::duration frame_period{};
PaceClock::time_point pace_next{};
bool pace_started = false;

// Renderers that claim the retrace wait are watched over their first frames: if the median time
// between presents is well under the refresh period, the present does not wait after all.
constexpr int kProbeSkip = 8;      // the first frames include start-up work and buffer fill
constexpr int kProbeFrames = 31;   // odd, so the median is one sample
int64_t presents = 0;
PaceClock::time_point last_present{};
PaceClock::duration probe[kProbeFrames];
int probe_count = 0;

int display_refresh_rate() {
  SDL_DisplayMode mode;
  int hz = 0;
  if (SDL_GetWindowDisplayMode(window, &mode) == 0) hz = mode.refresh_rate;
  if (hz <= 0) {
    const int display = SDL_GetWindowDisplayIndex(window);
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0) hz = mode.refresh_rate;
  }
  // Unknown (0) or implausible rates fall back to 60 Hz.
  if (hz < 20 || hz > 1000) hz = 60;
  return hz;
}

bool renderer_lacks_retrace_wait() {
  SDL_RendererInfo info;
  if (SDL_GetRendererInfo(renderer, &info) != 0) return true;
  if (!(info.flags & SDL_RENDERER_PRESENTVSYNC)) return true;
  if (info.name && std::strcmp(info.name, "software") == 0) return true;
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0);
}

void pacing_start() {
  pacing = true;
  pace_started = false;
}

// Sleeps until this frame's deadline. A frame that is already late is shown at once, and
// after a long stall (a scene's set-up, a paused process) the schedule restarts from now
// instead of rushing frames out to catch up.
void pace_wait() {
  const PaceClock::time_point now = PaceClock::now();
  if (!pace_started) {
    pace_next = now;
    pace_started = true;
  }
  if (now < pace_next) {
    std::this_thread::sleep_until(pace_next);
  } else if (now - pace_next > frame_period) {
    pace_next = now;
  }
  pace_next += frame_period;
}

// Called after each present while the renderer is still trusted.
void probe_present() {
  const PaceClock::time_point now = PaceClock::now();
  ++presents;
  if (presents > kProbeSkip) {
    probe[probe_count++] = now - last_present;
    if (probe_count == kProbeFrames) {
      std::nth_element(probe, probe + kProbeFrames / 2, probe + kProbeFrames);
      if (probe[kProbeFrames / 2] * 4 < frame_period * 3) pacing_start();
      probe_count = 0;
    }
  }
  last_present = now;
}

}  // namespace

int video_init(int mode, int /*ignored*/) {
  int width;
  int height;
  if (!video_mode_size(mode, &width, &height)) return 1;
  if (SDL_Init(SDL_INIT_VIDEO) < 0) return 1;
  logical_width = width;
  logical_height = height;
  window = SDL_CreateWindow("Driftlight by Osk", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                            2 * width, 2 * height, SDL_WINDOW_RESIZABLE);
  if (!window) return 1;
  surface = SDL_CreateRGBSurfaceWithFormat(0, 2 * width, 2 * height, 32, SDL_PIXELFORMAT_RGB888);
  renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_PRESENTVSYNC);
  texture = SDL_CreateTextureFromSurface(renderer, surface);
  // Linear filtering for the stretch to the window; set once the texture exists.
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");
  window_id = SDL_GetWindowID(window);
  SDL_ShowCursor(0);

  refresh_hz = display_refresh_rate();
  frame_period = std::chrono::duration_cast<PaceClock::duration>(std::chrono::nanoseconds(
      static_cast<int64_t>(std::llround(1e9 / refresh_hz))));
  pacing = false;
  presents = 0;
  probe_count = 0;
  if (!renderer || renderer_lacks_retrace_wait()) pacing_start();
  return 0;
}

int video_present(const uint32_t* fb) {
  SDL_LockSurface(surface);
  auto* pixels = static_cast<uint8_t*>(surface->pixels);
  for (int y = 0; y < logical_height; ++y) {
    // Row 2y gets the doubled pixels; row 2y + 1 is never written and stays black.
    auto* out = reinterpret_cast<uint32_t*>(pixels + static_cast<size_t>(2 * y) * surface->pitch);
    const uint32_t* in = fb + static_cast<size_t>(y) * logical_width;
    for (int x = 0; x < logical_width; ++x) {
      out[2 * x] = in[x];
      out[2 * x + 1] = in[x];
    }
  }
  SDL_UnlockSurface(surface);
  SDL_UpdateTexture(texture, nullptr, surface->pixels, surface->pitch);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  if (pacing) pace_wait();
  SDL_RenderPresent(renderer);
  if (!pacing) probe_present();
  return 0;
}

namespace {

void toggle_fullscreen() {
  const Uint32 kept = SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP;
  SDL_SetWindowFullscreen(window, kept ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
  // Hidden on entering full screen, shown on leaving it.
  SDL_ShowCursor(kept ? 1 : 0);
}

void set_viewport(int w, int h) {
  const ViewportRect v = viewport_for(w, h);
  const SDL_Rect rect{v.x, v.y, v.w, v.h};
  SDL_RenderSetViewport(renderer, &rect);
}

}  // namespace

int video_poll() {
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_QUIT:
        return 1;
      case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_ESCAPE || event.key.keysym.sym == SDLK_q) return 1;
        if (event.key.keysym.sym == SDLK_f) toggle_fullscreen();
        break;
      case SDL_WINDOWEVENT:
        if (event.window.windowID == window_id && event.window.event == SDL_WINDOWEVENT_RESIZED)
          set_viewport(event.window.data1, event.window.data2);
        break;
      default:
        break;
    }
  }
  return 0;
}

void video_shutdown() {
  SDL_FreeSurface(surface);
  SDL_DestroyTexture(texture);
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
  SDL_Quit();
  surface = nullptr;
  texture = nullptr;
  renderer = nullptr;
  window = nullptr;
  window_id = 0;
  pacing = false;
}

int32_t clock_ticks() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  if (clock_base == -1) {
    clock_base = tv.tv_sec;
    return 0;
  }
  // Microseconds since the base second, in 20 ms ticks, rounded to the nearest tick. Done in
  // double so that a long run cannot overflow the product.
  const double ticks =
      (static_cast<double>(tv.tv_sec - clock_base) * 1000000.0 + tv.tv_usec) / 20000.0 + 0.5;
  return saturate_int32(ticks, -2147483648.0, 2147483647.0);
}

void platform_idle() { std::this_thread::yield(); }

SDL_Window* video_window() { return window; }
SDL_Renderer* video_renderer() { return renderer; }
bool video_pacing_active() { return pacing; }
int video_refresh_hz() { return refresh_hz; }
void video_pacing_probe_restart() {
  pacing = false;
  presents = 0;
  probe_count = 0;
}
