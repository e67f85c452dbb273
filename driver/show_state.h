// The driver's own state for the whole run: its framebuffers, the quit flag and the gentle choice.
// Hosts use show.h and show_observe.h instead.
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

// The gentle show (show_set_gentle in show.h), read by the scene script and the flash rule.
extern bool show_gentle;

// The start screen before the music (a start from the desktop's menu): the photosensitivity
// warning and the choice between the show as written and the gentle one. A start-up failure is
// then also told in a message box. Set before show_main.
extern bool show_start_screen;
