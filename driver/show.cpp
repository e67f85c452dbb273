// The show from start to end: start-up in its fixed order, the scene script, shutdown.
#include "driver/show.h"

#include <cstdio>
#include <cstring>

#include "assets/assets.h"
#include "driver/precompute.h"
#include "driver/scenes.h"
#include "driver/show_state.h"
#include "driver/start_screen.h"
#include "music/music.h"
#include "platform/platform.h"

uint32_t fb_main[kFbPixels];
uint32_t fb_aux[2 * kFbPixels];
uint32_t fb_flash[kFbPixels];
uint32_t fb_work[kFbPixels];
int32_t running = 1;
bool show_gentle = false;
bool show_start_screen = false;

namespace {

// The only two messages the program ever writes, 12 bytes each (a start from the menu also says
// them in a message box).
void fail(const char* message) {
  std::fwrite(message, 1, std::strlen(message), stderr);
  std::fflush(stderr);
}

void reset_state() {
  // Static buffers start black; clearing again keeps a second run in one process (the tests)
  // identical to the first.
  std::memset(fb_main, 0, sizeof fb_main);
  std::memset(fb_aux, 0, sizeof fb_aux);
  std::memset(fb_flash, 0, sizeof fb_flash);
  std::memset(fb_work, 0, sizeof fb_work);
  running = 1;
}

const char* const kShowUsage =
    "Usage: driftlight [--gentle] [--start-screen]\n"
    "\n"
    "Plays the show in a window. It flashes and flickers in places (scene 8 opens with seven\n"
    "seconds of fast red flicker), which may affect photosensitive viewers.\n"
    "\n"
    "  --gentle   the same show with every flash and flicker kept to three a second or fewer:\n"
    "             scene 8 cross-fades in, and a beat that would restart a running flash is held\n"
    "  --start-screen\n"
    "             before the music, show the photosensitivity warning in the window and wait\n"
    "             for a choice: Enter or a click plays the show as written, g the gentle show,\n"
    "             Escape or q leaves; a failure to start is also told in a message box (the\n"
    "             desktop menu's entry starts the show this way)\n"
    "  --help     this text\n"
    "  --version  the program's version\n"
    "\n"
    "Keys: f toggles full screen; q or Escape quits.\n";

}  // namespace

int show_options(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--gentle") == 0) {
      show_gentle = true;
    } else if (std::strcmp(argv[i], "--start-screen") == 0) {
      show_start_screen = true;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kShowUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "driftlight: unknown argument '%s'\n%s", argv[i], kShowUsage);
      return 2;
    }
  }
  return -1;
}

void show_set_gentle(bool gentle) { show_gentle = gentle; }
bool show_is_gentle() { return show_gentle; }

int show_main() {
  reset_state();
  if (!music_init()) {
    fail("DOV failure\n");
    // From the menu the viewer may play the show without sound instead.
    if (!show_start_screen || !platform_offer_silent_start() || !music_init()) return 1;
  }
  music_load(soundtrack_mod, soundtrack_mod_size);
  if (video_init(1, 0) != 0) {
    fail("GFX failure\n");
    if (show_start_screen) platform_report_no_window();
    return 1;
  }
  // Before anything else is prepared: the warning comes up at once, and leaving costs nothing.
  if (show_start_screen && !start_screen_run()) {
    music_stop();
    video_shutdown();
    return 0;
  }
  show_precompute_effects();
  for (uint32_t& p : fb_flash) p = kFlashColour;
  if (show_precompute_scene() != 0) {  // no scene to show: the show ends quietly
    music_stop();
    video_shutdown();
    return 0;
  }
  music_start(52);
  // Until the sequencer computes its first row the position is negative, which as an unsigned
  // number is far above 100.
  while (static_cast<uint32_t>(music_position()) > 100u) platform_idle();

  scenes_run();

  music_stop();
  video_shutdown();
  return 0;
}
