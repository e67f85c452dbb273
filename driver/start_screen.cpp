#include "driver/start_screen.h"

#include "assets/assets.h"
#include "driver/show_state.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kInk = kFlashColour;  // the warm white of the show's flashes, on black

void start_screen_draw(uint32_t* fb) {
  static_assert(kStartScreenWidth * kStartScreenHeight == kFbPixels);
  const uint32_t r = kInk >> 16 & 0xFF, g = kInk >> 8 & 0xFF, b = kInk & 0xFF;
  for (int i = 0; i < kFbPixels; ++i) {
    const uint32_t c = start_screen[i];
    fb[i] = (r * c + 127) / 255 << 16 | (g * c + 127) / 255 << 8 | (b * c + 127) / 255;
  }
}

}  // namespace

bool start_screen_run() {
  start_screen_draw(fb_main);
  // Presented again every frame: the window may be uncovered, resized or made full screen while
  // it waits, and the present paces the loop.
  for (;;) {
    video_present(fb_main);
    if (video_poll()) return false;
    switch (video_start_choice()) {
      case 1:
        show_gentle = false;
        return true;
      case 2:
        show_gentle = true;
        return true;
      default:
        break;
    }
  }
}
