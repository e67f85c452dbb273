// The face drawing pass: the sorted face queue drawn far to near, each face clipped against the
// near plane in screen space and handed to the rasterizer.
#pragma once

#include <cstdint>

#include "render3d/raster.h"
#include "scene3d/objects.h"

// Unset marker for the attribute slots 2..7 of a clip record.
constexpr float kUnsetSlot = 2147483648.0f;

void draw_queued_faces();

// The projection at z = -105 (the near plane), from the raster target and projection factor.
void clip_scales(float* scale_x, float* scale_y);

// Builds the raster records of one queued face (face reference ref): vertices read in drawing
// order, clipped against the near plane, the flat intensity set. Writes up to five records to
// out and returns their count, or 0 when the face is not drawn.
int32_t face_build(const Object3D* o, int32_t ref, float scale_x, float scale_y,
                   RasterVertex* out);

// Texture hook: binds a texture handle to unit 1..3. Textures are not defined; it does nothing.
void texture_bind(void* handle, int unit);
