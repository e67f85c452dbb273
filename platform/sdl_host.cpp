// The SDL host: one window, one renderer, one texture. Each frame the show's picture goes to a
// streaming texture at its own size (320 x 240), which the renderer scales to the 4 : 3 viewport
// with nearest neighbour; over it the renderer lays the scanlines, each output row darkened by
// how lit it is (platform/window_picture.h) with a modulating blend, or filled with black where
// it is wholly dark. The scanlines are made once per viewport size, so the host's work per frame is
// the same at every window size: scaling and the scanlines are the renderer's (the graphics card's
// where there is one). At whole-number scales the window shows exactly window_picture; elsewhere
// every band is equally dark on average.
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include <SDL_syswm.h>

#include "assets/assets.h"
#include "assets/icon.h"
#include "base/saturate.h"
#include "platform/platform.h"
#include "platform/sdl_host.h"
#include "platform/viewport.h"
#include "platform/window_picture.h"

namespace {

SDL_Window* window = nullptr;
SDL_Renderer* renderer = nullptr;
SDL_Texture* texture = nullptr;  // the show's picture, logical size
// The scanlines for a viewport of scanlines_w x scanlines_h, made once per size: the output
// rows by their light (runs of rows, in viewport coordinates). Light 0 is filled with black,
// light 1 to 254 modulates the picture (one fill in that grey per light that occurs, a handful
// at any scale), light 255 leaves it alone. Only the partly lit rows pay for blending, which a
// renderer without a graphics card does pixel by pixel; at whole-number scales there are none.
int scanlines_w = 0;
int scanlines_h = 0;
std::vector<SDL_Rect> rows_by_light[256];
std::vector<int> dim_lights;  // the lights from 1 to 254 that occur
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
constexpr int kProbeSkip = 8;     // the first frames include start-up work and buffer fill
constexpr int kProbeFrames = 31;  // odd, so the median is one sample
int64_t presents = 0;
PaceClock::time_point last_present{};
bool probing = true;  // off once the pacing was set by hand
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

// SDL's drivers that draw into memory only: "offscreen" (which SDL falls back to when no display
// can be opened) and "dummy" (only when asked for by name).
bool video_driver_draws_nowhere() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver && (std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0);
}

// Whether the user chose the video driver (SDL_VIDEODRIVER, or the same hint set in-process).
bool video_driver_named() {
  const char* hint = SDL_GetHint(SDL_HINT_VIDEODRIVER);
  return hint && *hint;
}

bool renderer_lacks_retrace_wait() {
  SDL_RendererInfo info;
  if (SDL_GetRendererInfo(renderer, &info) != 0) return true;
  if (!(info.flags & SDL_RENDERER_PRESENTVSYNC)) return true;
  if (info.name && std::strcmp(info.name, "software") == 0) return true;
  return video_driver_draws_nowhere();
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

// Both textures are scaled with nearest neighbour: the picture's pixels stay sharp squares and
// each output row takes exactly one row of light.
void make_picture_texture() {
  SDL_DestroyTexture(texture);
  texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                              logical_width, logical_height);
  if (texture) SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
}

void make_scanlines(int w, int h) {
  scanlines_w = w;
  scanlines_h = h;
  for (std::vector<SDL_Rect>& rows : rows_by_light) rows.clear();
  dim_lights.clear();
  for (int y = 0; y < h;) {
    const int light = window_row_light(logical_height, h, y);
    int end = y + 1;
    while (end < h && window_row_light(logical_height, h, end) == light) ++end;
    if (light != 0 && light != 255 && rows_by_light[light].empty()) dim_lights.push_back(light);
    rows_by_light[light].push_back({0, y, w, end - y});
    y = end;
  }
}

// Lays the scanlines over the picture just copied.
void draw_scanlines() {
  const std::vector<SDL_Rect>& dark = rows_by_light[0];
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  if (!dark.empty()) SDL_RenderFillRects(renderer, dark.data(), static_cast<int>(dark.size()));
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_MOD);
  for (const int light : dim_lights) {
    const std::vector<SDL_Rect>& rows = rows_by_light[light];
    const Uint8 v = static_cast<Uint8>(light);
    SDL_SetRenderDrawColor(renderer, v, v, v, 255);
    SDL_RenderFillRects(renderer, rows.data(), static_cast<int>(rows.size()));
  }
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
}

void set_viewport(int w, int h) {
  const ViewportRect v = viewport_for(w, h);
  const SDL_Rect rect{v.x, v.y, v.w, v.h};
  SDL_RenderSetViewport(renderer, &rect);
}

// The viewport follows the size the renderer really draws to, checked at every present. A
// window manager announces a new size with a resize event, but a bare X server, a mode change
// or SDL itself (which resets the viewport when the window's size changes) may not.
void fit_viewport() {
  int w = 0;
  int h = 0;
  if (SDL_GetRendererOutputSize(renderer, &w, &h) != 0) return;
  const ViewportRect v = viewport_for(w, h);
  SDL_Rect current;
  SDL_RenderGetViewport(renderer, &current);
  if (current.x != v.x || current.y != v.y || current.w != v.w || current.h != v.h)
    set_viewport(w, h);
}

