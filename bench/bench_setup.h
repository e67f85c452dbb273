// What the effect benchmarks set up before they time anything: the tables the show builds at
// start-up, made from the tests' synthetic images so that a timing does not depend on the art.
#pragma once

#include <cstdint>
#include <vector>

#include "base/framebuffer.h"
#include "effects/blobs.h"
#include "effects/compose.h"
#include "effects/dots.h"
#include "effects/tunnel.h"
#include "tests/effects/synthetic.h"

// The division table, the tunnel's textures and maps, the blob sprite and backdrops and the dot
// screen at full frame, once per program.
inline void bench_effects_setup() {
  static const bool done = [] {
    // blobs_draw keeps reading its image, so both live for the program.
    static const std::vector<uint8_t> portrait = synthetic::portrait_image();
    static const std::vector<uint8_t> portrait_b = synthetic::portrait_b_image();
    divtable_init();
    tunnel_build_textures(tex_back, tex_front, portrait.data());
    tunnel_build_maps(tex_back, tex_front);
    blobs_init(portrait_b.data());
    dots_init(kFbWidth, kFbHeight);
    return true;
  }();
  (void)done;
}
