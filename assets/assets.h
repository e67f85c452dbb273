// The show's content, embedded in the program at build time from the files in this folder.
#pragma once
#include <cstddef>
#include <cstdint>

// The soundtrack: a 4-channel module, writable because the loader converts it in place.
extern uint8_t soundtrack_mod[];
extern const size_t soundtrack_mod_size;

// The 3D Studio scene; the array is followed by at least six zero bytes not counted in the size.
extern const uint8_t scene_3ds[];
extern const size_t scene_3ds_size;

// Two 256 x 256 one-byte greyscale portraits; the first byte of each is the background level.
extern const uint8_t portrait[256 * 256];
extern const uint8_t portrait_b[256 * 256];

// Six 256 x 24 coverage images, one after the other: 0 the group's name, 1 the title,
// 2 to 4 the credits, 5 the closing word.
constexpr int kTextStripWidth = 256;
constexpr int kTextStripHeight = 24;
constexpr int kTextStripCount = 6;
extern const uint8_t text_strips[kTextStripCount * kTextStripWidth * kTextStripHeight];

// The start screen: the photosensitivity warning and the two choices as 320 x 240 coverage.
constexpr int kStartScreenWidth = 320;
constexpr int kStartScreenHeight = 240;
extern const uint8_t start_screen[kStartScreenWidth * kStartScreenHeight];
