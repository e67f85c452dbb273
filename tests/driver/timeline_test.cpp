#include "driver/timeline.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(BeatRules, FireOnTheirRowsAndNoOthers) {
  const std::set<int32_t> rows_8_40{8, 40};
  const std::set<int32_t> rows_0_32{0, 32};
  const std::set<int32_t> accent{0, 3, 24, 27, 42, 59, 62};
  for (int32_t r = 0; r < 64; ++r) {
    EXPECT_EQ(beat_rows_8_40(r), rows_8_40.count(r) == 1) << "row " << r;
    EXPECT_EQ(beat_rows_0_32(r), rows_0_32.count(r) == 1) << "row " << r;
    EXPECT_EQ(beat_accent(r), accent.count(r) == 1) << "row " << r;
  }
  for (int32_t r : {-1, -32, -37, -64}) {  // never on a position before the song starts
    EXPECT_FALSE(beat_rows_8_40(r));
    EXPECT_FALSE(beat_rows_0_32(r));
    EXPECT_FALSE(beat_accent(r));
  }
}

TEST(BeatRules, RowIsThePositionModuloAHundred) {
  EXPECT_EQ(beat_row(0), 0);
  EXPECT_EQ(beat_row(1340), 40);
  EXPECT_EQ(beat_row(1763), 63);
  EXPECT_EQ(beat_row(1999), 99);
  EXPECT_TRUE(beat_accent(beat_row(1700)));
  EXPECT_TRUE(beat_rows_8_40(beat_row(908)));
}

struct EnvelopeCase {
  const char* name;
  int32_t (*fn)(int32_t t, int32_t end);
  int32_t length;
  int32_t at_start, at_peak, at_end;
};

TEST(Envelopes, StartPeakAndEnd) {
  const EnvelopeCase cases[] = {
      {"flash", flash_amount, kFlashLength, 20, 120, 20},
      {"pulse", pulse_alpha, kPulseLength, 30, 255, 30},
  };
  for (const EnvelopeCase& c : cases) {
    for (int32_t trigger : {0, 137, -5}) {
      const int32_t end = trigger + c.length;
      EXPECT_EQ(c.fn(trigger, end), c.at_start) << c.name;
      EXPECT_EQ(c.fn(trigger + c.length / 2, end), c.at_peak) << c.name;
      EXPECT_EQ(c.fn(end, end), c.at_end) << c.name;
      // Symmetric about the peak.
      EXPECT_EQ(c.fn(trigger + 3, end), c.fn(end - 3, end)) << c.name;
    }
  }
}

TEST(Envelopes, BounceIsThreeArcs) {
  // e = t - E + 42 runs 0 .. 42 while the bounce is active.
  const int32_t E = 500;
  struct {
    int32_t e, h;
  } const points[] = {{0, 0},   {12, 144}, {23, 23}, {24, 0}, {30, 36},
                      {35, 11}, {36, 0},   {39, 9},  {42, 0}};
  for (const auto& p : points) EXPECT_EQ(bounce_height(E - 42 + p.e, E), p.h) << "e " << p.e;
  EXPECT_EQ(bounce_height(E - 30, E) / 3, 48);  // the selected item's displacement at the peak
  for (int32_t e = 0; e <= 42; ++e) EXPECT_GE(bounce_height(E - 42 + e, E), 0) << "e " << e;
}

TEST(Envelopes, FarOutsideTheirRangeDoNotOverflow) {
  EXPECT_LT(flash_amount(2000000000, -2000000000), 0);
  EXPECT_LT(bounce_height(-2000000000, 2000000000), 0);
}

TEST(Envelopes, RunningUntilPastTheEndThenCleared) {
  int32_t end = 0;
  EXPECT_FALSE(envelope_running(-3, &end));  // 0 means none, even for t <= 0
  end = 50;
  EXPECT_TRUE(envelope_running(30, &end));
  EXPECT_TRUE(envelope_running(50, &end));
  EXPECT_EQ(end, 50);
  EXPECT_FALSE(envelope_running(51, &end));
  EXPECT_EQ(end, 0);
}

}  // namespace
