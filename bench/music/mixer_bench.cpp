// Renders the same module to 44.1 kHz mono with our player and with libxmp (nearest-neighbour,
// mono), and prints both rates and their ratio.
#include <xmp.h>

#include <time.h>

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

constexpr int kSeconds = 60;  // of audio, per run
constexpr int kRuns = 9;      // best of, the two players taking turns

// CPU time of this thread: the machine is shared, and waiting for a core is not mixing.
double cpu_seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Seconds of CPU time for one run of each.
double ours(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> buf(kSndBufferSamples);
  const int buffers = kSeconds * kSndRate / kSndBufferSamples;
  {
    std::vector<uint8_t> copy = bytes;
    music_init();
    if (!music_load(copy.data(), copy.size())) return -1;
    snd_set_tick_rate(50);
    double t0 = cpu_seconds();
    for (int i = 0; i < buffers; ++i)
      snd_callback(nullptr, reinterpret_cast<uint8_t*>(buf.data()), kSndBufferSamples * 2);
    return cpu_seconds() - t0;
  }
}

double theirs(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> buf(kSndBufferSamples);
  const int buffers = kSeconds * kSndRate / kSndBufferSamples;
  {
    xmp_context ctx = xmp_create_context();
    std::vector<uint8_t> copy = bytes;
    if (xmp_load_module_from_memory(ctx, copy.data(), long(copy.size())) != 0) return -1;
    xmp_start_player(ctx, kSndRate, XMP_FORMAT_MONO);
    xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
    xmp_set_player(ctx, XMP_PLAYER_DSP, 0);
    double t0 = cpu_seconds();
    for (int i = 0; i < buffers; ++i) xmp_play_buffer(ctx, buf.data(), kSndBufferSamples * 2, 0);
    double t = cpu_seconds() - t0;
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    return t;
  }
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
    double best_a = 1e9, best_b = 1e9;
    for (int run = 0; run < kRuns; ++run) {
      best_a = std::min(best_a, ours(bytes));
      best_b = std::min(best_b, theirs(bytes));
    }
    const double samples = double(kSeconds * kSndRate / kSndBufferSamples) * kSndBufferSamples;
    double a = best_a > 0 ? samples / best_a : 0;
    double b = best_b > 0 ? samples / best_b : 0;
    std::string name = std::filesystem::path(p).filename().string();
    std::printf("%-16s ours %12.0f samples/s   libxmp %12.0f samples/s   ratio %.2f\n",
                name.c_str(), a, b, b > 0 ? a / b : 0.0);
    if (a == 0 || b == 0) status = 1;
  }
  return status;
}
