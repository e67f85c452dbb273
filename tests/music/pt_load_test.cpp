// Module loader: tags, sample records, the in-place cell conversion, the period table and the
// bounds that keep a broken module inside its buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "modbuild.h"
#include "music/pt.h"
#include "music/snd.h"

namespace {

class Loader : public ::testing::Test {
 protected:
  void SetUp() override { offline_driver(); }
};

struct TagCase {
  const char* tag;
  int channels;
};
class LoaderTags : public Loader, public ::testing::WithParamInterface<TagCase> {};

TEST_P(LoaderTags, ChannelCountAndPlainLayout) {
  ModBuilder b;
  b.tag = GetParam().tag;
  b.channels = GetParam().channels;
  b.samples[0].length_words = 8;
  b.samples[0].fill = 9;
  auto mod = b.build();
  ASSERT_EQ(pt_takemod(mod.data(), mod.size()), 1);
  EXPECT_EQ(pt_song().channels, GetParam().channels);
  EXPECT_EQ(snd_voice_count(), GetParam().channels);
  // One pattern of channels x 256 bytes, then the sample data.
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(snd_slots()[1].data),
            mod.data() + 1084 + GetParam().channels * 256);
}

INSTANTIATE_TEST_SUITE_P(Tags, LoaderTags,
                         ::testing::Values(TagCase{"M.K.", 4}, TagCase{"FLT8", 8},
                                           TagCase{"2CHN", 2}, TagCase{"6CHN", 6},
                                           TagCase{"32CH", 32}, TagCase{"M!K!", 4}));

TEST_F(Loader, UnknownTagIsRefusedWithoutTouchingTheDriver) {
  ModBuilder b;
  b.tag = "    ";
  b.samples[0].length_words = 8;
  auto mod = b.build();
  auto before = mod;
  EXPECT_EQ(pt_takemod(mod.data(), mod.size()), 0);
  EXPECT_STREQ(pt_last_error(), "pt_takemod error: unknown module type!");
  EXPECT_EQ(snd_slots()[1].data, nullptr);
  EXPECT_EQ(mod, before);
}

TEST_F(Loader, SampleRecordsAndSongHeader) {
  ModBuilder b;
  b.song_length = 2;
  b.restart = 127;
  b.samples[0] = {100, 0x25, 70, 0, 1, 0};  // finetune high nibble ignored; volume capped
  b.samples[1] = {0, 0, 64, 0, 1, 0};       // empty: skipped, does not move the data
  b.samples[2] = {100, 3, 40, 10, 2, 0};    // two-word loop: loops
  b.samples[3] = {100, 0, 40, 10, 1, 0};    // one-word loop: does not
  auto mod = b.build();
  ASSERT_EQ(pt_takemod(mod.data(), mod.size()), 1);
  const Song& s = pt_song();
  EXPECT_EQ(s.song_length, 2);
  EXPECT_EQ(s.restart, 0);
  EXPECT_EQ(s.highest_pattern, 0);
  EXPECT_EQ(s.samples[1].finetune, 5);
  EXPECT_EQ(s.samples[1].volume, 64);
  EXPECT_EQ(s.samples[1].length, 200u);
  const uint8_t* data = mod.data() + 1084 + 1024;
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(snd_slots()[1].data), data);
  EXPECT_EQ(snd_slots()[2].data, nullptr);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(snd_slots()[3].data), data + 200);
  EXPECT_EQ(snd_slots()[3].loop_flag, 1u);
  EXPECT_EQ(snd_slots()[3].loop_start, 20u);
  EXPECT_EQ(snd_slots()[3].loop_end, 24u);
  EXPECT_EQ(snd_slots()[4].loop_flag, 0u);

  // Restart bytes above 126, or at or past the song's end, start the song over at order 0.
  struct Restart {
    int song_length, restart, stored;
  };
  for (Restart r : {Restart{127, 126, 126}, Restart{13, 120, 0}, Restart{13, 13, 0},
                    Restart{13, 12, 12}}) {
    ModBuilder c;
    c.song_length = r.song_length;
    c.restart = r.restart;
    auto mod2 = c.build();
    ASSERT_EQ(pt_takemod(mod2.data(), mod2.size()), 1);
    EXPECT_EQ(pt_song().restart, r.stored) << r.song_length << " orders, restart " << r.restart;
  }
}

