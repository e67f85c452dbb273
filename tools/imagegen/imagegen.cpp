// Portraits: a square is cut from the photograph and shrunk to 256 x 256 with a box filter; the
// backdrop is found by growing the region outside a rough head-and-shoulders outline into every
// connected pale, unsaturated pixel; it becomes one flat level, and the figure is posterised by
// brightness into the remaining levels.
// Strips: each line is laid out with FreeType, letter-spaced to its target width where one is set,
// and moved so that its ink starts 3 pixels from the left edge.
#include "tools/imagegen/imagegen.h"

#include "assets/icon.h"

#include <ft2build.h>
#include <png.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

const char* const kStripTexts[kStripCount] = {"Osk",          "Driftlight",      "code by Osk",
                                              "music by Osk", "graphics by Osk", "Goodbye"};

namespace {

constexpr int kPhotoSize = 512;

struct Point {
  double x, y;
};

// Everything outside this outline (photograph coordinates) is backdrop: it cuts off the flag on
// the left and the shuttle model on the right while keeping hair, collar ring, shoulders and the
// helmet in the lower right corner.
constexpr Point kOutline[] = {
    {150, 0},   {312, 0}, {318, 120}, {322, 205}, {352, 245}, {366, 290}, {372, 330}, {512, 330},
    {512, 512}, {0, 512}, {14, 330},  {30, 262},  {70, 222},  {108, 196}, {118, 150}, {132, 100},
};

bool inside_outline(double x, double y) {
  bool in = false;
  const int n = int(sizeof kOutline / sizeof kOutline[0]);
  for (int i = 0, j = n - 1; i < n; j = i++) {
    const Point& a = kOutline[i];
    const Point& b = kOutline[j];
    if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
  }
  return in;
}

struct Crop {
  int x0, y0, size;  // a square of the photograph
};

struct Cut {
  std::vector<float> luma;        // 0..255 per output pixel
  std::vector<uint8_t> backdrop;  // 1 where the pixel belongs to the backdrop
};

// Box-filtered cut of the photograph, and its backdrop mask.
Cut cut_photo(const Rgb& photo, Crop crop) {
  const int n = kPortraitSize;
  const double scale = double(crop.size) / n;
  Cut cut;
  cut.luma.assign(size_t(n) * n, 0.0f);
  std::vector<uint8_t> pale(size_t(n) * n, 0);
  cut.backdrop.assign(size_t(n) * n, 0);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      // Average the photograph's pixels whose centres fall in this pixel's footprint.
      const int sx0 = crop.x0 + int(std::floor(x * scale)),
                sx1 = crop.x0 + int(std::ceil((x + 1) * scale));
      const int sy0 = crop.y0 + int(std::floor(y * scale)),
                sy1 = crop.y0 + int(std::ceil((y + 1) * scale));
      double r = 0, g = 0, b = 0;
      int count = 0;
      for (int sy = std::max(sy0, 0); sy < std::min(sy1, kPhotoSize); ++sy) {
        for (int sx = std::max(sx0, 0); sx < std::min(sx1, kPhotoSize); ++sx) {
          const uint8_t* p = &photo.pixels[(size_t(sy) * photo.width + sx) * 3];
          r += p[0];
          g += p[1];
          b += p[2];
          ++count;
        }
      }
      if (count) {
        r /= count;
        g /= count;
        b /= count;
      }
      const size_t i = size_t(y) * n + x;
      cut.luma[i] = float(0.299 * r + 0.587 * g + 0.114 * b);
      const double saturation = std::max({r, g, b}) - std::min({r, g, b});
      pale[i] = saturation < 40.0 && cut.luma[i] > 135.0f;
      const double px = crop.x0 + (x + 0.5) * scale, py = crop.y0 + (y + 0.5) * scale;
      cut.backdrop[i] = !inside_outline(px, py);
    }
  }
  // Grow the backdrop from outside the outline through connected pale pixels.
  std::vector<int> queue;
  for (int i = 0; i < n * n; ++i)
    if (cut.backdrop[i]) queue.push_back(i);
  for (size_t q = 0; q < queue.size(); ++q) {
    const int i = queue[q], x = i % n, y = i / n;
    const int next[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
    for (const auto& p : next) {
      if (p[0] < 0 || p[0] >= n || p[1] < 0 || p[1] >= n) continue;
      const int j = p[1] * n + p[0];
      if (!cut.backdrop[j] && pale[j]) {
        cut.backdrop[j] = 1;
        queue.push_back(j);
      }
    }
  }
  // Two rounds of a 3 x 3 majority vote smooth the outline's ragged pixels.
  for (int round = 0; round < 2; ++round) {
    std::vector<uint8_t> smooth = cut.backdrop;
    for (int y = 0; y < n; ++y) {
      for (int x = 0; x < n; ++x) {
        int votes = 0, cells = 0;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int xx = x + dx, yy = y + dy;
            if (xx < 0 || xx >= n || yy < 0 || yy >= n) continue;
            votes += cut.backdrop[size_t(yy) * n + xx];
            ++cells;
          }
        }
        smooth[size_t(y) * n + x] = 2 * votes > cells;
      }
    }
    cut.backdrop.swap(smooth);
  }
  return cut;
}

