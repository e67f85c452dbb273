// Makes the show's pictures: two posterised head-and-shoulders portraits cut from a photograph,
// six anti-aliased text strips drawn with FreeType, and the program's icon files made from them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "assets/assets.h"  // the start screen's size

constexpr int kPortraitSize = 256;
constexpr uint8_t kPortraitBackground = 168;
// The four levels of the tunnel portrait and the six of the blob portrait; both hold the
// background.
constexpr uint8_t kPortraitLevels[4] = {25, 99, 168, 250};
constexpr uint8_t kPortraitBLevels[6] = {25, 62, 110, 168, 206, 250};

constexpr int kStripWidth = 256;
constexpr int kStripHeight = 24;
constexpr int kStripCount = 6;
// What the strips say: the group, the title, three credits, the closing word.
extern const char* const kStripTexts[kStripCount];

struct Rgb {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;  // r, g, b per pixel
};

// Reads an 8-bit RGB or RGBA PNG; false when it cannot.
bool imagegen_load_png(const std::string& path, Rgb& out);

// 256 x 256 greyscale portraits from the astronaut photograph (512 x 512).
std::vector<uint8_t> imagegen_portrait(const Rgb& photo);
std::vector<uint8_t> imagegen_portrait_b(const Rgb& photo);

// The six strips stacked, 256 x 144 bytes; empty when the font cannot be loaded.
std::vector<uint8_t> imagegen_strips(const std::string& font_path);

// The start screen (assets/assets.h): the photosensitivity warning in the web page's words and
// the two choices, kStartScreenWidth x kStartScreenHeight coverage bytes; empty when the font
// cannot be loaded.
std::vector<uint8_t> imagegen_start_screen(const std::string& font_path);
// Its photosensitivity warning, in the web page's words.
constexpr int kStartWarningParagraphs = 2;
extern const char* const kStartWarning[kStartWarningParagraphs];

// A binary PGM (P5) of the given bytes.
std::vector<uint8_t> imagegen_pgm(const std::vector<uint8_t>& grey, int width, int height);

// An 8-bit RGBA PNG of the given R, G, B, A bytes; empty on failure.
std::vector<uint8_t> imagegen_png_rgba(const std::vector<uint8_t>& rgba, int width, int height);

// The icon file of one size (assets/icon.h) drawn from a portrait and the strips, as PNG.
std::vector<uint8_t> imagegen_icon_png(const uint8_t* portrait, const uint8_t* strips, int size);
