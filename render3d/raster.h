// The polygon rasterizer: convex screen-space polygons into the 32-bit framebuffer, with edge
// walkers and span fillers chosen by the render mode.
//
// Render mode bits (an object's flags as prepared by the face pass):
//   0x001 flat lighting (one intensity per face, vertex 0)   0x002 per-vertex intensity
//   0x004 textured (u, v)        0x008 environment-mapped    0x010 textured + environment-mapped
//   0x020 texture unit 1, no interpolated attribute          0x040 z-buffered
//   0x080 perspective-correct attributes                     0x100 two-sided
//   0x200 colour not scaled by the intensity
// Only mode 1 has a span filler at 32-bit depth.
#pragma once

#include <cstdint>

// Slots: 0 x, 1 y (1/256 pixel, y down), 2 u, 3 v, 4 and 5 environment coordinates,
// 6 intensity (0..65280), 7 depth w (minus view z).
struct RasterVertex {
  float s[8];
};

constexpr int kSlotX = 0, kSlotY = 1, kSlotU = 2, kSlotV = 3, kSlotEnvU = 4, kSlotEnvV = 5,
              kSlotIntensity = 6, kSlotDepth = 7;

constexpr int kEdgeRows = 640;

// One edge-table row: word 0 the x in 1/256 pixel, then the attributes (integers in the linear
// walker, floats in the perspective walker and for the depth slot).
union EdgeWord {
  int32_t i;
  float f;
};
extern EdgeWord left_edges[kEdgeRows][8];
extern EdgeWord right_edges[kEdgeRows][8];

// (i x j) >> 8 at 256 i + j, built by render_engine_init.
extern uint8_t mul_table[65536];
void build_mul_table();

// Returns 0 when faces of this mode can be drawn, 1 when not.
int raster_set_mode(uint32_t mode);
// Forgets the current mode, so the next raster_set_mode takes the full path.
void raster_reset_mode();
void draw_polygon(int32_t n, const RasterVertex* verts, uint32_t colour);
void edge_walk_linear(const RasterVertex* a, const RasterVertex* b);
void edge_walk_perspective(const RasterVertex* a, const RasterVertex* b);
void span_fill_flat();