// Posterise: the figure's brightness picks one of the figure levels by the thresholds; the
// backdrop gets the background level; isolated figure pixels take their neighbours' level.
std::vector<uint8_t> posterise(const Cut& cut, const float* thresholds,
                               const uint8_t* figure_levels, int figure_count) {
  const int n = kPortraitSize;
  std::vector<uint8_t> out(size_t(n) * n);
  for (int i = 0; i < n * n; ++i) {
    if (cut.backdrop[i]) {
      out[i] = kPortraitBackground;
      continue;
    }
    int level = 0;
    while (level < figure_count - 1 && cut.luma[i] >= thresholds[level]) ++level;
    out[i] = figure_levels[level];
  }
  std::vector<uint8_t> clean = out;
  for (int y = 1; y < n - 1; ++y) {
    for (int x = 1; x < n - 1; ++x) {
      const size_t i = size_t(y) * n + x;
      if (out[i] == kPortraitBackground) continue;
      const uint8_t neighbours[4] = {out[i - 1], out[i + 1], out[i - n], out[i + n]};
      bool lonely = true;
      for (uint8_t v : neighbours) lonely = lonely && v != out[i];
      if (lonely && neighbours[0] == neighbours[1] && neighbours[1] == neighbours[2] &&
          neighbours[2] == neighbours[3] && neighbours[0] != kPortraitBackground)
        clean[i] = neighbours[0];
    }
  }
  // The first byte is the background by definition: the top-left corner is always backdrop.
  clean[0] = kPortraitBackground;
  return clean;
}

}  // namespace

bool imagegen_load_png(const std::string& path, Rgb& out) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  out.width = int(image.width);
  out.height = int(image.height);
  out.pixels.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

std::vector<uint8_t> imagegen_portrait(const Rgb& photo) {
  // Head and shoulders: a 384-pixel square, shrunk by two thirds.
  const Cut cut = cut_photo(photo, {36, 0, 384});
  const float thresholds[2] = {72.0f, 160.0f};
  const uint8_t levels[3] = {25, 99, 250};
  return posterise(cut, thresholds, levels, 3);
}

std::vector<uint8_t> imagegen_portrait_b(const Rgb& photo) {
  // Closer in: the face and the collar ring fill more of the 32 x 32 blob grid.
  const Cut cut = cut_photo(photo, {84, 0, 300});
  const float thresholds[4] = {50.0f, 95.0f, 140.0f, 185.0f};
  const uint8_t levels[5] = {25, 62, 110, 206, 250};
  return posterise(cut, thresholds, levels, 5);
}

