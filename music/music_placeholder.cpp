// Stand-in until the player lands: opens the audio device like the real one (so a machine
// without sound still gives "DOV failure"), plays silence, and advances the position one row
// every 6 ticks of 848 samples, 64 rows to an order.
#include <SDL.h>

#include <atomic>

#include "music/music.h"

namespace {

constexpr int kSamplesPerTick = 848;  // 44100 / 52
constexpr int kTicksPerRow = 6;
constexpr int kRowsPerOrder = 64;

std::atomic<int32_t> position{-37};
int64_t samples_played = 0;  // audio thread only
bool device_open = false;

void fill(void* /*user*/, Uint8* stream, int len) {
  SDL_memset(stream, 0, static_cast<size_t>(len));
  samples_played += len / 2;
  const int64_t rows = samples_played / kSamplesPerTick / kTicksPerRow;
  position.store(static_cast<int32_t>(rows / kRowsPerOrder * 100 + rows % kRowsPerOrder),
                 std::memory_order_relaxed);
}

}  // namespace

int music_init() {
  if (SDL_Init(SDL_INIT_AUDIO) < 0) return 0;
  SDL_AudioSpec want{};
  want.freq = 44100;
  want.format = AUDIO_S16LSB;
  want.channels = 1;
  want.samples = 2048;
  want.callback = fill;
  if (SDL_OpenAudio(&want, nullptr) < 0) return 0;
  device_open = true;
  return 1;
}

int music_load(uint8_t*, size_t) {
  position.store(-37, std::memory_order_relaxed);
  return 1;
}

void music_start(int) {
  samples_played = 0;
  if (device_open) SDL_PauseAudio(0);
}

int32_t music_position() { return position.load(std::memory_order_relaxed); }

void music_stop() {
  if (device_open) SDL_CloseAudio();
  device_open = false;
}
