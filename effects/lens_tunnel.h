// The closing scenes' effect: the tunnel smeared by a pulsing horizontal blur, seen through the
// lens overlay, with a miniature of the result left in the thumbnail buffer.
#pragma once
#include <cstdint>

// The blurred tunnel between the blur and the lens.
extern uint32_t blur_buffer[320 * 240];

// Draws the frame for time t (clock ticks) into fb; overwrites blur_buffer and the thumbnail.
void lens_tunnel_draw(uint32_t* fb, int32_t t);
