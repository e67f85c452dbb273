// The effect and 3D precomputations, called by show_main between video_init and music_start.
#include "driver/precompute.h"

#include "driver/show_state.h"
#include "effects/blobs.h"
#include "effects/compose.h"
#include "effects/dots.h"
#include "effects/lens.h"
#include "effects/tunnel.h"
#include "scene3d/bounce.h"

void show_precompute_effects() {
  divtable_init();
  blobs_init();
  tunnel_build_textures(tex_back, tex_front);
  tunnel_build_maps(tex_back, tex_front);
  dots_init(kFbWidth, kFbHeight);
  lens_init(1200, 280);
}

int show_precompute_scene() { return bounce_scene_init(fb_main); }
