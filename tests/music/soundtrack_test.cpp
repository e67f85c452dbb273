// The show's own soundtrack through the player: the scene script is cued to 21 orders of 64 rows
// at speed 6, with no jump or break, so the position must walk 0..63, 100..163, ... 2063, then 0.
#include <gtest/gtest.h>

#include <vector>

#include "assets/assets.h"
#include "modbuild.h"
#include "music/pt.h"

TEST(Soundtrack, PositionWalksEveryRowOfTwentyOneOrdersThenWraps) {
  if (soundtrack_mod_size == 0) GTEST_SKIP() << "no soundtrack embedded";
  offline_driver();
  std::vector<uint8_t> copy(soundtrack_mod, soundtrack_mod + soundtrack_mod_size);
  ASSERT_EQ(music_load(copy.data(), copy.size()), 1);
  EXPECT_EQ(pt_song().channels, 4);
  ASSERT_GE(pt_song().song_length, 21);
  EXPECT_EQ(music_position(), -37);
  const int rows = pt_song().song_length * 64;
  int expected = 0;
  for (int r = 0; r < rows; ++r) {
    for (int t = 0; t < 6; ++t) {
      pt_tick();
      ASSERT_EQ(music_position(), expected) << "row " << r << " tick " << t;
    }
    expected = expected % 100 == 63 ? expected + 37 : expected + 1;
  }
  pt_tick();
  EXPECT_EQ(music_position(), pt_song().restart * 100);
}
