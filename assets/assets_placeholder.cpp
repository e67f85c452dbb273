// Stand-in content: an empty module and scene, blank portraits and strips.
#include "assets/assets.h"

uint8_t soundtrack_mod[1] = {0};
const size_t soundtrack_mod_size = 0;
const uint8_t scene_3ds[8] = {0};
const size_t scene_3ds_size = 0;
const uint8_t portrait[256 * 256] = {168};
const uint8_t portrait_b[256 * 256] = {168};
const uint8_t text_strips[kTextStripCount * kTextStripWidth * kTextStripHeight] = {0};
