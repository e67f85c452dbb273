// A quit in any scene: the frame on which the viewer quits is the last one presented, every
// later scene's set-up still runs, and the show returns 0.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "driver/show_observe.h"
#include "driver/show_run.h"
#include "driver/show_state.h"
#include "effects/dots.h"
#include "platform/offline.h"

namespace {

// A coarse frame rate keeps the runs short; the script follows the music position, not frames.
constexpr int kFps = 10;

// The first frame of each scene (index 1 to 11) in an uninterrupted run.
const std::vector<int64_t>& first_frames() {
  static std::vector<int64_t> first;
  if (!first.empty()) return first;
  first.assign(12, -1);
  ShowRunOptions options;
  options.fps = kFps;
  options.hash_frames = false;
  ShowRunResult run = show_run_offline(options);
  EXPECT_EQ(run.status, 0);
  for (const FrameRecord& r : run.frames)
    if (first[r.scene] < 0) first[r.scene] = r.index;
  return first;
}

// Scene 8's set-up writes the picture into the lower half of fb_aux, which nothing else touches.
bool picture_is_in_lower_half() {
  static uint32_t picture[2 * 320 * 240];
  picture_fill(picture);
  return std::memcmp(picture + kFbPixels, fb_aux + kFbPixels, sizeof(uint32_t) * kFbPixels) == 0;
}

class QuitInScene : public testing::TestWithParam<int> {};

TEST_P(QuitInScene, EndsWithStatus0AfterTheRemainingSetUpAndNoFurtherFrame) {
  const int scene = GetParam();
  const int64_t first = first_frames()[scene];
  ASSERT_GE(first, 0) << "scene " << scene << " never shown";
  for (int via_poll = 0; via_poll <= 1; ++via_poll) {
    SCOPED_TRACE(via_poll ? "video_poll reports the quit" : "the frame consumer asks to stop");
    std::memset(fb_aux, 0, sizeof(uint32_t) * 2 * kFbPixels);
    ShowRunOptions options;
    options.fps = kFps;
    options.hash_frames = false;
    // Quit on the scene's second frame, or on its first when it has only one.
    const bool two_frames = scene == 11 || first_frames()[scene + 1] > first + 1;
    const int64_t last = two_frames ? first + 1 : first;
    if (via_poll)
      options.frame_limit = last + 1;
    else
      options.on_frame = [last](const FrameRecord& r, const uint32_t*) { return r.index < last; };
    ShowRunResult run = show_run_offline(options);
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(static_cast<int64_t>(run.frames.size()), last + 1);
    EXPECT_EQ(run.frames.back().scene, scene);
    EXPECT_EQ(offline_frames_presented(), last + 1);
    EXPECT_EQ(show_current_scene(), 11);  // every later scene's set-up ran
    if (scene < 8) {
      EXPECT_TRUE(picture_is_in_lower_half());
    }
    EXPECT_EQ(running, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryScene, QuitInScene, testing::Range(1, 12));

}  // namespace
