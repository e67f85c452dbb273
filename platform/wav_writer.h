// 16-bit mono PCM WAV files: written whole, or as the samples arrive with the sizes filled in when
// the file is closed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct WavFile {
  std::FILE* file = nullptr;
  int rate = 0;
  uint64_t samples = 0;  // written so far
  bool failed = false;   // a write failed, or the data outgrew the format's 4 GB
};

// Opens path and writes a header for sample_rate; false when the file cannot be created.
bool wav_file_open(WavFile& wav, const std::string& path, int sample_rate);
bool wav_file_write(WavFile& wav, const int16_t* samples, size_t count);
// Fills in the sizes and closes; false when anything since the open failed.
bool wav_file_close(WavFile& wav);

// The whole file at once.
bool wav_write_file(const std::string& path, const int16_t* samples, size_t count, int sample_rate);
