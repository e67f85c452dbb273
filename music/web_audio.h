// The web page's audio device (music/snd_web.cpp): Web Audio asks for 2048-sample buffers on the
// page's thread, between the show's frames. For a page run on simulated time the samples are
// mixed on demand instead, in the same buffers, as the offline device does.
#pragma once
#include <cstdint>

// Before music_init: true mixes on demand and needs no Web Audio; on_buffer (may be null) then
// receives every mixed buffer.
void snd_web_simulate(bool on, void (*on_buffer)(const int16_t* samples, int count, void* user),
                      void* user);
// Simulated runs: mixes device buffers until floor(time_us * 44100 / 1e6 / 2048) + 1 buffers have
// been mixed since music_start, as a live device would have requested them by that time.
void snd_web_advance(int64_t time_us);
