// modrender: a module through our own player to a 16-bit WAV file, mono or stereo, at any rate.
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driftlight_version.h"
#include "music/mod_file.h"
#include "music/music.h"
#include "music/offline_audio.h"
#include "music/pt.h"
#include "music/snd.h"
#include "platform/wav_writer.h"
#include "tools/cli/whole_number.h"
#include "tools/safe_output/safe_output.h"

namespace {

namespace mf = mod_file;

constexpr int kMaxSeconds = 3600;
constexpr double kMinGainDb = -96, kMaxGainDb = 48;
constexpr int kMinRate = 8000, kMaxRate = 192000;
constexpr int kVBlankRate = 50;  // PAL vertical blank: the tick of fixed-rate timing
// A song that tempos would stretch to this length or more, and that speeds make shorter, was
// written for fixed-rate timing.
constexpr int64_t kVBlankSuspectSeconds = 8 * 60;

void usage(FILE* to) {
  std::fprintf(to,
               "Usage: modrender [OPTION]... IN.mod OUT.wav\n"
               "Plays a ProTracker-style module through the Driftlight player and writes a\n"
               "16-bit WAV while it plays; OUT.wav '-' is standard output. Modules of 4 to 8\n"
               "channels are checked against other players (tags M.K., M!K!, FLT4, FLT8, 4CHN,\n"
               "6CHN, 8CHN, OCTA); 2CHN and 10CH to 32CH are read the same way.\n"
               "OUT.wav is never the input (the same file under any name or link) and never an\n"
               "existing file unless --force is given; it is written under a temporary name and\n"
               "renamed when complete, so an interrupted render leaves the old file as it was.\n"
               "Samples whose data the file cuts short are played as far as they go, with one\n"
               "warning each on stderr, and so are samples the mix clips, with their count.\n"
               "  -f, --force    replace OUT.wav (or the timeline file) if it exists\n"
               "  --protracker   play by ProTracker's rules instead of the show's player's own,\n"
               "                 with the timing the file was written for: CIA (F20 and above\n"
               "                 set a tempo) unless the song, so read, would last 8 minutes\n"
               "                 or more and reading F20 and above as speeds makes it shorter;\n"
               "                 then VBlank. The choice and its reason go to stderr\n"
               "  --cia          ProTracker's rules, F20 and above always a tempo\n"
               "  --vblank       ProTracker's rules with fixed-rate (VBlank) timing: every Fxx\n"
               "                 from F01 is a speed, ticks come 50 times a second\n"
               "  --stereo       two channels, panned as the Amiga pans them: channels 0 and 3\n"
               "                 left, 1 and 2 right (and so on for every four)\n"
               "  --separation PERCENT  with --stereo (implies it), how far apart the sides\n"
               "                 are: 100 (the default) hard left and right, 0 both in the middle\n"
               "  --rate HZ      sample rate, %d to %d (default 44100)\n"
               "  --seconds N    length to render (default: once through the song, up to the\n"
               "                 first row it would repeat; at most %d)\n"
               "  --tick-rate R  ticks per second, a whole number (default 50); with\n"
               "                 --protracker the pace until the song's first tempo command\n"
               "  --gain DB      level of the mix in decibels, %g to +%g; samples beyond 16\n"
               "                 bits saturate. By default the loudest level at which the\n"
               "                 song's channels cannot clip at volumes up to 64: -6.1 dB for\n"
               "                 4 channels in mono, -0.1 dB for 4 in stereo. --gain 0 is the\n"
               "                 show's own level\n"
               "  --solo CH      only channel CH (0 to the song's last) is heard; the others\n"
               "                 are muted in the mixer while the song plays on unchanged\n"
               "  --channels N   read the patterns as N channels whatever the tag says (for\n"
               "                 a file whose size fits another count, as the warning says)\n"
               "  --timeline FILE  also write the song's timeline over the same ticks: a line\n"
               "                 \"tick order row\" for the first tick and every tick that moves\n"
               "  -h, --help     this text\n"
               "  --version      the program's version\n"
               "An FLT8 module is read as Startrekker wrote it: each pattern two 4-channel\n"
               "halves, channels 0-3 then 4-7, and the order table counting those halves.\n"
               "A file whose size fits another channel count better than its tag's gets a\n"
               "warning; it is played as the tag says unless --channels says otherwise.\n"
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
               "  -  a row after vibrato or arpeggio keeps the last period they sent\n"
               "Status: 0 done, 1 a file that cannot be read, written or played, 2 a bad\n"
               "command line or an output refused.\n",
               kMinRate, kMaxRate, kMaxSeconds, kMinGainDb, kMaxGainDb);
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

// The channel count a tag names, 0 for none the player knows.
int tag_channels(const uint8_t* tag) {
  for (const PtTag& t : pt_tags) {
    if (t.channels == 0) return 0;
    if (std::equal(tag, tag + 4, reinterpret_cast<const uint8_t*>(t.tag))) return t.channels;
  }
  return 0;
}

// The tag as a reason shows it: printable characters as they are, others as \xNN.
std::string shown_tag(const uint8_t* tag) {
  std::string out;
  for (int i = 0; i < 4; ++i) {
    if (std::isprint(tag[i])) {
      out += char(tag[i]);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", tag[i]);
      out += hex;
    }
  }
  return out;
}

// 15361 as "15,361".
std::string grouped(int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n), out = n < 0 ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

int highest_pattern(const std::vector<uint8_t>& m) {
  return *std::max_element(m.begin() + mf::kOrders, m.begin() + mf::kOrders + mf::kOrderCount);
}

int64_t sample_bytes(const std::vector<uint8_t>& m) {
  int64_t total = 0;
  for (int i = 0; i < mf::kSampleCount; ++i) {
    const uint8_t* r = &m[mf::kSampleRecords + mf::kSampleRecordSize * size_t(i)];
    total += 2 * ((r[mf::kSampleLength] << 8) | r[mf::kSampleLength + 1]);
  }
  return total;
}

// The bytes a reading with this many channels expects: header, patterns, sample data.
int64_t expected_size(const std::vector<uint8_t>& m, int channels) {
  return int64_t(mf::kPatterns) + int64_t(highest_pattern(m) + 1) * channels * 256 +
         sample_bytes(m);
}

// The tag the player reads a count of channels by.
const char* tag_for(int channels) {
  for (const PtTag& t : pt_tags) {
    if (t.channels == channels && (channels != 4 || std::strcmp(t.tag, "M.K.") == 0) &&
        (channels != 8 || std::strcmp(t.tag, "8CHN") == 0))
      return t.tag;
  }
  return nullptr;
}

// Startrekker's FLT8 keeps each 8-channel pattern as two 4-channel ones, channels 0-3 then 4-7,
// and its order table counts those halves (so every entry is even). The module is rewritten in
// the layout the player reads, one row of eight cells after another, under the tag 8CHN. False
// when the halves are not all in the file.
bool unfold_flt8(std::vector<uint8_t>& m) {
  for (int i = 0; i < mf::kOrderCount; ++i) m[mf::kOrders + size_t(i)] /= 2;
  const size_t patterns = size_t(highest_pattern(m)) + 1;
  const size_t bytes = patterns * 2048;
  if (mf::kPatterns + bytes > m.size()) return false;
  std::vector<uint8_t> laid(bytes);
  for (size_t p = 0; p < patterns; ++p) {
    for (size_t half = 0; half < 2; ++half) {
      const uint8_t* from = &m[mf::kPatterns + (2 * p + half) * 1024];
      for (size_t row = 0; row < 64; ++row)
        std::memcpy(&laid[p * 2048 + row * 32 + half * 16], from + row * 16, 16);
    }
  }
  std::copy(laid.begin(), laid.end(), m.begin() + mf::kPatterns);
  std::memcpy(&m[mf::kTag], "8CHN", 4);
  return true;
}

// How the song, in the orders it plays, sets its speed with Fxx: whether any Fxx is F20 or above
// ("high"), and whether a row holds both a high one and one from F01 to F1F.
struct SpeedCommands {
  bool high = false;
  bool both_on_a_row = false;
};

SpeedCommands speed_commands(const std::vector<uint8_t>& m, int channels) {
  SpeedCommands found;
  const int length = std::min<int>(m[mf::kSongLength], mf::kOrderCount);
  for (int o = 0; o < length; ++o) {
    const size_t at = mf::kPatterns + size_t(m[mf::kOrders + size_t(o)]) * size_t(channels) * 256;
    for (size_t row = 0; row < 64 && at + (row + 1) * size_t(channels) * 4 <= m.size(); ++row) {
      bool low = false, high = false;
      for (size_t c = 0; c < size_t(channels); ++c) {
        const uint8_t* b = &m[at + (row * size_t(channels) + c) * 4];
        if ((b[2] & 0x0F) != 0x0F || b[3] == 0) continue;
        if (b[3] < 0x20) {
          low = true;
          continue;
        }
        high = true;
      }
      found.high |= high;
      found.both_on_a_row |= low && high;
    }
  }
  return found;
}

std::string minutes(int64_t samples, int rate) {
  const int64_t s = samples / rate;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(s / 60),
                static_cast<long long>(s % 60));
  return text;
}

PtRules vblank_rules() {
  PtRules r = pt_rules_protracker;
  r.name = "vblank";
  r.tempo = false;
  r.high_speeds = true;
  return r;
}

// Which timing the song was written for, and why, in the words stderr gets. CIA unless tempos
// would stretch the song to 8 minutes or more and speeds make it shorter (the first tick runs at
// the tick rate before the tempo holds, so a second's slack); a row that sets both a speed and a
// tempo settles it as CIA. Runs the sequencer alone over copies of the module.
bool detect_vblank(const std::vector<uint8_t>& m, int channels, int rate, std::string* why) {
  const SpeedCommands f = speed_commands(m, channels);
  if (!f.high) {
    *why = "CIA: the song sets no tempo (no F20 or above), so both timings play it alike";
    return false;
  }
  if (f.both_on_a_row) {
    *why = "CIA: a row sets both a speed (F01 to F1F) and a tempo (F20 and above)";
    return false;
  }
  pt_set_rules(pt_rules_protracker);
  const int64_t cia = music_song_samples(m.data(), m.size(), kVBlankRate);
  static const PtRules vblank = vblank_rules();
  pt_set_rules(vblank);
  const int64_t fixed = music_song_samples(m.data(), m.size(), kVBlankRate);
  const bool chosen = cia + rate >= kVBlankSuspectSeconds * rate && fixed < cia;
  *why =
      std::string(chosen ? "VBlank" : "CIA") + ": with F20 and above as tempos the song lasts " +
      minutes(cia, rate) + ", as speeds " + minutes(fixed, rate) +
      (chosen ? " (8 minutes or more as tempos, and shorter as speeds: written for VBlank)" : "");
  return chosen;
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
  bool gain_given = false;
  int tick_rate = 50;
  bool tick_rate_given = false;
  int solo = -1;
  int channels_forced = 0;
  int rate = kSndRate;
  int separation = 100;
  bool stereo = false;
  bool force = false;
  enum class Timing { kShow, kDetect, kCia, kVBlank } timing = Timing::kShow;
  // A whole number from lo to hi, or a usage error naming the option.
  auto whole = [&](const std::string& option, const char* text, int lo, int hi, int* value) {
    long v;
    if (!cli_whole_number(text, lo, hi, &v)) {
      std::fprintf(stderr, "modrender: %s needs a whole number from %d to %d, got '%s'\n",
                   option.c_str(), lo, hi, text);
      return false;
    }
    *value = int(v);
    return true;
  };
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
      if (timing == Timing::kShow) timing = Timing::kDetect;
    } else if (a == "--cia") {
      timing = Timing::kCia;
    } else if (a == "--vblank") {
      timing = Timing::kVBlank;
    } else if (a == "--stereo") {
      stereo = true;
    } else if (a == "--force" || a == "-f") {
      force = true;
    } else if (a == "--separation" && i + 1 < argc) {
      if (!whole(a, argv[++i], 0, 100, &separation)) return 2;
      stereo = true;
    } else if (a == "--rate" && i + 1 < argc) {
      if (!whole(a, argv[++i], kMinRate, kMaxRate, &rate)) return 2;
    } else if (a == "--solo" && i + 1 < argc) {
      if (!whole(a, argv[++i], 0, kPtChannelsMax - 1, &solo)) return 2;
    } else if (a == "--channels" && i + 1 < argc) {
      if (!whole(a, argv[++i], 2, kPtChannelsMax, &channels_forced)) return 2;
      if (!tag_for(channels_forced)) {
        std::fprintf(stderr, "modrender: --channels takes an even count from 2 to 32, got %d\n",
                     channels_forced);
        return 2;
      }
    } else if (a == "--gain" && i + 1 < argc) {
      char* end = nullptr;
      gain_db = std::strtod(argv[++i], &end);
      gain_given = true;
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
        tick_rate = v > kMaxRate ? kMaxRate : int(v);
        tick_rate_given = true;
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
  tick_rate = std::min(tick_rate, rate);

  const bool to_stdout = std::strcmp(out, "-") == 0;
  const bool timeline_to_stdout = timeline && std::strcmp(timeline, "-") == 0;
  if (timeline_to_stdout && to_stdout) {
    std::fprintf(stderr, "modrender: the WAV and the timeline cannot both go to standard output\n");
    return 2;
  }
  if (to_stdout && isatty(STDOUT_FILENO)) {
    std::fprintf(stderr, "modrender: standard output is a terminal; redirect it or pipe it on\n");
    return 2;
  }
  // Nothing is read or rendered before both outputs are known to be allowed.
  if (timeline && !timeline_to_stdout && !to_stdout && std::strcmp(timeline, out) == 0) {
    std::fprintf(stderr, "modrender: the WAV and the timeline cannot both go to '%s'\n", out);
    return 2;
  }
  for (const char* o : {to_stdout ? nullptr : out, timeline_to_stdout ? nullptr : timeline}) {
    if (!o) continue;
    const std::string why = output_refusal(o, {in}, force);
    if (!why.empty()) {
      std::fprintf(stderr, "modrender: %s\n", why.c_str());
      return 2;
    }
  }

  std::vector<uint8_t> module;
  if (!read_file(in, module)) {
    std::fprintf(stderr, "modrender: cannot read '%s': %s\n", in, std::strerror(errno));
    return 1;
  }
  // What the player reads is settled here, in this program's words; the loader's own checks
  // stay behind these.
  auto refuse = [&](const std::string& why) {
    std::fprintf(stderr, "modrender: '%s' is not a module this player reads: %s\n", in,
                 why.c_str());
    return 1;
  };
  if (module.size() < mf::kHeaderSize)
    return refuse(grouped(int64_t(module.size())) + " bytes, shorter than a module's 1,084-byte " +
                  "header");
  const uint8_t* tag = &module[mf::kTag];
  const std::string tag_text = shown_tag(tag);
  int channels = tag_channels(tag);
  if (channels == 0 && !channels_forced) return refuse("unknown tag '" + tag_text + "'");
  if (highest_pattern(module) >= 128)
    return refuse("its order table names pattern " + std::to_string(highest_pattern(module)) +
                  "; a module has at most 128");
  if (channels_forced) {
    channels = channels_forced;
    std::memcpy(&module[mf::kTag], tag_for(channels), 4);
  } else if (tag_text == "FLT8" && !unfold_flt8(module)) {
    return refuse("its FLT8 patterns, two 4-channel halves each, run past the end of the file");
  }
  const int64_t need = expected_size(module, channels);
  const int64_t patterns_end = need - sample_bytes(module);
  if (patterns_end > int64_t(module.size()))
    return refuse("its " + std::to_string(highest_pattern(module) + 1) + " patterns of " +
                  std::to_string(channels) + " channels end at byte " + grouped(patterns_end) +
                  "; the file holds " + grouped(int64_t(module.size())));
  if (!channels_forced && need != int64_t(module.size())) {
    // Another count that accounts for the file's size, to the byte or nearly, where the tag's
    // does not.
    const int64_t off = int64_t(module.size()) - need;
    for (int c = 2; c <= kPtChannelsMax; c += 2) {
      const int64_t spare = int64_t(module.size()) - expected_size(module, c);
      if (c == channels || spare < 0 || spare >= 256 || spare >= std::abs(off)) continue;
      std::fprintf(stderr,
                   "modrender: warning: '%s' is %s bytes %s than %d channels (its tag '%s') "
                   "need, and fits %d channels %s; played as %d (--channels %d reads it as %d)\n",
                   in, grouped(std::abs(off)).c_str(), off > 0 ? "longer" : "shorter", channels,
                   tag_text.c_str(), c,
                   spare == 0 ? "exactly" : ("to within " + grouped(spare) + " bytes").c_str(),
                   channels, c, c);
      break;
    }
  }
  if (solo >= channels) {
    std::fprintf(stderr, "modrender: --solo %d: the song has %d channels (0 to %d)\n", solo,
                 channels, channels - 1);
    return 2;
  }

  music_offline_enable(nullptr, nullptr);
  if (!music_init()) {
    std::fprintf(stderr, "modrender: audio start-up failed\n");
    return 1;
  }
  snd_install(rate, snd_driver.name);  // the mixing rate from the next reset on
  if (timing == Timing::kDetect) {
    std::string why;
    timing = detect_vblank(module, channels, rate, &why) ? Timing::kVBlank : Timing::kCia;
    std::fprintf(stderr, "modrender: timing %s\n", why.c_str());
  }
  static const PtRules vblank = vblank_rules();
  pt_set_rules(timing == Timing::kShow     ? pt_rules_show
               : timing == Timing::kVBlank ? vblank
                                           : pt_rules_protracker);
  if (timing == Timing::kVBlank && !tick_rate_given) tick_rate = kVBlankRate;
  // Loading rewrites the module in place: the length and timeline passes take the bytes as read.
  int64_t total = seconds > 0 ? int64_t(seconds * rate)
                              : music_song_samples(module.data(), module.size(), tick_rate);
  std::vector<uint8_t> pristine = module;
  snd_driver.init();
  if (!music_load(module.data(), module.size())) {
    std::string why = pt_last_error();
    if (why.rfind("pt_takemod error: ", 0) == 0) why.erase(0, 18);
    if (!why.empty() && why.back() == '!') why.pop_back();
    return refuse(why);
  }

  // Both outputs are opened (under their temporary names) before anything is rendered, so that
  // one that cannot be written is known at once.
  const int out_channels = stereo ? 2 : 1;
  const std::string wav_temp = to_stdout ? "" : output_begin(out);
  WavFile wav;
  if ((!to_stdout && wav_temp.empty()) ||
      !(to_stdout ? wav_file_attach(wav, stdout, rate, out_channels)
                  : wav_file_open(wav, wav_temp, rate, out_channels))) {
    const int error = wav_temp.empty() ? errno : wav.error;
    if (!wav_temp.empty()) output_abandon(wav_temp);
    std::fprintf(stderr, "modrender: cannot write '%s': %s\n", out, std::strerror(error));
    return 1;
  }
  // The timeline is written after the render, whole, so it goes to its name then.
  std::string timeline_temp;
  FILE* timeline_file = nullptr;

  for (int i = 1; i <= 31; ++i) {
    const SongSample& smp = pt_song().samples[i];
    if (smp.present < smp.length)
      std::fprintf(stderr, "modrender: sample %d: %u of %u bytes present\n", i, smp.present,
                   smp.length);
  }
  if (solo >= 0) snd_mute_voices(~(1u << solo));
  snd_set_output(out_channels, separation);
  if (!gain_given) {
    // The loudest level at which every channel of one output at volume 64 on its sample's
    // extreme byte (-128 x 129) still fits in 16 bits.
    int most = channels;
    if (stereo) {
      int right = 0;
      for (int c = 0; c < channels; ++c) right += snd_voice_side(c);
      most = std::max(right, channels - right);
    }
    gain_db = 20 * std::log10(32767.0 / (16512.0 * most));
  }
  snd_set_gain(int32_t(std::lround(65536.0 * std::pow(10.0, gain_db / 20))));
  // The device's 2048-frame buffers, the last one cut to the length.
  snd_set_tick_rate(tick_rate);
  std::vector<int16_t> buffer(size_t(kSndBufferSamples) * size_t(out_channels));
  for (int64_t done = 0; done < total && !wav.failed;) {
    const int n = int(std::min<int64_t>(kSndBufferSamples, total - done));
    snd_callback(nullptr, reinterpret_cast<uint8_t*>(buffer.data()), n * 2 * out_channels);
    wav_file_write(wav, buffer.data(), size_t(n) * size_t(out_channels));
    done += n;
  }
  const uint64_t clipped = snd_clipped_samples();
  music_stop();
  if (!wav_file_close(wav) || (!to_stdout && !output_commit(wav_temp, out))) {
    const int error = wav.error != 0 ? wav.error : errno;
    if (!wav_temp.empty()) output_abandon(wav_temp);
    std::fprintf(stderr, "modrender: cannot write '%s': %s\n", out, std::strerror(error));
    return 1;
  }
  if (clipped > 0)
    std::fprintf(
        stderr, "modrender: %llu of %lld samples clipped (%.3f %%); a lower --gain avoids it\n",
        static_cast<unsigned long long>(clipped), static_cast<long long>(total * out_channels),
        100.0 * double(clipped) / double(total * out_channels));
  if (timeline) {
    if (timeline_to_stdout) {
      timeline_file = stdout;
    } else {
      timeline_temp = output_begin(timeline);
      timeline_file = timeline_temp.empty() ? nullptr : std::fopen(timeline_temp.c_str(), "w");
    }
    if (!timeline_file) {
      const int error = errno;
      if (!timeline_temp.empty()) output_abandon(timeline_temp);
      std::fprintf(stderr, "modrender: cannot write '%s': %s\n", timeline, std::strerror(error));
      return 1;
    }
    errno = 0;
    snd_set_output(1, 100);
    bool ok = write_timeline(timeline_file, pristine, tick_rate, total);
    ok = (timeline_file == stdout ? std::fflush(stdout) == 0 : std::fclose(timeline_file) == 0) &&
         ok;
    if (ok && !timeline_temp.empty()) ok = output_commit(timeline_temp, timeline);
    if (!ok) {
      const int error = errno != 0 ? errno : EIO;
      if (!timeline_temp.empty()) output_abandon(timeline_temp);
      std::fprintf(stderr, "modrender: cannot write '%s': %s\n", timeline, std::strerror(error));
      return 1;
    }
  }
  return 0;
}
