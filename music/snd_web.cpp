// The web page's audio device. Live, the player and the mixer do not run here: the browser's audio
// rendering thread runs them, compiled into a module of their own (web/audio.cpp), in the role of
// SDL's audio thread, and posts the music position after every 2048-sample buffer it mixes.
// music/snd_web.js passes each position on to snd_web_position, which sets the sequencer's
// position here, the single value the show reads each frame; this copy of the sequencer never
// ticks while live.
#include <emscripten/emscripten.h>

#include "music/pt.h"
#include "music/snd.h"
#include "music/web_audio.h"

// The page's half, in music/snd_web.js.
extern "C" {
int web_audio_ready();                // 1 when the page made an audio context at 44100 Hz
void web_audio_start(int tick_rate);  // the processor mixes from now on
void web_audio_stop();
}

namespace {

struct WebAudio {
  bool simulated = false;
  bool running = false;
  int64_t buffers = 0;  // mixed since snd_start
  void (*on_buffer)(const int16_t*, int, void*) = nullptr;
  void* user = nullptr;
  int16_t buffer[kSndBufferSamples];
};

WebAudio web;

void mix_one() {
  snd_callback(nullptr, reinterpret_cast<uint8_t*>(web.buffer), int(sizeof(web.buffer)));
  web.buffers += 1;
  if (web.simulated && web.on_buffer) web.on_buffer(web.buffer, kSndBufferSamples, web.user);
}

}  // namespace

int snd_open(int rate) {
  if (!web.simulated && !web_audio_ready()) {
    snd_fail("Web Audio error");
    return 0;
  }
  snd_install(rate);
  return 1;
}

void snd_start() {
  web.running = true;
  web.buffers = 0;
  if (web.simulated) {
    mix_one();  // a device asks for its first buffer as soon as it is unpaused
  } else {
    web_audio_start(snd_tick_rate());
  }
}

void snd_close() {
  if (web.running && !web.simulated) web_audio_stop();
  web.running = false;
}

void snd_web_simulate(bool on, void (*on_buffer)(const int16_t*, int, void*), void* user) {
  web.simulated = on;
  web.on_buffer = on_buffer;
  web.user = user;
  web.running = false;
  web.buffers = 0;
}

void snd_web_advance(int64_t time_us) {
  if (!web.simulated || !web.running) return;
  if (time_us < 0) time_us = 0;
  const int64_t wanted = time_us * kSndRate / (int64_t(1000000) * kSndBufferSamples) + 1;
  while (web.buffers < wanted) mix_one();
}

// Live: the audio thread mixed another buffer, whose last tick is at this position.
extern "C" EMSCRIPTEN_KEEPALIVE void snd_web_position(int position) {
  if (!web.running || web.simulated) return;
  const int32_t order = position >= 0 ? position / 100 : 0;
  pt_order.store(order, std::memory_order_relaxed);
  pt_row.store(position - order * 100, std::memory_order_relaxed);
  web.buffers += 1;
}
