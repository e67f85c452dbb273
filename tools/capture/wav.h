// A 16-bit mono PCM WAV file, written as samples arrive; the sizes are filled in on close.
#pragma once
#include <cstdint>
#include <string>

bool wav_open(const std::string& path, int sample_rate);
bool wav_write(const int16_t* samples, int count);
bool wav_close();
