// The offline device: no sound card and no thread. The samples are mixed on demand through the same
// callback, in the same 2048-sample buffers a live device would ask for, so the position the show
// reads at a given time is the one it would read live.
#include "music/offline_audio.h"
#include "music/snd.h"

namespace {

struct Offline {
  bool running = false;
  void (*on_buffer)(const int16_t*, int, void*) = nullptr;
  void* user = nullptr;
  int64_t buffers = 0;  // mixed since snd_start
  int16_t buffer[kSndBufferSamples];
};

Offline off;

void offline_mix_one() {
  snd_callback(nullptr, reinterpret_cast<uint8_t*>(off.buffer), int(sizeof(off.buffer)));
  off.buffers += 1;
  if (off.on_buffer) off.on_buffer(off.buffer, kSndBufferSamples, off.user);
}

}  // namespace

int snd_open(int rate) {
  snd_install(rate);
  return 1;
}

void snd_start() {
  off.running = true;
  off.buffers = 0;
  offline_mix_one();  // a device asks for its first buffer as soon as it is unpaused
}

void snd_close() { off.running = false; }

void music_offline_enable(void (*on_buffer)(const int16_t*, int, void*), void* user) {
  off.running = false;
  off.on_buffer = on_buffer;
  off.user = user;
  off.buffers = 0;
}

void music_offline_advance(int64_t time_us) {
  if (!off.running) return;
  if (time_us < 0) time_us = 0;
  // Buffer k is requested once the device has played k buffers: k * 2048 / 44100 seconds.
  const int64_t wanted = time_us * kSndRate / (int64_t(1000000) * kSndBufferSamples) + 1;
  while (off.buffers < wanted) offline_mix_one();
}
