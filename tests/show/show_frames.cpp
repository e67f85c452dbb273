// show_frames [--gentle] LIST.txt [SOUNDTRACK.wav]: runs the whole show through the offline host
// and writes one line per presented frame ("index time_us position scene hash"), and the
// soundtrack as the device consumed it. Two builds of the show (x86-64 and 32-bit x86, say)
// compute the same numbers when these files are equal byte for byte; it needs nothing but the
// core (no libpng, FFmpeg or SDL2).
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/show.h"
#include "driver/show_run.h"
#include "platform/wav_writer.h"

int main(int argc, char** argv) {
  int arg = 1;
  if (arg < argc && std::strcmp(argv[arg], "--gentle") == 0) {
    show_set_gentle(true);
    ++arg;
  }
  if (argc - arg < 1 || argc - arg > 2 || argv[arg][0] == '-') {
    std::fprintf(stderr, "usage: show_frames [--gentle] LIST.txt [SOUNDTRACK.wav]\n");
    return 2;
  }
  std::FILE* list = std::fopen(argv[arg], "w");
  if (!list) {
    std::perror(argv[arg]);
    return 1;
  }
  WavFile wav;
  const bool with_sound = argc - arg == 2;
  if (with_sound && !wav_file_open(wav, argv[arg + 1], 44100)) {
    std::perror(argv[arg + 1]);
    return 1;
  }
  ShowRunOptions options;
  options.keep_records = false;
  options.on_frame = [&](const FrameRecord& f, const uint32_t*) {
    std::fprintf(list, "%" PRId64 " %" PRId64 " %d %d %016" PRIx64 "\n", f.index, f.time_us,
                 f.position, f.scene, f.hash);
    return true;
  };
  if (with_sound)
    options.on_audio = [&](const int16_t* samples, int count) {
      wav_file_write(wav, samples, static_cast<size_t>(count));
    };
  const ShowRunResult result = show_run_offline(options);
  const bool listed = std::fclose(list) == 0;
  const bool sounded = !with_sound || wav_file_close(wav);
  if (!listed || !sounded) {
    std::fprintf(stderr, "show_frames: a write failed\n");
    return 1;
  }
  return result.status;
}
