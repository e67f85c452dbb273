// The player against other players on every 4-channel test module: its row and order timeline
// against libxmp's, tick by tick, and what is heard against libopenmpt: the loudness envelope of
// the whole mix and the pitch of each channel alone.
#include <gtest/gtest.h>
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <libopenmpt/libopenmpt.hpp>
#include <libopenmpt/libopenmpt_ext.hpp>
#include <map>
#include <sstream>
#include <vector>

#include "modbuild.h"
#include "music/pt.h"
#include "music/snd.h"

namespace {

namespace fs = std::filesystem;
constexpr int kTicks = 3000;

struct Timeline {
  std::vector<int> order, row;
};

Timeline ours(std::vector<uint8_t> bytes, bool& loaded) {
  offline_driver();
  Timeline t;
  loaded = music_load(bytes.data(), bytes.size()) == 1;
  if (!loaded) return t;
  for (int i = 0; i < kTicks; ++i) {
    pt_tick();
    t.order.push_back(pt_play_order());
    t.row.push_back(pt_play_row());
  }
  return t;
}

Timeline theirs(std::vector<uint8_t> bytes) {
  Timeline t;
  xmp_context ctx = xmp_create_context();
  if (xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())) != 0) {
    xmp_free_context(ctx);
    return t;
  }
  xmp_start_player(ctx, 44100, XMP_FORMAT_MONO);
  for (int i = 0; i < kTicks; ++i) {
    xmp_play_frame(ctx);
    xmp_frame_info fi;
    xmp_get_frame_info(ctx, &fi);
    t.order.push_back(fi.pos);
    t.row.push_back(fi.row);
  }
  xmp_end_player(ctx);
  xmp_release_module(ctx);
  xmp_free_context(ctx);
  return t;
}

// Modules whose timeline departs from libxmp's because of this player's own rules, with the first
// tick that differs (everything before it must still match).
struct Known {
  int tick;
  const char* why;
};
const std::map<std::string, Known> kKnown = {
    // EEx and Dxx on one row: ProTracker skips the break's target row; our row delay only holds
    // the row, and the break then lands on its target row.
    {"DelayBreak.mod", {24, "row delay with a break plays the break's target row"}},
    // EEF and EE4 on one row: ProTracker keeps one delay, the last channel's; here every channel
    // counts its own delay down, so the longest one holds the row.
    {"PatternDelaysRetrig.mod", {30, "row delays on several channels: the longest holds"}},
    // Dxx left of Bxx on one row: ProTracker's jump clears the break row; here a jump sets only
    // the order, and the break row set by an earlier channel stays.
    {"PatternJump.mod", {6, "a jump keeps the break row of an earlier channel"}},
    // Tagged "M.K." but written by an 8-channel tracker: the file's size fits 11 patterns of 8
    // channels plus the sample, which libxmp takes as the channel count. We go by the tag, so we
    // read its 8-channel rows as pairs of 4-channel rows, and its break at row 31 never comes.
    {"crystals.mod", {1120, "an 8-channel file under a 4-channel tag; we follow the tag"}},
};

std::vector<fs::path> four_channel_modules() {
  std::vector<fs::path> out;
  fs::path dir = fs::path(DRIFTLIGHT_TESTDATA) / "mod";
  if (!fs::is_directory(dir)) return out;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().extension() != ".mod") continue;
    std::ifstream f(e.path(), std::ios::binary);
    std::vector<uint8_t> b{std::istreambuf_iterator<char>(f), {}};
    if (b.size() < 1084) continue;
    std::string tag(b.begin() + 1080, b.begin() + 1084);
    if (tag == "M.K." || tag == "M!K!" || tag == "FLT4" || tag == "4CHN") out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Conformance, OrderAndRowEveryTickMatchLibxmp) {
  auto files = four_channel_modules();
  if (files.empty()) GTEST_SKIP() << "test data absent";
  int compared = 0;
  for (const auto& path : files) {
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(f), {}};
    std::string name = path.filename().string();
    // The malformed files belong to the bad-input test; this libxmp crashes on one of them.
    if (name.rfind("bad-", 0) == 0) continue;
    bool loaded = false;
    Timeline a = ours(bytes, loaded);
    Timeline b = theirs(bytes);
    if (!loaded || b.order.empty()) {
      ADD_FAILURE() << name << " refused (ours " << loaded << ")";
      continue;
    }
    int first = -1;
    for (int i = 0; i < kTicks && first < 0; ++i)
      if (a.order[i] != b.order[i] || a.row[i] != b.row[i]) first = i;
    auto known = kKnown.find(name);
    if (known != kKnown.end()) {
      std::printf("%-26s differs from tick %d: %s\n", name.c_str(), first, known->second.why);
      EXPECT_EQ(first, known->second.tick) << name;
      continue;
    }
    ++compared;
    EXPECT_EQ(first, -1) << name << " at tick " << first << ": ours " << a.order[size_t(first)]
                         << "/" << a.row[size_t(first)] << ", libxmp " << b.order[size_t(first)]
                         << "/" << b.row[size_t(first)];
  }
  std::printf("%d modules matched libxmp for %d ticks\n", compared, kTicks);
  EXPECT_GT(compared, 0) << "no module was compared";
}

}  // namespace

