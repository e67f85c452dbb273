#include "tools/capture/wav.h"

#include <cstdio>

namespace {

FILE* file = nullptr;
uint32_t data_bytes = 0;
bool write_ok = true;

void put_u32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put_u16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// The 44-byte canonical header: RIFF, fmt (PCM, 1 channel, 16 bits), data.
void header(uint8_t* h, int sample_rate, uint32_t bytes) {
  const char* tags = "RIFF\0\0\0\0WAVEfmt ";
  for (int i = 0; i < 16; ++i) h[i] = static_cast<uint8_t>(tags[i]);
  put_u32(h + 4, 36 + bytes);
  put_u32(h + 16, 16);
  put_u16(h + 20, 1);
  put_u16(h + 22, 1);
  put_u32(h + 24, static_cast<uint32_t>(sample_rate));
  put_u32(h + 28, static_cast<uint32_t>(sample_rate) * 2);
  put_u16(h + 32, 2);
  put_u16(h + 34, 16);
  h[36] = 'd'; h[37] = 'a'; h[38] = 't'; h[39] = 'a';
  put_u32(h + 40, bytes);
}

int rate = 44100;

}  // namespace

bool wav_open(const std::string& path, int sample_rate) {
  file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  rate = sample_rate;
  data_bytes = 0;
  uint8_t h[44];
  header(h, rate, 0);
  write_ok = std::fwrite(h, 1, sizeof h, file) == sizeof h;
  return write_ok;
}

bool wav_write(const int16_t* samples, int count) {
  if (!file) return false;
  uint8_t buf[4096];
  int done = 0;
  while (done < count) {
    int n = 0;
    for (; n < static_cast<int>(sizeof buf) / 2 && done < count; ++n, ++done)
      put_u16(buf + 2 * n, static_cast<uint16_t>(samples[done]));
    write_ok = write_ok && std::fwrite(buf, 2, static_cast<size_t>(n), file) == static_cast<size_t>(n);
  }
  data_bytes += static_cast<uint32_t>(2 * count);
  return write_ok;
}

bool wav_close() {
  if (!file) return true;
  uint8_t h[44];
  header(h, rate, data_bytes);
  bool ok = write_ok && std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(h, 1, sizeof h, file) == sizeof h;
  ok = std::fclose(file) == 0 && ok;
  file = nullptr;
  return ok;
}
