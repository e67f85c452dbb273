// The centred 4 : 3 viewport for a window of w x h pixels, with bars where the window is wider
// or taller than 4 : 3. Pure arithmetic, kept apart from SDL so that it can be checked on its own.
#pragma once
#include <cstdint>

#include "base/framebuffer.h"
#include "base/saturate.h"

struct ViewportRect {
  int x;
  int y;
  int w;
  int h;
};

namespace viewport_detail {
// Truncates toward zero like a cast, but keeps absurd sizes inside int.
inline int trunc_to_int(float v) { return saturate_int32(v, -2147483520.0f, 2147483520.0f); }
}  // namespace viewport_detail

// The logical output of a video mode: 1 is 320 x 240, 2 is 320 x 200; any other mode has none.
inline bool video_mode_size(int mode, int* width, int* height) {
  if (mode != 1 && mode != 2) return false;
  *width = kFbWidth;
  *height = mode == 1 ? kFbHeight : 200;
  return true;
}

inline ViewportRect viewport_for(int w, int h) {
  using viewport_detail::trunc_to_int;
  // The ratio and the 4/3 threshold are compared in single precision (4/3 -> 1.3333334f), so
  // a window of exactly 640 x 480 takes the second branch and fills the window.
  constexpr float kFourThirds = 4.0f / 3.0f;
  const bool wider = h == 0 ? w > 0 : static_cast<float>(w) / static_cast<float>(h) > kFourThirds;
  ViewportRect r;
  if (wider) {
    r.w = trunc_to_int(static_cast<float>(h) * 4.0f / 3.0f);
    r.h = h;
    r.x = static_cast<int>((static_cast<int64_t>(w) - r.w) / 2);
    r.y = 0;
  } else {
    r.h = trunc_to_int(static_cast<float>(w) * 3.0f * 0.25f);
    r.w = w;
    r.y = static_cast<int>((static_cast<int64_t>(h) - r.h) / 2);
    r.x = 0;
  }
  return r;
}
