// The offline host's audio half (music_offline, and the web page's device on simulated time): no
// device, the samples are mixed on demand through the same callback code, in the same 2048-sample
// buffers a live device would ask for.
#pragma once
#include <cstdint>

// Call before music_start: music_start mixes the first 2048-sample buffer, and on_buffer (may be
// null) receives every mixed buffer.
void music_offline_enable(void (*on_buffer)(const int16_t* samples, int count, void* user),
                          void* user);
// Mixes device buffers until floor(time_us * 44100 / 1e6 / 2048) + 1 buffers have been mixed since
// music_start, as a live device would have requested them by that time.
void music_offline_advance(int64_t time_us);
