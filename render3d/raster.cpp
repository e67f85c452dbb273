// Polygon rasterizer. draw_polygon finds the polygon's bounding rows, rejects what lies outside
// the target, forms the colour, walks every edge into one of two per-row edge tables (an edge
// running down the screen into right_edges, one running up into left_edges) and lets the span
// filler fill each row from the left table's x to the right table's. Only clockwise polygons
// therefore produce pixels. Coordinates are in 1/256 pixel; a row's x is the edge's x at the
// row's lower boundary.
//
// Whatever the coordinates (huge, infinite or NaN from a degenerate projection), nothing is
// written outside the target: conversions saturate, rows and columns are clamped to it. The
// target, its size and projection, and the settings that choose them live here too.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/saturate.h"
#include "render3d/raster.h"

RasterTarget raster_target = {320, 200, 8, 256, nullptr, nullptr};
EdgeWord left_edges[kEdgeRows][8];
EdgeWord right_edges[kEdgeRows][8];
uint8_t mul_table[65536];

namespace {

constexpr uint32_t kModeFlat = 0x001;
constexpr uint32_t kModeVertexLit = 0x002;
constexpr uint32_t kModeZBuffer = 0x040;
constexpr uint32_t kModePerspective = 0x080;
constexpr uint32_t kModeUnscaled = 0x200;

// Per mode bit number: bit k set means slot k is interpolated along the edges.
constexpr uint32_t kAttributeMasks[20] = {0x01, 0x41, 0x0D, 0x31, 0x3D, 0x01, 0x80,
                                          0x80, 0x00, 0x00, 0x01, 0x42, 0x0E, 0x32,
                                          0x3E, 0x02, 0x80, 0x80, 0x00, 0x00};

using EdgeWalker = void (*)(const RasterVertex*, const RasterVertex*);
using SpanFiller = void (*)();

// Mode state, kept from one raster_set_mode to the next.
bool have_mode = false;
uint32_t current_mode = 0;
int mode_result = 1;
int32_t attr_list[8];
int32_t attr_count = 0;
EdgeWalker edge_walker = nullptr;
SpanFiller span_filler = nullptr;

// Per-polygon state.
int32_t min_x, max_x, min_y, max_y;
uint32_t polygon_colour = 0;

// Edge stepping state per attribute-list position.
int32_t attr_value[8];
int32_t attr_step[8];
float attr_fvalue[8];
float attr_fstep[8];

// Keeps every converted coordinate well inside int32, so that later shifts and sums cannot
// overflow; NaN becomes 0.
constexpr float kCoordLimit = 1073741824.0f;  // 2^30

int32_t to_coord(float v) { return saturate_int32(v, -kCoordLimit, kCoordLimit); }

// Wrap-around addition on the integer attribute values (never read at 32-bit depth).
int32_t wrap_add(int32_t a, int64_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// The rows an edge from a to b fills. An edge running down the screen goes into right_edges, one
// running up into left_edges, both walked from their top end (ty, in 1/256 pixel). Rows y0 to
// y1 - 1, y1 held to the target's height; y0 may be negative, and the walker then steps its values
// on to row 0.
struct EdgeRows {
  const RasterVertex* top;
  const RasterVertex* bottom;
  EdgeWord (*table)[8];
  int32_t ty, y0, y1;
};

// False when the edge covers no row of the target.
bool edge_rows(const RasterVertex* a, const RasterVertex* b, EdgeRows& e) {
  e.top = a;
  e.bottom = b;
  e.table = right_edges;
  if (a->s[kSlotY] > b->s[kSlotY]) {
    e.top = b;
    e.bottom = a;
    e.table = left_edges;
  }
  e.ty = to_coord(e.top->s[kSlotY]);
  e.y0 = e.ty >> 8;
  e.y1 = to_coord(e.bottom->s[kSlotY]) >> 8;
  if (e.y0 == e.y1) return false;
  const int32_t height = raster_target.height;
  if (e.y1 > height) {
    if (height <= e.y0) return false;
    e.y1 = height;
  }
  return e.y0 >= 0 || e.y1 > 0;
}

}  // namespace

void build_mul_table() {
  for (int i = 0; i < 256; ++i)
    for (int j = 0; j < 256; ++j) mul_table[256 * i + j] = static_cast<uint8_t>((i * j) >> 8);
}

void raster_reset_mode() { have_mode = false; }

int raster_set_mode(uint32_t mode) {
  if (have_mode && mode == current_mode) return mode_result;
  have_mode = true;
  current_mode = mode;
  if (raster_target.depth > 8 && raster_target.depth_fill && mode == (kModeFlat | kModeZBuffer)) {
    span_filler = span_fill_flat_depth;
    mode_result = 0;
    attr_list[0] = 0;  // x, then the depth slot
    attr_list[1] = kSlotDepth;
    attr_count = 2;
    edge_walker = edge_walk_linear;
    return mode_result;
  }
  if (raster_target.depth > 8) {
    span_filler = span_fill_flat;
    mode_result = mode == kModeFlat ? 0 : 1;
    attr_list[0] = 0;  // entry 0 of the mask table: x alone
    attr_count = 1;
    edge_walker = edge_walk_linear;
    return mode_result;
  }
  uint32_t mask = 0;
  const uint32_t bits = mode & ~kModeUnscaled;
  for (int b = 0; b < 20; ++b)
    if (bits & (1u << b)) mask |= kAttributeMasks[b];
  attr_count = 0;
  for (int k = 0; k < 8; ++k)
    if (mask & (1u << k)) attr_list[attr_count++] = k;
  edge_walker = (mode & kModePerspective) ? edge_walk_perspective : edge_walk_linear;
  span_filler = nullptr;  // no 8-bit filler: such faces walk their edges but fill nothing
  mode_result = 0;
  return mode_result;
}

void draw_polygon(int32_t n, const RasterVertex* verts, uint32_t colour) {
  if (n < 1 || !edge_walker) return;
  for (int32_t i = 0; i < n; ++i) {
    const float x = verts[i].s[kSlotX], y = verts[i].s[kSlotY];
    if (!(x == x) || !(y == y)) return;  // a NaN vertex has no place on the screen
  }
  min_x = max_x = to_coord(verts[0].s[kSlotX]);
  min_y = max_y = to_coord(verts[0].s[kSlotY]);
  for (int32_t i = 1; i < n; ++i) {
    const float x = verts[i].s[kSlotX], y = verts[i].s[kSlotY];
    if (x > static_cast<float>(max_x))
      max_x = to_coord(x);
    else if (x < static_cast<float>(min_x))
      min_x = to_coord(x);
    if (y > static_cast<float>(max_y))
      max_y = to_coord(y);
    else if (y < static_cast<float>(min_y))
      min_y = to_coord(y);
  }
  min_x >>= 8;
  max_x >>= 8;
  min_y >>= 8;
  max_y >>= 8;

  const int32_t width = raster_target.width, height = raster_target.height;
  if (min_y < 0) {
    if (max_y <= 0) return;
    min_y = 0;
  }
  if (max_y > height) {
    if (height <= min_y) return;
    max_y = height;
  }
  if (min_x < 0) {
    if (max_x <= 0) return;
    min_x = 0;
  }
  if (max_x > width) {
    if (width <= min_x) return;
    max_x = width;
  }

  if (current_mode & (kModeFlat | kModeVertexLit)) {
    polygon_colour = colour;
    if ((current_mode & kModeFlat) && !(current_mode & kModeUnscaled)) {
      const int32_t intensity = to_coord(verts[0].s[kSlotIntensity]);
      if (raster_target.depth == 8) {
        polygon_colour = colour + static_cast<uint32_t>(intensity >> 8);
      } else {
        const uint32_t row = static_cast<uint32_t>(intensity) & 0xFF00;
        polygon_colour = (colour & 0xFF000000u) |
                         static_cast<uint32_t>(mul_table[row + ((colour >> 16) & 0xFF)]) << 16 |
                         static_cast<uint32_t>(mul_table[row + ((colour >> 8) & 0xFF)]) << 8 |
                         mul_table[row + (colour & 0xFF)];
      }
    }
  }

  for (int32_t i = 0; i + 1 < n; ++i) edge_walker(&verts[i], &verts[i + 1]);
  edge_walker(&verts[n - 1], &verts[0]);
  if (span_filler) span_filler();
}

void edge_walk_linear(const RasterVertex* a, const RasterVertex* b) {
  const bool zbuffered = (current_mode & kModeZBuffer) && attr_count >= 2;
  const int32_t nl = attr_count - (zbuffered ? 1 : 0);
  EdgeRows e;
  if (!edge_rows(a, b, e)) return;
  const RasterVertex* top = e.top;
  const RasterVertex* bottom = e.bottom;
  const int32_t ty = e.ty;
  int32_t y0 = e.y0;

  const float dy = bottom->s[kSlotY] - top->s[kSlotY];
  const float frac = top->s[kSlotY] - static_cast<float>(ty & ~255);
  const int32_t s = to_coord(frac - 256.0f);
  const float slope = 256.0f * (bottom->s[kSlotX] - top->s[kSlotX]) / dy;
  float x = top->s[kSlotX] - slope * static_cast<float>(s) / 256.0f;

  for (int32_t i = 1; i < nl; ++i) {
    const int k = attr_list[i];
    const int32_t step = to_coord(65536.0f * (bottom->s[k] - top->s[k]) / dy);
    attr_step[i] = step;
    attr_value[i] =
        to_coord(256.0f * top->s[k] - static_cast<float>((static_cast<int64_t>(step) * s) >> 8));
  }
  float z = 0.0f, zstep = 0.0f;
  if (zbuffered) {
    const float wt = top->s[kSlotDepth], wb = bottom->s[kSlotDepth];
    if (!(wt > 0.0f) || !(wb > 0.0f)) return;
    zstep = (65536.0f / wb - 65536.0f / wt) / dy;
    z = 256.0f / wt - static_cast<float>(s) * zstep / 256.0f;
  }

  if (y0 < 0) {
    x -= static_cast<float>(y0) * slope;
    for (int32_t i = 1; i < nl; ++i)
      attr_value[i] = wrap_add(attr_value[i], -static_cast<int64_t>(y0) * attr_step[i]);
    z -= static_cast<float>(y0) * zstep;
    y0 = 0;
  }

  for (int32_t y = y0; y < e.y1; ++y) {
    EdgeWord* row = e.table[y];
    row[0].i = to_coord(x);
    x += slope;
    for (int32_t i = 1; i < nl; ++i) {
      row[i].i = attr_value[i];
      attr_value[i] = wrap_add(attr_value[i], attr_step[i]);
    }
    if (zbuffered) {
      row[nl].f = z;
      z += zstep;
    }
  }
}

void edge_walk_perspective(const RasterVertex* a, const RasterVertex* b) {
  EdgeRows e;
  if (!edge_rows(a, b, e)) return;
  const RasterVertex* top = e.top;
  const RasterVertex* bottom = e.bottom;
  const float wt = top->s[kSlotDepth], wb = bottom->s[kSlotDepth];
  if (!((wt < wb ? wt : wb) > 0.0f)) return;
  const int32_t ty = e.ty;
  int32_t y0 = e.y0;

  const float dy = bottom->s[kSlotY] - top->s[kSlotY];
  const float frac = top->s[kSlotY] - static_cast<float>(ty & ~255);
  const float inv = 256.0f / dy;
  const float s = frac / 256.0f - 1.0f;
  const float slope = (bottom->s[kSlotX] - top->s[kSlotX]) * inv;
  float x = top->s[kSlotX] - slope * s;

  // Positions 1 .. count-2 carry attribute / w; the last carries 1 / w.
  const int32_t count = attr_count;
  for (int32_t i = 1; i + 1 < count; ++i) {
    const int k = attr_list[i];
    const float at = 256.0f * top->s[k] / wt;
    const float ab = 256.0f * bottom->s[k] / wb;
    attr_fstep[i] = (ab - at) * inv;
    attr_fvalue[i] = at - attr_fstep[i] * s;
  }
  if (count >= 2) {
    const float w_top = 256.0f / wt;
    attr_fstep[count - 1] = (256.0f / wb - w_top) * inv;
    attr_fvalue[count - 1] = w_top - attr_fstep[count - 1] * s;
  }

  if (y0 < 0) {
    const float rows = static_cast<float>(y0);
    x -= rows * slope;
    for (int32_t i = 1; i < count; ++i) attr_fvalue[i] -= rows * attr_fstep[i];
    y0 = 0;
  }

  for (int32_t y = y0; y < e.y1; ++y) {
    EdgeWord* row = e.table[y];
    row[0].i = to_coord(x);
    x += slope;
    for (int32_t i = 1; i < count; ++i) {
      row[i].f = attr_fvalue[i];
      attr_fvalue[i] += attr_fstep[i];
    }
  }
}

namespace {

// Cuts the span [xs, xe) to the row's [0, width); false when nothing of it is left.
bool clip_span(int32_t& xs, int32_t& xe, int32_t width) {
  if (xe < xs) return false;
  if (xs < 0) {
    if (xe <= 0) return false;
    xs = 0;
  }
  if (xe > width) {
    if (xs >= width) return false;
    xe = width;
  }
  return true;
}

}  // namespace

void span_fill_flat() {
  uint32_t* fb = raster_target.framebuffer;
  if (!fb) return;
  const int32_t width = raster_target.width;
  const uint32_t colour = polygon_colour;
  for (int32_t y = max_y - 1; y >= min_y; --y) {
    int32_t xs = left_edges[y][0].i >> 8;
    int32_t xe = right_edges[y][0].i >> 8;
    if (!clip_span(xs, xe, width)) continue;
    uint32_t* line = fb + static_cast<size_t>(y) * width;
    for (int32_t x = xe - 1; x >= xs; --x) line[x] = colour;
  }
}

void span_fill_flat_depth() {
  uint32_t* fb = raster_target.framebuffer;
  uint32_t* zb = raster_target.zbuffer;
  if (!fb || !zb) return;
  const int32_t width = raster_target.width;
  const uint32_t colour = polygon_colour;
  for (int32_t y = max_y - 1; y >= min_y; --y) {
    const int32_t xl = left_edges[y][0].i, xr = right_edges[y][0].i;
    int32_t xs = xl >> 8;
    int32_t xe = xr >> 8;
    if (!clip_span(xs, xe, width)) continue;
    // 256 / w is affine on the screen: along the row it goes from the left edge's value at xl
    // to the right edge's at xr. A pixel is covered when the point at its lower right corner is
    // inside (the rows' edges are taken at their lower boundary, and a span runs from the pixel
    // whose right side passes xl), so it takes the depth at that point too.
    const float zl = left_edges[y][1].f, zr = right_edges[y][1].f;
    const float dz = xr > xl ? 256.0f * (zr - zl) / static_cast<float>(xr - xl) : 0.0f;
    float z = zl + dz * (static_cast<float>(xs + 1) - static_cast<float>(xl) / 256.0f);
    uint32_t* line = fb + static_cast<size_t>(y) * width;
    uint32_t* depth = zb + static_cast<size_t>(y) * width;
    for (int32_t x = xs; x < xe; ++x, z += dz) {
      // Positive floats order as their bit patterns do; a cleared z-buffer (0) is farthest.
      const uint32_t key = std::bit_cast<uint32_t>(z > 0.0f ? z : 0.0f);
      if (key > depth[x]) {
        depth[x] = key;
        line[x] = colour;
      }
    }
  }
}

int raster_set_projection(int32_t p) {
  if (p < 0) return 1;
  raster_target.projection = p;
  return 0;
}

int raster_set_target(int32_t w, int32_t h, int32_t depth) {
  const int32_t max_w = raster_target.large ? kLargeTargetWidth : 640;
  const int32_t max_h = raster_target.large ? kLargeTargetHeight : 480;
  if (depth < 8 || (w < h ? w : h) < 1 || w > max_w || h > max_h) return 1;
  raster_target.width = w;
  raster_target.height = h;
  if (raster_target.depth != depth) raster_reset_mode();  // the mode's choices depend on depth
  raster_target.depth = depth;
  return 0;
}

int raster_set_buffers(uint32_t* fb, uint32_t* zb) {
  if (!fb) return 1;
  raster_target.framebuffer = fb;
  raster_target.zbuffer = zb;
  return 0;
}

void raster_set_depth_fill(bool on) {
  if (raster_target.depth_fill != on) raster_reset_mode();
  raster_target.depth_fill = on;
}

void raster_allow_large_targets(bool on) { raster_target.large = on; }

int raster_set_projection_x(float factor) {
  if (!(factor > 0.0f)) return 1;
  raster_target.projection_x = factor;
  return 0;
}

void zbuffer_clear() {
  if (raster_target.zbuffer) {
    std::memset(raster_target.zbuffer, 0,
                static_cast<size_t>(raster_target.width) * raster_target.height * 4);
  }
}
