#include "effects/lens_overlay.h"

#include <cmath>

#include "effects/effects_internal.h"

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

  // Conceptually: copy src into fb, then one pass top to bottom in which every pixel is masked by
  // its own pattern entry and its point mirror (319 - x, 239 - y) is halved where that entry
  // shades. So an upper-half pixel is masked first and shaded later (by its mirror's entry), a
  // lower-half pixel shaded first and masked afterwards; rim pixels come out differently in the
  // two halves, and a pixel already black is left alone by the shadow. The copy is folded into
  // the upper half of the pass, which is the first to touch every pixel of either half.
  const uint32_t* map_u = reinterpret_cast<const uint32_t*>(lens_map_u);
  const uint32_t* map_v = reinterpret_cast<const uint32_t*>(lens_map_v);
  constexpr int32_t kHalf = kFbPixels / 2;
  for (int32_t p = 0; p < kHalf; ++p) {
    const uint32_t i = ((sv + map_v[p]) & 255) * 256 + ((su + map_u[p]) & 255);
    fb[p] = src[p] & lens_mask[i];
    const int32_t m = kFbPixels - 1 - p;
    const uint32_t q = src[m];
    fb[m] = (q != 0 && lens_shade[i] == 1) ? (q >> 1) & 0x7F7F7F : q;
  }
  for (int32_t p = kHalf; p < kFbPixels; ++p) {
    const uint32_t i = ((sv + map_v[p]) & 255) * 256 + ((su + map_u[p]) & 255);
    fb[p] &= lens_mask[i];
    const int32_t m = kFbPixels - 1 - p;
    const uint32_t q = fb[m];
    if (q != 0 && lens_shade[i] == 1) fb[m] = (q >> 1) & 0x7F7F7F;
  }
}
