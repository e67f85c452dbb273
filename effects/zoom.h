// The infinite zoom: a rotating 256-fold magnification of a tiled texture that cross-fades into
// the same point seen 256 times finer, so each 256-step stretch ends where the next begins.
#pragma once
#include <cstdint>

// Output size of zoom_draw: zoom_height rows of zoom_width consecutive pixels.
extern int32_t zoom_width;
extern int32_t zoom_height;

// The zoom's own target inside lens_zoom_draw, one full frame.
extern uint32_t zoom_buffer[320 * 240];

// Sets the output size. Returns 0, or 1 (size unchanged) for a size outside 1..320 x 1..240,
// which would no longer fit a frame.
int32_t zoom_set_size(int32_t width, int32_t height);

// One frame of the zoom at step z into dst (zoom_width * zoom_height pixels). The three tiled
// 256 x 256 textures take turns every 256 steps; e shapes the magnification within a stretch.
void zoom_draw(uint32_t* dst, int32_t z, double e, const uint32_t* tex_a, const uint32_t* tex_b,
               const uint32_t* tex_c);

// The scene effect: the zoom over colour_map running backwards with a wobble, through the lens
// overlay, with three bobbing miniatures of the result at the right edge. t in clock ticks.
void lens_zoom_draw(uint32_t* fb, int32_t t);
