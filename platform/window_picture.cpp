#include "platform/window_picture.h"

#include <algorithm>
#include <cstddef>

namespace {

uint32_t pack(uint32_t r, uint32_t g, uint32_t b, WindowPixels format) {
  return format == WindowPixels::Rgba ? 0xFF000000u | (b << 16) | (g << 8) | r
                                      : (r << 16) | (g << 8) | b;
}

// Output row y's place among the bands, in units of 1 / (2 * height) of an output row: a band is
// 2 * out_h units and its lit half out_h, so every length is whole.
struct RowSpan {
  int64_t row;
  int64_t band;
  int64_t y0;
  int64_t y1;
  int first;
  int last;
  int64_t out_h;
  // The units of this row in band k's lit half.
  int64_t lit(int k) const {
    const int64_t top = band * k;
    return std::max<int64_t>(0, std::min(y1, top + out_h) - std::max(y0, top));
  }
};

RowSpan row_span(int height, int out_h, int y) {
  RowSpan s;
  s.row = 2 * static_cast<int64_t>(height);
  s.band = 2 * static_cast<int64_t>(out_h);
  s.y0 = s.row * y;
  s.y1 = s.y0 + s.row;
  s.first = static_cast<int>(s.y0 / s.band);
  s.last = std::min(static_cast<int>((s.y1 - 1) / s.band), height - 1);
  s.out_h = out_h;
  return s;
}

}  // namespace

uint8_t window_row_light(int height, int out_h, int y) {
  if (out_h % height == 0) {
    const int scale = out_h / height;
    return y % scale < window_lit_rows(scale) ? 255 : 0;
  }
  const RowSpan s = row_span(height, out_h, y);
  int64_t lit = 0;
  for (int k = s.first; k <= s.last; ++k) lit += s.lit(k);
  return static_cast<uint8_t>((lit * 255 + s.row / 2) / s.row);
}

void window_picture_row(const uint32_t* fb, int width, int height, int out_w, int out_h, int y,
                        WindowPixels format, uint32_t* out) {
  const RowSpan span = row_span(height, out_h, y);
  const int64_t row = span.row;
  const int first = span.first;
  const int last = span.last;
  auto lit = [&](int k) { return span.lit(k); };
  // Most rows lie wholly in one band's lit part or in dark: copied or black.
  int only = -1;
  bool dark = true;
  if (out_h % height == 0) {
    const int scale = out_h / height;
    dark = y % scale >= window_lit_rows(scale);
    only = y / scale;
  } else {
    for (int k = first; k <= last; ++k) {
      const int64_t w = lit(k);
      if (w == row) only = k;
      if (w > 0) dark = false;
    }
  }
  if (dark) {
    std::fill(out, out + out_w, pack(0, 0, 0, format));
    return;
  }
  int64_t acc = 0;  // Bresenham across: the show column under each output pixel's left edge
  int x_src = 0;
  for (int x = 0; x < out_w; ++x) {
    if (only >= 0) {
      const uint32_t p = fb[static_cast<size_t>(only) * width + x_src];
      out[x] = pack((p >> 16) & 0xFFu, (p >> 8) & 0xFFu, p & 0xFFu, format);
    } else {
      int64_t r = 0, g = 0, b = 0;
      for (int k = first; k <= last; ++k) {
        const int64_t w = lit(k);
        const uint32_t p = fb[static_cast<size_t>(k) * width + x_src];
        r += ((p >> 16) & 0xFFu) * w;
        g += ((p >> 8) & 0xFFu) * w;
        b += (p & 0xFFu) * w;
      }
      out[x] = pack(static_cast<uint32_t>((r + row / 2) / row),
                    static_cast<uint32_t>((g + row / 2) / row),
                    static_cast<uint32_t>((b + row / 2) / row), format);
    }
    for (acc += width; acc >= out_w; acc -= out_w) ++x_src;
  }
}

void window_picture(const uint32_t* fb, int width, int height, int out_w, int out_h,
                    WindowPixels format, uint32_t* out, int pitch) {
  for (int y = 0; y < out_h; ++y)
    window_picture_row(fb, width, height, out_w, out_h, y, format,
                       out + static_cast<size_t>(y) * pitch);
}
