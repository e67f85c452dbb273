// The soundtrack's facts that the show is cued to, and how it sounds through the show's mixer
// arithmetic: no clipping, and the hits audible on the rows where the pictures cut and flash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "music/mod_file.h"
#include "tests/assets/asset_files.h"
#include "tools/modgen/modgen.h"

namespace {

using namespace mod_file;

constexpr size_t kChannels = 4;  // the tag "M.K."
constexpr size_t kPatternSize = size_t(kRows) * kChannels * kCellSize;

struct ModuleFile {
  std::vector<uint8_t> bytes = read_asset("soundtrack.mod");
  int word(size_t at) const { return bytes[at] << 8 | bytes[at + 1]; }
  static size_t record(int i) { return kSampleRecords + kSampleRecordSize * size_t(i - 1); }
  int sample_length(int i) const { return 2 * word(record(i) + kSampleLength); }
  int loop_start(int i) const { return 2 * word(record(i) + kSampleLoopStart); }
  int loop_length(int i) const { return 2 * word(record(i) + kSampleLoopLength); }
  int highest_pattern() const {
    return *std::max_element(bytes.begin() + kOrders, bytes.begin() + kOrders + kOrderCount);
  }
  const uint8_t* cell(int order, int row, int channel) const {
    return &bytes[kPatterns + size_t(bytes[kOrders + size_t(order)]) * kPatternSize +
                  (size_t(row) * kChannels + size_t(channel)) * kCellSize];
  }
};

TEST(Module, Layout) {
  const ModuleFile m;
  ASSERT_GT(m.bytes.size(), kPatterns);
  EXPECT_EQ(std::string(m.bytes.begin() + kTag, m.bytes.begin() + kTag + 4), "M.K.");
  EXPECT_GE(m.bytes[kSongLength], 21);
  EXPECT_LE(m.bytes[kSongLength], kOrderCount);
  EXPECT_EQ(m.bytes[kRestart], 0) << "restart at order 0";
  EXPECT_LT(m.bytes.size(), 100u * 1024) << "small enough to embed";

  size_t total = kPatterns + size_t(m.highest_pattern() + 1) * kPatternSize;
  for (int i = 1; i <= kSampleCount; ++i) {
    const int length = m.sample_length(i);
    total += size_t(length);
    if (i > kModSamples) {
      EXPECT_EQ(length, 0) << "sample " << i;
      continue;
    }
    EXPECT_GT(length, 0) << "sample " << i;
    EXPECT_LE(m.bytes[ModuleFile::record(i) + kSampleVolume], 64) << "volume of sample " << i;
    EXPECT_EQ(m.bytes[ModuleFile::record(i) + kSampleFinetune], 0) << "finetune of sample " << i;
    const bool loops = m.loop_length(i) > 2;
    EXPECT_EQ(loops, i == 5 || i == 6) << "sample " << i;
    if (loops) {
      // The byte at the loop's end is read before the loop wraps: it lies inside the sample
      // and continues the loop's waveform.
      EXPECT_LT(m.loop_start(i) + m.loop_length(i), length) << "sample " << i;
    }
  }
  EXPECT_EQ(total, m.bytes.size()) << "the sample data fills the file exactly";
}

TEST(Module, PlaysStraightThroughAtSpeedSix) {
  const ModuleFile m;
  std::set<int> commands;
  int speed_commands = 0;
  for (int order = 0; order < m.bytes[kSongLength]; ++order) {
    for (int row = 0; row < 64; ++row) {
      for (int ch = 0; ch < kModChannels; ++ch) {
        const uint8_t* c = m.cell(order, row, ch);
        const int period = (c[0] & 0x0F) << 8 | c[1];
        const int sample = (c[0] & 0xF0) | (c[2] >> 4);
        const int command = c[2] & 0x0F, parameter = c[3];
        commands.insert(command == 0xE ? 0xE0 | (parameter >> 4) : command);
        EXPECT_LE(sample, kModSamples);
        // Every note lies in the three standard octaves.
        if (period) {
          EXPECT_GE(period, 113);
          EXPECT_LE(period, 856);
        }
        if (command == 0xF && parameter < 32) {
          EXPECT_EQ(parameter, kModSpeed) << "order " << order << " row " << row;
          ++speed_commands;
        }
      }
    }
  }
  EXPECT_EQ(commands.count(0xB), 0u) << "no position jump";
  EXPECT_EQ(commands.count(0xD), 0u) << "no pattern break";
  EXPECT_EQ(commands.count(0xE6), 0u) << "no pattern loop";
  EXPECT_EQ(commands.count(0xEE), 0u) << "no row delay";
  EXPECT_EQ(speed_commands, 1);
  const uint8_t* first = m.cell(0, 0, 0);
  EXPECT_EQ(first[2] & 0x0F, 0xF);
  EXPECT_EQ(first[3], kModSpeed);
}

class MixedSong : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pcm_ = new std::vector<int16_t>(modgen_render(read_asset("soundtrack.mod"), kModOrders));
    onsets_ = new std::vector<double>(modgen_row_onsets(*pcm_, kModOrders * 64));
  }
  static void TearDownTestSuite() {
    delete pcm_;
    delete onsets_;
  }
  static std::vector<int16_t>* pcm_;
  static std::vector<double>* onsets_;
};
std::vector<int16_t>* MixedSong::pcm_ = nullptr;
std::vector<double>* MixedSong::onsets_ = nullptr;

