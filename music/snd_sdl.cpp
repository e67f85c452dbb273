// The live device: SDL's audio thread asks for 2048-sample buffers of 16-bit mono at 44100 Hz and
// the callback mixes them.
#include <SDL.h>

#include "music/snd.h"

int snd_open(int rate) {
  SDL_AudioSpec want{};
  want.freq = kSndRate;
  want.format = AUDIO_S16LSB;
  want.channels = 1;
  want.samples = kSndBufferSamples;
  want.callback = [](void* user, Uint8* stream, int len) { snd_callback(user, stream, len); };
  want.userdata = nullptr;
  if (SDL_OpenAudio(&want, nullptr) != 0) {
    snd_fail("SDL audio error");
    return 0;
  }
  snd_install(rate);
  return 1;
}

void snd_start() { SDL_PauseAudio(0); }

void snd_close() { SDL_CloseAudio(); }
