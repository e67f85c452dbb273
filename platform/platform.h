// The platform face: window, presentation, events and the timeline clock.
// Hosts implement it, chosen at link time: the SDL window (platform_sdl), the offline host
// (platform_offline) that hands frames to a sink and runs on a simulated clock, and the web
// page's (web_host.cpp, built by web/).
#pragma once
#include <cstdint>

// Opens the output. mode 1 = 320 x 240, mode 2 = 320 x 200; anything else fails.
// Returns 0 on success, 1 on failure. The second argument is ignored.
int video_init(int mode, int ignored);

// Shows one framebuffer of the logical size (0x00RRGGBB, rows top to bottom). Returns 0.
int video_present(const uint32_t* fb);

// Drains window events. Returns 1 when the viewer asked to quit, 0 when the queue is empty.
int video_poll();

void video_shutdown();

// A signed count of 20 ms ticks, rounded to the nearest tick.
int32_t clock_ticks();

// Called by the show while it waits for something the host or the audio device must do first
// (the music's first tick): a desktop host lets other threads run, a web page yields to the
// browser, whose event loop is where the audio is mixed.
void platform_idle();

// The start screen's answer among the events the last video_poll took: 0 none yet, 1 the show as
// written (Enter or a click), 2 the gentle show (g). Hosts with a start screen of their own (the
// web page) answer 1 at once, as does the offline host.
int video_start_choice();

// Start-up failures of a show started from a menu, where nobody reads the standard error: told in
// a message box where there is a display to show one, and otherwise not at all.
// No sound device: asks whether to play without sound. True when the viewer chose to; the next
// music_init then opens a device that plays to nowhere at the speed of a real one.
bool platform_offer_silent_start();
// No window could be opened.
void platform_report_no_window();