// ---- What is heard, against libopenmpt ----
//
// Both players render 20 s at 50 ticks a second (libopenmpt's default tempo 125 gives 882 samples a
// tick, as our tick rate 50 does), mono, nearest sample, no ramping. The envelope compares the
// whole mix; the pitch compares each channel alone on every row where our player holds that
// channel's voice steady (same sample, step and volume all row) and its sound is periodic. Under
// the show's rules the tick rate stays; under ProTracker's, tempo commands change the ticks'
// lengths, and the song's length is compared as well.

namespace heard {

constexpr int kRate = 44100;
constexpr int kTickSamples = kRate / 50;
constexpr int kSignalTicks = 50 * 20;
constexpr size_t kSignalSamples = size_t(kSignalTicks) * kTickSamples;
constexpr double kMaxLengthError = 0.5;  // seconds
constexpr int kWindow = kRate / 20;      // 50 ms
constexpr double kMinCorrelation = 0.99;
constexpr double kMaxCents = 3.0;
constexpr double kMinSpan = 400;  // samples: a period measured over it is good to 4.3 cents

// What our player holds in one channel's voice on one tick.
struct VoiceTick {
  int64_t row;   // rows played so far: a new value is a new row
  int32_t tick;  // within the row: 0 also where a row delay plays the row again
  uint64_t step;
  int32_t sample, volume;
  bool glides;  // the row's command moves the pitch from tick to tick
  bool own;     // the voice plays the channel's own period
};

// At the show's master volume a full-volume voice reaches half the 16-bit range, so three loud
// voices at once clip (reborning.mod clips 77,000 samples in 20 s). The envelope is compared at
// half that master, where nothing clips: it measures the music, while the level is the unit
// tests' business. A solo never clips.
// starts receives each tick's first sample.
std::vector<float> render_ours(std::vector<uint8_t> bytes, int solo,
                               std::vector<std::vector<VoiceTick>>* ticks,
                               std::vector<size_t>* starts) {
  offline_driver();
  if (music_load(bytes.data(), bytes.size()) != 1) return {};
  snd_set_tick_rate(50);
  if (solo < 0) snd_set_master_volume(32);
  snd_mute_voices(solo < 0 ? 0 : ~(1u << solo));
  std::vector<float> out;
  std::vector<int16_t> buf;
  if (ticks) ticks->assign(4, {});
  if (starts) starts->clear();
  while (out.size() < kSignalSamples) {
    pt_tick();
    if (starts) starts->push_back(out.size());
    if (ticks) {
      const Song& s = pt_song();
      const Cell* row = s.patterns[s.orders[pt_play_order()]] + pt_play_row() * s.channels;
      for (int ch = 0; ch < 4; ++ch) {
        const Voice& v = snd_control_voices()[ch];
        const uint64_t step = (uint64_t(v.step) << 32) | v.step_frac;
        const int32_t period = pt_channel(ch).period;
        const double own = period > 0 ? 3546836.0 / (double(period) * kRate) * 4294967296.0 : 0;
        (*ticks)[size_t(ch)].push_back({pt_rows_played(), pt_tick_count(), step, v.sample, v.volume,
                                        row[ch].command >= 1 && row[ch].command <= 6,
                                        std::fabs(double(step) - own) < 1e-6 * own + 256});
      }
    }
    buf.resize(size_t(snd_next_tick_samples()));
    snd_mix(buf.data(), int(buf.size()));
    out.insert(out.end(), buf.begin(), buf.end());
  }
  out.resize(kSignalSamples);
  snd_mute_voices(0);
  return out;
}

std::vector<float> render_theirs(const std::vector<uint8_t>& bytes, int solo) {
  std::ostringstream quiet;
  openmpt::module_ext mod(bytes.data(), bytes.size(), quiet);
  mod.set_render_param(openmpt::module::RENDER_INTERPOLATIONFILTER_LENGTH, 1);
  mod.set_render_param(openmpt::module::RENDER_VOLUMERAMPING_STRENGTH, 0);
  mod.ctl_set_boolean("render.resampler.emulate_amiga", false);
  mod.set_repeat_count(-1);  // ours never ends either
  if (solo >= 0) {
    auto* inter =
        static_cast<openmpt::ext::interactive*>(mod.get_interface(openmpt::ext::interactive_id));
    for (int ch = 0; ch < mod.get_num_channels(); ++ch)
      inter->set_channel_mute_status(ch, ch != solo);
  }
  std::vector<float> out(kSignalSamples, 0.0f);
  size_t done = 0;
  while (done < out.size()) {
    size_t n = mod.read(kRate, std::min<size_t>(out.size() - done, 4096), out.data() + done);
    if (n == 0) break;
    done += n;
  }
  return out;
}

// Pearson's correlation of the two RMS envelopes over the windows whose first and last samples
// keep accepts.
double envelope_correlation(const std::vector<float>& a, const std::vector<float>& b,
                            const std::function<bool(size_t)>& keep) {
  std::vector<double> ea, eb;
  for (size_t w = 0; (w + 1) * kWindow <= std::min(a.size(), b.size()); ++w) {
    if (!keep(w * kWindow) || !keep((w + 1) * kWindow - 1)) continue;
    double sa = 0, sb = 0;
    for (size_t i = w * kWindow; i < (w + 1) * kWindow; ++i) {
      sa += double(a[i]) * a[i];
      sb += double(b[i]) * b[i];
    }
    ea.push_back(std::sqrt(sa / kWindow));
    eb.push_back(std::sqrt(sb / kWindow));
  }
  const double n = double(ea.size());
  double ma = 0, mb = 0;
  for (size_t i = 0; i < ea.size(); ++i) ma += ea[i] / n, mb += eb[i] / n;
  double cab = 0, caa = 0, cbb = 0;
  for (size_t i = 0; i < ea.size(); ++i) {
    cab += (ea[i] - ma) * (eb[i] - mb);
    caa += (ea[i] - ma) * (ea[i] - ma);
    cbb += (eb[i] - mb) * (eb[i] - mb);
  }
  // A steady tone has no envelope to correlate, only the mixers' ripple: two envelopes that both
  // stay within 1% of their mean agree.
  if (ea.size() < 2) return 1.0;  // nothing to compare
  if (std::sqrt(caa / n) <= 0.01 * ma && std::sqrt(cbb / n) <= 0.01 * mb) return 1.0;
  return caa > 0 && cbb > 0 ? cab / std::sqrt(caa * cbb) : 0.0;
}

void fft(std::vector<std::complex<double>>& x, bool inverse) {
  const size_t n = x.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const double a = 2 * M_PI / double(len) * (inverse ? 1 : -1);
    const std::complex<double> wl(std::cos(a), std::sin(a));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w(1);
      for (size_t k = 0; k < len / 2; ++k, w *= wl) {
        auto u = x[i + k], v = x[i + k + len / 2] * w;
        x[i + k] = u + v;
        x[i + k + len / 2] = u - v;
      }
    }
  }
}

