// The hash the golden frames are kept under: 64-bit FNV-1a taken a pixel word at a time. The native
// tests, the capture tool and the web page all compare frames by it.
#pragma once
#include <cstddef>
#include <cstdint>

inline uint64_t frame_hash(const uint32_t* pixels, size_t count) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < count; ++i) {
    h ^= pixels[i];
    h *= 0x100000001b3ull;
  }
  return h;
}
