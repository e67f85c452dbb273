// The program's icon, drawn from the show's own art: the tunnel portrait in warm tones on a dusk
// gradient, cut to a rounded square, with the title strip across the shoulders. The installed
// icon files (assets/icons, written by tools/imagegen) and the window's icon come from here.
#pragma once
#include <cstdint>

constexpr int kIconSize = 256;
// The sizes installed into the icon theme; below kIconTitleMinSize the title would be a smear
// of a few pixels, so the smaller icons show the portrait alone.
constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 256};
constexpr int kIconTitleMinSize = 128;
// The window's own icon.
constexpr int kWindowIconSize = 64;

// Draws the 256 x 256 icon as R, G, B, A bytes (straight alpha) into out (256 * 256 * 4 bytes)
// from a 256 x 256 portrait and a 256 x 24 title coverage strip (nullptr: no title).
void icon_draw(const uint8_t* portrait, const uint8_t* title, uint8_t* out);

// Shrinks the 256 x 256 icon to size x size by averaging the area each pixel covers (blocks,
// when size divides 256), weighting each pixel's colour by its alpha.
void icon_shrink(const uint8_t* icon, int size, uint8_t* out);
