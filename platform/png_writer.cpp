// PNG output through libpng: 8-bit RGB, no interlace, default compression.
#include "platform/png_writer.h"

#include <png.h>

#include <cstdio>
#include <vector>

#include "platform/window_picture.h"

bool png_write_frame(const std::string& path, const uint32_t* pixels, int width, int height,
                     PngScale scale) {
  if (!pixels || width <= 0 || height <= 0) return false;
  const int factor = scale == PngScale::Window ? 2 : 1;
  const int out_w = width * factor;
  const int out_h = height * factor;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  // Allocated before setjmp so that a libpng error cannot skip its destructor.
  std::vector<png_byte> row(static_cast<size_t>(out_w) * 3);
  std::vector<uint32_t> shown(static_cast<size_t>(out_w));
  volatile bool ok = false;  // survives a longjmp out of libpng
  if (png && info && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, out_w, out_h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < out_h; ++y) {
      const uint32_t* in = pixels + static_cast<size_t>(y) * width;
      if (factor == 2) {  // as the window shows it
        window_picture_row(pixels, width, height, out_w, out_h, y, WindowPixels::Xrgb,
                           shown.data());
        in = shown.data();
      }
      for (int x = 0; x < out_w; ++x) {
        const uint32_t p = in[x];
        row[3 * x] = static_cast<png_byte>(p >> 16);
        row[3 * x + 1] = static_cast<png_byte>(p >> 8);
        row[3 * x + 2] = static_cast<png_byte>(p);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  if (std::fclose(file) != 0) ok = false;
  return ok;
}

void png_sink(const OfflineFrame& frame, void* user) {
  auto* cfg = static_cast<PngSinkConfig*>(user);
  if (!cfg || frame.index < cfg->first) return;
  const int64_t every = cfg->every > 0 ? cfg->every : 1;
  if ((frame.index - cfg->first) % every != 0) return;
  char name[4096];
  std::snprintf(name, sizeof name, cfg->pattern.c_str(), static_cast<long long>(frame.index));
  if (png_write_frame(name, frame.pixels, frame.width, frame.height, cfg->scale))
    ++cfg->written;
  else
    cfg->failed = true;
}