// Full screen. The f key only changes what the viewer wants; the change is made once the event
// queue is drained, and the next one only after the window has taken the last (or after a short
// wait), so a burst of presses leaves at most one change under way and the frame loop never
// works through a backlog of them. A quit found in the same queue wins over them all.
constexpr Uint64 kModeChangeSettleMs = 250;
bool fullscreen_wanted = false;
bool mode_change_pending = false;
Uint64 mode_change_started = 0;

// Full screen made by hand (see below): the window moved over its whole display, and the place
// and size it had before.
bool fullscreen_by_hand = false;
SDL_Rect windowed_rect{};

// The start screen's answer (video_start_choice); the show itself never reads it.
int start_choice = 0;

// Desktop full screen on X11 is a request to the window manager. On a bare X server nobody
// answers it: SDL waits 100 ms for an answer, then takes the window to be as large as the
// display while it keeps its size, so the picture is drawn for a size the window does not have.
// A window manager that takes such requests announces itself on the root window. Xlib is the
// copy SDL has loaded, looked up rather than linked, so the program still starts without X.
void* xlib = nullptr;

bool window_manager_takes_fullscreen() {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
  if (!xlib) xlib = SDL_LoadObject("libX11.so.6");
  using InternAtomFn = Atom (*)(Display*, const char*, Bool);
  using GetWindowPropertyFn = int (*)(Display*, Window, Atom, long, long, Bool, Atom, Atom*, int*,
                                      unsigned long*, unsigned long*, unsigned char**);
  using FreeFn = int (*)(void*);
  const auto intern_atom =
      reinterpret_cast<InternAtomFn>(xlib ? SDL_LoadFunction(xlib, "XInternAtom") : nullptr);
  const auto get_property = reinterpret_cast<GetWindowPropertyFn>(
      xlib ? SDL_LoadFunction(xlib, "XGetWindowProperty") : nullptr);
  const auto free_data = reinterpret_cast<FreeFn>(xlib ? SDL_LoadFunction(xlib, "XFree") : nullptr);
  if (!intern_atom || !get_property || !free_data) return true;  // as before: leave it to SDL

  Display* display = info.info.x11.display;
  // An atom no client has ever made cannot be on the root window.
  const Atom check = intern_atom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  const bool announced =
      get_property(display, DefaultRootWindow(display), check, 0, 1, False, AnyPropertyType, &type,
                   &format, &items, &after, &data) == Success &&
      data && items == 1;
  if (data) free_data(data);
  return announced;
}

bool is_fullscreen() {
  return fullscreen_by_hand || (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN_DESKTOP);
}

void set_fullscreen(bool on) {
  SDL_Rect bounds;
  if (fullscreen_by_hand) {
    // Back to the window as it was, whoever manages the desktop now.
    SDL_SetWindowSize(window, windowed_rect.w, windowed_rect.h);
    SDL_SetWindowPosition(window, windowed_rect.x, windowed_rect.y);
    fullscreen_by_hand = false;
  } else if (on && !window_manager_takes_fullscreen() &&
             SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(window), &bounds) == 0) {
    // No one to ask: move the window over the display ourselves. Without a window manager the
    // server does it at once, and SDL learns the new size as for any resize.
    SDL_GetWindowPosition(window, &windowed_rect.x, &windowed_rect.y);
    SDL_GetWindowSize(window, &windowed_rect.w, &windowed_rect.h);
    SDL_SetWindowPosition(window, bounds.x, bounds.y);
    SDL_SetWindowSize(window, bounds.w, bounds.h);
    SDL_RaiseWindow(window);
    fullscreen_by_hand = true;
  } else {
    SDL_SetWindowFullscreen(window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  }
  // Hidden on entering full screen, shown on leaving it.
  SDL_ShowCursor(on ? 0 : 1);
}

// The program's icon on the window (what task bars and window switchers show), drawn from the
// embedded portrait like the installed icon files.
void set_window_icon() {
  static uint8_t drawn[kIconSize * kIconSize * 4];
  static uint8_t icon[kWindowIconSize * kWindowIconSize * 4];
  icon_draw(portrait, nullptr, drawn);
  icon_shrink(drawn, kWindowIconSize, icon);
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormatFrom(icon, kWindowIconSize, kWindowIconSize, 32,
                                                      kWindowIconSize * 4, SDL_PIXELFORMAT_RGBA32);
  if (!s) return;
  SDL_SetWindowIcon(window, s);
  SDL_FreeSurface(s);
}

}  // namespace

