// The tables that effects/ files share among themselves (and that its tests and benchmarks read):
// the thumbnail, the lens's disc pattern and distortion maps, and the zoom's colour map. The
// scenes never touch them; they go through the effects' own headers.
#pragma once
#include <cstdint>

#include "base/framebuffer.h"
#include "effects/compose.h"

// The thumbnail: a one-in-five sample of a whole frame inside a one-pixel border, shared by every
// caller of thumbnail(); it holds whatever the last capture left.
extern uint32_t thumbnail_buffer[kThumbWidth * kThumbHeight];

// The lens's disc pattern, 256 x 256, index = row * 256 + column (built by lens_init).
constexpr int kLensSize = 256;
constexpr uint32_t kLensPass = 0xFFFFFFFFu;  // inside the disc
constexpr uint32_t kLensRim = 0xC0C0C0C0u;   // the rim keeps the top two bits of each channel
constexpr uint32_t kLensBlock = 0;           // outside
extern uint32_t lens_mask[kLensSize * kLensSize];
// 1 where the shadow halves a pixel, 0 where it leaves it alone.
extern uint8_t lens_shade[kLensSize * kLensSize];

// Screen-space pattern coordinates, one per framebuffer pixel, row-major. The low 8 bits select a
// column (u) or row (v) of the disc pattern; both carry kLensMapOffset so they stay positive.
constexpr int32_t kLensMapOffset = 20 * 256;
extern int32_t lens_map_u[kFbPixels];
extern int32_t lens_map_v[kFbPixels];

// The zoom's colour map: the colour of every pixel of the second portrait, row * 256 + column
// (filled by colour_map_fill).
extern uint32_t colour_map[256 * 256];
