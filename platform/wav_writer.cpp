// The file is the 44-byte canonical header (RIFF, "fmt " for PCM, "data") and the samples, all
// little-endian, so it reads the same on any machine.
#include "platform/wav_writer.h"

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = 44;
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kHeaderBytes - 8);

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void header(uint8_t* h, int rate, uint32_t data_bytes) {
  std::copy_n("RIFF", 4, h);
  put32(h + 4, uint32_t(kHeaderBytes - 8) + data_bytes);
  std::copy_n("WAVEfmt ", 8, h + 8);
  put32(h + 16, 16);  // size of the format chunk
  put16(h + 20, 1);   // PCM
  put16(h + 22, 1);   // mono
  put32(h + 24, uint32_t(rate));
  put32(h + 28, uint32_t(rate) * 2);  // bytes per second
  put16(h + 32, 2);                   // bytes per frame
  put16(h + 34, 16);                  // bits per sample
  std::copy_n("data", 4, h + 36);
  put32(h + 40, data_bytes);
}

}  // namespace

bool wav_file_open(WavFile& wav, const std::string& path, int sample_rate) {
  wav = WavFile{};
  wav.rate = sample_rate;
  wav.file = std::fopen(path.c_str(), "wb");
  if (!wav.file) return false;
  uint8_t h[kHeaderBytes];
  header(h, sample_rate, 0);
  wav.failed = std::fwrite(h, 1, sizeof h, wav.file) != sizeof h;
  return !wav.failed;
}

bool wav_file_write(WavFile& wav, const int16_t* samples, size_t count) {
  if (!wav.file || wav.failed) return false;
  if ((wav.samples + count) * 2 > kMaxDataBytes) {
    wav.failed = true;
    return false;
  }
  std::vector<uint8_t> bytes(count * 2);
  for (size_t i = 0; i < count; ++i) put16(&bytes[2 * i], uint16_t(samples[i]));
  wav.failed = std::fwrite(bytes.data(), 1, bytes.size(), wav.file) != bytes.size();
  wav.samples += count;
  return !wav.failed;
}

bool wav_file_close(WavFile& wav) {
  if (!wav.file) return false;
  bool ok = !wav.failed;
  if (ok) {
    uint8_t h[kHeaderBytes];
    header(h, wav.rate, uint32_t(wav.samples * 2));
    ok = std::fseek(wav.file, 0, SEEK_SET) == 0 && std::fwrite(h, 1, sizeof h, wav.file) == sizeof h;
  }
  ok = std::fclose(wav.file) == 0 && ok;
  wav.file = nullptr;
  return ok;
}

bool wav_write_file(const std::string& path, const int16_t* samples, size_t count, int sample_rate) {
  WavFile wav;
  if (!wav_file_open(wav, path, sample_rate)) return false;
  wav_file_write(wav, samples, count);
  return wav_file_close(wav);
}
