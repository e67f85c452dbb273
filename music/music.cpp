// The music face: open the device, load the module, start, read the position, stop. Which device
// plays (SDL's, or the offline one that mixes on demand) is chosen at link time.
#include "music/music.h"

#include "music/pt.h"
#include "music/snd.h"

int music_init() {
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
  snd_start();
}

int32_t music_position() {
  int32_t order = pt_order.load(std::memory_order_relaxed);
  int32_t row = pt_row.load(std::memory_order_relaxed);
  return order * 100 + row;
}

void music_stop() {
  if (snd_driver.stop_hook) snd_driver.stop_hook();
  if (snd_driver.close) snd_driver.close();
}
