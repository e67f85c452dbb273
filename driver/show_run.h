// Runs the whole show through the offline host with the soundtrack mixed on demand, and reports
// every presented frame: its music position, its scene number and a hash of its pixels. The
// capture tool, the show's tests and its benchmark all stand on this.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/frame_hash.h"  // the hash every presented frame is reported with
#include "driver/show_observe.h"

struct FrameRecord {
  int64_t index;     // 0 for the first presented frame
  int64_t time_us;   // simulated time at which it is shown
  int32_t position;  // music position (order x 100 + row) while it was drawn
  int scene;         // 1 to 11
  uint64_t hash;     // frame_hash of its pixels (0 when not asked for)
  SceneProbe probe;  // the script's beat and envelope state on this frame
};

struct ShowRunOptions {
  int fps = 60;
  int64_t frame_limit = -1;  // the viewer "quits" once this many frames were shown; -1 = never
  bool keep_records = true;
  bool hash_frames = true;
  // Every presented frame; return false to ask the show to stop (as a quit would).
  std::function<bool(const FrameRecord& record, const uint32_t* pixels)> on_frame;
  // Every mixed device buffer, in order, as the audio device would have consumed it.
  std::function<void(const int16_t* samples, int count)> on_audio;
};

struct ShowRunResult {
  int status = -1;
  std::vector<FrameRecord> frames;
  int64_t audio_samples = 0;
};

// The show may run several times in one process: the module bytes are restored and the
// pseudo-random sequence is put back to its unseeded start before each run.
ShowRunResult show_run_offline(const ShowRunOptions& options);

// "12,40-45,100" -> sorted, distinct frame numbers. False on a malformed list.
bool parse_frame_list(const std::string& text, std::vector<int64_t>* frames);
