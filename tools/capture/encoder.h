// The video file writer of the capture tool: 320 x 240 frames doubled to 640 x 480 with the
// window's black scanlines, H.264 (libx264), and the soundtrack as AAC, in an MP4 container.
// Every setting that could vary between runs is pinned, so the same show gives the same file.
#pragma once
#include <cstdint>
#include <string>

struct EncoderSettings {
  std::string path;
  int fps = 60;
  int sample_rate = 44100;
  int crf = 20;                   // x264 constant quality
  const char* preset = "veryfast";
};

// Opens the file and both encoders. Returns false (with a message in *error) on failure.
bool encoder_open(const EncoderSettings& settings, std::string* error);
// Encodes one logical frame (320 x 240, 0x00RRGGBB) as the next video frame.
bool encoder_video(const uint32_t* pixels);
// Encodes mono 16-bit samples; they are buffered until a whole AAC frame is there.
bool encoder_audio(const int16_t* samples, int count);
// Flushes both encoders (the final partial AAC frame included) and writes the trailer.
bool encoder_close(std::string* error);

// Doubles a 320 x 240 frame into 640 x 480: every pixel twice side by side, every odd row black.
void double_with_scanlines(const uint32_t* src, uint32_t* dst);
