// modrender: a module through our own player to a 16-bit mono 44100 Hz WAV file.
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
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
constexpr double kMinGainDb = -96, kMaxGainDb = 48;

void usage(FILE* to) {
  std::fprintf(to,
               "Usage: modrender [OPTION]... IN.mod OUT.wav\n"
               "Plays a ProTracker-style module through the Driftlight player and writes a\n"
               "16-bit mono WAV at 44100 Hz while it plays; OUT.wav '-' is standard output.\n"
               "Samples whose data the file cuts short are played as far as they go, with one\n"
               "warning each on stderr, and so are samples the mix clips, with their count.\n"
               "  --protracker   play by ProTracker's rules instead of the show's player's own\n"
               "  --seconds N    length to render (default: once through the song, up to the\n"
               "                 first row it would repeat; at most %d)\n"
               "  --tick-rate R  ticks per second, a whole number (default 50); with\n"
               "                 --protracker the pace until the song's first tempo command\n"
               "  --gain DB      level of the mix in decibels, %g to +%g (default 0);\n"
               "                 samples beyond 16 bits saturate\n"
               "  --solo CH      only channel CH (0-3) is heard; the others are muted in the\n"
               "                 mixer while the song plays on unchanged\n"
               "  --timeline FILE  also write the song's timeline over the same ticks, one line\n"
               "                 \"tick order row\" for the first tick and every tick that moves\n"
               "  -h, --help     this text\n"
               "  --version      the program's version\n"
               "The show's rules where ProTracker's differ; --protracker plays these as\n"
               "ProTracker does:\n"
               "  -  Fxx from F20 (a tempo) is ignored: the tick rate stays as given\n"
               "  -  E1x and E2x slide by one period, EAx and EBx by one step, whatever x is\n"
               "  -  F00 freezes the song on its row, replaying the row's first tick\n"
               "  -  Cxx is not clamped at 64: C7F plays twice as loud as C40\n"
               "  -  a new note keeps vibrato's and tremolo's phase; E4x and E7x restart it\n"
               "  -  one vibrato and one tremolo waveform for all channels\n"
               "  -  a vibrato or tremolo row starts with the last offset sent, not without\n"
               "  -  EEx beside Dxx: the next pattern starts on the break's row, not one past\n"
               "  -  EDx past the row's last tick plays on that tick, not on the next row\n"
               "and these under both:\n"
               "  -  a sample number without a note switches the sample at once\n"
               "  -  E9x retriggers only a note in its own cell\n"
               "  -  a row held by EEx is not played again\n"
               "  -  Bxx keeps the break row that a Dxx left of it set\n"
               "  -  E5x beside a note tunes the notes after it, not that one\n"
               "  -  9xx moves its own note only; it is not remembered for later notes\n"
               "  -  a loop plays bytes start + 1 to end, one byte on from ProTracker's\n"
               "  -  arpeggio past the third octave plays higher notes instead of wrapping\n"
               "  -  a row after vibrato or arpeggio keeps the last period they sent\n",
               kMaxSeconds, kMinGainDb, kMaxGainDb);
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

// The (order, row) after every tick, as a line "tick order row" whenever it moves, over the ticks
// that begin within the first total samples. The player is driven tick by tick here, with no
// mixing, so the file compares players and builds on the sequencer alone.
bool write_timeline(FILE* f, std::vector<uint8_t> module, int tick_rate, int64_t total) {
  snd_driver.init();
  if (!music_load(module.data(), module.size())) return false;
  snd_set_tick_rate(tick_rate);
  int order = -1, row = -1;
  for (int64_t t = 0, at = 0; at < total; ++t) {
    pt_tick();
    at += snd_next_tick_samples();
    if (pt_play_order() == order && pt_play_row() == row) continue;
    order = pt_play_order();
    row = pt_play_row();
    std::fprintf(f, "%lld %d %d\n", static_cast<long long>(t), order, row);
  }
  return !std::ferror(f);
}

}  // namespace

