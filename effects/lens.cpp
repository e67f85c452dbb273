#include "effects/lens.h"

#include <cmath>

#include "effects/effects_internal.h"

uint32_t lens_mask[kLensSize * kLensSize];
uint8_t lens_shade[kLensSize * kLensSize];
int32_t lens_map_u[kFbPixels];
int32_t lens_map_v[kFbPixels];

namespace {

// Squared radii of the disc's zones: clear inside, darkened ring, rim, then nothing.
constexpr int32_t kClearR2 = 9199;
constexpr int32_t kRingR2 = 9700;
constexpr int32_t kRimR2 = 10000;

}  // namespace

void lens_init(int32_t a, int32_t b) {
  if (b == 0) b = 1;  // a zero divisor would trap; the show only passes 280 and 180

  for (int32_t y = 0; y < kLensSize; ++y) {
    for (int32_t x = 0; x < kLensSize; ++x) {
      const int32_t r2 = (x - 128) * (x - 128) + (y - 128) * (y - 128);
      uint32_t mask = kLensBlock;
      uint8_t shade = 1;
      if (r2 <= kClearR2) {
        mask = kLensPass;
        shade = 0;
      } else if (r2 <= kRingR2) {
        mask = kLensPass;
      } else if (r2 <= kRimR2) {
        mask = kLensRim;
      }
      lens_mask[y * kLensSize + x] = mask;
      lens_shade[y * kLensSize + x] = shade;
    }
  }

  // The offset x * v rises from the centre, peaks at a / 20 pixels and is back to 0 at a / 10:
  // a bulge that magnifies the middle and folds the outside inwards.
  for (int32_t y = 0; y < kFbHeight; ++y) {
    const int32_t dy = y - kFbHeight / 2;
    for (int32_t x = -kFbWidth / 2; x < kFbWidth / 2; ++x) {
      const double r = std::sqrt(100.0 * static_cast<double>(x * x + dy * dy));
      // 64 bits: any 32-bit lens height minus r fits, and so do the products.
      const int64_t v = static_cast<int64_t>(static_cast<double>(a) - r);
      const int32_t i = y * kFbWidth + x + kFbWidth / 2;
      lens_map_u[i] = static_cast<int32_t>(x * v / b + kLensMapOffset);
      lens_map_v[i] = static_cast<int32_t>(dy * v / b + kLensMapOffset);
    }
  }
}