int video_init(int mode, int /*ignored*/) {
  int width;
  int height;
  if (!video_mode_size(mode, &width, &height)) return 1;
  if (SDL_Init(SDL_INIT_VIDEO) < 0) return 1;
  // Without a display SDL still opens a window, in memory, and the show would play to nobody
  // and end with success. Unless that driver was asked for, there is no window to show.
  if (video_driver_draws_nowhere() && !video_driver_named()) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return 1;
  }
  logical_width = width;
  logical_height = height;
  window = SDL_CreateWindow("Driftlight by Osk", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                            2 * width, 2 * height, SDL_WINDOW_RESIZABLE);
  if (!window) return 1;
  set_window_icon();
  renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_PRESENTVSYNC);
  make_picture_texture();
  window_id = SDL_GetWindowID(window);
  SDL_ShowCursor(0);
  fullscreen_wanted = false;
  mode_change_pending = false;
  fullscreen_by_hand = false;

  refresh_hz = display_refresh_rate();
  frame_period = std::chrono::duration_cast<PaceClock::duration>(
      std::chrono::nanoseconds(static_cast<int64_t>(std::llround(1e9 / refresh_hz))));
  pacing = false;
  probing = true;
  presents = 0;
  probe_count = 0;
  if (!renderer || renderer_lacks_retrace_wait()) pacing_start();
  return 0;
}

void video_present_stage(const uint32_t* fb) {
  fit_viewport();
  SDL_Rect v;
  SDL_RenderGetViewport(renderer, &v);
  if (v.h > 0 && (v.w != scanlines_w || v.h != scanlines_h)) make_scanlines(v.w, v.h);
  if (texture) SDL_UpdateTexture(texture, nullptr, fb, logical_width * 4);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  draw_scanlines();
}

void video_present_show() {
  if (pacing) pace_wait();
  SDL_RenderPresent(renderer);
  if (!pacing && probing) probe_present();
}

int video_present(const uint32_t* fb) {
  video_present_stage(fb);
  video_present_show();
  return 0;
}

int video_poll() {
  // Presses while a change is under way add to the wish; otherwise the wish starts from the
  // window as it is (a window manager may have changed it on its own).
  if (!mode_change_pending) fullscreen_wanted = is_fullscreen();
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_QUIT:
        return 1;
      case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_ESCAPE || event.key.keysym.sym == SDLK_q) return 1;
        if (event.key.keysym.sym == SDLK_f) fullscreen_wanted = !fullscreen_wanted;
        if (event.key.keysym.sym == SDLK_RETURN || event.key.keysym.sym == SDLK_KP_ENTER)
          start_choice = 1;
        if (event.key.keysym.sym == SDLK_g) start_choice = 2;
        break;
      case SDL_MOUSEBUTTONDOWN:
        if (event.button.button == SDL_BUTTON_LEFT) start_choice = 1;
        break;
      case SDL_WINDOWEVENT:
        if (event.window.windowID != window_id) break;
        if (event.window.event == SDL_WINDOWEVENT_RESIZED)
          set_viewport(event.window.data1, event.window.data2);
        // The window has taken the size of the last mode change.
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) mode_change_pending = false;
        break;
      case SDL_RENDER_DEVICE_RESET:
        // The renderer's textures are gone (Direct3D after a lost device): made again.
        make_picture_texture();
        break;
      default:
        break;
    }
  }
  if (mode_change_pending && SDL_GetTicks64() - mode_change_started >= kModeChangeSettleMs)
    mode_change_pending = false;
  if (!mode_change_pending && fullscreen_wanted != is_fullscreen()) {
    set_fullscreen(fullscreen_wanted);
    mode_change_pending = true;
    mode_change_started = SDL_GetTicks64();
  }
  return 0;
}

void video_shutdown() {
  SDL_DestroyTexture(texture);
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
  SDL_Quit();
  texture = nullptr;
  scanlines_w = scanlines_h = 0;
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
  probing = true;
  presents = 0;
  probe_count = 0;
}

void video_set_pacing(bool on) {
  pacing = on;
  pace_started = false;
  probing = false;
}

int video_start_choice() {
  const int choice = start_choice;
  start_choice = 0;
  return choice;
}

// The message boxes need no window of ours and no SDL_Init: SDL opens the display for them
// itself, and without one they fail at once and say nothing.
bool platform_offer_silent_start() {
  enum { kQuit, kSilent };
  const SDL_MessageBoxButtonData buttons[] = {
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, kQuit, "Quit"},
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, kSilent, "Play without sound"},
  };
  const SDL_MessageBoxData box{
      SDL_MESSAGEBOX_WARNING, nullptr, "Driftlight: no sound",
      // Lines broken by hand: SDL's own message box on X11 does not wrap them.
      "Driftlight cannot play its music: no sound device could be opened.\n\n"
      "Check that the sound server (PipeWire or PulseAudio) is running\n"
      "and that no other program holds the sound card alone,\n"
      "then start Driftlight again. Or play the show without sound now.",
      SDL_arraysize(buttons), buttons, nullptr};
  int chosen = kQuit;
  if (SDL_ShowMessageBox(&box, &chosen) != 0 || chosen != kSilent) return false;
  // The audio subsystem may have started with a driver that then could not open its device:
  // start it again on the silent one, whatever SDL_AUDIODRIVER asks for.
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
  return true;
}

void platform_report_no_window() {
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Driftlight: no window",
                           "Driftlight cannot open its window: the display refused it\n"
                           "or offers no graphics the show can draw with.\n\n"
                           "Start Driftlight again; if it fails again,\n"
                           "check the graphics drivers.",
                           nullptr);
}
