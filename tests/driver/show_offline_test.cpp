// The whole show through the offline host, with the music face scripted by the test: the
// position is whatever the test says, so the start-up wait, the scene ends and quitting can be
// driven exactly.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "assets/assets.h"
#include "driver/show.h"
#include "driver/show_state.h"
#include "platform/offline.h"
#include "tests/driver/music_stand_in.h"

namespace {

class Show : public testing::Test {
 protected:
  void SetUp() override {
    music_stand_in = MusicStandIn{};
    config = OfflineConfig{};
    config.fps = 50;
  }
  int run() {
    offline_configure(config);
    return show_main();
  }
  // Positions that advance with the frames shown so far.
  static void position_per_frame(int32_t step) {
    music_stand_in.position = [step](int64_t) {
      return static_cast<int32_t>(offline_frames_presented() * step);
    };
  }
  OfflineConfig config;
};

TEST_F(Show, StartsInOrderAndEndsOncePastTheLastPosition) {
  position_per_frame(20);  // 0, 20, ... 1980, then 2000 ends the show
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(offline_frames_presented(), 100);
  const std::vector<std::string> order{"init", "load", "start", "position", "stop"};
  EXPECT_EQ(music_stand_in.calls, order);
  EXPECT_FALSE(music_stand_in.video_open_at_load);
  EXPECT_TRUE(music_stand_in.video_open_at_start);
  EXPECT_EQ(music_stand_in.start_rate, 52);
  EXPECT_EQ(music_stand_in.loaded, soundtrack_mod);
  EXPECT_EQ(music_stand_in.loaded_size, soundtrack_mod_size);
  // The music stops before the video closes.
  EXPECT_TRUE(music_stand_in.video_open_at_stop);
  EXPECT_FALSE(offline_is_open());
  for (uint32_t p : fb_flash) ASSERT_EQ(p, 0x00FFDDCCu);
}

TEST_F(Show, EndsOnAJumpPastTheLastPosition) {
  music_stand_in.position = [](int64_t read) {
    if (read == 1) return 0;  // leaves the start-up wait
    return offline_frames_presented() < 7 ? 1999 : 2063;
  };
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(offline_frames_presented(), 7);
}

TEST_F(Show, StartupWaitHoldsUntilThePositionIsAtMostOneHundred) {
  constexpr int64_t kHeld = 20000;
  music_stand_in.position = [](int64_t read) -> int32_t {
    if (read <= 2 * kHeld) {
      // Neither the -37 of a loaded module nor a position above 100 lets the show begin.
      EXPECT_EQ(offline_frames_presented(), 0) << "read " << read;
      return read <= kHeld ? -37 : 101;
    }
    return 100;
  };
  config.frame_limit = 3;
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(offline_frames_presented(), 3);
  EXPECT_GT(music_stand_in.reads, 2 * kHeld);
}

TEST_F(Show, QuitDuringTheFirstSceneEndsWithoutAnotherFrame) {
  music_stand_in.position = [](int64_t) { return 10; };
  config.frame_limit = 5;
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(offline_frames_presented(), 5);
  EXPECT_EQ(running, 0);
  EXPECT_EQ(music_stand_in.calls.back(), "stop");
  EXPECT_TRUE(music_stand_in.video_open_at_stop);
  EXPECT_FALSE(offline_is_open());
}

TEST_F(Show, NoAudioDeviceIsDovFailure) {
  music_stand_in.init_result = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "DOV failure\n");
  EXPECT_EQ(music_stand_in.calls, std::vector<std::string>{"init"});
  EXPECT_FALSE(offline_is_open());
}

TEST_F(Show, NoVideoIsGfxFailureWithoutStoppingTheMusic) {
  config.fail_init = true;
  testing::internal::CaptureStderr();
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "GFX failure\n");
  EXPECT_EQ(music_stand_in.calls, (std::vector<std::string>{"init", "load"}));
  EXPECT_EQ(offline_frames_presented(), 0);
}

// FNV-1a over every presented frame.
void hash_frame(const OfflineFrame& f, void* user) {
  auto* h = static_cast<uint64_t*>(user);
  for (int i = 0; i < f.width * f.height; ++i) {
    *h ^= f.pixels[i];
    *h *= 1099511628211ull;
  }
}

// Each run in a fresh child process, as two starts of the program would be: the set-up and the
// standard rand sequence begin from the same state.
TEST_F(Show, SameFramesOnEveryRun) {
  uint64_t hashes[2] = {0, 0};
  for (uint64_t& result : hashes) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(fds[0]);
      position_per_frame(7);
      uint64_t h = 14695981039346656037ull;
      config.sink = hash_frame;
      config.sink_user = &h;
      const int status = run();
      if (status != 0 || write(fds[1], &h, sizeof h) != sizeof h) _exit(1);
      _exit(0);
    }
    close(fds[1]);
    ASSERT_EQ(read(fds[0], &result, sizeof result), static_cast<ssize_t>(sizeof result));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(hashes[0], hashes[1]);
}

}  // namespace
