// driftlight-capture: the whole show through the offline host, written to a video file with its
// soundtrack, faster than real time. Prints a per-scene timing summary at the end.
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/framebuffer.h"
#include "driftlight_version.h"
#include "driver/show.h"
#include "driver/show_run.h"
#include "platform/png_writer.h"
#include "platform/wav_writer.h"
#include "tools/capture/encoder.h"
#include "tools/capture/flash_report.h"
#include "tools/cli/whole_number.h"

namespace {

constexpr int kSampleRate = 44100;
constexpr int kScenes = 11;
constexpr int32_t kEndPosition = 2000;  // the show stops when order 20 begins

// x264's speed presets, fastest first.
const char* const kPresets[] = {"ultrafast", "superfast", "veryfast", "faster",   "fast",
                                "medium",    "slow",      "slower",   "veryslow", "placebo"};

struct Options {
  std::string output = "show.mp4";
  // The scene clock counts 20 ms ticks: at 50 frames a second every frame is one tick later.
  int fps = 50;
  int32_t until = kEndPosition;
  std::string png_dir;
  std::vector<int64_t> frames;
  std::string wav;
  bool encode = true;
  int scale = 4;
  Chroma chroma = Chroma::k444;
  int crf = 16;
  std::string preset = "ultrafast";
  bool flash_report = false;
  bool gentle = false;
};

// A whole number from lo to hi, or a message naming the option.
bool number(const char* name, const char* text, long lo, long hi, long* out) {
  if (cli_whole_number(text, lo, hi, out)) return true;
  std::fprintf(stderr, "driftlight-capture: %s wants a whole number from %ld to %ld, not '%s'\n",
               name, lo, hi, text);
  return false;
}

// One row per option: its name, the value it takes (nullptr for a switch), its help and what it
// does. The usage text is made from this table, so a new option is one new row.
struct OptionSpec {
  const char* name;
  const char* value;
  const char* help;
  bool (*apply)(const char* value, Options* opt);
};

const OptionSpec kOptions[] = {
    {"-o", "FILE",
     "the video file (default show.mp4); written as FILE.part\nand renamed when complete",
     [](const char* v, Options* o) {
       if (std::strcmp(v, "-") == 0) {
         std::fputs(
             "driftlight-capture: -o - : an MP4 cannot go to standard output (its index is "
             "written at the end and moved to the front); give a file name\n",
             stderr);
         return false;
       }
       o->output = v;
       return true;
     }},
    {"--scale", "N",
     "every show pixel an N x N block, its lower half the\n"
     "scanline (default 4: 1280 x 960; 2 is the window's 640 x 480)",
     [](const char* v, Options* o) {
       long n;
       if (!number("--scale", v, 1, 12, &n)) return false;
       o->scale = static_cast<int>(n);
       return true;
     }},
    {"--chroma", "444|420",
     "colour samples: 444 one per pixel (the default; desktop\n"
     "players such as mpv and VLC), 420 one per 2 x 2 pixels\n"
     "(browsers, phones, hardware decoders)",
     [](const char* v, Options* o) {
       if (std::strcmp(v, "444") == 0)
         o->chroma = Chroma::k444;
       else if (std::strcmp(v, "420") == 0)
         o->chroma = Chroma::k420;
       else {
         std::fprintf(stderr, "driftlight-capture: --chroma takes 444 or 420, not '%s'\n", v);
         return false;
       }
       return true;
     }},
    {"--web", nullptr,
     "a file for browsers and video sites: --chroma 420 --scale 8\n"
     "(2560 x 1920: blocks that big keep the colours that 4:2:0\n"
     "would otherwise smear into the scanlines)",
     [](const char*, Options* o) {
       o->chroma = Chroma::k420;
       o->scale = 8;
       return true;
     }},
    {"--fps", "N",
     "frames per second of show time (default 50: the scenes\n"
     "move in 20 ms ticks, so at 50 every frame is one tick on;\n"
     "at 60 one frame in six repeats the one before, a judder)",
     [](const char* v, Options* o) {
       long n;
       if (!number("--fps", v, 1, 1000, &n)) return false;
       o->fps = static_cast<int>(n);
       return true;
     }},
    {"--until", "POS",
     "stop before the first frame whose music position is POS or more\n"
     "(order x 100 + row, 1 to 2000; the show itself ends at 2000)",
     [](const char* v, Options* o) {
       long n;
       if (std::strcmp(v, "0") == 0) {
         std::fputs(
             "driftlight-capture: --until 0 gives no frame: the show's first frame is at "
             "position 0 (give 1 to 2000)\n",
             stderr);
         return false;
       }
       if (!number("--until", v, 1, kEndPosition, &n)) return false;
       o->until = static_cast<int32_t>(n);
       return true;
     }},
    {"--png-dir", "DIR", "write the frames named by --frames as 320 x 240 PNGs into DIR",
     [](const char* v, Options* o) {
       o->png_dir = v;
       return true;
     }},
    {"--frames", "LIST", "frame numbers, e.g. 0,600-605,4000",
     [](const char* v, Options* o) {
       if (parse_frame_list(v, &o->frames)) return true;
       std::fprintf(stderr, "driftlight-capture: bad frame list '%s'\n", v);
       return false;
     }},
    {"--wav", "FILE", "also write the soundtrack as 16-bit mono WAV",
     [](const char* v, Options* o) {
       if (std::strcmp(v, "-") == 0) {
         std::fputs(
             "driftlight-capture: --wav - : the WAV is written under a name of its own and "
             "renamed when complete; give a file name\n",
             stderr);
         return false;
       }
       o->wav = v;
       return true;
     }},
    {"--crf", "N", "x264 constant quality, 0 to 51 (default 16; lower is\nbetter and bigger)",
     [](const char* v, Options* o) {
       long n;
       if (!number("--crf", v, 0, 51, &n)) return false;
       o->crf = static_cast<int>(n);
       return true;
     }},
    {"--preset", "NAME",
     "x264 speed preset: ultrafast (the default), superfast,\n"
     "veryfast, faster, fast, medium, slow, slower, veryslow or\n"
     "placebo; slower ones give smaller files at the same quality",
     [](const char* v, Options* o) {
       for (const char* p : kPresets) {
         if (std::strcmp(v, p) == 0) {
           o->preset = v;
           return true;
         }
       }
       std::string all;
       for (const char* p : kPresets) all += std::string(all.empty() ? "" : " ") + p;
       std::fprintf(stderr, "driftlight-capture: unknown x264 preset '%s' (one of %s)\n", v,
                    all.c_str());
       return false;
     }},
    {"--no-encode", nullptr, "write no video (timing only)",
     [](const char*, Options* o) {
       o->encode = false;
       return true;
     }},
    {"--flash-report", nullptr,
     "list every second with more than 3 general or red flashes,\n"
     "with its scene and music position, and a verdict. Measured\n"
     "on the picture as the window shows it (half its rows black\n"
     "scanlines), in each quarter of it: a general flash is a pair\n"
     "of opposing changes of the quarter's mean relative luminance\n"
     "of at least 0.10, the darker state below 0.80; a red flash a\n"
     "pair of opposing changes of at least 20 in the quarter's mean\n"
     "of (R - G - B) x 320 (linear light, negative values 0), where\n"
     "in one of the two states saturated red pixels\n"
     "(R / (R + G + B) >= 0.8) alone make up at least 20 of it.\n"
     "Every one-second window counts",
     [](const char*, Options* o) {
       o->flash_report = true;
       return true;
     }},
    {"--gentle", nullptr,
     "the gentle show: every flash and flicker kept under the\n"
     "flash report's thresholds (scene 8 cross-fades in, a beat\n"
     "that would restart a running flash is held)",
     [](const char*, Options* o) {
       o->gentle = true;
       return true;
     }},
};

void usage(FILE* out) {
  std::fputs(
      "Usage: driftlight-capture [OPTION]...\n"
      "\n"
      "Runs the show through the offline host and writes what the window shows (every show\n"
      "pixel a block with its dark scanline) as H.264 with the soundtrack as AAC. The same\n"
      "file on every run.\n"
      "\n"
      "Which file for what:\n"
      "  (defaults)   1280 x 960, 4:4:4: every colour as the show drew it; plays in mpv, VLC\n"
      "               and other players built on FFmpeg\n"
      "  --web        2560 x 1920, 4:2:0: plays in browsers and on phones, and is what to\n"
      "               upload to a video site (which re-encodes whatever it gets)\n"
      "\n",
      out);
  for (const OptionSpec& o : kOptions) {
    std::string head = std::string("  ") + o.name + (o.value ? std::string(" ") + o.value : "");
    std::fprintf(out, "%-20s", head.c_str());
    if (head.size() >= 20) std::fprintf(out, "\n%-20s", "");
    for (const char* h = o.help; *h; ++h) {
      std::fputc(*h, out);
      if (*h == '\n') std::fprintf(out, "%-20s", "");
    }
    std::fputc('\n', out);
  }
  std::fprintf(out, "%-20s%s\n", "  --help", "this text");
  std::fprintf(out, "%-20s%s\n", "  --version", "the program's version");
}

int64_t cpu_ns(clockid_t clock) {
  timespec ts;
  clock_gettime(clock, &ts);
  return ts.tv_sec * int64_t{1000000000} + ts.tv_nsec;
}
// The show and the tool's own work run on this thread; the encoder has threads of its own,
// which the process clock counts too.
int64_t cpu_ns() { return cpu_ns(CLOCK_THREAD_CPUTIME_ID); }

// Set by SIGINT or SIGTERM: the show stops at the next frame and the partial file is removed.
volatile std::sig_atomic_t interrupted = 0;
void on_signal(int) { interrupted = 1; }

// Everything the frame and audio callbacks share.
struct Capture {
  Options opt;
  bool failed = false;
  std::string error;
  // Audio waits here until the video has reached it, so both streams end together.
  std::vector<int16_t> audio;
  WavFile wav;
  int64_t audio_written = 0;
  int64_t frames_written = 0;
  size_t next_png = 0;
  // Timing: CPU time of the show itself, with the tool's own work taken out.
  int64_t mark_ns = 0;    // when the show last got the processor back from us
  int64_t tool_ns = 0;    // tool work (encoding, files) since mark_ns
  int64_t render_ns = 0;  // all show work
  std::vector<int64_t> frame_ns[kScenes + 1];
  int64_t setup_ns[kScenes + 1] = {};
  int last_scene = -1;
  bool tty = false;
  std::chrono::steady_clock::time_point wall_start;
  FlashReport flashes;
};

Capture cap;

void flush_audio() {
  int64_t due = cap.frames_written * kSampleRate / cap.opt.fps;
  int64_t have = cap.audio_written + static_cast<int64_t>(cap.audio.size());
  int n = static_cast<int>(std::min(due, have) - cap.audio_written);
  if (n <= 0) return;
  if (cap.opt.encode && !encoder_audio(cap.audio.data(), n)) cap.failed = true;
  if (!cap.opt.wav.empty() && !wav_file_write(cap.wav, cap.audio.data(), size_t(n)))
    cap.failed = true;
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
  // Rows pass at an even pace, so the share of positions done is the share of time done.
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - cap.wall_start).count();
  const double share = static_cast<double>(pos) / std::max(1, cap.opt.until);
  char left[16] = "--:--";  // until a first share is done
  if (done || share > 0) {
    const int s = done ? 0 : static_cast<int>(elapsed * (1 - share) / share + 0.5);
    std::snprintf(left, sizeof left, "%d:%02d", s / 60, s % 60);
  }
  const int shown = static_cast<int>(r.time_us / 1000000);
  std::fprintf(stderr, "\r[%s] %3d%%  position %4d  scene %2d  show %d:%02d  left %s ", bar,
               fill * 100 / kBar, r.position, r.scene, shown / 60, shown % 60, left);
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

