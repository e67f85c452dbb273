// Builds small modules in memory for the player's tests.
#pragma once
#include <cstdint>
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "music/mod_file.h"
#include "music/music.h"
#include "music/offline_audio.h"

struct ModSample {
  int length_words = 0;
  int finetune = 0;
  int volume = 64;
  int loop_start_words = 0;
  int loop_length_words = 1;
  int8_t fill = 0;  // value of every data byte
};

struct ModBuilder {
  std::string tag = "M.K.";
  int channels = 4;
  int song_length = 1;
  int restart = 0;
  std::vector<uint8_t> orders = std::vector<uint8_t>(128, 0);
  std::vector<ModSample> samples = std::vector<ModSample>(31);
  int patterns = 1;
  std::vector<uint8_t> pattern_data;  // filled by cell(); grows as needed

  // Speed 1 on row 0 of pattern 0, channel 3: one tick per row.
  void speed_one() { cell(0, 0, 3, 0, 0, 0xF, 1); }

  // Writes a file cell: period, sample number, command, parameter.
  void cell(int pattern, int row, int ch, int period, int sample, int cmd, int param) {
    size_t need = size_t(pattern + 1) * channels * 256;
    if (pattern_data.size() < need) pattern_data.resize(need, 0);
    if (pattern + 1 > patterns) patterns = pattern + 1;
    uint8_t* b = &pattern_data[size_t(pattern) * channels * 256 + size_t(row) * channels * 4 + ch * 4];
    mod_file::put_cell(b, period, sample, cmd, param);
  }

  std::vector<uint8_t> build() const {
    mod_file::Module m;
    m.title = "test module";
    for (int i = 0; i < 31; ++i) {
      const ModSample& s = samples[i];
      m.samples[size_t(i)] = {"", s.length_words, s.finetune, s.volume, s.loop_start_words,
                              s.loop_length_words,
                              std::vector<int8_t>(size_t(s.length_words) * 2, s.fill)};
    }
    m.song_length = song_length;
    m.restart = restart;
    std::copy(orders.begin(), orders.begin() + 128, m.orders.begin());
    m.tag = tag;
    int highest = 0;
    for (uint8_t o : orders) highest = std::max<int>(highest, o);
    m.patterns.assign(size_t(highest + 1) * channels * 256, 0);
    if (!pattern_data.empty())
      std::memcpy(m.patterns.data(), pattern_data.data(), std::min(m.patterns.size(), pattern_data.size()));
    return mod_file::write(m);
  }
};

// Opens the offline driver (no device) once per process and resets the voices.
inline void offline_driver() {
  static bool enabled = false;
  if (!enabled) {
    music_offline_enable(nullptr, nullptr);
    enabled = true;
  }
  music_init();
}
