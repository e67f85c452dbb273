// The light that render3d's lighting reads: the light's position and the shade range (8.8
// intensities). set_light_position and set_shade_range (scene3d/objects.h) set them.
#pragma once

#include "render3d/math3d.h"

extern Vec3 light_position;  // initially (900, 1000, -400)
extern float shade_low;      // initially 0
extern float shade_high;     // initially 65280
extern float shade_span;     // initially 65536
