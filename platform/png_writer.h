// PNG output of framebuffers, and a ready-made offline sink that writes one file per frame.
#pragma once
#include <cstdint>
#include <string>

#include "platform/offline.h"

enum class PngScale {
  Logical,  // the framebuffer as it is (320 x 240)
  Window,   // as the window shows it: doubled, with a black line under every doubled row
};

// Writes width x height pixels of 0x00RRGGBB as an 8-bit RGB PNG. Returns false on any error.
bool png_write_frame(const std::string& path, const uint32_t* pixels, int width, int height,
                     PngScale scale);

// For OfflineConfig.sink with sink_user pointing at a PngSinkConfig. Frame n goes to
// printf(pattern, n) when n % every == 0 and n >= first.
struct PngSinkConfig {
  std::string pattern = "frame-%06lld.png";
  PngScale scale = PngScale::Logical;
  int64_t first = 0;
  int64_t every = 1;
  int64_t written = 0;  // files written so far
  bool failed = false;  // set when a file could not be written
};
void png_sink(const OfflineFrame& frame, void* user);
