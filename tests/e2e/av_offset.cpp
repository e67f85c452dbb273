// av_offset < RECORDING.raw > COPY.raw: how far the show's window is from its sound, both taken on
// one clock (CLOCK_MONOTONIC). Standard input is the sound at the speaker as a recorder reads it
// (parec of a null sink's monitor: raw 16-bit mono at 44100 Hz), passed on unchanged to standard
// output and timed as it comes; meanwhile a band across the middle of the window titled
// "Driftlight by Osk" is read with XGetImage about every millisecond. At the end of the
// input the same show is run through the offline host, where frame and sound agree exactly,
// and the report goes to standard error: for every flash of the offline show, the window's onset
// nearest to it (a jump in the band's brightness that no rise led up to), the time it was shown
// minus the time the row that fired it began to be heard (picture minus sound, ms), with the
// median, p10 and p90. Each recorded sample is placed in the soundtrack by matching the samples
// around it, so that a break in the recording (pcm_match lists them) does not move the rest.
// Status: 0, or 1 when the median is beyond +-60 ms (a gross error, not a fine timing).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

#include "assets/assets.h"
#include "driver/show_run.h"
#include "music/music.h"
#include "music/offline_audio.h"
#include "music/pt.h"
#include "music/snd.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBandRow = 118;  // logical rows 118..121, window rows 236..243 at 640 x 480
constexpr int kBandRows = 4;
constexpr double kJump = 6.0;       // brightness (mean of R, G and B) a flash onset adds at least
constexpr double kMatchMs = 120.0;  // a live onset and the offline one are the same flash
constexpr double kGrossMs = 60.0;

double now_s() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

struct Chunk {
  double t;       // when the read returned
  int64_t total;  // samples read by then
};

std::atomic<bool> input_done{false};
std::vector<Chunk> chunks;
std::vector<int16_t> recording;

void read_input() {
  uint8_t buffer[4096];
  uint8_t odd = 0;
  bool has_odd = false;
  for (;;) {
    const ssize_t n = read(0, buffer, sizeof buffer);
    if (n <= 0) break;
    const double t = now_s();
    fwrite(buffer, 1, size_t(n), stdout);
    for (ssize_t i = 0; i < n; ++i) {
      if (has_odd) {
        recording.push_back(int16_t(odd | buffer[i] << 8));
        has_odd = false;
      } else {
        odd = buffer[i];
        has_odd = true;
      }
    }
    chunks.push_back({t, int64_t(recording.size())});
  }
  fflush(stdout);
  input_done = true;
}

// The show's window once it is on the screen.
Window find_window(Display* d, Window w) {
  char* name = nullptr;
  if (XFetchName(d, w, &name) && name) {
    const bool hit = std::strcmp(name, "Driftlight by Osk") == 0;
    XFree(name);
    XWindowAttributes a;
    if (hit && XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) return w;
  }
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &children, &n)) {
    for (unsigned i = 0; i < n && !found; ++i) found = find_window(d, children[i]);
    if (children) XFree(children);
  }
  return found;
}

struct Sample {
  double t;
  double value;
};

// Onsets in a series of distinct pictures: a rise of kJump or more after a step that did not rise
// by half as much.
std::vector<size_t> onsets(const std::vector<Sample>& s) {
  std::vector<size_t> out;
  for (size_t i = 2; i < s.size(); ++i)
    if (s[i].value - s[i - 1].value >= kJump && s[i - 1].value - s[i - 2].value < kJump / 2)
      out.push_back(i);
  return out;
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p / 100 * double(v.size())))];
}

int ignore_errors(Display*, XErrorEvent*) { return 0; }

}  // namespace

