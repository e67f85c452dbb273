#include "music/mod_file.h"

#include <algorithm>
#include <cstring>

namespace mod_file {

namespace {

void put16(uint8_t* p, int v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}

}  // namespace

std::vector<uint8_t> write(const Module& m) {
  std::vector<uint8_t> out(kHeaderSize, 0);
  std::memcpy(&out[kTitle], m.title.data(), std::min<size_t>(m.title.size(), 20));
  for (int i = 0; i < kSampleCount; ++i) {
    const SampleRecord& s = m.samples[size_t(i)];
    uint8_t* r = &out[kSampleRecords + kSampleRecordSize * size_t(i)];
    std::memcpy(r + kSampleName, s.name.data(), std::min<size_t>(s.name.size(), 22));
    put16(r + kSampleLength, s.length_words);
    r[kSampleFinetune] = uint8_t(s.finetune);
    r[kSampleVolume] = uint8_t(s.volume);
    put16(r + kSampleLoopStart, s.loop_start_words);
    put16(r + kSampleLoopLength, s.loop_length_words);
  }
  out[kSongLength] = uint8_t(m.song_length);
  out[kRestart] = uint8_t(m.restart);
  std::copy(m.orders.begin(), m.orders.end(), out.begin() + kOrders);
  std::memcpy(&out[kTag], m.tag.data(), std::min<size_t>(m.tag.size(), 4));
  out.insert(out.end(), m.patterns.begin(), m.patterns.end());
  for (const SampleRecord& s : m.samples)
    for (int8_t b : s.data) out.push_back(uint8_t(b));
  return out;
}

}  // namespace mod_file