// Normalised square difference of x with itself at lags below 2/3 of the window (a third of it
// still overlaps there): 1 where the signal repeats.
// The window's mean is taken out first: a constant offset repeats at every lag.
std::vector<double> nsdf(const float* in, size_t size) {
  double mean = 0;
  for (size_t i = 0; i < size; ++i) mean += in[i] / double(size);
  std::vector<double> x(in, in + size);
  for (double& v : x) v -= mean;
  size_t n = 1;
  while (n < 2 * size) n <<= 1;
  std::vector<std::complex<double>> f(n);
  for (size_t i = 0; i < size; ++i) f[i] = x[i];
  fft(f, false);
  for (auto& c : f) c = std::norm(c);
  fft(f, true);
  std::vector<double> out(size * 2 / 3);
  double m = 0;
  for (size_t i = 0; i < size; ++i) m += 2.0 * x[i] * x[i];
  for (size_t lag = 0; lag < out.size(); ++lag) {
    if (lag > 0) m -= x[lag - 1] * x[lag - 1] + x[size - lag] * x[size - lag];
    out[lag] = m > 0 ? 2 * f[lag].real() / double(n) / m : 0;
  }
  return out;
}

// The highest point of d inside (lo, hi), refined between samples by a parabola; a height of 0
// when d only rises towards an end of the range.
double peak_in(const std::vector<double>& d, size_t lo, size_t hi, double* height) {
  lo = std::max<size_t>(lo, 1);
  hi = std::min(hi, d.size() - 2);
  size_t best = lo;
  for (size_t i = lo; i <= hi; ++i)
    if (d[i] > d[best]) best = i;
  *height = best == lo || best == hi ? 0 : d[best];
  double a = d[best - 1], b = d[best], c = d[best + 1];
  double den = a - 2 * b + c;
  return double(best) + (den < 0 ? std::clamp(0.5 * (a - c) / den, -0.5, 0.5) : 0.0);
}