int main(int argc, char** argv) {
  const char* in = nullptr;
  const char* out = nullptr;
  const char* timeline = nullptr;
  double seconds = -1;
  double gain_db = 0;
  int tick_rate = 50;
  int solo = -1;
  bool protracker = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--version") {
      std::printf("modrender %s\n", DRIFTLIGHT_VERSION);
      return 0;
    }
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else if (a == "--protracker") {
      protracker = true;
    } else if (a == "--solo" && i + 1 < argc) {
      std::string v = argv[++i];
      if (v.size() != 1 || v[0] < '0' || v[0] > '3') {
        std::fprintf(stderr, "modrender: --solo needs a channel 0-3, got '%s'\n", v.c_str());
        return 2;
      }
      solo = v[0] - '0';
    } else if (a == "--gain" && i + 1 < argc) {
      char* end = nullptr;
      gain_db = std::strtod(argv[++i], &end);
      if (*end != '\0' || end == argv[i] || !(gain_db >= kMinGainDb && gain_db <= kMaxGainDb)) {
        std::fprintf(stderr, "modrender: --gain needs decibels from %g to +%g, got '%s'\n",
                     kMinGainDb, kMaxGainDb, argv[i]);
        return 2;
      }
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
      } else if (v != std::floor(v)) {
        std::fprintf(stderr,
                     "modrender: --tick-rate must be a whole number of ticks a second, "
                     "got '%s'\n",
                     argv[i]);
        return 2;
      } else {
        tick_rate = v > kSndRate ? kSndRate : int(v);
      }
    } else if (a == "--timeline" && i + 1 < argc) {
      timeline = argv[++i];
    } else if (a.size() > 1 && a[0] == '-') {
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
  const bool to_stdout = std::strcmp(out, "-") == 0;
  if (timeline && std::strcmp(timeline, "-") == 0 && to_stdout) {
    std::fprintf(stderr, "modrender: the WAV and the timeline cannot both go to standard output\n");
    return 2;
  }
  if (to_stdout && isatty(STDOUT_FILENO)) {
    std::fprintf(stderr, "modrender: standard output is a terminal; redirect it or pipe it on\n");
    return 2;
  }
  pt_set_rules(protracker ? pt_rules_protracker : pt_rules_show);

  music_offline_enable(nullptr, nullptr);
  if (!music_init()) {
    std::fprintf(stderr, "modrender: audio start-up failed\n");
    return 1;
  }
  // Loading rewrites the module in place: the length and timeline passes take the bytes as read.
  int64_t total = seconds > 0 ? int64_t(seconds * kSndRate)
                              : music_song_samples(module.data(), module.size(), tick_rate);
  std::vector<uint8_t> pristine = module;
  snd_driver.init();
  if (!music_load(module.data(), module.size())) {
    std::fprintf(stderr, "modrender: '%s' refused: %s\n", in, pt_last_error());
    return 1;
  }

  // Both outputs are opened before anything is rendered, so that one that cannot be written is
  // known at once.
  WavFile wav;
  if (!(to_stdout ? wav_file_attach(wav, stdout, kSndRate) : wav_file_open(wav, out, kSndRate))) {
    std::fprintf(stderr, "modrender: cannot write '%s': %s\n", out, std::strerror(wav.error));
    return 1;
  }
  FILE* timeline_file = nullptr;
  if (timeline) {
    timeline_file = std::strcmp(timeline, "-") == 0 ? stdout : std::fopen(timeline, "w");
    if (!timeline_file) {
      std::fprintf(stderr, "modrender: cannot write '%s': %s\n", timeline, std::strerror(errno));
      return 1;
    }
  }

  for (int i = 1; i <= 31; ++i) {
    const SongSample& smp = pt_song().samples[i];
    if (smp.present < smp.length)
      std::fprintf(stderr, "modrender: sample %d: %u of %u bytes present\n", i, smp.present,
                   smp.length);
  }
  if (solo >= 0) snd_mute_voices(~(1u << solo));
  snd_set_gain(int32_t(std::lround(65536.0 * std::pow(10.0, gain_db / 20))));
  // The device's 2048-sample buffers, the last one cut to the length.
  snd_set_tick_rate(tick_rate);
  int16_t buffer[kSndBufferSamples];
  for (int64_t done = 0; done < total && !wav.failed;) {
    const int n = int(std::min<int64_t>(kSndBufferSamples, total - done));
    snd_callback(nullptr, reinterpret_cast<uint8_t*>(buffer), n * 2);
    wav_file_write(wav, buffer, size_t(n));
    done += n;
  }
  const uint64_t clipped = snd_clipped_samples();
  music_stop();
  if (!wav_file_close(wav)) {
    std::fprintf(stderr, "modrender: cannot write '%s': %s\n", out, std::strerror(wav.error));
    return 1;
  }
  if (clipped > 0)
    std::fprintf(stderr,
                 "modrender: %llu of %lld samples clipped (%.3f %%); a lower --gain avoids it\n",
                 static_cast<unsigned long long>(clipped), static_cast<long long>(total),
                 100.0 * double(clipped) / double(total));
  if (timeline_file) {
    errno = 0;
    bool ok = write_timeline(timeline_file, pristine, tick_rate, total);
    ok = (timeline_file == stdout ? std::fflush(stdout) == 0 : std::fclose(timeline_file) == 0) &&
         ok;
    if (!ok) {
      std::fprintf(stderr, "modrender: cannot write '%s': %s\n", timeline,
                   std::strerror(errno != 0 ? errno : EIO));
      return 1;
    }
  }
  return 0;
}
