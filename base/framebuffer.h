// The show's framebuffer: kFbWidth x kFbHeight pixels of 0x00RRGGBB, row-major, rows top to
// bottom. Every effect draws into buffers of this size, and both hosts present it.
#pragma once

constexpr int kFbWidth = 320;
constexpr int kFbHeight = 240;
constexpr int kFbPixels = kFbWidth * kFbHeight;  // 76,800
