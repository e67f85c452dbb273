#include "effects/lens_tunnel.h"

#include <cmath>

#include "effects/compose.h"
#include "effects/effects_internal.h"
#include "effects/lens_overlay.h"
#include "effects/tunnel.h"
#include "effects/zoom.h"

namespace {

// What each effect draws before the lens: the blurred tunnel, the zoom.
uint32_t blur_buffer[kFbPixels];
uint32_t zoom_buffer[kFbPixels];

}  // namespace

void lens_tunnel_draw(uint32_t* fb, int32_t t) {
  tunnel_draw(fb, t);
  // 1 to 20 pixels wide, pulsing twice per 24 pi ticks (21 only at an exact peak).
  const int32_t radius = static_cast<int32_t>(std::fabs(std::sin(t / 12.0)) * 20.0 + 1.0);
  blur_h(fb, blur_buffer, 0, 0, 0, 0, kFbWidth, kFbHeight, kFbWidth, kFbHeight, radius);
  lens_overlay(t, fb, blur_buffer);
  thumbnail(0, 0, fb, 1);
}

void lens_zoom_draw(uint32_t* fb, int32_t t) {
  // Backwards one step per tick, wobbling by 60 steps; 64-bit so any t stays defined.
  const double zd = static_cast<double>(int64_t{100080} - t) + std::sin(t / 15.0) * 60.0;
  const int32_t z = static_cast<int32_t>(static_cast<int64_t>(zd));  // wraps like the step count
  zoom_draw(zoom_buffer, z, 5.0, colour_map, colour_map, colour_map);
  lens_overlay(t, fb, zoom_buffer);

  thumbnail(0, 0, fb, 1);
  constexpr double kBase[3] = {24.0, 96.0, 168.0};
  for (int32_t k = 0; k < 3; ++k) {
    const int32_t y = static_cast<int32_t>(std::sin(t * 0.0625 + k) * 16.0 + kBase[k]);
    thumbnail(245, y, fb, 0);
  }
}
