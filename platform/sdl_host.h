// A few looks inside the SDL host, for the tests and for diagnostics. The show itself only
// uses platform/platform.h.
#pragma once
#include <SDL.h>

SDL_Window* video_window();
SDL_Renderer* video_renderer();

// Frame pacing: whether presents are held to the display's refresh rate by our own clock
// (because the renderer's present does not wait for the retrace), and the rate in use.
bool video_pacing_active();
int video_refresh_hz();

// Trusts the renderer's retrace wait again and restarts watching the present intervals, as for
// a renderer that claims the wait. For the tests of that watch.
void video_pacing_probe_restart();

// video_present in its two halves, for the presentation benchmark: the host's own work (the
// picture uploaded, the draws queued) and the rest (the renderer draws them and presents).
void video_present_stage(const uint32_t* fb);
void video_present_show();

// Turns our own frame pacing off (or on), for the benchmark.
void video_set_pacing(bool on);
