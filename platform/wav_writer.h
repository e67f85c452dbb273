// 16-bit PCM WAV files, mono or with interleaved channels: written whole, or as the samples arrive
// with the sizes filled in when the file is closed. An output that cannot seek (a pipe, a terminal)
// keeps the sizes the header starts with, 0xFFFFFFFF, the usual mark of a stream of unknown length.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct WavFile {
  std::FILE* file = nullptr;
  int rate = 0;
  int channels = 1;
  uint64_t samples = 0;  // 16-bit values written so far (frames x channels)
  bool failed = false;   // a write failed, or the data outgrew the format's 4 GB
  bool seekable = false;
  bool owned = false;  // closed by wav_file_close; otherwise only flushed
  int error = 0;       // errno of the first failure, 0 for none (or the 4 GB limit: EFBIG)
};

// Opens path and writes a header for sample_rate and channels (their samples interleaved); false
// when the file cannot be created (errno and wav.error say why).
bool wav_file_open(WavFile& wav, const std::string& path, int sample_rate, int channels = 1);
// The same on a stream already open for writing, such as stdout; the stream stays open.
bool wav_file_attach(WavFile& wav, std::FILE* stream, int sample_rate, int channels = 1);
bool wav_file_write(WavFile& wav, const int16_t* samples, size_t count);
// Fills in the sizes and closes; false when anything since the open failed.
bool wav_file_close(WavFile& wav);

// The whole file at once.
bool wav_write_file(const std::string& path, const int16_t* samples, size_t count, int sample_rate);
