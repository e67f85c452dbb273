// The SDL host on SDL's dummy video driver: a real window, renderer and event queue, no display.
#include <gtest/gtest.h>

#include <sys/time.h>
#include <chrono>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "platform/sdl_host.h"
#include "platform/viewport.h"
#include "platform/window_picture.h"

namespace {

class SdlHost : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(video_init(1, 0), 0);
    // Drop whatever the window announced about itself on opening.
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
  void TearDown() override { video_shutdown(); }

  static void push_key(Uint32 type, SDL_Keycode sym) {
    SDL_Event e{};
    e.type = type;
    e.key.windowID = SDL_GetWindowID(video_window());
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = sym;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }
  static void push_window_event(Uint32 window_id, Uint8 code, int w, int h) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = window_id;
    e.window.event = code;
    e.window.data1 = w;
    e.window.data2 = h;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }
  static int queued() {
    SDL_PumpEvents();
    return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
};

TEST_F(SdlHost, OpensTheWindowDoubledTitledAndWithoutPointer) {
  int w = 0, h = 0;
  SDL_GetWindowSize(video_window(), &w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_STREQ(SDL_GetWindowTitle(video_window()), "Driftlight by Osk");
  EXPECT_TRUE(SDL_GetWindowFlags(video_window()) & SDL_WINDOW_RESIZABLE);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
}

TEST_F(SdlHost, QuitsOnEscapeAndQKeyDownOnly) {
  struct Case {
    Uint32 type;
    SDL_Keycode sym;
    int quit;
  };
  const Case cases[] = {
      {SDL_KEYDOWN, SDLK_ESCAPE, 1}, {SDL_KEYDOWN, SDLK_q, 1}, {SDL_KEYUP, SDLK_ESCAPE, 0},
      {SDL_KEYUP, SDLK_q, 0},        {SDL_KEYDOWN, SDLK_a, 0}, {SDL_KEYDOWN, SDLK_SPACE, 0},
      {SDL_KEYDOWN, SDLK_RETURN, 0}, {SDL_KEYUP, SDLK_f, 0},
  };
  for (const Case& c : cases) {
    push_key(c.type, c.sym);
    EXPECT_EQ(video_poll(), c.quit) << "type " << c.type << " key " << c.sym;
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  EXPECT_EQ(video_poll(), 1);
}

TEST_F(SdlHost, QuitLeavesLaterEventsQueued) {
  push_key(SDL_KEYUP, SDLK_a);
  push_key(SDL_KEYDOWN, SDLK_q);
  push_key(SDL_KEYDOWN, SDLK_a);
  push_key(SDL_KEYDOWN, SDLK_ESCAPE);
  EXPECT_EQ(video_poll(), 1);
  EXPECT_EQ(queued(), 2);
  EXPECT_EQ(video_poll(), 1);
  EXPECT_EQ(video_poll(), 0);
  EXPECT_EQ(queued(), 0);
}

TEST_F(SdlHost, FTwiceReturnsToAWindowWithThePointerShown) {
  push_key(SDL_KEYDOWN, SDLK_f);
  EXPECT_EQ(video_poll(), 0);
  EXPECT_EQ(SDL_GetWindowFlags(video_window()) & SDL_WINDOW_FULLSCREEN_DESKTOP,
            static_cast<Uint32>(SDL_WINDOW_FULLSCREEN_DESKTOP));
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);

  push_key(SDL_KEYDOWN, SDLK_f);
  EXPECT_EQ(video_poll(), 0);
  EXPECT_EQ(SDL_GetWindowFlags(video_window()) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

// Full-screen requests are made once the queue is drained, so a burst of presses is one mode
// change at most, and a quit in the same queue wins over them.
TEST_F(SdlHost, FPressesInOneQueueMakeOneModeChangeAndAQuitWinsOverThem) {
  struct Case {
    int presses;
    bool then_quit;
    int quit;
    int changes;
  };
  const Case cases[] = {{5, false, 0, 1}, {4, false, 0, 0}, {3, true, 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.presses << " presses" << (c.then_quit ? ", q" : ""));
    // The dummy display is not 640 x 480, so every mode change resizes the window.
    int changes = 0;
    const auto count = [](void* n, SDL_Event* e) {
      if (e->type == SDL_WINDOWEVENT && e->window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
        ++*static_cast<int*>(n);
      return 0;
    };
    SDL_AddEventWatch(count, &changes);
    for (int i = 0; i < c.presses; ++i) push_key(SDL_KEYDOWN, SDLK_f);
    if (c.then_quit) push_key(SDL_KEYDOWN, SDLK_q);
    EXPECT_EQ(video_poll(), c.quit);
    SDL_DelEventWatch(count, &changes);
    EXPECT_EQ(changes, c.changes);
    EXPECT_EQ((SDL_GetWindowFlags(video_window()) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0,
              c.changes % 2 == 1);
    // Back to a window, for the next case.
    if (c.changes % 2) {
      push_key(SDL_KEYDOWN, SDLK_f);
      video_poll();
    }
  }
}

TEST_F(SdlHost, ResizeOfOurWindowSetsTheViewport) {
  const Uint32 id = SDL_GetWindowID(video_window());
  SDL_Rect r;
  push_window_event(id, SDL_WINDOWEVENT_RESIZED, 1000, 500);
  EXPECT_EQ(video_poll(), 0);
  SDL_RenderGetViewport(video_renderer(), &r);
  EXPECT_EQ(r.x, 167);
  EXPECT_EQ(r.y, 0);
  EXPECT_EQ(r.w, 666);
  EXPECT_EQ(r.h, 500);

  // Another window's resize and other window events leave it alone.
  push_window_event(id + 1, SDL_WINDOWEVENT_RESIZED, 400, 600);
  push_window_event(id, SDL_WINDOWEVENT_MOVED, 400, 600);
  EXPECT_EQ(video_poll(), 0);
  SDL_RenderGetViewport(video_renderer(), &r);
  EXPECT_EQ(r.x, 167);
  EXPECT_EQ(r.w, 666);

  push_window_event(id, SDL_WINDOWEVENT_RESIZED, 400, 600);
  EXPECT_EQ(video_poll(), 0);
  SDL_RenderGetViewport(video_renderer(), &r);
  EXPECT_EQ(r.y, 150);
  EXPECT_EQ(r.h, 300);
}

TEST_F(SdlHost, ViewportFollowsTheRealSizeWithoutAResizeEvent) {
  // The window grows but its events are lost, as where no window manager sends them: the next
  // present still fits the picture to the size the renderer draws to.
  SDL_SetWindowSize(video_window(), 1000, 500);
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  std::vector<uint32_t> fb(320 * 240, 0x808080);
  video_present(fb.data());
  SDL_Rect r;
  SDL_RenderGetViewport(video_renderer(), &r);
  EXPECT_EQ(r.x, 167);
  EXPECT_EQ(r.y, 0);
  EXPECT_EQ(r.w, 666);
  EXPECT_EQ(r.h, 500);
}

// What the renderer shows (the picture scaled with nearest neighbour, the scanlines laid over
// it) against window_picture at the viewport's size: the same pixels at whole-number scales; at
// others, over a picture of one colour, every output row as dark as window_picture makes it.
TEST_F(SdlHost, PresentShowsTheWindowPictureAtEverySize) {
  struct Case {
    int w, h;    // the window
    bool whole;  // a whole-number scale: equal pixels
  };
  const Case cases[] = {{640, 480, true},  {960, 720, true},   {1280, 960, true},
                        {320, 240, true},  {1000, 750, false}, {1000, 500, false},
                        {800, 600, false}, {1440, 1080, false}};
  std::vector<uint32_t> noise(320 * 240);
  for (int i = 0; i < 320 * 240; ++i) noise[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
  const std::vector<uint32_t> flat(320 * 240, 0xC0A060);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    SDL_SetWindowSize(video_window(), c.w, c.h);
    SDL_PumpEvents();
    const std::vector<uint32_t>& fb = c.whole ? noise : flat;
    EXPECT_EQ(video_present(fb.data()), 0);
    const ViewportRect v = viewport_for(c.w, c.h);
    // The software renderer keeps the presented picture in the window surface; the rectangle
    // read is the viewport.
    std::vector<uint32_t> shown(static_cast<size_t>(v.w) * v.h, 0xDEADBEEF);
    std::vector<uint32_t> want(shown.size());
    ASSERT_EQ(SDL_RenderReadPixels(video_renderer(), nullptr, SDL_PIXELFORMAT_RGB888, shown.data(),
                                   v.w * 4),
              0);
    window_picture(fb.data(), 320, 240, v.w, v.h, WindowPixels::Xrgb, want.data(), v.w);
    int wrong = 0, worst = 0;
    for (size_t i = 0; i < shown.size(); ++i)
      for (int shift : {0, 8, 16}) {
        const int d = std::abs(static_cast<int>((shown[i] >> shift) & 0xFF) -
                               static_cast<int>((want[i] >> shift) & 0xFF));
        worst = std::max(worst, d);
        wrong += d > (c.whole ? 0 : 2);
      }
    EXPECT_EQ(wrong, 0) << "largest difference " << worst;
  }
}

TEST_F(SdlHost, PacesPresentsWhereTheRendererDoesNotWait) {
  // The dummy driver's software renderer returns from a present at once.
  ASSERT_TRUE(video_pacing_active());
  const int hz = video_refresh_hz();
  ASSERT_GE(hz, 20);
  std::vector<uint32_t> fb(320 * 240, 0);
  constexpr int kFrames = 10;
  // Measured on the clock the host paces by (steady_clock), as a lower bound only: the first
  // present sets the first deadline no earlier than this start, and each later one sleeps until
  // its own, a period after the last, so a loaded or slow machine can only make this take longer.
  const auto start = std::chrono::steady_clock::now();
  video_present(fb.data());
  for (int i = 0; i < kFrames; ++i) video_present(fb.data());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 0.95 * kFrames / hz);
}

TEST_F(SdlHost, WatchesARendererThatClaimsTheRetraceWaitAndPacesWhenItDoesNot) {
  video_pacing_probe_restart();
  ASSERT_FALSE(video_pacing_active());
  std::vector<uint32_t> fb(320 * 240, 0);
  int frames = 0;
  // Presents that come back far faster than the refresh period give it away after the first
  // probe window of frames (8 + 31 here); a loaded machine may need a few windows.
  while (!video_pacing_active() && frames < 2000) {
    video_present(fb.data());
    ++frames;
  }
  EXPECT_TRUE(video_pacing_active());
  std::printf("pacing detected after %d frames\n", frames);
}

TEST(SdlHostInit, RefusesModesOtherThanOneAndTwo) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  EXPECT_EQ(video_init(0, 0), 1);
  EXPECT_EQ(video_init(3, 0), 1);
  EXPECT_EQ(video_window(), nullptr);
  ASSERT_EQ(video_init(2, 0), 0);
  int w = 0, h = 0;
  SDL_GetWindowSize(video_window(), &w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 400);
  std::vector<uint32_t> fb(320 * 200, 0x123456);
  EXPECT_EQ(video_present(fb.data()), 0);
  video_shutdown();
}

// A window is only worth opening on a display, unless the user named a driver that draws
// nowhere. Without a display SDL would fall back to its offscreen driver.
TEST(SdlHostInit, OpensOnlyOnADisplayOrOnADriverTheUserNamed) {
  struct Case {
    const char* driver;  // null: not named
    bool opens;
  };
  const Case cases[] = {{"nonexistent", false}, {nullptr, false}, {"", false}, {"dummy", true}};
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.driver ? c.driver : "(not named)");
    if (c.driver)
      setenv("SDL_VIDEODRIVER", c.driver, 1);
    else
      unsetenv("SDL_VIDEODRIVER");
    const int result = video_init(1, 0);
    if (result == 0 && !c.opens) {
      // A machine with a display console of its own may open a real window: never one in memory.
      const char* driver = SDL_GetCurrentVideoDriver();
      ASSERT_NE(driver, nullptr);
      EXPECT_STRNE(driver, "offscreen");
      EXPECT_STRNE(driver, "dummy");
    } else {
      EXPECT_EQ(result, c.opens ? 0 : 1);
    }
    if (result == 0) video_shutdown();
    SDL_Quit();
  }
}

// The clock is the wall clock (gettimeofday) in 20 ms ticks from a whole second, so every reading
// is checked against wall-clock readings taken just before and after it: how long the thread
// slept, or was kept off the processor, does not matter.
int64_t wall_us() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

TEST(Clock, CountsTwentyMillisecondTicksOfTheWallClockFromTheWholeSecondOfItsFirstReading) {
  // The first reading of a process is 0 and fixes the base: the whole second it fell in. Nothing
  // else in this suite reads the clock, so a child forked here makes its first reading.
  EXPECT_EXIT(std::exit(clock_ticks() == 0 ? 0 : 1), testing::ExitedWithCode(0), "");
  clock_ticks();
  // Every later reading must give the same whole second as its base.
  int64_t base_low = INT64_MIN, base_high = INT64_MAX;
  for (int i = 0; i < 6; ++i) {
    const int64_t before = wall_us();
    const int64_t ticks = clock_ticks();
    const int64_t after = wall_us();
    EXPECT_GE(ticks, 0);
    // ticks = round((now - base) / 20 ms), so base lies within now - ticks x 20 ms +- 10 ms.
    base_low = std::max(base_low, before - ticks * 20000 - 10000);
    base_high = std::min(base_high, after - ticks * 20000 + 10000);
    ASSERT_LE(base_low, base_high)
        << "reading " << i << " (" << ticks << " ticks) disagrees with the ones before";
    SDL_Delay(i * 37);
  }
  // And that base is a whole second.
  const int64_t second = (base_high / 1000000) * 1000000;
  EXPECT_GE(second, base_low) << "the base is not a whole second";
}

}  // namespace
