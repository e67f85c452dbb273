// The offline device: no sound card and no thread. The samples are mixed on demand
// (music/offline_mix.cpp), so the position the show reads at a given time is the one it would
// read live.
#include "music/offline_audio.h"
#include "music/offline_mix.h"
#include "music/snd.h"

int snd_open(int rate) {
  snd_install(rate);
  return 1;
}

void snd_start() { offline_mix_start(); }

void snd_close() { offline_mix_stop(); }

void music_offline_enable(void (*on_buffer)(const int16_t*, int, void*), void* user) {
  offline_mix_enable(on_buffer, user);
}

void music_offline_advance(int64_t time_us) { offline_mix_advance(time_us); }
