// The rasterizer: convex screen-space polygons into the 32-bit framebuffer, with edge walkers and
// span fillers chosen by the render mode, on the raster target it holds. First the settings a
// view's output takes, which the object interface and tools call (render3d/render.h brings them);
// then the inside: the frame driver sets the target from the view, the face pass sets the mode
// and hands over polygons. Only render3d's own files and its tests use the inside.
#pragma once

#include <cstdint>

// The raster settings a view's output takes: projection factor (>= 0), and size (1..640 x 1..480,
// or up to the large target size when allowed) with bits per pixel (>= 8). Each returns 0, or 1
// (nothing changed) for a value refused.
int raster_set_projection(int32_t p);
int raster_set_target(int32_t w, int32_t h, int32_t depth);

// Choices the show never makes, for a tool that draws any scene (scenerender). All are off until
// a tool asks, and then hold for the rest of the process.
// - Depth fill: with a z-buffer on the view, flat-lit faces are drawn nearest first, each pixel
//   only where it is nearer than what is there (its 1/w against the z-buffer's), so that faces
//   that intersect or overlap in depth show as they stand instead of by their centres' order.
// - Large targets: raster_set_target takes sizes up to kLargeTargetWidth x kLargeTargetHeight.
// - Horizontal projection: the factor that sets the half width's tangent, (w / 2) / (w x factor /
//   256); 192 (a tangent of 2 / 3) by default. Refused (1) when not positive.
constexpr int32_t kLargeTargetWidth = 3840;
constexpr int32_t kLargeTargetHeight = 2160;
void raster_set_depth_fill(bool on);
void raster_allow_large_targets(bool on);
int raster_set_projection_x(float factor);

// ---- The inside ------------------------------------------------------------------------------

// Raster target and projection, set per frame from the view.
struct RasterTarget {
  int32_t width;       // 1..640 (or the large target width), initially 320
  int32_t height;      // 1..480 (or the large target height), initially 200
  int32_t depth;       // bits per pixel, >= 8, initially 8
  int32_t projection;  // projection factor, initially 256
  uint32_t* framebuffer;
  uint32_t* zbuffer;            // null when there is none
  float projection_x = 192.0f;  // horizontal projection factor (raster_set_projection_x)
  bool large = false;           // sizes up to kLargeTargetWidth x kLargeTargetHeight taken
  bool depth_fill = false;      // flat faces tested against the z-buffer (raster_set_depth_fill)
};
extern RasterTarget raster_target;

// Where the target's pixels go, and its z-buffer (null for none). Refused (1) without a
// framebuffer.
int raster_set_buffers(uint32_t* fb, uint32_t* zb);
// Clears the target's z-buffer, when it has one.
void zbuffer_clear();

// Render mode bits (an object's flags as prepared by the face pass):
//   0x001 flat lighting (one intensity per face, vertex 0)   0x002 per-vertex intensity
//   0x004 textured (u, v)        0x008 environment-mapped    0x010 textured + environment-mapped
//   0x020 texture unit 1, no interpolated attribute          0x040 z-buffered
//   0x080 perspective-correct attributes                     0x100 two-sided
//   0x200 colour not scaled by the intensity
// Only mode 1 has a span filler at 32-bit depth, and mode 0x041 when the depth fill is on.

// Slots: 0 x, 1 y (1/256 pixel, y down), 2 u, 3 v, 4 and 5 environment coordinates,
// 6 intensity (0..65280), 7 depth w (minus view z).
struct RasterVertex {
  float s[8];
};

constexpr int kSlotX = 0, kSlotY = 1, kSlotU = 2, kSlotV = 3, kSlotEnvU = 4, kSlotEnvV = 5,
              kSlotIntensity = 6, kSlotDepth = 7;

constexpr int kEdgeRows = kLargeTargetHeight;

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
// The flat fill with the depth test: slot 1 of the edge rows holds 256 / w.
void span_fill_flat_depth();
