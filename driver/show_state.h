// The driver's state for the whole run: its framebuffers, the quit flag and the scene base times.
#pragma once
#include <cstdint>

#include "base/framebuffer.h"

constexpr uint32_t kFlashColour = 0x00FFDDCC;  // a pale warm white

extern uint32_t fb_main[kFbPixels];     // main render target; the 3D scene draws here
extern uint32_t fb_aux[2 * kFbPixels];  // second target, 320 x 480 (top half used as a frame)
extern uint32_t fb_flash[kFbPixels];    // all kFlashColour: the second operand of every flash
extern uint32_t fb_work[kFbPixels];     // scratch for blurs and a transition's second effect

// 1 until the viewer asks to quit, 0 afterwards.
extern int32_t running;

// The gentle show: the same music, scenes, cues and timing, with every flash and flicker kept
// under three a second (scene 8 cross-fades in instead of flickering, a beat that would restart
// a running flash is held). Set before show_main; false plays the show as written.
extern bool show_gentle;

// The start screen before the music (a start from the desktop's menu): the photosensitivity
// warning and the choice between the show as written and the gentle one. A start-up failure is
// then also told in a message box. Set before show_main.
extern bool show_start_screen;

// Base times (clock_ticks values) taken when the named scenes begin; later scenes keep using an
// earlier scene's base. t_prev carries the last scene time from scene 8 into 9 and 9 into 10.
struct ShowTimes {
  int32_t T0, T1, T2, T3, T4, T5, T6;
  int32_t t_prev;
};
extern ShowTimes show_times;