// The period of our window in samples (0 when it does not repeat steadily, -1 when it is silent
// and theirs is not), measured on the
// largest multiple of it over which it still repeats, for precision; theirs on the same multiple
// (-1 when theirs does not repeat there).
struct Pitch {
  double ours = 0, theirs = 0, span = 0;  // span: the lag measured on, in samples
  double theirs_one = 0;                  // theirs measured on one period alone
};
Pitch compare_period(const float* a, const float* b, size_t size) {
  auto da = nsdf(a, size), db = nsdf(b, size);
  // Our voice is meant to sound here. Silent where theirs repeats steadily: as far off as can be.
  if (std::all_of(a, a + size, [](float v) { return v == 0; })) {
    double top = 0;
    for (size_t i = kMinSpan; i < db.size(); ++i) top = std::max(top, db[i]);
    return top >= 0.9 ? Pitch{-1, 1, kMinSpan} : Pitch{};
  }
  // The first lag where our signal is nearly back to itself: the fundamental's period.
  double top = 0;
  for (size_t i = 1; i < da.size(); ++i) top = std::max(top, da[i]);
  size_t first = 0;
  for (size_t i = 1; i + 1 < da.size() && first == 0; ++i)
    if (da[i] >= 0.9 * top && da[i] >= da[i - 1] && da[i] >= da[i + 1]) first = i;
  if (first < 4) return {};  // silent, or above 11 kHz: not a pitch to place within cents
  double h = 0;
  double lag = peak_in(da, first - 2, first + 2, &h), period = lag;
  if (h < 0.9) return {};
  size_t k = 1;
  for (size_t m = 2; (double(m) + 0.25) * period + 2 < double(da.size()); ++m) {
    double hm = 0;
    double l =
        peak_in(da, size_t((double(m) - 0.25) * period), size_t((double(m) + 0.25) * period), &hm);
    if (hm < 0.9) break;
    lag = l, k = m, period = l / double(m);
  }
  // A shorter lag cannot place the pitch within a few cents (see Stretch).
  if (lag < kMinSpan) return {};
  double hb = 0;
  double theirs = peak_in(db, size_t(lag - period / 4), size_t(lag + period / 4), &hb) / double(k);
  // On one period too: two periods that differ can still share a multiple (8 x 74.5 = 7 x 85).
  double h1 = 0;
  double one = peak_in(db, size_t(period * 3 / 4), size_t(period * 5 / 4), &h1);
  return {period, hb < 0.5 ? -1.0 : theirs, lag, h1 < 0.5 ? -1.0 : one};
}

// One measured stretch: ours against theirs in cents (1200 when theirs does not repeat there, or
// ours is silent where theirs sounds),
// and what its length can resolve: nearest-sample playback makes each repeat of a waveform up
// to a sample longer or shorter, so a period measured over a lag of n samples is good to 1/n.
struct Stretch {
  int ch, tick;
  double cents, resolution;
  bool off() const { return std::fabs(cents) > kMaxCents + resolution; }
};

