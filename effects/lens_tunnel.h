// The two effects seen through the lens overlay: the tunnel smeared by a pulsing horizontal blur
// (the closing scenes), and the infinite zoom over the colour map (scenes 6 and 7).
#pragma once
#include <cstdint>

// Draws the frame for time t (clock ticks) into fb and leaves a miniature of it in the thumbnail.
void lens_tunnel_draw(uint32_t* fb, int32_t t);

// The zoom over colour_map running backwards with a wobble, through the lens overlay, with three
// bobbing miniatures of the result at the right edge. t in clock ticks; needs colormap_init.
void lens_zoom_draw(uint32_t* fb, int32_t t);
