// The control face and the offline audio half: position contract, buffer schedule, determinism.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "modbuild.h"
#include "music/pt.h"
#include "music/snd.h"

namespace {

struct Collected {
  std::vector<int16_t> samples;
  std::vector<int32_t> positions;  // music_position after each buffer
};

void collect(const int16_t* s, int n, void* user) {
  auto* c = static_cast<Collected*>(user);
  c->samples.insert(c->samples.end(), s, s + n);
  c->positions.push_back(music_position());
}

ModBuilder tune() {
  ModBuilder b;
  b.samples[0] = {600, 0, 64, 100, 400, 0};
  b.song_length = 2;
  b.orders[1] = 1;
  for (int r = 0; r < 64; r += 4) b.cell(r / 32, r % 64, r / 4 % 4, 214 + r, 1, 0xA, 0x01);
  b.cell(1, 10, 1, 428, 1, 0x4, 0x37);
  return b;
}

class Control : public ::testing::Test {
 protected:
  Collected got;
  std::vector<uint8_t> mod;
  void start(const ModBuilder& b, int rate) {
    music_offline_enable(collect, &got);
    ASSERT_EQ(music_init(), 1);
    mod = b.build();
    // Sample data that is not constant, so the mix depends on every step.
    for (size_t i = mod.size() - 1200; i < mod.size(); ++i) mod[i] = uint8_t(i * 37);
    ASSERT_EQ(music_load(mod.data(), mod.size()), 1);
    EXPECT_EQ(music_position(), -37);
    music_start(rate);
  }
  void TearDown() override {
    music_stop();
    music_offline_enable(nullptr, nullptr);
  }
};

TEST_F(Control, BuffersFollowTheSimulatedClock) {
  start(tune(), 52);
  EXPECT_EQ(got.positions.size(), 1u);  // the first buffer is asked for at once
  EXPECT_EQ(got.positions[0], 0);
  music_offline_advance(46439);  // 2047.99 samples: still inside the first buffer
  EXPECT_EQ(got.positions.size(), 1u);
  music_offline_advance(46440);
  EXPECT_EQ(got.positions.size(), 2u);
  music_offline_advance(1000000);  // one second: floor(44100 / 2048) + 1
  EXPECT_EQ(got.positions.size(), 22u);
  music_offline_advance(500000);  // time never runs backwards
  EXPECT_EQ(got.positions.size(), 22u);
  EXPECT_EQ(got.samples.size(), 22u * 2048);
}

TEST_F(Control, RowOneIsHeardAtItsOwnSample) {
  start(tune(), 52);
  // Row 1 begins at 6 x 848 = 5088 samples, 115374.1 us in. The mixer has reached it two buffers
  // earlier (buffer 3 holds samples 4096..6143), but the position is the one heard at the time.
  music_offline_advance(2 * 46440);
  EXPECT_EQ(got.positions[2], 0);  // after buffer 3 was mixed, at sample 4096
  EXPECT_EQ(music_position(), 0);
  music_offline_advance(115362);  // sample 5087.4
  EXPECT_EQ(music_position(), 0);
  music_offline_advance(115375);  // sample 5088.0
  EXPECT_EQ(music_position(), 1);
}

TEST_F(Control, SameSamplesEveryRun) {
  start(tune(), 52);
  music_offline_advance(3000000);
  Collected first = got;
  music_stop();
  got = {};
  start(tune(), 52);
  music_offline_advance(3000000);
  EXPECT_EQ(got.samples, first.samples);
  EXPECT_EQ(got.positions, first.positions);
  int64_t energy = 0;
  for (int16_t s : got.samples) energy += s < 0 ? -s : s;
  EXPECT_GT(energy, 0);  // and they are not silence
}

TEST(ControlFailure, UnknownModuleKeepsPositionZero) {
  Collected got;
  music_offline_enable(collect, &got);
  ASSERT_EQ(music_init(), 1);
  ModBuilder b;
  b.tag = "XXXX";
  auto mod = b.build();
  EXPECT_EQ(music_load(mod.data(), mod.size()), 0);
  music_start(52);
  music_offline_advance(2000000);
  for (int32_t p : got.positions) ASSERT_EQ(p, 0);
  for (int16_t s : got.samples) ASSERT_EQ(s, 0);
  music_stop();
  music_offline_enable(nullptr, nullptr);
}

}  // namespace
