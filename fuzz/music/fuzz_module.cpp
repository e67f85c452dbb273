// Any bytes as a module: load (or refuse), play 2000 ticks and mix them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "music/music.h"
#include "music/offline_audio.h"
#include "music/pt.h"
#include "music/snd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = [] {
    music_offline_enable(nullptr, nullptr);
    return true;
  }();
  (void)once;
  music_init();
  std::vector<uint8_t> module(data, data + size);  // exact size, writable
  if (!music_load(module.data(), module.size())) return 0;
  // Short ticks keep the run fast: 2000 ticks of 64 samples through the callback.
  snd_set_tick_rate(44100 / 64);
  int16_t buf[2048];
  for (int i = 0; i < 2000 * 64 / 2048 + 1; ++i)
    snd_callback(nullptr, reinterpret_cast<uint8_t*>(buf), sizeof buf);
  return 0;
}
