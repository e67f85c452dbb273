// The music face: five calls that the show makes, in this order.
#pragma once
#include <cstddef>
#include <cstdint>

// Opens the audio device (paused) and resets the voices. 1 on success, 0 when no device opens.
int music_init();
// Converts the writable module bytes in place and defines its samples. The loader never reads or
// writes outside [module, module + size). 1 on success, 0 for a module it refuses.
int music_load(uint8_t* module, size_t size);
// Records the tick rate (ticks per second, at least 1) and unpauses the device.
void music_start(int tick_rate);
// order x 100 + row of the tick last computed; -37 after a successful load, before the first tick.
int32_t music_position();
void music_stop();
