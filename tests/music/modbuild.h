// Builds small modules in memory for the player's tests.
#pragma once
#include <cstdint>
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

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
    b[0] = uint8_t((sample & 0xF0) | ((period >> 8) & 0x0F));
    b[1] = uint8_t(period & 0xFF);
    b[2] = uint8_t(((sample & 0x0F) << 4) | (cmd & 0x0F));
    b[3] = uint8_t(param);
  }

  std::vector<uint8_t> build() const {
    std::vector<uint8_t> m(1084, 0);
    std::memcpy(m.data(), "test module", 11);
    for (int i = 0; i < 31; ++i) {
      uint8_t* r = &m[20 + 30 * i];
      const ModSample& s = samples[i];
      r[22] = uint8_t(s.length_words >> 8);
      r[23] = uint8_t(s.length_words);
      r[24] = uint8_t(s.finetune);
      r[25] = uint8_t(s.volume);
      r[26] = uint8_t(s.loop_start_words >> 8);
      r[27] = uint8_t(s.loop_start_words);
      r[28] = uint8_t(s.loop_length_words >> 8);
      r[29] = uint8_t(s.loop_length_words);
    }
    m[950] = uint8_t(song_length);
    m[951] = uint8_t(restart);
    for (int i = 0; i < 128; ++i) m[952 + i] = orders[i];
    std::memcpy(&m[1080], tag.data(), 4);
    int highest = 0;
    for (uint8_t o : orders) highest = std::max<int>(highest, o);
    std::vector<uint8_t> pats(size_t(highest + 1) * channels * 256, 0);
    if (!pattern_data.empty())
      std::memcpy(pats.data(), pattern_data.data(), std::min(pats.size(), pattern_data.size()));
    m.insert(m.end(), pats.begin(), pats.end());
    for (const ModSample& s : samples) m.insert(m.end(), size_t(s.length_words) * 2, uint8_t(s.fill));
    return m;
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