// Each channel alone, on every stretch of ticks within one pass of a row where our player holds
// the voice steady (same sample and step, never silent) on the channel's own period. Rows that
// slide or vibrate (commands 1 to 6) are left out, and so are arpeggio's other notes and the
// rows after a vibrato or an arpeggio, where this player keeps the last period they sent until
// a note or a pitch command comes (ProTracker returns to the note's period).
std::vector<Stretch> compare_pitch(const std::vector<uint8_t>& bytes) {
  std::vector<Stretch> out;
  for (int ch = 0; ch < 4; ++ch) {
    std::vector<std::vector<VoiceTick>> ticks;
    std::vector<size_t> starts;
    auto a = render_ours(bytes, ch, &ticks, &starts);
    auto b = render_theirs(bytes, ch);
    const auto& vt = ticks[size_t(ch)];
    starts.push_back(kSignalSamples);
    for (size_t t0 = 0; t0 < vt.size();) {
      size_t t1 = t0 + 1;
      bool audible = vt[t0].volume != 0;
      while (t1 < vt.size() && vt[t1].row == vt[t0].row && vt[t1].tick != 0 &&
             vt[t1].step == vt[t0].step && vt[t1].sample == vt[t0].sample)
        audible &= vt[t1++].volume != 0;
      if (vt[t0].step != 0 && audible && !vt[t0].glides && vt[t0].own) {
        const size_t from = starts[t0], size = std::min(starts[t1], kSignalSamples) - from;
        Pitch p = compare_period(a.data() + from, b.data() + from, size);
        if (p.ours != 0) {
          auto cents = [&](double theirs) {
            return theirs > 0 && p.ours > 0 ? 1200 * std::log2(theirs / p.ours) : 1200.0;
          };
          Stretch fine{ch, int(t0), cents(p.theirs), 1200 * std::log2(1 + 1 / p.span)};
          Stretch coarse{ch, int(t0), cents(p.theirs_one),
                         1200 * std::log2(1 + 1 / std::fabs(p.ours))};
          out.push_back(coarse.off() ? coarse : fine);
        }
      }
      t0 = t1;
    }
  }
  return out;
}

// Tempo commands (F20 and above): under the show's rules our tick rate is fixed by design,
// libopenmpt follows them.
bool has_tempo_command(std::vector<uint8_t> bytes) {
  offline_driver();
  if (music_load(bytes.data(), bytes.size()) != 1) return false;
  const Song& s = pt_song();
  for (int o = 0; o < s.song_length; ++o)
    for (int i = 0; i < s.channels * kPtRows; ++i) {
      const Cell& c = s.patterns[s.orders[o]][i];
      if (c.command == 15 && c.param >= 0x20) return true;
    }
  return false;
}

