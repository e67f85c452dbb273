// Lighting: the light's position, the shade range (8.8 intensities) and the intensity of a face
// or vertex under them. set_light_position and set_shade_range (scene3d/objects.h) set the light
// and the range; the frame driver takes each lit object's light vector, the face pass reads the
// intensities.
#pragma once

#include <cstdint>

#include "render3d/math3d.h"
#include "render3d/records.h"

extern Vec3 light_position;  // initially (900, 1000, -400)
extern float shade_low;      // initially 0
extern float shade_high;     // initially 65280
extern float shade_span;     // initially 65536

// Sets o->light_vec: the vector from the light to the object, in the object's axes.
void object_light_vector(Object3D* o);

// The intensity at face slot `slot` (4 x face + vertex) of o: the cosine between the normal (the
// vertex's with kFlagVertexLit and normals, else the face's) and o->light_vec, over the shade
// range and held to [shade_low, shade_high].
float light_intensity(const Object3D* o, int32_t slot);
