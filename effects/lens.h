// The lens: a disc pattern with a soft dark ring and a coarse bright rim, the screen-space
// distortion through which the overlay looks at it, and the zoom's red-and-orange colour map.
#pragma once
#include <cstdint>

// Disc pattern, 256 x 256, index = row * 256 + column.
constexpr int kLensSize = 256;
constexpr uint32_t kLensPass = 0xFFFFFFFFu;  // inside the disc
constexpr uint32_t kLensRim = 0xC0C0C0C0u;   // the rim keeps the top two bits of each channel
constexpr uint32_t kLensBlock = 0;           // outside
extern uint32_t lens_mask[kLensSize * kLensSize];
// 1 where the shadow halves a pixel, 0 where it leaves it alone.
extern uint8_t lens_shade[kLensSize * kLensSize];

// Screen-space pattern coordinates, 320 x 240, row-major. The low 8 bits select a column (u)
// or row (v) of the disc pattern; both carry kLensMapOffset so they stay positive.
constexpr int32_t kLensMapOffset = 20 * 256;
extern int32_t lens_map_u[320 * 240];
extern int32_t lens_map_v[320 * 240];

// Colour of every pixel of the second portrait, row * 256 + column.
extern uint32_t colour_map[256 * 256];

// Builds the disc pattern and the distortion maps. a is the lens height (the offsets fall back
// to 0 at a / 10 pixels from the centre), b divides the offsets. b must not be 0.
void lens_init(int32_t a, int32_t b);

// Sets the zoom to a full frame, rebuilds the lens with (500, 180) and fills colour_map from
// portrait_b.
void colormap_init();

// Fills colour_map from any 256 x 256 greyscale image whose first byte is its background.
void colour_map_fill(const uint8_t* image);
