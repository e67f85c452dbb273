// The infinite zoom: a rotating 256-fold magnification of a tiled texture that cross-fades into
// the same point seen 256 times finer, so each 256-step stretch ends where the next begins; and
// its red-and-orange colour map (effects_internal.h), made from the second portrait.
#pragma once
#include <cstdint>

// Sets the output size of zoom_draw (height rows of width consecutive pixels). Returns 0, or 1
// (size unchanged) for a size outside 1..kFbWidth x 1..kFbHeight, which would no longer fit a
// frame.
int32_t zoom_set_size(int32_t width, int32_t height);

// One frame of the zoom at step z into dst (width x height pixels of the last zoom_set_size). The
// three tiled 256 x 256 textures take turns every 256 steps; e shapes the magnification within a
// stretch.
void zoom_draw(uint32_t* dst, int32_t z, double e, const uint32_t* tex_a, const uint32_t* tex_b,
               const uint32_t* tex_c);

// Sets the zoom to a full frame, rebuilds the lens with (500, 180) and fills colour_map from
// portrait_b.
void colormap_init();

// Fills colour_map from any 256 x 256 greyscale image whose first byte is its background.
void colour_map_fill(const uint8_t* image);
