// Renders the same module to 44.1 kHz mono with our player and with libxmp (nearest-neighbour,
// mono), and prints both rates and their ratio.
#include <xmp.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "music/music.h"
#include "music/offline_audio.h"
#include "music/snd.h"

namespace {

constexpr int kSeconds = 120;  // of audio, per run
constexpr int kRuns = 5;       // best of

using Clock = std::chrono::steady_clock;

double ours(const std::vector<uint8_t>& bytes) {
  double best = 1e9;
  std::vector<int16_t> buf(kSndBufferSamples);
  const int buffers = kSeconds * kSndRate / kSndBufferSamples;
  for (int run = 0; run < kRuns; ++run) {
    std::vector<uint8_t> copy = bytes;
    music_init();
    if (!music_load(copy.data(), copy.size())) return 0;
    snd_set_tick_rate(50);
    auto t0 = Clock::now();
    for (int i = 0; i < buffers; ++i)
      snd_callback(nullptr, reinterpret_cast<uint8_t*>(buf.data()), kSndBufferSamples * 2);
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
  }
  return double(buffers) * kSndBufferSamples / best;
}

double theirs(const std::vector<uint8_t>& bytes) {
  double best = 1e9;
  std::vector<int16_t> buf(kSndBufferSamples);
  const int buffers = kSeconds * kSndRate / kSndBufferSamples;
  for (int run = 0; run < kRuns; ++run) {
    xmp_context ctx = xmp_create_context();
    std::vector<uint8_t> copy = bytes;
    if (xmp_load_module_from_memory(ctx, copy.data(), long(copy.size())) != 0) return 0;
    xmp_start_player(ctx, kSndRate, XMP_FORMAT_MONO);
    xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
    xmp_set_player(ctx, XMP_PLAYER_DSP, 0);
    auto t0 = Clock::now();
    for (int i = 0; i < buffers; ++i) xmp_play_buffer(ctx, buf.data(), kSndBufferSamples * 2, 0);
    best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
  }
  return double(buffers) * kSndBufferSamples / best;
}

}  // namespace

int main() {
  music_offline_enable(nullptr, nullptr);
  std::vector<std::string> paths = {std::string(DRIFTLIGHT_TESTDATA) + "/mod/ponylips.mod",
                                    std::string(DRIFTLIGHT_SOURCE_DIR) + "/assets/soundtrack.mod"};
  int status = 0;
  for (const std::string& p : paths) {
    std::ifstream f(p, std::ios::binary);
    if (!f) {
      std::printf("%s: absent, skipped\n", p.c_str());
      continue;
    }
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(f), {}};
    double a = ours(bytes);
    double b = theirs(bytes);
    std::string name = std::filesystem::path(p).filename().string();
    std::printf("%-16s ours %12.0f samples/s   libxmp %12.0f samples/s   ratio %.2f\n", name.c_str(),
                a, b, b > 0 ? a / b : 0.0);
    if (a == 0 || b == 0) status = 1;
  }
  return status;
}
