// The lens overlay: the source seen through a scrolling, lens-distorted field of discs, with a
// point-mirrored shadow of the same pattern laid across it.
#pragma once
#include <cstdint>

// Copies src into fb, then masks every pixel of fb through the disc pattern and halves the pixel
// at the mirrored position where the pattern shades, in one top-to-bottom pass. fb and src are
// distinct 320 x 240 frames; t is in clock ticks.
void lens_overlay(int32_t t, uint32_t* fb, const uint32_t* src);
