// The on-demand mixing behind music/offline_audio.h, for the devices that use it: the offline
// device (music/snd_offline.cpp), and the web page's device when the page runs on simulated time.
#pragma once
#include <cstdint>

// What music_offline_enable and music_offline_advance do (music/offline_audio.h); each device that
// mixes on demand defines those two as these, so that its own object file always reaches the link.
void offline_mix_enable(void (*on_buffer)(const int16_t* samples, int count, void* user),
                        void* user);
void offline_mix_advance(int64_t time_us);

// From snd_start: counts the buffers from 0 again and mixes the first, as a device asks for its
// first buffer as soon as it is unpaused.
void offline_mix_start();
// From snd_close: music_offline_advance mixes nothing more.
void offline_mix_stop();
// Whether offline_mix_enable was called since the program started.
bool offline_mix_enabled();
// snd_heard_sample for these devices: the sample at the time last given to offline_mix_advance
// (t x 44100 exactly, to the nearest sample), kSndNoClock while not running.
int64_t offline_mix_heard_sample();