namespace {

struct StripStyle {
  int pixel_size;
  int target_width;  // letter-spaced to about this width; 0 keeps the natural spacing
};

constexpr StripStyle kStripStyles[kStripCount] = {
    {22, 56}, {22, 170}, {18, 0}, {18, 0}, {18, 0}, {22, 0},
};
constexpr int kBaseline = 18;
constexpr int kLeftMargin = 3;
constexpr int kMaxInk = 190;

// FreeType and the font; false (with nothing left open) when either fails.
bool open_font(const std::string& font_path, FT_Library& library, FT_Face& face) {
  if (FT_Init_FreeType(&library) != 0) return false;
  if (FT_New_Face(library, font_path.c_str(), 0, &face) == 0) return true;
  FT_Done_FreeType(library);
  return false;
}

// Sets text from the pen position (26.6 units) on the baseline y, adding each glyph's coverage
// into a width x height canvas, with the given extra spacing after each glyph.
void set_text(FT_Face face, const char* text, long pen, int baseline, long tracking,
              std::vector<uint8_t>& canvas, int width, int height) {
  FT_UInt previous = 0;
  for (const char* c = text; *c; ++c) {
    const FT_UInt glyph = FT_Get_Char_Index(face, FT_ULong(uint8_t(*c)));
    if (previous && FT_HAS_KERNING(face)) {
      FT_Vector kern;
      if (FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kern) == 0) pen += kern.x;
    }
    previous = glyph;
    if (FT_Load_Glyph(face, glyph, FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    const int ox = int(pen >> 6) + slot->bitmap_left, oy = baseline - slot->bitmap_top;
    for (unsigned r = 0; r < bm.rows; ++r) {
      for (unsigned col = 0; col < bm.width; ++col) {
        const int x = ox + int(col), y = oy + int(r);
        if (x < 0 || x >= width || y < 0 || y >= height) continue;
        uint8_t& dst = canvas[size_t(y) * width + x];
        dst = uint8_t(std::min(255, dst + bm.buffer[r * bm.pitch + col]));
      }
    }
    pen += slot->advance.x + tracking;
  }
}

// Draws text with the given extra spacing (26.6 units) into a wide canvas; returns the ink's
// first and last column (first > last when nothing was drawn).
void lay_out(FT_Face face, const char* text, long tracking, std::vector<uint8_t>& canvas,
             int canvas_width, int& first, int& last) {
  canvas.assign(size_t(canvas_width) * kStripHeight, 0);
  // Start well inside the canvas; the ink is moved afterwards.
  set_text(face, text, 64 * 16, kBaseline, tracking, canvas, canvas_width, kStripHeight);
  first = canvas_width;
  last = -1;
  for (int x = 0; x < canvas_width; ++x) {
    for (int y = 0; y < kStripHeight; ++y) {
      if (canvas[size_t(y) * canvas_width + x]) {
        first = std::min(first, x);
        last = std::max(last, x);
      }
    }
  }
}

}  // namespace

std::vector<uint8_t> imagegen_strips(const std::string& font_path) {
  FT_Library library;
  FT_Face face;
  if (!open_font(font_path, library, face)) return {};
  constexpr int kCanvas = 1024;
  std::vector<uint8_t> strips(size_t(kStripWidth) * kStripHeight * kStripCount, 0);
  std::vector<uint8_t> canvas;
  for (int s = 0; s < kStripCount; ++s) {
    const StripStyle style = kStripStyles[s];
    int size = style.pixel_size, first = 0, last = -1;
    long tracking = 0;
    // Shrink the type until the line fits; then spread the letters towards the target width.
    for (;; --size) {
      FT_Set_Pixel_Sizes(face, 0, FT_UInt(size));
      lay_out(face, kStripTexts[s], 0, canvas, kCanvas, first, last);
      if (last - first + 1 <= kMaxInk || size <= 8) break;
    }
    const int gaps = int(std::strlen(kStripTexts[s])) - 1;
    const int natural = last - first + 1;
    if (style.target_width > natural && gaps > 0) {
      tracking = long(style.target_width - natural) * 64 / gaps;
      lay_out(face, kStripTexts[s], tracking, canvas, kCanvas, first, last);
    }
    uint8_t* strip = &strips[size_t(s) * kStripWidth * kStripHeight];
    for (int y = 0; y < kStripHeight; ++y)
      for (int x = first; x <= last && x - first + kLeftMargin < kStripWidth; ++x)
        strip[y * kStripWidth + (x - first + kLeftMargin)] = canvas[size_t(y) * kCanvas + x];
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return strips;
}

// The photosensitivity warning as the web page gives it (web/index.html).
const char* const kStartWarning[kStartWarningParagraphs] = {
    "Photosensitivity warning. The show contains flashing and flickering that may affect viewers "
    "with photosensitive epilepsy. The worst of it is the opening of scene 8, from about 1:21 to "
    "1:27 into the show: seconds of fast switching between two red-orange pictures, up to 16 "
    "saturated red flashes a second. Elsewhere the flashes follow the beat, at most two a second.",
    "The gentle show plays the same music, scenes and cues with every flash and flicker kept to "
    "three a second or fewer: scene 8 cross-fades in instead of flickering, and a beat that would "
    "restart a running flash is held."};

namespace {

// The rest of the start screen's words: the title and the keys of the desktop program's two
// choices.
const char* const kStartTitle = "Driftlight by Osk";
const char* const kStartChoices[] = {"Enter or a click: the show as written", "G: the gentle show",
                                     "Escape or Q: leave"};
constexpr int kStartMargin = 10;
constexpr int kStartTitleSize = 16;
constexpr int kStartBodySize = 10;  // shrunk until everything fits
constexpr int kParagraphGap = 5;

// The width in pixels of a line at the face's current size (advances and kerning).
int text_width(FT_Face face, const std::string& text) {
  long pen = 0;
  FT_UInt previous = 0;
  for (const char c : text) {
    const FT_UInt glyph = FT_Get_Char_Index(face, FT_ULong(uint8_t(c)));
    if (previous && FT_HAS_KERNING(face)) {
      FT_Vector kern;
      if (FT_Get_Kerning(face, previous, glyph, FT_KERNING_DEFAULT, &kern) == 0) pen += kern.x;
    }
    if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) == 0) pen += face->glyph->advance.x;
    previous = glyph;
  }
  return int((pen + 63) >> 6);
}

// Draws one line with its left end at x and its baseline at y, adding coverage.
void draw_line(FT_Face face, const std::string& text, int x, int y, std::vector<uint8_t>& canvas,
               int width, int height) {
  set_text(face, text.c_str(), long(x) * 64, y, 0, canvas, width, height);
}

// Greedy word wrap to the given width.
std::vector<std::string> wrap(FT_Face face, const std::string& text, int width) {
  std::vector<std::string> lines;
  std::string line;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find(' ', i);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(i, end - i);
    const std::string longer = line.empty() ? word : line + " " + word;
    if (!line.empty() && text_width(face, longer) > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = longer;
    }
    i = end + 1;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

std::vector<uint8_t> imagegen_start_screen(const std::string& font_path) {
  FT_Library library;
  FT_Face face;
  if (!open_font(font_path, library, face)) return {};
  constexpr int W = kStartScreenWidth, H = kStartScreenHeight;
  std::vector<uint8_t> screen(size_t(W) * H, 0);
  const int text_width_max = W - 2 * kStartMargin;
  // The title on top, the warning below it and the choices at the foot, centred lines.
  FT_Set_Pixel_Sizes(face, 0, kStartTitleSize);
  const int title_line = int(face->size->metrics.height >> 6);
  draw_line(face, kStartTitle, (W - text_width(face, kStartTitle)) / 2, kStartMargin + 13, screen,
            W, H);
  for (int size = kStartBodySize; size >= 7; --size) {
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(size));
    const int line = int(face->size->metrics.height >> 6);
    const int ascent = int(face->size->metrics.ascender >> 6);
    std::vector<std::vector<std::string>> paragraphs;
    int lines = 0;
    for (const char* p : kStartWarning) {
      paragraphs.push_back(wrap(face, p, text_width_max));
      lines += int(paragraphs.back().size());
    }
    const int choices = int(std::size(kStartChoices));
    const int needed = kStartMargin + title_line + (lines + choices) * line +
                       int(paragraphs.size()) * kParagraphGap + kStartMargin;
    if (needed > H && size > 7) continue;
    int y = kStartMargin + title_line + kParagraphGap + ascent;
    for (const auto& paragraph : paragraphs) {
      for (const std::string& text : paragraph) {
        draw_line(face, text, kStartMargin, y, screen, W, H);
        y += line;
      }
      y += kParagraphGap;
    }
    y = H - kStartMargin - choices * line + ascent;
    for (const char* text : kStartChoices) {
      draw_line(face, text, (W - text_width(face, text)) / 2, y, screen, W, H);
      y += line;
    }
    break;
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return screen;
}

std::vector<uint8_t> imagegen_pgm(const std::vector<uint8_t>& grey, int width, int height) {
  char header[64];
  const int n = std::snprintf(header, sizeof header, "P5\n%d %d\n255\n", width, height);
  std::vector<uint8_t> out(header, header + n);
  out.insert(out.end(), grey.begin(), grey.end());
  return out;
}

std::vector<uint8_t> imagegen_png_rgba(const std::vector<uint8_t>& rgba, int width, int height) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = png_uint_32(width);
  image.height = png_uint_32(height);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr)) return {};
  std::vector<uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr)) return {};
  out.resize(size);
  return out;
}

std::vector<uint8_t> imagegen_icon_png(const uint8_t* portrait, const uint8_t* strips, int size) {
  const uint8_t* title = strips + size_t(kStripWidth) * kStripHeight;  // strip 1, the title
  std::vector<uint8_t> big(size_t(kIconSize) * kIconSize * 4);
  icon_draw(portrait, size >= kIconTitleMinSize ? title : nullptr, big.data());
  std::vector<uint8_t> icon(size_t(size) * size * 4);
  icon_shrink(big.data(), size, icon.data());
  return imagegen_png_rgba(icon, size, size);
}
