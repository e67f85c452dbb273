// The music face: open the device, load the module, start, read the position, stop. Which device
// plays (SDL's, the offline one that mixes on demand, or the web page's) is chosen at link time.
#include "music/music.h"

#include <vector>

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
  const int loaded = pt_takemod(module, size);
  if (loaded) pt_reset();
  snd_record_reset();  // the position before the first tick is the one set here
  return loaded;
}

void music_start(int tick_rate) {
  snd_set_tick_rate(tick_rate);
  snd_start();
}

// The position being heard: the device says which sample is at the speaker, the ticks' record
// which tick that sample belongs to. Without a device clock (tools and tests that run the
// callback by hand), the tick last mixed.
int32_t music_position() {
  const int64_t heard = snd_heard_sample();
  if (heard != kSndNoClock) return snd_position_at(heard);
  int32_t order = pt_order.load(std::memory_order_relaxed);
  int32_t row = pt_row.load(std::memory_order_relaxed);
  return order * 100 + row;
}

void music_stop() {
  if (snd_driver.stop_hook) snd_driver.stop_hook();
  if (snd_driver.close) snd_driver.close();
}

int64_t music_song_samples(const uint8_t* module, size_t size, int tick_rate) {
  // The highest speed, held by a row delay of 15.
  const int64_t kLongestRowTicks = (pt_rules().high_speeds ? 255 : 31) * 16;
  constexpr int64_t kLimitTicks = int64_t(50) * 60 * 20;
  std::vector<uint8_t> copy(module, module + size);
  snd_driver.init();
  if (!music_load(copy.data(), copy.size())) return -1;
  snd_set_tick_rate(tick_rate);
  std::vector<uint8_t> seen(128 * 64, 0);
  int64_t rows = 0, last_row_tick = 0, samples = 0;
  for (int64_t t = 0; t < kLimitTicks; ++t) {
    // A row played again inside a pattern loop is not the song's end; the loop count is taken
    // before the tick, since the row's own E6 may end the loop on it.
    bool looping = false;
    for (int ch = 0; ch < pt_song().channels; ++ch) looping |= pt_channel(ch).loop_count > 0;
    pt_tick();
    if (pt_ended()) return samples;
    const int64_t tick = snd_next_tick_samples();
    if (pt_rows_played() == rows) {
      // Speed 0 freezes the song on its row: nothing more will come.
      if (t - last_row_tick > kLongestRowTicks) return samples;
      samples += tick;
      continue;
    }
    rows = pt_rows_played();
    last_row_tick = t;
    uint8_t& s = seen[size_t(pt_play_order() * 64 + pt_play_row())];
    if (s && !looping) return samples;
    s = 1;
    samples += tick;
  }
  return samples;
}
