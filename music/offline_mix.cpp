// Mixing on demand: the samples go through the same callback, in the same 2048-sample buffers a
// live device would ask for, so the position the show reads at a given time is the one it would
// read live.
#include "music/offline_mix.h"

#include <algorithm>

#include "music/snd.h"

namespace {

struct Offline {
  bool enabled = false;
  bool running = false;
  void (*on_buffer)(const int16_t*, int, void*) = nullptr;
  void* user = nullptr;
  int64_t buffers = 0;  // mixed since snd_start
  int64_t now_us = 0;   // the latest time given to offline_mix_advance
  int16_t buffer[kSndBufferSamples];
};

Offline off;

void offline_mix_one() {
  snd_callback(nullptr, reinterpret_cast<uint8_t*>(off.buffer), int(sizeof(off.buffer)));
  off.buffers += 1;
  if (off.on_buffer) off.on_buffer(off.buffer, kSndBufferSamples, off.user);
}

}  // namespace

void offline_mix_start() {
  off.running = true;
  off.buffers = 0;
  off.now_us = 0;
  offline_mix_one();
}

void offline_mix_stop() { off.running = false; }

bool offline_mix_enabled() { return off.enabled; }

void offline_mix_enable(void (*on_buffer)(const int16_t*, int, void*), void* user) {
  off.enabled = true;
  off.running = false;
  off.on_buffer = on_buffer;
  off.user = user;
  off.buffers = 0;
}

void offline_mix_advance(int64_t time_us) {
  if (!off.running) return;
  if (time_us < 0) time_us = 0;
  off.now_us = std::max(off.now_us, time_us);
  // Buffer k is requested once the device has played k buffers: k * 2048 / 44100 seconds.
  const int64_t wanted = time_us * kSndRate / (int64_t(1000000) * kSndBufferSamples) + 1;
  while (off.buffers < wanted) offline_mix_one();
}

// The frame's own time in the soundtrack. Times come in whole microseconds, cut from a frame's
// exact time (k / 60 s is 16666.67 k us): rounded to the nearest sample, a row that begins on a
// frame's exact sample is heard on that frame.
int64_t offline_mix_heard_sample() {
  if (!off.running) return kSndNoClock;
  return (off.now_us * kSndRate + 500000) / 1000000;
}
