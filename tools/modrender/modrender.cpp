// modrender: a module through our own player to a 16-bit mono 44100 Hz WAV file.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driftlight_version.h"
#include "music/music.h"
#include "music/offline_audio.h"
#include "music/pt.h"
#include "music/snd.h"
#include "platform/wav_writer.h"

namespace {

constexpr int kMaxSeconds = 3600;
constexpr int64_t kLongestRowTicks = 31 * 16;  // speed 31, held by a row delay of 15
constexpr int64_t kSongEndLimitTicks =
    int64_t(50) * 60 * 20;  // give up looking after 20 minutes at 50 Hz

void usage(FILE* to) {
  std::fprintf(to,
               "Usage: modrender [OPTION]... IN.mod OUT.wav\n"
               "Plays a ProTracker-style module through the Driftlight player and writes a\n"
               "16-bit mono WAV at 44100 Hz. Samples whose data the file cuts short are played\n"
               "as far as they go, with one warning each on stderr.\n"
               "  --seconds N    length to render (default: once through the song, up to the\n"
               "                 first row it would repeat; at most %d)\n"
               "  --tick-rate R  ticks per second (default 50)\n"
               "  --solo CH      only channel CH (0-3) is heard; the others are muted in the\n"
               "                 mixer while the song plays on unchanged\n"
               "  --timeline FILE  also write the song's timeline over the same ticks: a line\n"
               "                 'tick order row' for the first tick and every tick that moves\n"
               "  -h, --help     this text\n"
               "  --version      the program's version\n",
               kMaxSeconds);
}

bool read_file(const char* path, std::vector<uint8_t>& out) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

// Ticks until the song comes back to a row it has already played outside a pattern loop.
int64_t song_ticks(const std::vector<uint8_t>& module) {
  std::vector<uint8_t> copy = module;
  music_init();
  if (!music_load(copy.data(), copy.size())) return 0;
  std::vector<uint8_t> seen(128 * 64, 0);
  int64_t rows = 0, last_row_tick = 0;
  for (int64_t t = 0; t < kSongEndLimitTicks; ++t) {
    // A row played again inside a pattern loop is not the song's end; the loop count is taken
    // before the tick, since the row's own E6 may end the loop on it.
    bool looping = false;
    for (int ch = 0; ch < pt_song().channels; ++ch) looping |= pt_channel(ch).loop_count > 0;
    pt_tick();
    if (pt_rows_played() == rows) {
      // Speed 0 freezes the song on its row: nothing more will come.
      if (t - last_row_tick > kLongestRowTicks) return t;
      continue;
    }
    rows = pt_rows_played();
    last_row_tick = t;
    uint8_t& s = seen[pt_play_order() * 64 + pt_play_row()];
    if (s && !looping) return t;
    s = 1;
  }
  return kSongEndLimitTicks;
}

// The (order, row) after every tick, as a line "tick order row" whenever it moves. The player is
// driven tick by tick here, with no mixing, so the file compares players and builds on the
// sequencer alone.
bool write_timeline(const char* path, std::vector<uint8_t> module, int64_t ticks) {
  music_init();
  if (!music_load(module.data(), module.size())) return false;
  FILE* f = std::fopen(path, "w");
  if (!f) return false;
  int order = -1, row = -1;
  for (int64_t t = 0; t < ticks; ++t) {
    pt_tick();
    if (pt_play_order() == order && pt_play_row() == row) continue;
    order = pt_play_order();
    row = pt_play_row();
    std::fprintf(f, "%lld %d %d\n", static_cast<long long>(t), order, row);
  }
  return !std::ferror(f) && std::fclose(f) == 0;
}

std::vector<int16_t> rendered;
void collect(const int16_t* samples, int count, void*) {
  rendered.insert(rendered.end(), samples, samples + count);
}

}  // namespace

int main(int argc, char** argv) {
  const char* in = nullptr;
  const char* out = nullptr;
  const char* timeline = nullptr;
  double seconds = -1;
  int tick_rate = 50;
  int solo = -1;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--version") {
      std::printf("modrender %s\n", DRIFTLIGHT_VERSION);
      return 0;
    }
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else if (a == "--solo" && i + 1 < argc) {
      std::string v = argv[++i];
      if (v.size() != 1 || v[0] < '0' || v[0] > '3') {
        std::fprintf(stderr, "modrender: --solo needs a channel 0-3, got '%s'\n", v.c_str());
        return 2;
      }
      solo = v[0] - '0';
    } else if ((a == "--seconds" || a == "--tick-rate") && i + 1 < argc) {
      char* end = nullptr;
      double v = std::strtod(argv[++i], &end);
      if (*end != '\0' || !(v > 0)) {
        std::fprintf(stderr, "modrender: %s needs a positive number, got '%s'\n", a.c_str(),
                     argv[i]);
        return 2;
      }
      if (a == "--seconds") {
        seconds = v > kMaxSeconds ? kMaxSeconds : v;
      } else {
        tick_rate = v > kSndRate ? kSndRate : int(v);
        if (tick_rate < 1) tick_rate = 1;
      }
    } else if (a == "--timeline" && i + 1 < argc) {
      timeline = argv[++i];
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "modrender: unknown option '%s'\n", a.c_str());
      usage(stderr);
      return 2;
    } else if (!in) {
      in = argv[i];
    } else if (!out) {
      out = argv[i];
    } else {
      usage(stderr);
      return 2;
    }
  }
  if (!in || !out) {
    usage(stderr);
    return 2;
  }

  std::vector<uint8_t> module;
  if (!read_file(in, module)) {
    std::fprintf(stderr, "modrender: cannot read '%s': %s\n", in, std::strerror(errno));
    return 1;
  }

  music_offline_enable(collect, nullptr);
  if (!music_init()) {
    std::fprintf(stderr, "modrender: audio start-up failed\n");
    return 1;
  }
  int64_t total;
  if (seconds > 0) {
    total = int64_t(seconds * kSndRate);
  } else {
    total = song_ticks(module) * (kSndRate / tick_rate);
    music_init();
  }
  // Loading rewrites the module in place: the timeline pass needs the bytes as read.
  std::vector<uint8_t> pristine;
  if (timeline) pristine = module;
  if (!music_load(module.data(), module.size())) {
    std::fprintf(stderr, "modrender: '%s' refused: %s\n", in, pt_last_error());
    return 1;
  }
  for (int i = 1; i <= 31; ++i) {
    const SongSample& smp = pt_song().samples[i];
    if (smp.present < smp.length)
      std::fprintf(stderr, "modrender: sample %d: %u of %u bytes present\n", i, smp.present,
                   smp.length);
  }
  if (solo >= 0) snd_mute_voices(~(1u << solo));
  music_start(tick_rate);
  for (int64_t t = 0; int64_t(rendered.size()) < total; t += 10000) music_offline_advance(t);
  music_stop();
  if (int64_t(rendered.size()) > total) rendered.resize(size_t(total));
  if (timeline) {
    const int64_t tick_samples = kSndRate / tick_rate;
    if (!write_timeline(timeline, pristine, (total + tick_samples - 1) / tick_samples)) {
      std::fprintf(stderr, "modrender: cannot write '%s'\n", timeline);
      return 1;
    }
  }

  if (!wav_write_file(out, rendered.data(), rendered.size(), kSndRate)) {
    std::fprintf(stderr, "modrender: cannot write '%s'\n", out);
    return 1;
  }
  return 0;
}
