// The page's sound, built as a WebAssembly module of its own for the browser's audio rendering
// thread (web/audio_processor.js instantiates it there): the same player and mixer as every other
// build, with the soundtrack inside, and an audio device that the processor drives. The processor
// asks for one 2048-sample buffer whenever it has played the last one, as SDL's audio thread does
// on the desktop, and tells the page the ticks it mixed in each (web/audio_processor.js).
#include <cstdint>

#include "assets/assets.h"
#include "music/music.h"
#include "music/snd.h"

#define AUDIO_EXPORT extern "C" __attribute__((used, visibility("default")))

namespace {

int16_t buffer[kSndBufferSamples];

}  // namespace

// The device: the processor is the device thread, so opening, starting and closing have nothing
// to do beyond what the driver does.
int snd_open(int rate) {
  snd_install(rate, "Web Audio (audio thread)");
  return 1;
}
void snd_start() {}
void snd_close() {}
// What is heard is known on the page's side (music/snd_web.js), not here.
int64_t snd_heard_sample() { return kSndNoClock; }

// Opens the player on the soundtrack at tick_rate ticks a second; 1 on success.
AUDIO_EXPORT int audio_begin(int tick_rate) {
  if (!music_init()) return 0;
  if (!music_load(soundtrack_mod, soundtrack_mod_size)) return 0;
  music_start(tick_rate);
  return 1;
}

// The next device buffer: 2048 samples of 16-bit mono at 44100 Hz.
AUDIO_EXPORT const int16_t* audio_fill() {
  snd_callback(nullptr, reinterpret_cast<uint8_t*>(buffer), int(sizeof(buffer)));
  return buffer;
}

// order x 100 + row of the tick last mixed.
AUDIO_EXPORT int audio_position() { return music_position(); }

// The ticks mixed since the last call: a count, then for each the sample at which it begins and
// its position (the page maps the sample at the speaker to a position through them).
AUDIO_EXPORT const int32_t* audio_ticks() {
  constexpr int kMost = 16;  // a 2048-sample buffer holds at most three ticks of the show's
  static int32_t out[1 + 2 * kMost];
  static uint32_t next = 0;
  uint32_t starts[kMost];
  int32_t positions[kMost];
  const int n = snd_record_read(&next, starts, positions, kMost);
  out[0] = n;
  for (int i = 0; i < n; ++i) {
    out[1 + 2 * i] = int32_t(starts[i]);
    out[2 + 2 * i] = positions[i];
  }
  return out;
}
