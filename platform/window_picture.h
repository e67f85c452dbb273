// What the window shows, at any size: the show's picture with every show row a band whose lower
// half is dark, the scanline look. The hosts draw their windows with it and the PNG files "as the
// window shows it" are written with it, so the look is described once.
#pragma once
#include <cstdint>

// The output's pixel words: 0x00RRGGBB, or the R, G, B, A bytes of a canvas (0xAABBGGRR read as
// a little-endian word, opaque).
enum class WindowPixels { Xrgb, Rgba };

// At a whole-number scale s each show row is s output rows, the first window_lit_rows(s) of them
// lit: s = 2 is every row doubled with a black row under it, s = 4 two lit rows and two black.
inline int window_lit_rows(int scale) { return (scale + 1) / 2; }

// Row y (0 <= y < out_h) of the picture of fb (width x height, 0x00RRGGBB) at out_w x out_h,
// into out (out_w words). Across, each output pixel shows the show pixel under its left edge.
// Down, at a whole-number scale, as above; at any other scale each output row is lit by the share
// of it that lies in the upper halves of the bands it covers (a band is out_h / height rows
// tall), so that every band has the same mean darkness and the dark lines do not band.
void window_picture_row(const uint32_t* fb, int width, int height, int out_w, int out_h, int y,
                        WindowPixels format, uint32_t* out);

// How much of output row y of that picture is lit, 0 (dark) to 255 (lit): the share that
// window_picture_row lights it by, rounded. At whole-number scales only 0 and 255. Laid over the
// show's picture scaled to out_h rows with nearest neighbour, it gives the same dark lines.
uint8_t window_row_light(int height, int out_h, int y);

// The whole picture, rows pitch words apart.
void window_picture(const uint32_t* fb, int width, int height, int out_w, int out_h,
                    WindowPixels format, uint32_t* out, int pitch);