int main() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "av_offset: no display\n");
    return 2;
  }
  XSetErrorHandler(ignore_errors);  // the window goes away at the end
  std::thread reader(read_input);

  // The window's band, as the window shows it (each logical row twice across, a dark line under).
  std::vector<Sample> live;
  Window w = 0;
  int64_t last_sum = -1, grabs = 0, failed = 0;
  while (!input_done) {
    if (!w) {
      w = find_window(d, DefaultRootWindow(d));
      if (!w) usleep(20000);
      continue;
    }
    XImage* image = XGetImage(d, w, 0, 2 * kBandRow, 640, 2 * kBandRows, AllPlanes, ZPixmap);
    const double t = now_s();
    ++grabs;
    if (!image) {
      if (++failed % 64 == 0) w = 0;  // gone, or another window of that name: look again
      usleep(2000);
      continue;
    }
    int64_t sum = 0;
    for (int y = 0; y < 2 * kBandRows; y += 2)
      for (int x = 0; x < 640; x += 2) {
        const unsigned long p = XGetPixel(image, x, y);
        sum += (p >> 16 & 255) + (p >> 8 & 255) + (p & 255);
      }
    XDestroyImage(image);
    if (sum != last_sum) live.push_back({t, double(sum) / (3.0 * 320 * kBandRows)});
    last_sum = sum;
    usleep(1000);
  }
  reader.join();

  // The start of each position in the soundtrack, from the sequencer alone.
  std::vector<uint8_t> module(soundtrack_mod, soundtrack_mod + soundtrack_mod_size);
  music_offline_enable(nullptr, nullptr);
  music_init();
  std::map<int32_t, int64_t> starts;
  if (music_load(module.data(), module.size())) {
    snd_set_tick_rate(52);
    int64_t at = 0;
    for (int t = 0; t < 52 * 200 && !pt_ended(); ++t) {
      pt_tick();
      starts.emplace(pt_play_order() * 100 + pt_play_row(), at);
      at += snd_next_tick_samples();
    }
  }
  music_stop();

  // The offline show over as long as was recorded: each frame's band and position, and its sound.
  const double seconds = double(recording.size()) / kRate;
  std::vector<Sample> offline;
  std::vector<int32_t> offline_position;
  std::vector<size_t> offline_onsets;
  std::vector<int16_t> soundtrack;
  ShowRunOptions options;
  options.keep_records = false;
  options.hash_frames = false;
  options.frame_limit = int64_t((seconds + 1) * 60);
  options.on_frame = [&](const FrameRecord& r, const uint32_t* pixels) {
    int64_t sum = 0;
    for (int y = kBandRow; y < kBandRow + kBandRows; ++y)
      for (int x = 0; x < 320; ++x) {
        const uint32_t p = pixels[y * 320 + x];
        sum += (p >> 16 & 255) + (p >> 8 & 255) + (p & 255);
      }
    // A flash starts at 20 (of 120) on the frame whose row fired it. Scene 8's opening flickers
    // between two pictures at random, which the window's band cannot tell from flashes: left out.
    // A beat that restarts a running flash darkens the picture instead: only flashes from dark.
    static int32_t previous_amount = 0;
    if (r.probe.flash_amount == 20 && previous_amount == 0 && !(r.scene == 8 && r.position < 1200))
      offline_onsets.push_back(offline.size());
    previous_amount = r.probe.flash_amount;
    offline.push_back({double(r.time_us) * 1e-6, double(sum) / (3.0 * 320 * kBandRows)});
    offline_position.push_back(r.position);
    return true;
  };
  options.on_audio = [&](const int16_t* s, int n) {
    soundtrack.insert(soundtrack.end(), s, s + n);
  };
  show_run_offline(options);

  // Recorded sample j was read at the earliest at t0 + j / rate (a read may come late, never
  // early); it is soundtrack sample j - c0 + r0.
  size_t c0 = 0, r0 = 0;
  while (c0 < recording.size() && recording[c0] == 0) ++c0;
  while (r0 < soundtrack.size() && soundtrack[r0] == 0) ++r0;
  double t0 = 1e300;
  for (const Chunk& c : chunks) t0 = std::min(t0, c.t - double(c.total) / kRate);
  if (c0 == recording.size() || r0 == soundtrack.size() || live.size() < 3) {
    std::fprintf(stderr,
                 "av_offset: no sound or no picture recorded (%zu pictures, %lld reads of the "
                 "window, %lld failed; %zu samples)\n",
                 live.size(), static_cast<long long>(grabs), static_cast<long long>(failed),
                 recording.size());
    return 0;
  }
  // A break (the sound server ran dry, played silence and went on later) moves the soundtrack
  // against the recording: each time is placed by the recording's samples there, found again in
  // the soundtrack near the last place they matched (as pcm_match does).
  int64_t shift = int64_t(r0) - int64_t(c0);  // soundtrack index - recording index
  constexpr size_t kWindow = 1024;
  constexpr int64_t kSearch = 5 * kRate;
  auto soundtrack_time = [&](double t) {
    const int64_t j = std::llround((t - t0) * kRate);
    int64_t at = std::max<int64_t>(j, 0);
    while (at + int64_t(kWindow) < int64_t(recording.size()) && recording[size_t(at)] == 0) ++at;
    for (int64_t e = 0; e <= kSearch; ++e)
      for (int sign = 1; sign >= -1; sign -= 2) {
        const int64_t k = at + shift + sign * e;
        if (k < 0 || k + int64_t(kWindow) > int64_t(soundtrack.size()) ||
            at + int64_t(kWindow) > int64_t(recording.size()))
          continue;
        if (std::memcmp(&recording[size_t(at)], &soundtrack[size_t(k)], kWindow * 2) == 0) {
          shift = k - at;
          return double(j + shift) / kRate;
        }
      }
    return double(j + shift) / kRate;  // not found again: the last place it matched
  };

  // Each flash of the offline show against the window's onset nearest to it.
  const std::vector<size_t> live_onsets = onsets(live);
  std::vector<double> live_tau;  // in the soundtrack's time, placed in order
  for (size_t i : live_onsets) live_tau.push_back(soundtrack_time(live[i].t));
  std::vector<double> offsets;
  for (size_t k : offline_onsets) {
    double best = 1e300;
    for (const double tau : live_tau) {
      if (std::fabs(tau - offline[k].t) < std::fabs(best - offline[k].t)) best = tau;
    }
    if (std::fabs(best - offline[k].t) * 1000 > kMatchMs) continue;
    const auto s = starts.find(offline_position[k]);
    if (s == starts.end()) continue;
    const double offset = (best - double(s->second) / kRate) * 1000;
    offsets.push_back(offset);
    std::fprintf(stderr, "  flash at %.3f s (position %d): %+.1f ms\n", best, offline_position[k],
                 offset);
  }
  std::fprintf(stderr,
               "%zu pictures in %.1f s (%lld reads of the window, %lld failed), %zu flash onsets "
               "in the window, %zu in the offline show\n",
               live.size(), seconds, static_cast<long long>(grabs), static_cast<long long>(failed),
               live_onsets.size(), offline_onsets.size());
  if (offsets.empty()) {
    std::fprintf(stderr, "desktop: no flash onset matched, no offset measured\n");
    return 0;
  }
  const double median = percentile(offsets, 50);
  std::fprintf(stderr,
               "desktop: %zu flash onsets, picture minus sound: median %.1f ms, p10 %.1f ms, "
               "p90 %.1f ms\n",
               offsets.size(), median, percentile(offsets, 10), percentile(offsets, 90));
  if (std::fabs(median) > kGrossMs) {
    std::fprintf(stderr, "FAIL: the median offset is beyond +-%.0f ms\n", kGrossMs);
    return 1;
  }
  return 0;
}
