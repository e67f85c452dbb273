// Frame-loop mechanics shared by every scene: the frame skeleton, the beat rules on the music
// row, and the flash, text-pulse and bounce envelopes. Times are clock_ticks units (20 ms).
#pragma once
#include <cstdint>

// Top of a frame: reads music_position into *position and tells whether the frame runs. The
// scene is over once the position, compared unsigned, is past last_position, or once the viewer
// asked to quit.
bool scene_frame_begin(int32_t last_position, int32_t* position);

// Bottom of a frame: presents the target and polls the window; a quit request clears `running`,
// which ends this scene at the next frame_begin and keeps every later scene from drawing.
void scene_frame_end(const uint32_t* target);

// The row of a position (position mod 100).
int32_t beat_row(int32_t position);

// Beat rules on a row (0 to 63; anything negative never fires).
bool beat_rows_8_40(int32_t row);  // rows 8 and 40
bool beat_rows_0_32(int32_t row);  // rows 0 and 32
bool beat_accent(int32_t row);     // rows 0, 3, 24, 27, 42, 59, 62

// An envelope with end time `end` (0 = none) is running while t <= end; on the first frame past
// it the end time is cleared. Returns whether it runs on this frame.
bool envelope_running(int32_t t, int32_t* end);

// Flash (end F = trigger + 20): the amount added to the target, 20 -> 120 at mid-flash -> 20.
int32_t flash_amount(int32_t t, int32_t F);
constexpr int32_t kFlashLength = 20;

// A beat starts a flash: F = t + 20. In the gentle show a beat that comes while a flash still
// runs is held (the running flash goes on) rather than dimming it and lighting it again; as a
// flash lasts 21 ticks, no more than three can start in any second (50 ticks).
void flash_trigger(int32_t t, int32_t* F);

// Text pulse (end E = trigger + 30): the strips' alpha, 30 -> 255 -> 30.
int32_t pulse_alpha(int32_t t, int32_t E);
constexpr int32_t kPulseLength = 30;

// Bounce (end E = trigger + 42): the height of three arcs of peak 144, 36 and 9. The selected
// item moves by height / 3 pixels.
int32_t bounce_height(int32_t t, int32_t E);
constexpr int32_t kBounceLength = 42;
