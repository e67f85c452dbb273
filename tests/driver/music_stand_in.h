// A stand-in for the music face (music/music.h), linked into a test in place of the player: it
// records the calls the show makes and answers music_position from a function the test sets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct MusicStandIn {
  int init_result = 1;
  // The position for the read-th call of music_position (counted from 1).
  std::function<int32_t(int64_t read)> position = [](int64_t) { return 0; };
  // "init", "load", "start", "position" (once per run of reads), "stop", in the order made.
  std::vector<std::string> calls;
  int64_t reads = 0;
  int start_rate = 0;
  const uint8_t* loaded = nullptr;
  size_t loaded_size = 0;
  // Whether the offline host's output was open at the load, the start and the stop.
  bool video_open_at_load = true;
  bool video_open_at_start = false;
  bool video_open_at_stop = false;
};

// The stand-in's state; a test resets it with `music_stand_in = MusicStandIn{}`.
extern MusicStandIn music_stand_in;
