// The effect and 3D precomputations, called by show_main between video_init and music_start.
// Each effect library fills its own call in here as it lands.
#include "driver/precompute.h"

#include "driver/show_state.h"

void show_precompute_effects() {
  // divtable_init();
  // blobs_init();
  // tunnel_build_textures(tex_back, tex_front);
  // tunnel_build_maps(tex_back, tex_front);
  // dots_init(320, 240);
  // lens_init(1200, 280);
}

void show_precompute_scene() {
  // bounce_scene_init(fb_main);
}
