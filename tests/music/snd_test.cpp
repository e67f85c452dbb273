// Voice driver and mixer: levels, loops, ends, steps and the callback's cut into ticks.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "modbuild.h"
#include "music/pt.h"
#include "music/snd.h"

namespace {

class Snd : public ::testing::Test {
 protected:
  void SetUp() override { offline_driver(); }
  std::vector<int16_t> mix(int n) {
    std::vector<int16_t> out(size_t(n), 0);
    snd_mix(out.data(), n);
    return out;
  }
  // One voice on sample n at volume v, period 80 (one byte per output sample, plus a sliver).
  void play(int voice, int n, int v, uint32_t pos = 0, int32_t period = 80) {
    snd_select_voice(voice);
    snd_set_sample(n);
    snd_set_volume(v);
    snd_set_period(period);
    snd_set_position(pos);
  }
};

struct Level {
  int voices;
  double gain_db;
  int expected;
  uint64_t clipped;  // of the 500 samples
};
void PrintTo(const Level& l, std::ostream* os) {
  *os << l.voices << " voices at " << l.gain_db << " dB";
}

class SndLevels : public Snd, public ::testing::WithParamInterface<Level> {
 protected:
  void TearDown() override { snd_set_gain(65536); }
};

// Voices add (one at full volume: -128 x 129), the gain scales their sum (-6 dB: x 0.501), and
// what passes 16 bits saturates and is counted; the SIMD part of the cut and its scalar tail
// count alike (500 = 62 x 8 + 4).
TEST_P(SndLevels, VoicesAddAndClip) {
  std::vector<int8_t> data(4096, -128);
  snd_define_sample(1, data.data(), 4096, 0, 4000, 1);
  const Level& l = GetParam();
  snd_set_voice_count(4);
  snd_set_gain(int32_t(std::lround(65536 * std::pow(10.0, l.gain_db / 20))));
  for (int v = 0; v < l.voices; ++v) play(v, 1, 64);
  for (int16_t s : mix(500)) ASSERT_EQ(s, l.expected);
  EXPECT_EQ(snd_clipped_samples(), l.clipped);
}

INSTANTIATE_TEST_SUITE_P(Counts, SndLevels,
                         ::testing::Values(Level{1, 0, -16512, 0}, Level{2, 0, -32768, 500},
                                           Level{4, 0, -32768, 500}, Level{2, -6, -16551, 0},
                                           Level{1, 6, -32768, 500}, Level{1, -96, 0, 0}),
                         [](const ::testing::TestParamInfo<Level>& p) {
                           const int db = int(p.param.gain_db);
                           return std::to_string(p.param.voices) + "Voices" +
                                  (db < 0 ? "Minus" : "Plus") + std::to_string(std::abs(db)) + "dB";
                         });

// One voice at volume 64 reading a byte of 1: the output is the scaled volume. Master volumes
// above 252 are held at 252; 63 (before music_init) gives less than 64's 129.
TEST_F(Snd, MasterVolumeScalesAndIsCapped) {
  std::vector<int8_t> data(64, 1);
  snd_define_sample(1, data.data(), 64, 0, 63, 1);
  snd_set_voice_count(1);
  play(0, 1, 64);
  for (auto [master, out] : {std::pair{0, 0}, std::pair{63, 127}, std::pair{64, 129},
                             std::pair{252, 510}, std::pair{300, 510}}) {
    snd_set_master_volume(master);
    EXPECT_EQ(mix(1)[0], out) << "master " << master;
  }
  EXPECT_EQ(snd_master_volume(), 252);
}

TEST_F(Snd, LoopReadsItsEndByteThenRestartsAfterItsStart) {
  std::vector<int8_t> data(2000, 0);
  for (int i = 0; i < 2000; ++i) data[size_t(i)] = int8_t(i % 100);
  snd_define_sample(1, data.data(), 2000, 1032, 1350, 1);
  snd_set_voice_count(1);
  play(0, 1, 64, 1340);
  // Period 80 steps 1.0053 bytes: the first sample after the trigger is data[1341].
  auto out = mix(12);
  std::vector<int> bytes;
  for (int16_t s : out) bytes.push_back(s / 129);
  std::vector<int> expected = {41, 42, 43, 44, 45, 46,
                               47, 48, 49, 50, 33, 34};  // 1341..1350, 1033..
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(snd_mixing_voices()[0].pos, 1034u);
  EXPECT_GT(snd_mixing_voices()[0].pos_frac, 0u);  // the fraction survives the wrap
}

TEST_F(Snd, PositionPastLoopEndTurnsTheSampleOneShot) {
  std::vector<int8_t> data(1000, 1), other(5000, 2);
  snd_define_sample(1, data.data(), 1000, 100, 500, 1);
  snd_define_sample(2, other.data(), 5000, 0, 0, 0);
  snd_set_voice_count(1);
  play(0, 1, 64, 600);
  EXPECT_EQ(snd_control_voices()[0].loop_flag, 0u);
  auto out = mix(1000);
  EXPECT_EQ(out[300], 129);  // still playing up to its length
  EXPECT_EQ(out[450], 0);    // ended, not looped back
  EXPECT_EQ(mix(10)[0], 0);  // and stays ended
  snd_set_sample(2);         // a longer one-shot sample swapped in: still ended
  EXPECT_EQ(mix(10)[9], 0);
  snd_set_sample(1);  // a looping one plays again: the running position wraps into its loop
  EXPECT_EQ(snd_control_voices()[0].loop_flag, 1u);
  EXPECT_EQ(mix(10)[9], 129);
  EXPECT_LE(snd_mixing_voices()[0].pos, 500u);
  snd_set_sample(2);
  snd_set_position(4900);  // a one-shot voice that ends again, then takes a new position
  mix(200);
  EXPECT_EQ(mix(10)[9], 0);
  snd_set_position(10);
  EXPECT_EQ(mix(1)[0], 2 * 129);
}

TEST_F(Snd, SilentOrEmptyVoicesDoNotAdvance) {
  std::vector<int8_t> data(3000, 5);
  snd_define_sample(1, data.data(), 3000, 0, 0, 0);
  snd_set_voice_count(2);
  play(0, 1, 0, 10);
  play(1, 2, 64, 10);  // slot 2 was never defined: length 0
  EXPECT_EQ(mix(100)[99], 0);
  EXPECT_EQ(snd_mixing_voices()[0].pos, 10u);
  EXPECT_EQ(snd_mixing_voices()[1].pos, 0u);  // no position fits an empty sample
}

TEST_F(Snd, LoopToTheLastByteKeepsItsLengthAndReadsOnlyInsideTheBuffer) {
  // Bytes 0..63, then the next sample's first byte; the second copy is the sample's exact bytes
  // on the heap, the module buffer's end, where a read of data[64] is an overflow.
  std::vector<int8_t> inside(65, 100), at_end(64);
  for (int i = 0; i < 64; ++i) inside[size_t(i)] = at_end[size_t(i)] = int8_t(i);
  for (auto* buffer : {&inside, &at_end}) {
    offline_driver();
    snd_set_data_end(buffer->data() + buffer->size());
    snd_define_sample(1, buffer->data(), 64, 32, 64, 1);
    EXPECT_EQ(snd_slots()[1].loop_end, 64u);  // the loop keeps its 32 bytes
    snd_set_voice_count(1);
    play(0, 1, 64, 60);
    std::vector<int> bytes;
    for (int16_t s : mix(8)) bytes.push_back(s / 129);
    const int after = buffer == &inside ? 100 : 0;
    EXPECT_EQ(bytes, (std::vector<int>{61, 62, 63, after, 33, 34, 35, 36}));
  }
}

TEST_F(Snd, PeriodToStep) {
  snd_select_voice(0);
  snd_set_period(428);
  const Voice& v = snd_control_voices()[0];
  EXPECT_EQ(v.step, 0u);
  EXPECT_EQ(v.step_frac & 0xFF, 0u);  // 24 significant bits
  EXPECT_NEAR(v.step_frac / 4294967296.0, 3546836.0 / (428 * 44100.0), 1e-7);
  EXPECT_EQ(v.new_step, 1u);
  snd_set_period(40);
  EXPECT_EQ(v.step, 2u);
  EXPECT_NEAR(v.step_frac / 4294967296.0, 3546836.0 / (40 * 44100.0) - 2, 1e-7);
  for (int32_t p : {0, -3}) {  // zero stands still; below zero stops rather than running backwards
    snd_set_period(p);
    EXPECT_EQ(v.step, 0u);
    EXPECT_EQ(v.step_frac, 0u);
  }
}

TEST_F(Snd, CallbackCutsBuffersIntoTicksWithCarry) {
  ModBuilder b;
  auto mod = b.build();
  ASSERT_EQ(music_load(mod.data(), mod.size()), 1);
  snd_set_tick_rate(52);  // 848 samples per tick
  std::vector<int16_t> buf(2048);
  auto ticks_so_far = [] { return pt_play_row() * 6 + pt_tick_count() + 1; };
  snd_callback(nullptr, reinterpret_cast<uint8_t*>(buf.data()), 4096);
  EXPECT_EQ(ticks_so_far(), 3);  // two whole ticks, then a third whose first 352 samples end it
  EXPECT_EQ(snd_carry(), 496);
  snd_callback(nullptr, reinterpret_cast<uint8_t*>(buf.data()), 4096);
  EXPECT_EQ(ticks_so_far(), 5);  // 496 carried, one tick of 848, 704 of the next
  EXPECT_EQ(snd_carry(), 144);
}

TEST_F(Snd, TickLongerThanTheBufferSpansCallbacks) {
  ModBuilder b;
  auto mod = b.build();
  ASSERT_EQ(music_load(mod.data(), mod.size()), 1);
  snd_set_tick_rate(10);  // 4410 samples per tick
  std::vector<int16_t> buf(2048);
  for (int i = 0; i < 3; ++i) snd_callback(nullptr, reinterpret_cast<uint8_t*>(buf.data()), 4096);
  EXPECT_EQ(pt_tick_count(), 1);  // ticks begin at samples 0 and 4410 of 6144
  EXPECT_EQ(snd_carry(), 4410 - (6144 - 4410));
}

}  // namespace
