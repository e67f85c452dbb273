// The two-layer tunnel: a curved wall built from the portrait, a near layer colour-keyed over a
// far one scrolling at half its speed, drawn by table lookup; and the intro scene built on it.
#pragma once
#include <cstdint>

#include "assets/assets.h"

constexpr int kTexWidth = 982, kTexHeight = 240;

// The tunnel's textures, 982 x 240 pixels each (row-major).
extern uint32_t tex_back[kTexWidth * kTexHeight];
extern uint32_t tex_front[kTexWidth * kTexHeight];

// Fills the far (back) and near (front) textures from a 256 x 256 greyscale image whose first byte
// is its background level.
void tunnel_build_textures(uint32_t* back, uint32_t* front, const uint8_t* image = portrait);

// Records the two textures and fills the column angle and row maps. Returns 1.
int32_t tunnel_build_maps(const uint32_t* back, const uint32_t* front);

// Draws the whole framebuffer for phase p; both layers scroll left as p grows, the front twice as
// fast. Draws nothing before tunnel_build_maps.
void tunnel_draw(uint32_t* fb, int32_t p);

// The intro's frame at scene time t: the tunnel through a pulsing blur and dimming, with the
// group's name and the title (strips 0 and 1 of `strips`) fading in.
void intro_draw(uint32_t* fb, int32_t t, const uint8_t* strips = text_strips);
