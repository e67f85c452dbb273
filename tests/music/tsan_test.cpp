// The live path: SDL's own audio thread runs the callback while this thread reads the music
// position without a lock, until the position has moved through a whole pass of the song (or a
// hang guard far beyond that passes). Built with ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "modbuild.h"

TEST(LiveAudio, PositionReadWhileTheCallbackPlays) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_EQ(music_init(), 1) << "no SDL audio, not even the dummy driver";
  ModBuilder b;
  b.samples[0] = {2000, 0, 64, 0, 1000, 17};
  b.song_length = 2;
  b.orders[1] = 1;
  for (int r = 0; r < 64; r += 2) b.cell(r % 2, r, r / 2 % 4, 428 - r, 1, 0x4, 0x22);
  b.cell(1, 0, 0, 0, 0, 0xD, 0x00);
  auto mod = b.build();
  ASSERT_EQ(music_load(mod.data(), mod.size()), 1);
  ASSERT_EQ(music_position(), -37);
  music_start(52);
  // The song is 65 rows, about 7.5 s at 52 / 6 rows a second; a machine ten times slower, or
  // the audio thread starved by a loaded one, still gets there well within the guard.
  constexpr int kWantedChanges = 80;
  const auto guard = std::chrono::steady_clock::now() + std::chrono::minutes(5);
  int32_t last = -37, changes = 0, lowest = 1 << 30, highest = -1 << 30;
  int64_t reads = 0;
  while (changes < kWantedChanges && std::chrono::steady_clock::now() < guard) {
    int32_t p = music_position();
    ++reads;
    if (p != last) ++changes;
    last = p;
    lowest = std::min(lowest, p);
    highest = std::max(highest, p);
    if (reads % 1024 == 0) std::this_thread::yield();
  }
  music_stop();
  // Order 1 breaks to order 0 at once, so the song is 65 rows and 80 changes wrap it.
  EXPECT_EQ(changes, kWantedChanges) << "the position stopped moving";
  EXPECT_GE(lowest, -37);
  // For an instant a reader may see row 64, and the order equal to the song length (2) before
  // the wrap stores the restart order; both at once give 264, the highest reading possible.
  EXPECT_LE(highest, 264);
  std::printf("%lld reads, %d changes, positions %d..%d\n", static_cast<long long>(reads), changes,
              lowest, highest);
}
