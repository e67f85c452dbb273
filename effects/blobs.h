// The blob field: a posterised portrait shown flat, then as a 32 x 32 grid of soft additive blobs
// that breathes and finally dissolves into a swarm circling the centre in perspective.
#pragma once
#include <cstdint>

#include "assets/assets.h"

// Builds the blob sprite and the two backdrops (the image at half and two-thirds size) from a
// 256 x 256 greyscale image; blobs_draw takes its blob colours from the same image.
void blobs_init(const uint8_t* image = portrait_b);

// Adds one blob of size x size pixels centred at (cx, cy), each byte of colour scaled by the
// sprite; clipped to the framebuffer.
void blob_draw(uint32_t* fb, int32_t size, int32_t cx, int32_t cy, uint32_t colour);

// The effect's frame at time t (ticks). From t = 128 on it adds onto fb, which the caller clears.
void blobs_draw(uint32_t* fb, int32_t t);
