// The page's entry point: the show on the web host. Live, the page starts it as soon as it has
// loaded: the show prepares its tables behind the start screen and then waits, as its music
// starts, for the viewer's click (browsers play sound only after a gesture), which also says
// whether the show is the gentle one. "--simulate FPS" runs it on the offline host's terms
// instead, started by the click: a simulated clock at FPS frames a second and the sound mixed on
// demand, so the page computes, frame for frame, what the native program computes. The show's
// own options (--gentle) follow.
#include <emscripten/emscripten.h>

#include <cstdlib>
#include <cstring>

#include "base/frame_hash.h"
#include "driver/show.h"
#include "driver/show_observe.h"
#include "music/music.h"
#include "music/offline_audio.h"
#include "platform/web.h"

// The page's side, in web/library.js.
extern "C" {
void web_report_frame(double index, double time_ms, int position, int scene, double work_ms,
                      uint32_t hash_hi, uint32_t hash_lo);
void web_report_sound(double buffers, uint32_t hash);
void web_show_ended(int status);
}

namespace {

bool hash_frames = false;
// The simulated run's sound, hashed (32-bit FNV-1a over the 16-bit samples) and published every
// kSoundReport buffers, so that a test can hold it against the native program's.
constexpr int64_t kSoundReport = 256;
uint32_t sound_hash = 2166136261u;
int64_t sound_buffers = 0;

void on_frame(const WebFrame& w, void*) {
  const OfflineFrame& f = w.frame;
  const uint64_t h =
      hash_frames ? frame_hash(f.pixels, static_cast<size_t>(f.width) * f.height) : 0;
  web_report_frame(static_cast<double>(f.index), f.time_us / 1000.0, music_position(),
                   show_current_scene(), w.work_ms, static_cast<uint32_t>(h >> 32),
                   static_cast<uint32_t>(h));
}

void on_time(int64_t time_us, void*) { music_offline_advance(time_us); }

void on_buffer(const int16_t* samples, int count, void*) {
  for (int i = 0; i < count; ++i) {
    sound_hash ^= static_cast<uint16_t>(samples[i]);
    sound_hash *= 16777619u;
  }
  if (++sound_buffers % kSoundReport == 0)
    web_report_sound(static_cast<double>(sound_buffers), sound_hash);
}

}  // namespace

// The viewer's choice, made at the click while the live show waits for it: the scene script
// reads the choice from its first frame on, after the wait.
extern "C" EMSCRIPTEN_KEEPALIVE void web_choose_gentle(int gentle) { show_set_gentle(gentle != 0); }

int main(int argc, char** argv) {
  int fps = 0;
  char* show_args[8] = {argv[0]};
  int show_argc = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--simulate") == 0 && i + 1 < argc) {
      fps = std::atoi(argv[++i]);
    } else if (show_argc < 8) {
      show_args[show_argc++] = argv[i];
    }
  }
  if (fps < 0 || fps > 1000) fps = 0;
  const int options = show_options(show_argc, show_args);
  if (options >= 0) {
    web_show_ended(options);
    return options;
  }

  WebConfig config;
  config.simulated_fps = fps;
  config.sink = on_frame;
  if (fps > 0) config.time_listener = on_time;
  hash_frames = fps > 0;
  web_configure(config);
  if (fps > 0) music_offline_enable(on_buffer, nullptr);

  const int status = show_main();
  web_show_ended(status);
  return status;
}
