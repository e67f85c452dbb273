// The dot screen: any image as a hexagonal grid of round red, green and blue dots whose radii grow
// with the channel's brightness, each with a soft additive rim.
#pragma once
#include <cstdint>

#include "assets/assets.h"

// Records the grid size (at most one framebuffer; the width is also the row length of source and
// destination) and fills the 7 x 7 dot kernel.
void dots_init(int32_t width, int32_t height);

// The kernel entry at offset (dx, dy) from a cell centre, -3 ... 3 each: a distance scaled so that
// 256 is three pixels, or -1 outside the dot (and for offsets beyond the kernel).
int32_t dots_kernel_at(int32_t dx, int32_t dy);

// Adds the dots of src to dst (which the caller clears). gain scales the brightness that sets the
// dot sizes, 255 being unity.
void dots_render(uint32_t* dst, const uint32_t* src, int32_t gain);

// The dot-screen scene effect at time t: the tunnel through the dot screen, a pulsing blur and
// four miniatures of the result along the top edge.
void dotscreen_draw(uint32_t* fb, int32_t t);

// Writes the picture twice, one copy above the other, into a 320 x 480 buffer (the lower half is
// expected to be zero apart from the picture).
void picture_fill(uint32_t* buffer, const uint8_t* image = portrait);