TEST_F(Loader, HighestPatternCountsEveryOrderEntry) {
  ModBuilder b;
  b.song_length = 1;
  b.orders[100] = 2;  // beyond the song length, still stored in the file
  b.samples[0].length_words = 4;
  auto mod = b.build();
  ASSERT_EQ(pt_takemod(mod.data(), mod.size()), 1);
  EXPECT_EQ(pt_song().highest_pattern, 2);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(snd_slots()[1].data), mod.data() + 1084 + 3 * 1024);
}

struct CellCase {
  int period, sample, cmd, param;
  Cell expected;
};
class LoaderCells : public Loader, public ::testing::WithParamInterface<CellCase> {};

TEST_P(LoaderCells, ConvertedInPlace) {
  const CellCase& c = GetParam();
  ModBuilder b;
  b.cell(0, 5, 2, c.period, c.sample, c.cmd, c.param);
  auto mod = b.build();
  ASSERT_EQ(pt_takemod(mod.data(), mod.size()), 1);
  const Cell& got = pt_song().patterns[0][5 * 4 + 2];
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(&got), mod.data() + 1084 + 5 * 16 + 8);
  EXPECT_EQ(got.sample, c.expected.sample);
  EXPECT_EQ(got.note, c.expected.note);
  EXPECT_EQ(got.command, c.expected.command);
  EXPECT_EQ(got.param, c.expected.param);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, LoaderCells,
    ::testing::Values(CellCase{0, 0, 0, 0, {0, 84, 0, 0}},          // empty
                      CellCase{428, 1, 0xC, 0x40, {1, 36, 12, 64}},  // C-3 area of the table
                      CellCase{430, 31, 0xE, 0x62, {31, 36, 14, 0x62}},  // between: higher note
                      CellCase{4000, 17, 0xF, 0xFF, {17, 0, 15, 255}},   // beyond the lowest
                      CellCase{28, 16, 3, 1, {16, 83, 3, 1}},
                      CellCase{20, 2, 1, 1, {2, 84, 1, 1}},           // above the highest pitch
                      CellCase{856, 0xF5, 0, 0, {0, 24, 0, 0}}));      // no sample record 245

