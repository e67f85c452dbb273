// The music face: open the device, load the module, start, read the position, stop. Also the
// offline host's audio half, which mixes the device's buffers on demand instead of on SDL's thread.
#include "music/music.h"

#include <SDL.h>

#include "music/offline_audio.h"
#include "music/pt.h"
#include "music/snd.h"

namespace {

struct Offline {
  bool enabled = false;
  bool running = false;
  void (*on_buffer)(const int16_t*, int, void*) = nullptr;
  void* user = nullptr;
  int64_t buffers = 0;  // mixed since music_start
  int16_t buffer[kSndBufferSamples];
};

Offline off;

void offline_mix_one() {
  snd_callback(nullptr, reinterpret_cast<uint8_t*>(off.buffer), int(sizeof(off.buffer)));
  off.buffers += 1;
  if (off.on_buffer) off.on_buffer(off.buffer, kSndBufferSamples, off.user);
}

}  // namespace

int music_init() {
  snd_set_offline(off.enabled);
  if (!snd_open(kSndRate)) return 0;
  snd_driver.init();
  snd_driver.set_master_volume(64);
  snd_driver.start_hook();
  return 1;
}

int music_load(uint8_t* module, size_t size) {
  pt_unload();
  pt_order.store(0, std::memory_order_relaxed);
  pt_row.store(0, std::memory_order_relaxed);
  if (!pt_takemod(module, size)) return 0;
  pt_reset();
  return 1;
}

void music_start(int tick_rate) {
  snd_set_tick_rate(tick_rate);
  if (off.enabled) {
    off.running = true;
    off.buffers = 0;
    offline_mix_one();  // a device asks for its first buffer as soon as it is unpaused
    return;
  }
  SDL_PauseAudio(0);
}

int32_t music_position() {
  int32_t order = pt_order.load(std::memory_order_relaxed);
  int32_t row = pt_row.load(std::memory_order_relaxed);
  return order * 100 + row;
}

void music_stop() {
  if (snd_driver.stop_hook) snd_driver.stop_hook();
  if (snd_driver.close) snd_driver.close();
  off.running = false;
}

void music_offline_enable(void (*on_buffer)(const int16_t*, int, void*), void* user) {
  off.enabled = true;
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