  bool go_on = r.position < cap.opt.until && !interrupted;
  if (go_on) {
    if (cap.opt.encode && !encoder_video(pixels)) cap.failed = true;
    ++cap.frames_written;
    while (cap.next_png < cap.opt.frames.size() && cap.opt.frames[cap.next_png] < r.index)
      ++cap.next_png;
    if (cap.next_png < cap.opt.frames.size() && cap.opt.frames[cap.next_png] == r.index) {
      char name[32];
      std::snprintf(name, sizeof name, "/frame_%06lld.png", static_cast<long long>(r.index));
      if (!png_write_frame(cap.opt.png_dir + name, pixels, kFbWidth, kFbHeight,
                           PngScale::Logical)) {
        cap.failed = true;
        cap.error = "cannot write " + cap.opt.png_dir + name;
      }
    }
    if (cap.opt.flash_report)
      flash_report_frame(&cap.flashes, pixels, kFbWidth, kFbHeight, r.scene, r.position);
    flush_audio();
    progress(r, false);
  }
  int64_t after = cpu_ns();
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
}

// False on a bad command line (after saying why); *help when --help was asked for.
bool parse(int argc, char** argv, Options* opt, bool* help) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      *help = true;
      return true;
    }
    if (a == "--version") {
      std::printf("driftlight-capture %s\n", DRIFTLIGHT_VERSION);
      std::exit(0);
    }
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& o : kOptions)
      if (a == o.name) spec = &o;
    if (!spec) {
      std::fprintf(stderr, "driftlight-capture: unknown argument '%s' (see --help)\n", a.c_str());
      return false;
    }
    const char* value = nullptr;
    if (spec->value) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "driftlight-capture: %s needs a value (%s)\n", a.c_str(), spec->value);
        return false;
      }
      value = argv[++i];
    }
    if (!spec->apply(value, opt)) return false;
  }
  if (opt->frames.empty() != opt->png_dir.empty()) {
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
  double cpu_s = cpu_ns(CLOCK_PROCESS_CPUTIME_ID) / 1e9;
  std::printf("\nworst scene median: %.3f ms a frame (scene %d)\n", worst_median, worst_scene);
  std::printf("show: %lld frames, %.2f s of show\n", static_cast<long long>(frames), shown_s);
  std::printf("render only:        %7.2f s CPU  = %6.2f x real time\n", render_s,
              render_s > 0 ? shown_s / render_s : 0.0);
  // The encoder works on threads beside the show, so the wall clock says how fast it went.
  if (cap.opt.encode || !cap.opt.wav.empty() || !cap.opt.png_dir.empty())
    std::printf("render + encoding:  %7.2f s wall = %6.2f x real time  (%.2f s CPU, all threads)\n",
                wall_s, wall_s > 0 ? shown_s / wall_s : 0.0, cpu_s);
}

}  // namespace