// Modules that sound different because of this player's own rules, over the ticks where that
// rule shows: both checks (or the envelope alone) hold outside them, and the module must still
// differ inside them, so that the list stays true.
struct Excused {
  std::vector<std::pair<int, int>> ticks;  // [from, to) ranges
  bool pitch;                              // false: the envelope alone
  const char* why;
  const PtRules* only = nullptr;  // under these rules alone; null: under both
  bool length = false;            // the song's length differs too
};
const std::multimap<std::string, Excused> kExcused = {
    // A sample number without a note switches the voice to the new sample at once, at its current
    // position; ProTracker (and libopenmpt after it) keeps playing the old sample to the end of
    // its loop, and a one-shot sample swapped in plays only its silent first word.
    {"InstrDelay.mod",
     {{{12, kSignalTicks}},
      true,
      "a sample number beside a note delay switches the sample at once"}},
    {"InstrSwapRetrigger.mod",
     {{{135, kSignalTicks}}, true, "a sample number without a note switches at once"}},
    {"PTInstrSwap.mod",
     {{{36, kSignalTicks}}, true, "a sample number without a note switches at once"}},
    {"PTStoppedSwap.mod",
     {{{6, kSignalTicks}}, true, "a sample number without a note switches at once"}},
    {"PTSwapEmpty.mod",
     {{{6, kSignalTicks}}, true, "a sample number without a note switches at once"}},
    {"PTSwapNoLoop.mod",
     {{{6, kSignalTicks}}, true, "a sample number beside a portamento switches at once"}},
    // Rows 4 to 31 of its one pattern, on every pass of the song.
    {"PortaSwapPT.mod",
     {{{24, 192}, {408, 576}, {792, 960}},
      true,
      "a sample number without a note switches at once"}},
    // Arpeggio reads our period table's own upper octaves; ProTracker runs off the end of its
    // three octaves and wraps round to period 0 and the lowest notes.
    {"ArpWraparound.mod",
     {{{1, kSignalTicks}}, true, "arpeggio past the third octave plays our table's higher notes"}},
    // E5x sets the finetune of the notes that follow; ProTracker also retunes the note beside it.
    {"finetune.mod",
     {{{10, kSignalTicks}}, true, "E5x beside a note tunes the notes after it, not that one"}},
    // ProTracker adds a 9xx offset again to the channel's next notes; here it moves its own note.
    {"ptoffset.mod", {{{12, kSignalTicks}}, true, "a sample offset applies to its own note only"}},
    // E9x retriggers only a note in its own cell. Before that, from row 2, two channels play drums
    // together: each alone matches libopenmpt, but their mono sum hangs on each player's
    // sub-sample phase.
    {"PTRetrigger.mod",
     {{{48, kSignalTicks}}, true, "E9x without a note in its cell retriggers nothing"}},
    // A loop plays bytes loop start + 1 to loop end, one byte on from ProTracker's loop start to
    // loop end - 1: the same length and pitch, but sample 7's 28-byte loop is another waveform,
    // at another level, under the arpeggios of channels 1 and 2.
    {"ponylips.mod",
     {{{0, kSignalTicks}},
      false,
      "a loop's bytes run one byte on: short loops sound another level"}},
    // Row delays and jumps, as the timeline test above has them.
    {"PatternDelaysRetrig.mod",
     {{{6, kSignalTicks}}, true, "a row delay holds the row without playing it again"}},
    {"PatternJump.mod",
     {{{6, kSignalTicks}}, true, "a jump keeps the break row of an earlier channel"}},
    // libopenmpt tunes finetuned notes by formula (sample 1's C-3 at finetune +4: 3.7 cents
    // from ProTracker's table, which is ours) and holds notes above B-3 at B-3's period.
    {"AmigaLimitsFinetune.mod",
     {{{0, kSignalTicks}}, true, "finetuned notes from the table, not by formula"}},
    // Its samples are stored 4-bit compressed, marked "ADPCM", an extension of a later tracker;
    // we play the bytes as they stand.
    {"fairli.mod", {{{0, kSignalTicks}}, true, "compressed samples, played as raw bytes"}},
    // Under ProTracker's rules only: the modules with tempo commands.
    // Channel 0 retriggers with E91 from row 0, and row 1 holds the row with EE2 while channel 0
    // has E91 without a note: ProTracker plays the held row again, retriggering; here a held row
    // is not played again and E9x needs a note.
    {"DelayBreak.mod",
     {{{0, kSignalTicks}},
      true,
      "a held row is not played again, and E9x without a note retriggers nothing",
      &pt_rules_protracker}},
    // EDx past the row's ticks (ED3 at speed 2, then EDF) on channel 0, against channel 1's
    // recording of how it should sound: channel 0 alone follows libopenmpt's waveform sample for
    // sample up to row 33 (one of its stretches still reads 22 cents off, its sample repeating at
    // more than one lag), but the mix of two voices of one pitch beats at each player's phase,
    // and from row 34, where 2xx slides follow the delayed notes, the two part.
    {"NoteDelay-NextRow.mod",
     {{{0, kSignalTicks}},
      true,
      "a voice against its recording; slides after notes delayed past their row",
      &pt_rules_protracker}},
    // Channel 0's vibrato and tremolo play against channel 1's recording of how they should
    // sound, and the envelope of their mono sum is their beating, which hangs on each player's
    // sub-sample phase. The pitch is compared as everywhere.
    {"VibratoReset.mod",
     {{{0, kSignalTicks}},
      false,
      "two voices of one pitch beat at each player's phase",
      &pt_rules_protracker}},
    {"crystals.mod",
     {{{0, kSignalTicks}},
      true,
      "an 8-channel file under a 4-channel tag; we follow the tag, as ProTracker does",
      &pt_rules_protracker,
      true}},
};

const Excused* excuse_for(const std::string& name, const PtRules& rules) {
  auto [from, to] = kExcused.equal_range(name);
  for (auto it = from; it != to; ++it)
    if (it->second.only == nullptr || it->second.only == &rules) return &it->second;
  return nullptr;
}

}  // namespace heard

void PrintTo(const PtRules* r, std::ostream* os) { *os << r->name; }

namespace heard {

// The rule set in force for one run of the signal test; the show's again after it.
class Rules : public testing::TestWithParam<const PtRules*> {
 protected:
  void SetUp() override { pt_set_rules(*GetParam()); }
  void TearDown() override { pt_set_rules(pt_rules_show); }
};

}  // namespace heard