TEST_F(MixedSong, NeverClipsAndEndsQuiet) {
  ASSERT_EQ(pcm_->size(), size_t(kModOrders) * 64 * kModRowSamples);
  const auto [low, high] = std::minmax_element(pcm_->begin(), pcm_->end());
  EXPECT_GT(*low, -32768);
  EXPECT_LT(*high, 32767);
  // Loud enough to use most of the range somewhere.
  EXPECT_GT(std::max(-int(*low), int(*high)), 20000);
  // Order 20 (not shown) is silent: the show stops as it begins.
  const size_t tail = size_t(20) * 64 * kModRowSamples;
  EXPECT_TRUE(
      std::all_of(pcm_->begin() + long(tail), pcm_->end(), [](int16_t s) { return s == 0; }));
}

struct Cue {
  std::vector<int> orders;
  std::vector<int> rows;
};

class CueRows : public MixedSong, public ::testing::WithParamInterface<Cue> {};

TEST_P(CueRows, StandOutFromTheOtherRows) {
  const Cue& cue = GetParam();
  for (int order : cue.orders) {
    double others = 0.0;
    for (int r = 0; r < 64; ++r)
      if (std::find(cue.rows.begin(), cue.rows.end(), r) == cue.rows.end())
        others += (*onsets_)[size_t(order * 64 + r)];
    others /= double(64 - cue.rows.size());
    for (int r : cue.rows)
      EXPECT_GE((*onsets_)[size_t(order * 64 + r)], 2.0 * others)
          << "order " << order << " row " << r;
  }
}

INSTANTIATE_TEST_SUITE_P(Song, CueRows,
                         ::testing::Values(Cue{{0, 8, 17, 18}, {8, 40}},
                                           Cue{{2, 3, 4, 5, 6, 13, 14, 15}, {0, 32}},
                                           Cue{{9, 10, 16}, {0, 3, 24, 27, 42, 59, 62}}));

TEST_F(MixedSong, QuietSectionsAreQuieter) {
  auto rms = [&](int order) {
    double sum = 0.0;
    const size_t start = size_t(order) * 64 * kModRowSamples;
    for (size_t i = start; i < start + size_t(64) * kModRowSamples; ++i)
      sum += double((*pcm_)[i]) * (*pcm_)[i];
    return std::sqrt(sum / (64.0 * kModRowSamples));
  };
  // The drop is the fullest part; the breakdown and the ending are calmer.
  EXPECT_GT(rms(13), rms(7));
  EXPECT_GT(rms(13), rms(18));
  EXPECT_GT(rms(18), rms(19));
  EXPECT_GT(rms(13), rms(0));
}

}  // namespace
