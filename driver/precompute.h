// The start-up precomputations that sit between opening the video output and starting the music.
#pragma once

// divtable_init, blobs_init, tunnel_build_textures and tunnel_build_maps (tex_back, tex_front),
// dots_init(320, 240), lens_init(1200, 280), in that order.
void show_precompute_effects();

// bounce_scene_init(fb_main): reads the embedded scene and sets up the balls. Returns 0, or 1
// when the scene file cannot be read.
int show_precompute_scene();
