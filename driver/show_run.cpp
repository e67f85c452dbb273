#include "driver/show_run.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "assets/assets.h"
#include "driver/show.h"
#include "driver/show_observe.h"
#include "music/music.h"
#include "music/offline_audio.h"
#include "platform/offline.h"

namespace {

const ShowRunOptions* current = nullptr;
ShowRunResult* result = nullptr;
std::vector<uint8_t> pristine_module;

void on_frame(const OfflineFrame& frame, void*) {
  const size_t pixels = static_cast<size_t>(frame.width) * frame.height;
  FrameRecord record{frame.index,
                     frame.time_us,
                     music_position(),
                     show_current_scene(),
                     current->hash_frames ? frame_hash(frame.pixels, pixels) : 0,
                     scene_probe};
  if (current->keep_records) result->frames.push_back(record);
  if (current->on_frame && !current->on_frame(record, frame.pixels)) show_request_quit();
}

void on_time(int64_t time_us, void*) { music_offline_advance(time_us); }

void on_buffer(const int16_t* samples, int count, void*) {
  result->audio_samples += count;
  if (current->on_audio) current->on_audio(samples, count);
}

}  // namespace

ShowRunResult show_run_offline(const ShowRunOptions& options) {
  ShowRunResult run;
  current = &options;
  result = &run;
  // The loader converts the module in place: keep the bytes as linked for the next run.
  if (pristine_module.empty())
    pristine_module.assign(soundtrack_mod, soundtrack_mod + soundtrack_mod_size);
  else
    std::copy(pristine_module.begin(), pristine_module.end(), soundtrack_mod);
  show_set_scene(0);
  std::srand(1);  // the sequence an unseeded process starts with

  OfflineConfig config;
  config.fps = options.fps;
  config.frame_limit = options.frame_limit;
  config.sink = on_frame;
  config.time_listener = on_time;
  offline_configure(config);
  music_offline_enable(on_buffer, nullptr);
  run.status = show_main();
  music_offline_enable(nullptr, nullptr);
  current = nullptr;
  result = nullptr;
  return run;
}

bool parse_frame_list(const std::string& text, std::vector<int64_t>* frames) {
  frames->clear();
  size_t i = 0;
  auto number = [&](int64_t* out) {
    size_t start = i;
    int64_t v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (v > (int64_t{1} << 40)) return false;
      v = v * 10 + (text[i++] - '0');
    }
    *out = v;
    return i > start;
  };
  while (i < text.size()) {
    int64_t first = 0, last = 0;
    if (!number(&first)) return false;
    last = first;
    if (i < text.size() && text[i] == '-') {
      ++i;
      if (!number(&last) || last < first || last - first > 10000000) return false;
    }
    for (int64_t f = first; f <= last; ++f) frames->push_back(f);
    if (i < text.size()) {
      if (text[i] != ',' || i + 1 == text.size()) return false;
      ++i;
    }
  }
  std::sort(frames->begin(), frames->end());
  frames->erase(std::unique(frames->begin(), frames->end()), frames->end());
  return !frames->empty();
}
