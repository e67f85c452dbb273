#include "effects/lens_tunnel.h"

#include <cmath>

#include "effects/compose.h"
#include "effects/lens_overlay.h"
#include "effects/tunnel.h"

uint32_t blur_buffer[320 * 240];

void lens_tunnel_draw(uint32_t* fb, int32_t t) {
  tunnel_draw(fb, t);
  // 1 to 20 pixels wide, pulsing twice per 24 pi ticks (21 only at an exact peak).
  const int32_t radius = static_cast<int32_t>(std::fabs(std::sin(t / 12.0)) * 20.0 + 1.0);
  blur_h(fb, blur_buffer, 0, 0, 0, 0, kWidth, kHeight, kWidth, kHeight, radius);
  lens_overlay(t, fb, blur_buffer);
  thumbnail(0, 0, fb, 1);
}