using heard::Rules;

TEST_P(Rules, EnvelopeAndPitchMatchLibopenmpt) {
  using namespace heard;
  auto files = four_channel_modules();
  if (files.empty()) GTEST_SKIP() << "test data absent";
  const PtRules& rules = *GetParam();
  const bool tempo = rules.tempo;
  std::printf("%s rules\n%-26s %11s %9s %8s %s\n", rules.name, "module", "envelope r", "stretches",
              "largest", "nearest its tolerance");
  int compared = 0;
  for (const auto& path : files) {
    std::string name = path.filename().string();
    if (name.rfind("bad-", 0) == 0) continue;
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(f), {}};
    const bool tempo_commands = has_tempo_command(bytes);
    if (tempo_commands && !tempo) {
      std::printf("%-26s skipped: tempo commands\n", name.c_str());
      continue;
    }
    const Excused* ex = excuse_for(name, rules);
    const Excused none{{}, true, ""};
    const Excused& e = ex ? *ex : none;
    auto inside = [&](int tick) {
      for (auto [from, to] : e.ticks)
        if (tick >= from && tick < to) return true;
      return false;
    };
    auto excused = [&](int tick) { return e.pitch && inside(tick); };
    std::vector<size_t> starts;
    const auto mine = render_ours(bytes, -1, nullptr, &starts), theirs = render_theirs(bytes, -1);
    auto inside_at = [&](size_t sample) {
      return inside(int(std::upper_bound(starts.begin(), starts.end(), sample) - starts.begin()) -
                    1);
    };
    const double r =
        envelope_correlation(mine, theirs, [&](size_t sample) { return !inside_at(sample); });
    const auto stretches = compare_pitch(bytes);
    // The stretch checked is the one nearest its tolerance (or furthest past it).
    Stretch worst{0, 0, 0, 1e9};
    double largest = 0;
    int measured = 0, first_off = kSignalTicks;
    auto excess = [](const Stretch& st) { return std::fabs(st.cents) - st.resolution; };
    for (const Stretch& st : stretches) {
      if (excused(st.tick)) {
        if (st.off()) first_off = std::min(first_off, st.tick);
        continue;
      }
      ++measured;
      largest = std::max(largest, std::fabs(st.cents));
      if (excess(st) > excess(worst)) worst = st;
    }
    ++compared;
    std::printf("%-26s %11.4f %9d %8.2f", name.c_str(), r, measured, largest);
    if (measured > 0)
      std::printf("  %+.2f of +-%.2f cents (channel %d, tick %d)", worst.cents,
                  kMaxCents + worst.resolution, worst.ch, worst.tick);
    std::printf("\n");
    if (tempo_commands) {
      // The song's length, where the tempo commands change it.
      std::ostringstream quiet;
      const double theirs_s =
          openmpt::module(bytes.data(), bytes.size(), quiet).get_duration_seconds();
      const double ours_s = double(music_song_samples(bytes.data(), bytes.size(), 50)) / kRate;
      std::printf("%-26s length %.2f s, libopenmpt's %.2f s\n", "", ours_s, theirs_s);
      if (!e.length) {
        EXPECT_NEAR(ours_s, theirs_s, kMaxLengthError) << name;
      }
    }
    EXPECT_GE(r, kMinCorrelation) << name;
    EXPECT_FALSE(worst.off()) << name << " channel " << worst.ch << " tick " << worst.tick;
    if (ex) {
      // Inside the excused ticks: the envelope of those windows alone, and the pitch.
      const double there = envelope_correlation(mine, theirs, inside_at);
      std::printf("%-26s from tick %d%s: %s (there: envelope r %.4f, first pitch off at tick %d)\n",
                  "", e.ticks[0].first, e.pitch ? "" : " (envelope)", e.why, there, first_off);
      EXPECT_TRUE(there < kMinCorrelation || first_off < kSignalTicks)
          << name << " now matches: drop its excuse";
    }
  }
  std::printf("%d modules compared with libopenmpt\n", compared);
  EXPECT_GT(compared, 0) << "no module was compared";
}

INSTANTIATE_TEST_SUITE_P(Conformance, Rules, testing::Values(&pt_rules_show, &pt_rules_protracker),
                         [](const testing::TestParamInfo<const PtRules*>& p) {
                           return std::string(p.param->name);
                         });
