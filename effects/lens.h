// The lens: a disc pattern with a soft dark ring and a coarse bright rim, and the screen-space
// distortion through which the overlay looks at it (the tables are in effects_internal.h).
#pragma once
#include <cstdint>

// Builds the disc pattern and the distortion maps. a is the lens height (the offsets fall back
// to 0 at a / 10 pixels from the centre), b divides the offsets. b must not be 0.
void lens_init(int32_t a, int32_t b);
