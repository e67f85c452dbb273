// The video file writer of the capture tool: 320 x 240 frames as the window shows them (every
// show pixel a block, its lower rows the black scanline), H.264 (libx264), and the soundtrack as
// AAC, in an MP4 container. Every setting that could vary between runs is pinned, so the same
// show gives the same file.
#pragma once
#include <cstdint>
#include <string>

#include "platform/window_picture.h"

// 4:4:4 keeps a colour sample per pixel (desktop players built on FFmpeg); 4:2:0 keeps one per
// 2 x 2 pixels and plays everywhere (browsers, hardware decoders, video sites).
enum class Chroma { k444, k420 };

struct EncoderSettings {
  std::string path;
  int fps = 50;
  int sample_rate = 44100;
  int scale = 4;  // every show pixel a scale x scale block
  Chroma chroma = Chroma::k444;
  // Chosen by measurement on the show's first 22 s at 1280 x 960 4:4:4: "ultrafast" at 16
  // keeps every frame above 34 dB for 0.6 s of CPU per second of show, where "superfast" needs
  // 20 and 1.3 s (and 18 on "ultrafast" leaves a 0.2 dB margin).
  int crf = 16;  // x264 constant quality
  const char* preset = "ultrafast";
  // A fixed count, never the machine's: x264's output depends on its thread count.
  int threads = 2;
};

// Opens a temporary file beside settings.path and both encoders. Returns false (with a message
// in *error) on failure, leaving no file behind.
bool encoder_open(const EncoderSettings& settings, std::string* error);
// Encodes one logical frame (320 x 240, 0x00RRGGBB) as the next video frame.
bool encoder_video(const uint32_t* pixels);
// Encodes mono 16-bit samples; they are buffered until a whole AAC frame is there.
bool encoder_audio(const int16_t* samples, int count);
// Flushes both encoders (the final partial AAC frame included), writes the trailer and renames
// the temporary file to settings.path. On failure nothing is left at either name.
bool encoder_close(std::string* error);
// Stops without finishing: the temporary file is removed.
void encoder_abort();

// The picture rows of a scale-high block (the rest are the scanline), as the window shows them
// (platform/window_picture.h): half of them at even scales and none black at scale 1.
inline int picture_rows(int scale) { return window_lit_rows(scale); }

// BT.601 limited-range Y'CbCr of one 0x00RRGGBB pixel, rounded.
struct Ycc {
  uint8_t y, cb, cr;
};
Ycc rgb_to_ycc(uint32_t rgb);

// A logical frame into the three planes of a (320 scale) x (240 scale) picture: every show
// pixel a scale-wide block of picture_rows(scale) rows, then black rows. At 4:2:0 each colour
// sample is the mean of its 2 x 2 pixels (the black ones count as neutral colour).
void frame_to_ycc(const uint32_t* src, int scale, Chroma chroma, uint8_t* const planes[3],
                  const int linesize[3]);
