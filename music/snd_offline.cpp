// The offline device: no sound card and no thread. The samples are mixed on demand
// (music/offline_mix.cpp), in the buffers a live device would ask for, and what is heard at a
// simulated time is the soundtrack's sample at that time.
#include "music/offline_audio.h"
#include "music/offline_mix.h"
#include "music/snd.h"

int snd_open(int rate) {
  snd_install(rate, "offline audio");
  return 1;
}

void snd_start() { offline_mix_start(); }

void snd_close() { offline_mix_stop(); }

int64_t snd_heard_sample() { return offline_mix_heard_sample(); }

void music_offline_enable(void (*on_buffer)(const int16_t*, int, void*), void* user) {
  offline_mix_enable(on_buffer, user);
}

void music_offline_advance(int64_t time_us) { offline_mix_advance(time_us); }