int main(int argc, char** argv) {
  bool help = false;
  if (!parse(argc, argv, &cap.opt, &help)) return 2;
  if (help) {
    usage(stdout);
    return 0;
  }
  cap.tty = isatty(2);
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  std::string error;
  if (cap.opt.encode) {
    EncoderSettings settings;
    settings.path = cap.opt.output;
    settings.fps = cap.opt.fps;
    settings.sample_rate = kSampleRate;
    settings.scale = cap.opt.scale;
    settings.chroma = cap.opt.chroma;
    settings.crf = cap.opt.crf;
    settings.preset = cap.opt.preset.c_str();
    if (!encoder_open(settings, &error)) {
      std::fprintf(stderr, "driftlight-capture: %s\n", error.c_str());
      return 1;
    }
  }
  // Like the video, the WAV grows under a name of its own and takes the asked name when complete.
  const std::string wav_part = cap.opt.wav + ".part";
  if (!cap.opt.wav.empty() && !wav_file_open(cap.wav, wav_part, kSampleRate)) {
    std::fprintf(stderr, "driftlight-capture: cannot write %s: %s\n", cap.opt.wav.c_str(),
                 std::strerror(errno));
    encoder_abort();
    return 1;
  }
  if (!cap.opt.png_dir.empty()) mkdir(cap.opt.png_dir.c_str(), 0777);
  flash_report_begin(&cap.flashes, cap.opt.fps);
  show_set_gentle(cap.opt.gentle);

  ShowRunOptions run;
  run.fps = cap.opt.fps;
  run.keep_records = false;
  run.hash_frames = false;
  run.on_audio = on_audio;
  cap.wall_start = std::chrono::steady_clock::now();
  cap.mark_ns = cpu_ns();
  FrameRecord last{};
  run.on_frame = [&last](const FrameRecord& r, const uint32_t* p) {
    last = r;
    return on_frame(r, p);
  };
  ShowRunResult result = show_run_offline(run);
  flush_audio();
  if (!interrupted) progress(last, true);

  // A video without frames is no video: nothing is kept (the positions asked for came too soon).
  if (!cap.failed && !interrupted && cap.frames_written == 0) {
    cap.failed = true;
    cap.error =
        "no frame comes before position " + std::to_string(cap.opt.until) + "; nothing written";
  }
  bool ok = !cap.failed && !interrupted;
  if (cap.opt.encode) {
    if (ok)
      ok = encoder_close(&error);
    else
      encoder_abort();
  }
  if (!cap.opt.wav.empty()) {
    if (!wav_file_close(cap.wav)) ok = false;
    if (ok && std::rename(wav_part.c_str(), cap.opt.wav.c_str()) != 0) {
      cap.error = "cannot write " + cap.opt.wav + ": " + std::strerror(errno);
      ok = false;
    }
  }
  double wall_s =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - cap.wall_start).count();
  if (!ok) {
    // A WAV cut short is no use either.
    if (!cap.opt.wav.empty()) std::remove(wav_part.c_str());
    if (interrupted) {
      std::fputs("\ndriftlight-capture: interrupted; nothing written\n", stderr);
      return 130;
    }
    std::fprintf(stderr, "\ndriftlight-capture: %s\n",
                 !cap.error.empty() ? cap.error.c_str()
                 : error.empty()    ? "write failed"
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
