// Pixel operations shared by the scenes and the effects: cross-fade, additive blend, box blurs,
// the text strips and the 64 x 48 thumbnail. Framebuffers are kFbWidth x kFbHeight pixels
// (base/framebuffer.h).
#pragma once
#include <cstdint>

#include "assets/assets.h"
#include "base/framebuffer.h"

// The thumbnail's size: a one-in-five sample of a whole frame inside a one-pixel border.
constexpr int kThumbWidth = 64, kThumbHeight = 48;

// Builds the division table read by the blurs (entry [r][v] = v / r; row 0 is all 255).
// Called once at start-up, before any blur.
void divtable_init();

// dst = a * (255 - alpha) / 255 + b * alpha / 255, byte by byte over n pixels (top bytes included).
// dst may be a or b; alpha is 0 ... 255 (values outside are held to that range).
void crossfade(const uint32_t* a, const uint32_t* b, uint32_t* dst, int32_t n, int32_t alpha);

// dst = min(255, a * ka / 255 + b * kb / 255) byte by byte, each term itself held to 255.
// 255 is unity gain; larger gains amplify up to saturation, negative ones count as 0.
void blend_add(const uint32_t* a, const uint32_t* b, uint32_t* dst, int32_t n, int32_t ka, int32_t kb);

// Box blurs of `radius` pixels along rows (blur_h) or columns (blur_v): the width x height rectangle
// at (src_x, src_y) of src is blurred into the one at (dst_x, dst_y) of dst. Both buffers have
// `pitch` pixels a row and `buffer_height` rows; rectangles are clipped to them. Pixels outside the
// rectangle count as black, so the edges darken. Radius 1 copies (clearing the top byte); a radius
// below 1 gives black.
void blur_h(const uint32_t* src, uint32_t* dst, int32_t src_x, int32_t src_y, int32_t dst_x, int32_t dst_y,
            int32_t width, int32_t height, int32_t pitch, int32_t buffer_height, int32_t radius);
void blur_v(const uint32_t* src, uint32_t* dst, int32_t src_x, int32_t src_y, int32_t dst_x, int32_t dst_y,
            int32_t width, int32_t height, int32_t pitch, int32_t buffer_height, int32_t radius);

// Blends text strip `index` (0 ... 5) of `strips` towards pale yellow with opacity alpha / 255, its
// top-left corner at (x, y); whatever falls outside the framebuffer is left out.
void text_draw(int32_t x, int32_t y, int32_t index, int32_t alpha, uint32_t* fb,
               const uint8_t* strips = text_strips);

// capture != 0: samples fb into the thumbnail buffer (x, y ignored).
// capture == 0: pastes the thumbnail buffer into fb with its top-left corner at (x, y), clipped.
void thumbnail(int32_t x, int32_t y, uint32_t* fb, int32_t capture);
