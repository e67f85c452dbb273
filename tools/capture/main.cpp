// driftlight-capture: the whole show through the offline host, written to a video file with its
// soundtrack, faster than real time. Prints a per-scene timing summary at the end.
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/show_state.h"
#include "platform/png_writer.h"
#include "tools/capture/encoder.h"
#include "tools/capture/flash_report.h"
#include "tools/capture/show_run.h"
#include "tools/capture/wav.h"

namespace {

constexpr int kSampleRate = 44100;
constexpr int kScenes = 11;
constexpr int32_t kEndPosition = 2000;  // the show stops when order 20 begins

const char* kUsage =
    "usage: driftlight-capture [-o show.mp4] [--fps 60] [--until POSITION]\n"
    "                          [--png-dir DIR --frames LIST] [--wav FILE] [--preset NAME]\n"
    "                          [--no-encode] [--flash-report] [--gentle]\n"
    "\n"
    "Runs the show through the offline host and writes what the window shows (640 x 480,\n"
    "doubled with its scanlines) as H.264 with the soundtrack as AAC. The same file every run.\n"
    "\n"
    "  -o FILE          the video file (default show.mp4)\n"
    "  --fps N          frames per second of simulated time (default 60)\n"
    "  --until POS      stop before the first frame whose music position is POS or more\n"
    "                   (order x 100 + row; the show itself ends at 2000)\n"
    "  --png-dir DIR    write the frames named by --frames as 320 x 240 PNGs into DIR\n"
    "  --frames LIST    frame numbers, e.g. 0,600-605,4000\n"
    "  --wav FILE       also write the soundtrack as 16-bit mono WAV\n"
    "  --preset NAME    x264 speed preset (default superfast; slower ones give smaller files)\n"
    "  --no-encode      write no video (timing only)\n"
    "  --flash-report   list every second that has more than 3 general or red flashes, with its\n"
    "                   scene and music position, and a verdict. Measured on the picture as the\n"
    "                   window shows it (half its rows black scanlines), in each quarter of it:\n"
    "                   a general flash is a pair of opposing changes of the quarter's mean\n"
    "                   relative luminance of at least 0.10 with the darker state below 0.80; a\n"
    "                   red flash a pair of opposing changes of at least 20 in the quarter's\n"
    "                   mean of (R - G - B) x 320 (linear light, negative values 0), where in\n"
    "                   one of the two states saturated red pixels (R / (R + G + B) >= 0.8)\n"
    "                   alone make up at least 20 of that mean. Any one-second window counts.\n"
    "  --gentle         the gentle show: every flash and flicker kept under those thresholds\n"
    "  --help           this text\n";

struct Options {
  std::string output = "show.mp4";
  int fps = 60;
  int32_t until = kEndPosition;
  std::string png_dir;
  std::vector<int64_t> frames;
  std::string wav;
  bool encode = true;
  std::string preset = "superfast";
  bool flash_report = false;
};

int64_t cpu_ns() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * int64_t{1000000000} + ts.tv_nsec;
}

// Everything the frame and audio callbacks share.
struct Capture {
  Options opt;
  bool failed = false;
  std::string error;
  // Audio waits here until the video has reached it, so both streams end together.
  std::vector<int16_t> audio;
  int64_t audio_written = 0;
  int64_t frames_written = 0;
  size_t next_png = 0;
  // Timing: CPU time of the show itself, with the tool's own work taken out.
  int64_t mark_ns = 0;       // when the show last got the processor back from us
  int64_t tool_ns = 0;       // tool work (encoding, files) since mark_ns
  int64_t encode_ns = 0;     // all tool work
  int64_t render_ns = 0;     // all show work
  std::vector<int64_t> frame_ns[kScenes + 1];
  int64_t setup_ns[kScenes + 1] = {};
  int last_scene = -1;
  bool tty = false;
  FlashReport flashes;
};

Capture cap;

void flush_audio() {
  int64_t due = cap.frames_written * kSampleRate / cap.opt.fps;
  int64_t have = cap.audio_written + static_cast<int64_t>(cap.audio.size());
  int n = static_cast<int>(std::min(due, have) - cap.audio_written);
  if (n <= 0) return;
  if (cap.opt.encode && !encoder_audio(cap.audio.data(), n)) cap.failed = true;
  if (!cap.opt.wav.empty() && !wav_write(cap.audio.data(), n)) cap.failed = true;
  cap.audio.erase(cap.audio.begin(), cap.audio.begin() + n);
  cap.audio_written += n;
}

