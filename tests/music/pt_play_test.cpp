// Sequencer: row timing, flow commands (speed, breaks, jumps, loops, delays) and the effects'
// effect on the voices.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "modbuild.h"
#include "music/pt.h"
#include "music/snd.h"

namespace {

class Seq : public ::testing::Test {
 protected:
  ModBuilder b;
  std::vector<uint8_t> mod;
  void SetUp() override {
    offline_driver();
    b.samples[0] = {1000, 0, 40, 0, 1, 1};
    b.samples[1] = {1000, 0, 50, 0, 1, 1};
  }
  void load() {
    mod = b.build();
    ASSERT_EQ(music_load(mod.data(), mod.size()), 1);
  }
  // Positions after each of n ticks.
  std::vector<int> run(int n) {
    std::vector<int> pos;
    for (int i = 0; i < n; ++i) {
      pt_tick();
      pos.push_back(music_position());
    }
    return pos;
  }
  const Voice& voice(int ch) { return snd_control_voices()[ch]; }
  // Period the voice was last given, recovered from its step (exact for the table's values).
  int sent_period(int ch) {
    const Voice& v = voice(ch);
    if (v.step == 0 && v.step_frac == 0) return 0;
    double q = v.step + v.step_frac / 4294967296.0;
    return int(3546836.0 / (q * 44100.0) + 0.5);
  }
};

TEST_F(Seq, PositionBeforeAndAtTheFirstTicks) {
  load();
  EXPECT_EQ(music_position(), -37);
  EXPECT_GT(uint32_t(music_position()), 100u);  // the show's wait loop keeps waiting
  auto pos = run(7);
  EXPECT_EQ(pos, (std::vector<int>{0, 0, 0, 0, 0, 0, 1}));
}

TEST_F(Seq, SongWrapsToTheRestartOrder) {
  b.song_length = 3;
  b.restart = 1;
  load();
  auto pos = run(6 * 64 * 4 + 1);
  EXPECT_EQ(pos[6 * 64 * 3 - 1], 263);
  EXPECT_EQ(pos[6 * 64 * 3], 100);
  EXPECT_EQ(pos[6 * 64 * 4], 200);
}

TEST_F(Seq, SpeedZeroFreezesAndRepeatsTickZero) {
  b.cell(0, 0, 0, 0, 0, 0xF, 0x00);
  b.cell(0, 0, 1, 428, 1, 0xE, 0xA1);  // fine volume up, once per tick 0
  load();
  auto pos = run(20);
  for (int p : pos) ASSERT_EQ(p, 0);
  EXPECT_EQ(pt_tick_count(), 0);
  EXPECT_EQ(pt_channel(1).volume, 40 + 1);  // the sample resets it, then EA1 adds one, each tick
  EXPECT_EQ(voice(1).volume, 41);
}

TEST_F(Seq, RowDelayHoldsTheRowWithoutRetrigger) {
  b.cell(0, 0, 0, 0, 0, 0xE, 0xE2);
  b.cell(0, 0, 1, 428, 1, 0, 0);
  load();
  auto pos = run(6 * 3 + 1);
  EXPECT_EQ(pos[17], 0);
  EXPECT_EQ(pos[18], 1);
  // The note played once: later ticks of the held row left its position alone.
  std::vector<int16_t> buf(100);
  snd_mix(buf.data(), 100);
  run(1);
  EXPECT_EQ(voice(1).new_pos, 0u);
}

TEST_F(Seq, PatternLoopPlaysTheSpanThreeTimes) {
  b.speed_one();
  b.cell(0, 4, 2, 0, 0, 0xE, 0x60);
  b.cell(0, 8, 2, 0, 0, 0xE, 0x62);
  load();
  std::vector<int> rows;
  for (int i = 0; i < 21; ++i) {
    pt_tick();
    rows.push_back(pt_play_row());
  }
  EXPECT_EQ(rows,
            (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 4, 5, 6, 7, 8, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(Seq, PatternLoopToRowZeroShowsRowMinusOne) {
  b.speed_one();
  b.orders[1] = 0;
  b.song_length = 2;
  b.cell(0, 0, 0, 0, 0, 0xE, 0x60);
  b.cell(0, 2, 0, 0, 0, 0xE, 0x61);
  load();
  auto pos = run(3 + 64 + 3);
  EXPECT_EQ(pos[2], -1);  // order 0 x 100 - 1 until the next row
  EXPECT_EQ(pos[3], 0);
  EXPECT_EQ(pos[67 + 2], 99);  // the same loop in order 1 (after 3 + 64 rows): 1 x 100 - 1
}

struct FlowCase {
  const char* name;
  std::vector<std::array<int, 3>> cells;  // channel, command, parameter on row 0 of order 0
  int next_position;                      // order x 100 + row played next
};
class SeqFlow : public Seq, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(SeqFlow, NextRow) {
  b.speed_one();
  b.song_length = 5;
  for (int i = 0; i < 5; ++i) b.orders[size_t(i)] = uint8_t(i);
  for (auto [ch, cmd, param] : GetParam().cells) b.cell(0, 0, ch, 0, 0, cmd, param);
  load();
  run(2);
  EXPECT_EQ(pt_play_order() * 100 + pt_play_row(), GetParam().next_position);
}

INSTANTIATE_TEST_SUITE_P(
    Flow, SeqFlow,
    ::testing::Values(FlowCase{"Break15", {{0, 0xD, 0x15}}, 115},
                      FlowCase{"JumpAndBreak", {{0, 0xB, 3}, {1, 0xD, 0}}, 300},
                      FlowCase{"JumpPastEnd", {{0, 0xB, 9}}, 0},
                      FlowCase{"BreakTooFar", {{2, 0xD, 0x64}}, 100},
                      FlowCase{"BreakDigits", {{2, 0xD, 0x1F}}, 125},
                      FlowCase{"LaterChannelWins", {{0, 0xD, 0x10}, {2, 0xD, 0x20}}, 120}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Seq, BreakAndJumpShowInThePositionForTheRestOfTheRow) {
  b.song_length = 4;
  b.cell(0, 0, 0, 0, 0, 0xB, 0);
  load();
  auto pos = run(2);
  EXPECT_EQ(pos[0], -37);  // jump to order 0: order -1, row 63
  EXPECT_EQ(pt_play_row(), 0);
}

struct LateCase {
  int speed, command, y;
  std::vector<int> volume_by_tick;  // voice volume after ticks 0..speed-1
};
class SeqLate : public Seq, public ::testing::WithParamInterface<LateCase> {};

TEST_P(SeqLate, CutAndDelayFireOnTheirTick) {
  const LateCase& c = GetParam();
  b.cell(0, 0, 0, 0, 0, 0xF, c.speed);
  b.cell(0, 0, 1, 428, 1, 0xE, c.command << 4 | c.y);
  load();
  std::vector<int16_t> flush(10);
  snd_mix(flush.data(), 10);  // the voices start with both flags set
  std::vector<int> vols;
  for (int t = 0; t < c.speed; ++t) {
    pt_tick();
    vols.push_back(voice(1).volume);
    if (c.command == 0xD) vols.back() = voice(1).new_pos ? 1 : 0;  // did the note start?
    std::vector<int16_t> buf(10);
    snd_mix(buf.data(), 10);
  }
  EXPECT_EQ(vols, c.volume_by_tick);
}

INSTANTIATE_TEST_SUITE_P(
    Late, SeqLate,
    ::testing::Values(LateCase{2, 0xC, 3, {40, 0}},                   // EC3 at speed 2: last tick
                      LateCase{6, 0xC, 0, {40, 40, 40, 40, 40, 40}},  // EC0 never cuts
                      LateCase{6, 0xC, 2, {40, 40, 0, 0, 0, 0}},
                      LateCase{6, 0xD, 0, {0, 0, 0, 0, 0, 0}},  // ED0 never plays
                      LateCase{6, 0xD, 4, {0, 0, 0, 0, 1, 0}}, LateCase{3, 0xD, 9, {0, 0, 1}}));

TEST_F(Seq, VolumeCommands) {
  b.cell(0, 0, 0, 428, 1, 0xC, 0x50);
  b.cell(0, 1, 0, 0, 0, 0xA, 0x10);
  b.cell(0, 2, 0, 0, 0, 0xA, 0x35);
  b.cell(0, 3, 0, 0, 0, 0xA, 0x02);
  b.cell(0, 4, 0, 0, 0, 0xE, 0xA7);
  b.cell(0, 5, 0, 0, 0, 0xE, 0xB7);
  load();
  run(1);
  EXPECT_EQ(pt_channel(0).volume, 80);  // not clamped
  EXPECT_EQ(voice(0).volume, 80);
  run(7);
  EXPECT_EQ(pt_channel(0).volume, 64);  // 80 + 1 clamped on the first running tick
  run(4 + 6);
  EXPECT_EQ(pt_channel(0).volume, 64);
  run(6);
  EXPECT_EQ(pt_channel(0).volume, 64 - 5 * 2);
  run(1);
  EXPECT_EQ(pt_channel(0).volume, 55);  // E fine steps move by one, whatever their digit
  run(6);
  EXPECT_EQ(pt_channel(0).volume, 54);
}

TEST_F(Seq, SlideUpBothDigits) {
  b.cell(0, 0, 0, 428, 1, 0xC, 0x10);
  b.cell(0, 1, 0, 0, 0, 0xA, 0x35);
  load();
  run(6 + 6);
  EXPECT_EQ(pt_channel(0).volume, 16 + 5 * 3);
}

TEST_F(Seq, PitchSlidesStopAtTheTableLimits) {
  b.cell(0, 0, 0, 113, 1, 0x1, 0x50);
  b.cell(0, 0, 1, 3424, 1, 0x2, 0xF0);
  load();
  run(6);
  EXPECT_EQ(pt_channel(0).period, 27);
  EXPECT_EQ(pt_channel(1).period, 3628);
  EXPECT_EQ(sent_period(0), 27);
  EXPECT_EQ(sent_period(1), 3628);
}

TEST_F(Seq, TonePortamentoStopsOnItsTarget) {
  b.cell(0, 0, 0, 428, 1, 0, 0);
  b.cell(0, 1, 0, 404, 0, 0x3, 0x07);
  b.cell(0, 2, 0, 0, 0, 0x3, 0x00);  // keeps the stored speed
  load();
  run(6 + 3);
  EXPECT_EQ(pt_channel(0).period, 428 - 14);
  run(6);
  EXPECT_EQ(pt_channel(0).period, 404);
  EXPECT_EQ(sent_period(0), 404);
  EXPECT_EQ(pt_channel(0).note, 36);  // the slide does not take the note
}

TEST_F(Seq, GlissandoSendsWholeSemitones) {
  b.cell(0, 0, 0, 428, 1, 0xE, 0x31);
  b.cell(0, 1, 0, 320, 0, 0x3, 0x05);
  load();
  run(6 + 3);
  EXPECT_EQ(pt_channel(0).period, 418);  // the channel keeps the exact slide
  EXPECT_EQ(sent_period(0), 428);        // first table entry at or above it
  run(3);
  EXPECT_EQ(sent_period(0), 404);
}

TEST_F(Seq, ArpeggioStaysInsideThePeriodRow) {
  b.cell(0, 0, 0, 28, 1, 0x0, 0xFF);  // note 83 plus 15
  load();
  run(2);
  EXPECT_EQ(sent_period(0), pt_periods[0][84]);
  ModBuilder c;
  c.samples[0] = {1000, 0, 40, 0, 1, 1};
  c.cell(0, 0, 0, 428, 1, 0x0, 0x47);
  auto m = c.build();
  ASSERT_EQ(music_load(m.data(), m.size()), 1);
  std::vector<int> sent;
  for (int i = 0; i < 6; ++i) {
    pt_tick();
    sent.push_back(sent_period(0));
  }
  EXPECT_EQ(sent, (std::vector<int>{428, 339, 285, 428, 339, 285}));
}

TEST_F(Seq, VibratoLeavesThePeriodAndCanStopTheVoice) {
  b.cell(0, 0, 0, 113, 1, 0x1, 0x60);  // down to 27
  for (int r = 1; r <= 3; ++r) b.cell(0, r, 0, 0, 0, 0x4, r == 1 ? 0x4F : 0);
  load();
  run(6 + 1 + 4);
  EXPECT_EQ(pt_channel(0).period, 27);
  EXPECT_EQ(pt_channel(0).vib_pos, 4 * 4);
  // waveform value at position 12 is 235: 27 + 235 * 15 / 127 = 54
  EXPECT_EQ(sent_period(0), 54);
  run(1 + 6 + 4);  // position 48: 27 - 255 * 15 / 127 = -3 stops the voice, not runs it backwards
  EXPECT_EQ(voice(0).step, 0u);
  EXPECT_EQ(voice(0).step_frac, 0u);
}

TEST_F(Seq, TremoloDoesNotChangeTheChannelVolume) {
  b.cell(0, 0, 0, 428, 1, 0x7, 0x88);
  load();
  run(1 + 2);
  EXPECT_EQ(pt_channel(0).trem_depth, 16);
  EXPECT_EQ(pt_channel(0).volume, 40);
  // position 8 of the sine is 180: 40 + 180 * 16 / 127 = 62
  EXPECT_EQ(voice(0).volume, 62);
}

TEST_F(Seq, SampleOffsetAndRetrigger) {
  b.cell(0, 0, 0, 428, 1, 0x9, 0x02);
  b.cell(0, 1, 1, 428, 2, 0xE, 0x92);
  load();
  run(1);
  EXPECT_EQ(voice(0).pos, 512u);
  EXPECT_EQ(voice(0).new_pos, 1u);
  run(6);
  std::vector<int> triggers;
  for (int t = 1; t < 6; ++t) {
    std::vector<int16_t> buf(10);
    snd_mix(buf.data(), 10);
    run(1);
    triggers.push_back(int(voice(1).new_pos));
  }
  EXPECT_EQ(triggers, (std::vector<int>{0, 1, 0, 1, 0}));
}

TEST_F(Seq, SampleWithoutNoteSwitchesAtTheCurrentPosition) {
  b.cell(0, 0, 0, 428, 1, 0xC, 0x20);
  b.cell(0, 1, 0, 0, 2, 0, 0);
  load();
  run(6);
  std::vector<int16_t> buf(100);
  snd_mix(buf.data(), 100);
  uint32_t pos = snd_mixing_voices()[0].pos;
  run(1);
  EXPECT_EQ(voice(0).sample, 2);
  EXPECT_EQ(voice(0).volume, 50);
  EXPECT_EQ(voice(0).new_pos, 0u);
  snd_mix(buf.data(), 1);
  EXPECT_GE(snd_mixing_voices()[0].pos, pos);
}

// Where the show's rules and ProTracker's part: one module, a number of ticks, one value read
// after them under each rule set.
struct RuleCase {
  const char* name;
  std::vector<std::array<int, 6>> cells;  // row, channel, period, sample, command, parameter
  int ticks;
  int (*value)();
  int show, protracker;
};

void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class SeqRules : public Seq, public ::testing::WithParamInterface<RuleCase> {
 protected:
  void TearDown() override { pt_set_rules(pt_rules_show); }
};

TEST_P(SeqRules, ShowAndProtracker) {
  const RuleCase& c = GetParam();
  for (const auto& [row, ch, period, sample, cmd, param] : c.cells)
    b.cell(0, row, ch, period, sample, cmd, param);
  for (const PtRules* rules : {&pt_rules_show, &pt_rules_protracker}) {
    pt_set_rules(*rules);
    load();
    snd_set_tick_rate(50);
    run(c.ticks);
    EXPECT_EQ(c.value(), rules == &pt_rules_show ? c.show : c.protracker) << rules->name;
  }
}

int volume0() { return pt_channel(0).volume; }
int period0() { return pt_channel(0).period; }
int vib_pos0() { return pt_channel(0).vib_pos; }
int trem_pos0() { return pt_channel(0).trem_pos; }
int ended() { return pt_ended(); }
int tick_samples() { return snd_next_tick_samples(); }

INSTANTIATE_TEST_SUITE_P(
    Rules, SeqRules,
    ::testing::Values(
        RuleCase{"VolumeAbove64", {{0, 0, 428, 1, 0xC, 0x7F}}, 1, volume0, 127, 64},
        RuleCase{"FineVolumeByDigit",
                 {{0, 0, 428, 1, 0xC, 0x20}, {1, 0, 0, 0, 0xE, 0xA7}},
                 7,
                 volume0,
                 33,
                 39},
        RuleCase{"FineVolumeDownStopsAtZero",
                 {{0, 0, 428, 1, 0xC, 0x03}, {1, 0, 0, 0, 0xE, 0xB7}},
                 7,
                 volume0,
                 2,
                 0},
        RuleCase{"FineSlideDownByDigit",
                 {{0, 0, 428, 1, 0, 0}, {1, 0, 0, 0, 0xE, 0x27}},
                 7,
                 period0,
                 429,
                 435},
        RuleCase{"FineSlideUpByDigit", {{0, 0, 113, 1, 0xE, 0x1F}}, 1, period0, 112, 98},
        RuleCase{"SpeedZeroEnds", {{1, 0, 0, 0, 0xF, 0x00}}, 20, ended, 0, 1},
        RuleCase{"SpeedZeroSilences",
                 {{0, 0, 428, 1, 0, 0}, {1, 1, 0, 0, 0xF, 0x00}},
                 20,
                 [] { return int(snd_control_voices()[0].volume); },
                 40,
                 0},
        // F20 is 32 beats per minute, 44100 * 2.5 / 32 = 3445.3 samples a tick, from the next one.
        RuleCase{"TempoOnItsTick", {{0, 0, 0, 0, 0xF, 0x20}}, 1, tick_samples, 882, 882},
        RuleCase{"TempoFromTheNextTick", {{0, 0, 0, 0, 0xF, 0x20}}, 2, tick_samples, 882, 3445},
        RuleCase{"NoteRestartsVibrato",
                 {{0, 0, 428, 1, 0x4, 0x44}, {1, 0, 428, 1, 0, 0}},
                 7,
                 vib_pos0,
                 20,
                 0},
        RuleCase{"WaveformBit2KeepsVibrato",
                 {{0, 0, 428, 1, 0xE, 0x44}, {1, 0, 0, 0, 0x4, 0x44}, {2, 0, 428, 1, 0, 0}},
                 13,
                 vib_pos0,
                 20,
                 20},
        RuleCase{"NoteRestartsTremolo",
                 {{0, 0, 428, 1, 0x7, 0x44}, {1, 0, 428, 1, 0, 0}},
                 7,
                 trem_pos0,
                 20,
                 0},
        // EEx beside a break: ProTracker starts the next pattern one row past the break's target.
        RuleCase{"HeldBreakRow",
                 {{0, 0, 0, 0, 0xE, 0xE1}, {0, 1, 0, 0, 0xD, 0x05}},
                 6 * 2 + 1,
                 [] { return pt_play_row(); },
                 5,
                 6}),
    [](const ::testing::TestParamInfo<RuleCase>& p) { return std::string(p.param.name); });

}  // namespace
