// The web page's audio device. Live, the player and the mixer do not run here: the browser's audio
// rendering thread runs them, compiled into a module of their own (web/audio.cpp), in the role of
// SDL's audio thread, and posts the ticks of every 2048-sample buffer it mixes. music/snd_web.js
// passes each on to snd_web_tick, into the ticks' record here, and says which sample is at the
// speaker from the context's output timestamp; this copy of the sequencer never ticks while
// live. A page run on simulated time mixes on demand instead, as the offline device
// does (music_offline_enable, music/offline_audio.h).
#include <emscripten/emscripten.h>

#include "music/offline_audio.h"
#include "music/offline_mix.h"
#include "music/pt.h"
#include "music/snd.h"

// The page's half, in music/snd_web.js.
extern "C" {
int web_audio_ready();  // 1 when the browser has Web Audio with audio worklets
// The sample at the speaker now, from the context's output timestamp; -1 before the first.
double web_audio_heard_sample();
// Sets the player up in the audio thread, waits for the viewer's click (browsers start sound only
// in answer to a gesture), and the audio thread mixes from then on.
void web_audio_start(int tick_rate);
void web_audio_stop();
}

namespace {

bool running = false;

}  // namespace

int snd_open(int rate) {
  if (!offline_mix_enabled() && !web_audio_ready()) {
    snd_fail("Web Audio error");
    return 0;
  }
  snd_install(rate, "Web Audio");
  return 1;
}

void snd_start() {
  running = true;
  if (offline_mix_enabled()) {
    offline_mix_start();
  } else {
    web_audio_start(snd_tick_rate());
  }
}

void snd_close() {
  if (running && !offline_mix_enabled()) web_audio_stop();
  offline_mix_stop();
  running = false;
}

int64_t snd_heard_sample() {
  if (offline_mix_enabled()) return offline_mix_heard_sample();
  if (!running) return kSndNoClock;
  return static_cast<int64_t>(web_audio_heard_sample());
}

void music_offline_enable(void (*on_buffer)(const int16_t*, int, void*), void* user) {
  offline_mix_enable(on_buffer, user);
}

void music_offline_advance(int64_t time_us) { offline_mix_advance(time_us); }

// Live: a tick the audio thread mixed, the sample it begins at and its position, in the record
// music_position reads (this thread is its single writer).
extern "C" EMSCRIPTEN_KEEPALIVE void snd_web_tick(int start, int position) {
  if (!running || offline_mix_enabled()) return;
  snd_record_tick(static_cast<uint32_t>(start), position);
}

// Live: the audio thread mixed another buffer, whose last tick is at this position (what the
// position falls back on when the page cannot say what is heard).
extern "C" EMSCRIPTEN_KEEPALIVE void snd_web_position(int position) {
  if (!running || offline_mix_enabled()) return;
  const int32_t order = position >= 0 ? position / 100 : 0;
  pt_order.store(order, std::memory_order_relaxed);
  pt_row.store(position - order * 100, std::memory_order_relaxed);
}
