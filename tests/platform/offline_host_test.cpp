#include <gtest/gtest.h>

#include <vector>

#include "platform/offline.h"
#include "platform/platform.h"

namespace {

struct Recorder {
  std::vector<int64_t> frame_index;
  std::vector<int64_t> frame_time;
  std::vector<uint32_t> first_pixel;
  std::vector<int64_t> times;
};

void record_frame(const OfflineFrame& f, void* user) {
  auto* r = static_cast<Recorder*>(user);
  EXPECT_EQ(f.width, 320);
  EXPECT_EQ(f.height, 240);
  r->frame_index.push_back(f.index);
  r->frame_time.push_back(f.time_us);
  r->first_pixel.push_back(f.pixels[0]);
}

void record_time(int64_t t, void* user) { static_cast<Recorder*>(user)->times.push_back(t); }

TEST(OfflineHost, ClockFollowsPresentedFramesAndSinkSeesEachFrame) {
  Recorder rec;
  OfflineConfig c;
  c.fps = 60;
  c.sink = record_frame;
  c.sink_user = &rec;
  c.time_listener = record_time;
  c.time_listener_user = &rec;
  offline_configure(c);
  EXPECT_FALSE(offline_is_open());
  ASSERT_EQ(video_init(1, 0), 0);
  EXPECT_TRUE(offline_is_open());
  EXPECT_EQ(offline_width(), 320);
  EXPECT_EQ(offline_height(), 240);
  EXPECT_EQ(clock_ticks(), 0);

  std::vector<uint32_t> fb(320 * 240);
  // Ticks are the simulated time rounded to 20 ms: at 60 fps frame n is at n * 16666.67 us.
  const int32_t expected_ticks[] = {1, 2, 3, 3, 4, 5, 6, 7, 8, 8};
  for (int n = 0; n < 10; ++n) {
    fb[0] = static_cast<uint32_t>(n);
    EXPECT_EQ(video_present(fb.data()), 0);
    EXPECT_EQ(clock_ticks(), expected_ticks[n]) << "after frame " << n;
    EXPECT_EQ(video_poll(), 0);
  }
  EXPECT_EQ(offline_frames_presented(), 10);
  EXPECT_EQ(offline_time_us(), 166666);
  ASSERT_EQ(rec.frame_index.size(), 10u);
  for (int n = 0; n < 10; ++n) {
    EXPECT_EQ(rec.frame_index[n], n);
    EXPECT_EQ(rec.frame_time[n], n * 1000000LL / 60);
    EXPECT_EQ(rec.first_pixel[n], static_cast<uint32_t>(n));
  }
  // The listener hears the start and every step forward.
  ASSERT_EQ(rec.times.size(), 11u);
  EXPECT_EQ(rec.times.front(), 0);
  EXPECT_EQ(rec.times.back(), 166666);
  video_shutdown();
  EXPECT_FALSE(offline_is_open());
}

TEST(OfflineHost, PollReportsQuitAtTheFrameLimit) {
  OfflineConfig c;
  c.frame_limit = 3;
  offline_configure(c);
  ASSERT_EQ(video_init(1, 0), 0);
  std::vector<uint32_t> fb(320 * 240);
  std::vector<int> polls;
  for (int n = 0; n < 4; ++n) {
    video_present(fb.data());
    polls.push_back(video_poll());
  }
  EXPECT_EQ(polls, (std::vector<int>{0, 0, 1, 1}));
  video_shutdown();

  // Configuring again starts the clock and the count afresh.
  offline_configure(OfflineConfig{});
  EXPECT_EQ(offline_frames_presented(), 0);
  EXPECT_EQ(offline_time_us(), 0);
  EXPECT_EQ(clock_ticks(), 0);
}

TEST(OfflineHost, InitFailures) {
  OfflineConfig c;
  offline_configure(c);
  EXPECT_EQ(video_init(0, 0), 1);
  EXPECT_EQ(video_init(3, 0), 1);
  EXPECT_FALSE(offline_is_open());
  ASSERT_EQ(video_init(2, 0), 0);
  EXPECT_EQ(offline_height(), 200);
  video_shutdown();
  c.fail_init = true;
  offline_configure(c);
  EXPECT_EQ(video_init(1, 0), 1);
  EXPECT_FALSE(offline_is_open());
}

}  // namespace
