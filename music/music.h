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
// order x 100 + row of the tick being heard: the one whose sound is at the speaker now (offline,
// at the simulated time's own sample), from the ticks the callback recorded; -37 after a
// successful load until the first tick is heard. A device that cannot say what is heard gives
// the tick last computed.
int32_t music_position();
void music_stop();

// For tools: the samples from the start to the song's end at tick_rate, under the rules in force.
// The song ends where F00 ends it (with the rule that says so) or before the first row it would
// play a second time outside a pattern loop; a song frozen on its row by F00 ends once the
// longest row could have passed, and one that never ends is given 20 minutes of 50 ticks. Loads
// a copy of the module and runs the sequencer alone, without mixing; music_init must have opened
// the device. Sets the tick rate; -1 for a module the loader refuses.
int64_t music_song_samples(const uint8_t* module, size_t size, int tick_rate);
