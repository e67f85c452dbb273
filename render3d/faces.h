// The face drawing pass: the sorted face queue drawn far to near, each face clipped against the
// near plane in screen space and handed to the rasterizer.
#pragma once

// Unset marker for the attribute slots 2..7 of a clip record.
constexpr float kUnsetSlot = 2147483648.0f;

void draw_queued_faces();

// Texture hook: binds a texture handle to unit 1..3. Textures are not defined; it does nothing.
void texture_bind(void* handle, int unit);
