#include "platform/window_picture.h"

#include <algorithm>
#include <cstddef>

namespace {

uint32_t pack(uint32_t r, uint32_t g, uint32_t b, WindowPixels format) {
  return format == WindowPixels::Rgba ? 0xFF000000u | (b << 16) | (g << 8) | r
                                      : (r << 16) | (g << 8) | b;
}

}  // namespace

void window_picture_row(const uint32_t* fb, int width, int height, int out_w, int out_h, int y,
                        WindowPixels format, uint32_t* out) {
  // In units of 1 / (2 * height) of an output row a band is 2 * out_h units and its lit half
  // out_h: every length below is whole.
  const int64_t row = 2 * static_cast<int64_t>(height);
  const int64_t band = 2 * static_cast<int64_t>(out_h);
  const int64_t y0 = row * y;
  const int64_t y1 = y0 + row;
  const int first = static_cast<int>(y0 / band);
  const int last = std::min(static_cast<int>((y1 - 1) / band), height - 1);
  auto lit = [&](int k) {
    const int64_t top = band * k;
    return std::max<int64_t>(0, std::min(y1, top + out_h) - std::max(y0, top));
  };
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
