// The file is the 44-byte canonical header (RIFF, "fmt " for PCM, "data") and the samples, all
// little-endian, so it reads the same on any machine.
#include "platform/wav_writer.h"

#include <algorithm>
#include <cerrno>

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

void header(uint8_t* h, int rate, int channels, uint32_t data_bytes) {
  std::copy_n("RIFF", 4, h);
  put32(h + 4, uint32_t(kHeaderBytes - 8) + data_bytes);
  std::copy_n("WAVEfmt ", 8, h + 8);
  put32(h + 16, 16);  // size of the format chunk
  put16(h + 20, 1);   // PCM
  put16(h + 22, uint16_t(channels));
  put32(h + 24, uint32_t(rate));
  put32(h + 28, uint32_t(rate) * 2 * uint32_t(channels));  // bytes per second
  put16(h + 32, uint16_t(2 * channels));                   // bytes per frame
  put16(h + 34, 16);                                       // bits per sample
  std::copy_n("data", 4, h + 36);
  put32(h + 40, data_bytes);
}

}  // namespace

namespace {

void fail(WavFile& wav, int error) {
  if (!wav.failed) wav.error = error != 0 ? error : EIO;
  wav.failed = true;
}

bool start(WavFile& wav, int sample_rate, int channels) {
  wav.rate = sample_rate;
  wav.channels = channels;
  // The header is rewritten with the sizes at the close where the output can go back to it.
  const long at = std::ftell(wav.file);
  wav.seekable = at == 0 && std::fseek(wav.file, 0, SEEK_SET) == 0;
  uint8_t h[kHeaderBytes];
  header(h, sample_rate, channels, wav.seekable ? 0 : 0xFFFFFFFFu);
  if (!wav.seekable) put32(h + 4, 0xFFFFFFFFu);
  errno = 0;
  if (std::fwrite(h, 1, sizeof h, wav.file) != sizeof h) fail(wav, errno);
  return !wav.failed;
}

}  // namespace

bool wav_file_open(WavFile& wav, const std::string& path, int sample_rate, int channels) {
  wav = WavFile{};
  wav.file = std::fopen(path.c_str(), "wb");
  if (!wav.file) {
    wav.error = errno;
    return false;
  }
  wav.owned = true;
  return start(wav, sample_rate, channels);
}

bool wav_file_attach(WavFile& wav, std::FILE* stream, int sample_rate, int channels) {
  wav = WavFile{};
  wav.file = stream;
  return start(wav, sample_rate, channels);
}

bool wav_file_write(WavFile& wav, const int16_t* samples, size_t count) {
  if (!wav.file || wav.failed) return false;
  if ((wav.samples + count) * 2 > kMaxDataBytes) {
    fail(wav, EFBIG);
    return false;
  }
  uint8_t bytes[4096];
  for (size_t done = 0; done < count;) {
    const size_t n = std::min(count - done, sizeof bytes / 2);
    for (size_t i = 0; i < n; ++i) put16(&bytes[2 * i], uint16_t(samples[done + i]));
    errno = 0;
    if (std::fwrite(bytes, 1, n * 2, wav.file) != n * 2) {
      fail(wav, errno);
      return false;
    }
    done += n;
  }
  wav.samples += count;
  return true;
}

bool wav_file_close(WavFile& wav) {
  if (!wav.file) return false;
  errno = 0;
  if (!wav.failed && std::fflush(wav.file) != 0) fail(wav, errno);
  if (!wav.failed && wav.seekable) {
    uint8_t h[kHeaderBytes];
    header(h, wav.rate, wav.channels, uint32_t(wav.samples * 2));
    errno = 0;
    if (std::fseek(wav.file, 0, SEEK_SET) != 0 ||
        std::fwrite(h, 1, sizeof h, wav.file) != sizeof h || std::fflush(wav.file) != 0)
      fail(wav, errno);
  }
  errno = 0;
  if (wav.owned && std::fclose(wav.file) != 0) fail(wav, errno);
  wav.file = nullptr;
  return !wav.failed;
}

bool wav_write_file(const std::string& path, const int16_t* samples, size_t count,
                    int sample_rate) {
  WavFile wav;
  if (!wav_file_open(wav, path, sample_rate)) return false;
  wav_file_write(wav, samples, count);
  return wav_file_close(wav);
}