void progress(const FrameRecord& r, bool done) {
  if (!cap.tty) return;
  if (!done && r.index % 10 != 0) return;
  constexpr int kBar = 40;
  int32_t pos = std::clamp<int32_t>(r.position, 0, cap.opt.until);
  int fill = done ? kBar : static_cast<int>(int64_t{pos} * kBar / std::max(1, cap.opt.until));
  char bar[kBar + 1];
  for (int i = 0; i < kBar; ++i) bar[i] = i < fill ? '#' : '.';
  bar[kBar] = 0;
  double secs = r.time_us / 1e6;
  std::fprintf(stderr, "\r[%s] %3d%%  position %4d  scene %2d  frame %6lld  %3d:%05.2f ", bar,
               fill * 100 / kBar, r.position, r.scene, static_cast<long long>(r.index),
               static_cast<int>(secs / 60), secs - 60 * static_cast<int>(secs / 60));
  if (done) std::fputc('\n', stderr);
  std::fflush(stderr);
}

bool on_frame(const FrameRecord& r, const uint32_t* pixels) {
  int64_t now = cpu_ns();
  int64_t cost = now - cap.mark_ns - cap.tool_ns;
  cap.render_ns += cost;
  int scene = std::clamp(r.scene, 0, kScenes);
  // The first frame of a scene also pays for the scene's set-up (and the first of the show
  // for the start-up): kept apart so the medians describe the steady frames.
  if (scene != cap.last_scene)
    cap.setup_ns[scene] = cost;
  else
    cap.frame_ns[scene].push_back(cost);
  cap.last_scene = scene;

  bool go_on = r.position < cap.opt.until;
  if (go_on) {
    if (cap.opt.encode && !encoder_video(pixels)) cap.failed = true;
    ++cap.frames_written;
    while (cap.next_png < cap.opt.frames.size() && cap.opt.frames[cap.next_png] < r.index)
      ++cap.next_png;
    if (cap.next_png < cap.opt.frames.size() && cap.opt.frames[cap.next_png] == r.index) {
      char name[32];
      std::snprintf(name, sizeof name, "/frame_%06lld.png", static_cast<long long>(r.index));
      if (!png_write_frame(cap.opt.png_dir + name, pixels, 320, 240, PngScale::Logical)) {
        cap.failed = true;
        cap.error = "cannot write " + cap.opt.png_dir + name;
      }
    }
    if (cap.opt.flash_report) flash_report_frame(&cap.flashes, pixels, 320, 240, r.scene, r.position);
    flush_audio();
    progress(r, false);
  }
  int64_t after = cpu_ns();
  cap.encode_ns += after - now;
  cap.mark_ns = after;
  cap.tool_ns = 0;
  return go_on && !cap.failed;
}

void on_audio(const int16_t* samples, int count) {
  int64_t start = cpu_ns();
  cap.audio.insert(cap.audio.end(), samples, samples + count);
  flush_audio();
  int64_t spent = cpu_ns() - start;
  cap.tool_ns += spent;
  cap.encode_ns += spent;
}

bool parse(int argc, char** argv, Options* opt) {
  bool frames_given = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char** out) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "driftlight-capture: %s needs a value\n", a.c_str());
        return false;
      }
      *out = argv[++i];
      return true;
    };
    auto integer = [&](long lo, long hi, long* out) {
      const char* v;
      if (!value(&v)) return false;
      char* end = nullptr;
      long n = std::strtol(v, &end, 10);
      if (!*v || *end || n < lo || n > hi) {
        std::fprintf(stderr, "driftlight-capture: %s wants a number from %ld to %ld\n", a.c_str(),
                     lo, hi);
        return false;
      }
      *out = n;
      return true;
    };
    const char* v = nullptr;
    long n = 0;
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (a == "-o") {
      if (!value(&v)) return false;
      opt->output = v;
    } else if (a == "--fps") {
      if (!integer(1, 1000, &n)) return false;
      opt->fps = static_cast<int>(n);
    } else if (a == "--until") {
      if (!integer(0, kEndPosition, &n)) return false;
      opt->until = static_cast<int32_t>(n);
    } else if (a == "--png-dir") {
      if (!value(&v)) return false;
      opt->png_dir = v;
    } else if (a == "--frames") {
      if (!value(&v)) return false;
      if (!parse_frame_list(v, &opt->frames)) {
        std::fprintf(stderr, "driftlight-capture: bad frame list '%s'\n", v);
        return false;
      }
      frames_given = true;
    } else if (a == "--wav") {
      if (!value(&v)) return false;
      opt->wav = v;
    } else if (a == "--preset") {
      if (!value(&v)) return false;
      opt->preset = v;
    } else if (a == "--no-encode") {
      opt->encode = false;
    } else if (a == "--flash-report") {
      opt->flash_report = true;
    } else if (a == "--gentle") {
      show_gentle = true;
    } else {
      std::fprintf(stderr, "driftlight-capture: unknown argument '%s'\n%s", a.c_str(), kUsage);
      return false;
    }
  }
  if (frames_given != !opt->png_dir.empty()) {
    std::fputs("driftlight-capture: --png-dir and --frames go together\n", stderr);
    return false;
  }
  return true;
}