TEST(PeriodTable, MiddleOctavesAreProTrackersOwn) {
  std::ifstream f(std::string(DRIFTLIGHT_TESTDATA) + "/protracker-periods.txt");
  if (!f) GTEST_SKIP() << "test data absent";
  std::string line;
  int row = 0;
  while (std::getline(f, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    for (int n = 0; n < 36; ++n) {
      int p;
      in >> p;
      ASSERT_EQ(pt_periods[row][24 + n], p) << "row " << row << " entry " << 24 + n;
    }
    ++row;
  }
  EXPECT_EQ(row, 16);
}

TEST(PeriodTable, OuterOctaves) {
  const uint16_t row0[85] = {
      3424, 3232, 3048, 2880, 2712, 2560, 2416, 2280, 2152, 2032, 1920, 1812, 1712, 1616, 1524,
      1440, 1356, 1280, 1208, 1140, 1076, 1016, 960,  906,  856,  808,  762,  720,  678,  640,
      604,  570,  538,  508,  480,  453,  428,  404,  381,  360,  339,  320,  302,  285,  269,
      254,  240,  226,  214,  202,  190,  180,  170,  160,  151,  143,  135,  127,  120,  113,
      107,  101,  95,   90,   85,   80,   75,   71,   67,   63,   60,   56,   53,   50,   47,
      45,   42,   40,   37,   35,   33,   31,   30,   28,   28};
  for (int n = 0; n < 85; ++n) ASSERT_EQ(pt_periods[0][n], row0[n]) << n;
  const uint16_t* r1 = pt_periods[1];
  const uint16_t* r8 = pt_periods[8];
  EXPECT_EQ((std::vector<int>{r1[0], r1[1], r1[2], r1[3], r1[81], r1[82], r1[83], r1[84]}),
            (std::vector<int>{3400, 3209, 3029, 2859, 31, 29, 28, 28}));
  EXPECT_EQ((std::vector<int>{r8[0], r8[1], r8[2], r8[3], r8[82], r8[83], r8[84]}),
            (std::vector<int>{3628, 3424, 3232, 3050, 31, 30, 30}));
  int lo = 99999, hi = 0;
  for (int r = 0; r < 16; ++r) {
    EXPECT_EQ(pt_periods[r][84], pt_periods[r][83]);
    for (int n = 0; n < 85; ++n) {
      lo = std::min<int>(lo, pt_periods[r][n]);
      hi = std::max<int>(hi, pt_periods[r][n]);
      if (n < 84) {
        EXPECT_GE(pt_periods[r][n], pt_periods[r][n + 1]) << r << " " << n;
      }
      // every row is row 0 detuned by its finetune, in eighths of a semitone
      int f = r < 8 ? r : r - 16;
      EXPECT_NEAR(pt_periods[r][n], row0[n] * std::pow(2.0, -f / 96.0), 2 + row0[n] * 0.004)
          << r << " " << n;
    }
  }
  EXPECT_EQ(lo, kPtPeriodMin);
  EXPECT_EQ(hi, kPtPeriodMax);
}

// Modules that would make the player read or write outside their buffer.
TEST_F(Loader, RefusesOrBoundsWhatLiesOutsideTheBuffer) {
  ModBuilder b;
  b.orders[0] = 1;
  b.samples[0].length_words = 50;
  auto mod = b.build();
  std::vector<uint8_t> cut(mod.begin(), mod.begin() + 1084 + 2048 - 1);  // second pattern short
  EXPECT_EQ(pt_takemod(cut.data(), cut.size()), 0);
  std::vector<uint8_t> header(mod.begin(), mod.begin() + 1000);
  EXPECT_EQ(pt_takemod(header.data(), header.size()), 0);

  // Sample data cut short by the end of the file: the sample is shortened to what is there, and
  // the cut is on record.
  std::vector<uint8_t> shortened(mod.begin(), mod.end() - 30);
  ASSERT_EQ(pt_takemod(shortened.data(), shortened.size()), 1);
  EXPECT_EQ(snd_slots()[1].length, 70u);
  EXPECT_EQ(pt_song().samples[1].length, 100u);
  EXPECT_EQ(pt_song().samples[1].present, 70u);

  ModBuilder big;
  big.orders[3] = 128;
  auto mod2 = big.build();
  EXPECT_EQ(pt_takemod(mod2.data(), mod2.size()), 0);

  ModBuilder longsong;
  longsong.song_length = 200;
  auto mod3 = longsong.build();
  ASSERT_EQ(pt_takemod(mod3.data(), mod3.size()), 1);
  EXPECT_EQ(pt_song().song_length, 128);

  // A loop reaching past the sample's end is cut to end at its length.
  ModBuilder loop;
  loop.samples[0] = {100, 0, 64, 90, 20, 0};
  auto mod4 = loop.build();
  ASSERT_EQ(pt_takemod(mod4.data(), mod4.size()), 1);
  EXPECT_EQ(snd_slots()[1].loop_end, 200u);
  EXPECT_EQ(pt_song().samples[1].present, 200u);
  ModBuilder loop2;
  loop2.samples[0] = {100, 0, 64, 120, 20, 0};
  auto mod5 = loop2.build();
  ASSERT_EQ(pt_takemod(mod5.data(), mod5.size()), 1);
  EXPECT_EQ(snd_slots()[1].loop_flag, 0u);
}

}  // namespace
