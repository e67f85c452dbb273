#include "effects/lens_overlay.h"

#include <cmath>
#include <cstring>

#include "effects/compose.h"
#include "effects/lens.h"

namespace {

// Truncation toward zero, kept to its low 32 bits: only the low 8 bits of a scroll offset
// matter, and the 64-bit step keeps a huge t defined.
uint32_t trunc_wrap(double v) { return static_cast<uint32_t>(static_cast<int64_t>(v)); }

}  // namespace

void lens_overlay(int32_t t, uint32_t* fb, const uint32_t* src) {
  const double td = t;
  // A drift that grows with t and swings by up to 5000 pattern units, and a vertical sway.
  const uint32_t su = trunc_wrap(std::sin(td / 600.0) * 5000.0 + td);
  const uint32_t sv = 3u * trunc_wrap(100.0 * std::cos(td / 22.1));

  constexpr int32_t kPixels = kWidth * kHeight;
  std::memcpy(fb, src, sizeof(uint32_t) * kPixels);

  // One pass, top to bottom: a pixel of the upper half is masked by its own index before its
  // mirror's index shades it; a lower-half pixel is shaded first and masked afterwards. Rim
  // pixels come out differently in the two halves, as they should.
  const uint32_t* map_u = reinterpret_cast<const uint32_t*>(lens_map_u);
  const uint32_t* map_v = reinterpret_cast<const uint32_t*>(lens_map_v);
  uint32_t* mirror = fb + kPixels - 1;
  for (int32_t p = 0; p < kPixels; ++p, --mirror) {
    const uint32_t i = ((sv + map_v[p]) & 255) * 256 + ((su + map_u[p]) & 255);
    fb[p] &= lens_mask[i];
    const uint32_t q = *mirror;
    if (q != 0 && lens_shade[i] == 1) *mirror = (q >> 1) & 0x7F7F7F;
  }
}