int64_t median(std::vector<int64_t> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

void summary(int64_t frames, double wall_s) {
  std::printf("\nscene  frames  median ms  worst ms  first frame ms (set-up)\n");
  double worst_median = 0;
  int worst_scene = 0;
  for (int s = 1; s <= kScenes; ++s) {
    const auto& v = cap.frame_ns[s];
    if (v.empty() && cap.setup_ns[s] == 0) continue;
    double med = median(v) / 1e6;
    double worst = v.empty() ? 0 : *std::max_element(v.begin(), v.end()) / 1e6;
    if (med > worst_median) worst_median = med, worst_scene = s;
    std::printf("%5d  %6zu  %9.3f  %8.3f  %8.3f\n", s, v.size() + 1, med, worst,
                cap.setup_ns[s] / 1e6);
  }
  double shown_s = static_cast<double>(frames) / cap.opt.fps;
  double render_s = cap.render_ns / 1e9;
  double cpu_s = (cap.render_ns + cap.encode_ns) / 1e9;
  std::printf("\nworst scene median: %.3f ms a frame (scene %d)\n", worst_median, worst_scene);
  std::printf("show: %lld frames, %.2f s of show\n", static_cast<long long>(frames), shown_s);
  std::printf("render only:        %7.2f s CPU  = %6.1f x real time\n", render_s,
              render_s > 0 ? shown_s / render_s : 0.0);
  if (cap.opt.encode || !cap.opt.wav.empty() || !cap.opt.png_dir.empty())
    std::printf("render + encoding:  %7.2f s CPU  = %6.1f x real time  (%.2f s wall)\n", cpu_s,
                cpu_s > 0 ? shown_s / cpu_s : 0.0, wall_s);
}

}  // namespace

int main(int argc, char** argv) {
  if (!parse(argc, argv, &cap.opt)) return 2;
  cap.tty = isatty(2);
  std::string error;
  if (cap.opt.encode) {
    EncoderSettings settings;
    settings.path = cap.opt.output;
    settings.fps = cap.opt.fps;
    settings.sample_rate = kSampleRate;
    settings.preset = cap.opt.preset.c_str();
    if (!encoder_open(settings, &error)) {
      std::fprintf(stderr, "driftlight-capture: %s\n", error.c_str());
      return 1;
    }
  }
  if (!cap.opt.wav.empty() && !wav_open(cap.opt.wav, kSampleRate)) {
    std::fprintf(stderr, "driftlight-capture: cannot write %s\n", cap.opt.wav.c_str());
    return 1;
  }
  if (!cap.opt.png_dir.empty()) mkdir(cap.opt.png_dir.c_str(), 0777);
  flash_report_begin(&cap.flashes, cap.opt.fps);

  ShowRunOptions run;
  run.fps = cap.opt.fps;
  run.keep_records = false;
  run.hash_frames = false;
  run.on_audio = on_audio;
  auto wall_start = std::chrono::steady_clock::now();
  cap.mark_ns = cpu_ns();
  FrameRecord last{};
  run.on_frame = [&last](const FrameRecord& r, const uint32_t* p) {
    last = r;
    return on_frame(r, p);
  };
  ShowRunResult result = show_run_offline(run);
  flush_audio();
  last.index = cap.frames_written;
  progress(last, true);

  bool ok = !cap.failed;
  if (cap.opt.encode && !encoder_close(&error)) ok = false;
  if (!cap.opt.wav.empty() && !wav_close()) ok = false;
  double wall_s =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  if (!ok) {
    std::fprintf(stderr, "driftlight-capture: %s\n",
                 !cap.error.empty() ? cap.error.c_str() : error.empty() ? "write failed"
                                                                        : error.c_str());
    return 1;
  }
  if (result.status != 0) {
    std::fprintf(stderr, "driftlight-capture: the show ended with status %d\n", result.status);
    return result.status;
  }
  summary(cap.frames_written, wall_s);
  if (cap.opt.flash_report) {
    flash_report_end(&cap.flashes);
    flash_report_print(cap.flashes, stdout);
  }
  if (cap.opt.encode) std::printf("wrote %s\n", cap.opt.output.c_str());
  return 0;
}
