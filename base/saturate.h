// Float to int32 conversion that cannot be undefined: a value that does not fit an int32 would
// be, so every conversion of a value that can be huge, infinite or NaN goes through here.
#pragma once

#include <cstdint>

// v truncated toward zero (as a cast does), held to [lo, hi]; NaN gives 0. lo and hi are whole
// numbers that T and int32_t both hold exactly. Each caller keeps the limits its results need.
template <typename T>
constexpr int32_t saturate_int32(T v, T lo, T hi) {
  if (!(v == v)) return 0;
  if (v <= lo) return static_cast<int32_t>(lo);
  if (v >= hi) return static_cast<int32_t>(hi);
  return static_cast<int32_t>(v);
}
