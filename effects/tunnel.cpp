// The two-layer tunnel and the intro scene drawn over it.
#include "effects/tunnel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "effects/compose.h"

uint32_t tex_back[kTexWidth * kTexHeight];
uint32_t tex_front[kTexWidth * kTexHeight];

namespace {

constexpr uint32_t kSky = 0x00EE8800;  // orange above the back layer's band of faces
constexpr int kSkyLastRow = 72, kFloorFirstRow = 201;
constexpr int kBackTop = 110;           // portrait row shown at texture row 0 of the back layer
constexpr int kBackLeft = 44, kBackSpan = 164;  // portrait columns the back layer repeats

const uint32_t* back_tex = nullptr;
const uint32_t* front_tex = nullptr;
int32_t angle_map[kFbWidth];
uint32_t row_map[kFbPixels];  // texture row of each screen pixel, times the texture width

uint32_t intro_scratch[kFbPixels];
const uint32_t fb_black[kFbPixels] = {};

}  // namespace

void tunnel_build_textures(uint32_t* back, uint32_t* front, const uint8_t* image) {
  const uint8_t background = image[0];
  for (int y = 0; y < kTexHeight; ++y) {
    const uint8_t* src = image + ((2 * y + kBackTop) % 256) * 256 + kBackLeft;
    uint32_t* dst = back + y * kTexWidth;
    for (int x = 0; x < kTexWidth; ++x) {
      const uint32_t s = src[(2 * x) % kBackSpan];
      dst[x] = s == background ? kSky : ((3 * s) / 5) << 16;
      if (y <= kSkyLastRow) dst[x] = kSky;
      if (y >= kFloorFirstRow) dst[x] = 0;
    }
  }
  for (int y = 0; y < kTexHeight; ++y)
    for (int x = 0; x < kTexWidth; ++x) front[y * kTexWidth + x] = static_cast<uint32_t>(image[y * 256 + x % 256]) << 16;
}

int32_t tunnel_build_maps(const uint32_t* back, const uint32_t* front) {
  back_tex = back;
  front_tex = front;
  for (int x = 0; x < kFbWidth; ++x)
    angle_map[x] = static_cast<int32_t>(std::atan2(static_cast<double>(x - 160), 200.0) * 200.0 + 982.0);
  for (int y = 0; y < kFbHeight; ++y) {
    const double depth = std::atan2(static_cast<double>(y - 120), 200.0) * 220.0;
    for (int x = 0; x < kFbWidth; ++x) {
      const double bend = std::cos(static_cast<double>(x - 160) / 250.0);
      row_map[y * kFbWidth + x] = kTexWidth * static_cast<uint32_t>(static_cast<int32_t>(bend * depth + 120.0));
    }
  }
  return 1;
}

void tunnel_draw(uint32_t* fb, int32_t p) {
  if (back_tex == nullptr || front_tex == nullptr) return;
  // Phases wrap in unsigned arithmetic, so any p stays inside the texture.
  const uint32_t up = static_cast<uint32_t>(p);
  uint32_t col_back[kFbWidth], col_front[kFbWidth];
  for (int x = 0; x < kFbWidth; ++x) {
    const uint32_t a = static_cast<uint32_t>(angle_map[x]);
    col_back[x] = (a + up) % kTexWidth;
    col_front[x] = (a + 2 * up) % kTexWidth;
  }
  const uint32_t key = front_tex[0];
  for (int y = 0; y < kFbHeight; ++y) {
    const uint32_t* rows = row_map + y * kFbWidth;
    uint32_t* out = fb + y * kFbWidth;
    for (int x = 0; x < kFbWidth; ++x) {
      const uint32_t o = rows[x];
      const uint32_t f = front_tex[o + col_front[x]];
      out[x] = f != key ? f : back_tex[o + col_back[x]];
    }
  }
}

void intro_draw(uint32_t* fb, int32_t t, const uint8_t* strips) {
  tunnel_draw(fb, static_cast<int32_t>(10000u - static_cast<uint32_t>(t)));
  const double phase = t / 40.0;
  const int32_t radius = static_cast<int32_t>(41.0 - 40.0 * std::sqrt(std::fabs(std::sin(phase))));
  blur_h(fb, intro_scratch, 0, 0, 0, 0, kFbWidth, kFbHeight, kFbWidth, kFbHeight, radius);
  const int32_t dim = static_cast<int32_t>(240.0 - 150.0 * std::fabs(std::sin(phase + std::numbers::pi / 2.0)));
  crossfade(intro_scratch, fb_black, fb, kFbPixels, dim);
  text_draw(125, 114, 0, std::min(t, 255), fb, strips);
  text_draw(65, 138, 1, std::min(std::max(t, 128) - 128, 255), fb, strips);
}
