// The script's position rules at positions the soundtrack never lands on: the music face is
// replaced, at link time, by one that plays back a list of positions, one per frame, while the
// offline host runs at 50 frames a second so that every frame is one clock tick.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "driver/show.h"
#include "driver/show_observe.h"
#include "music/music.h"
#include "platform/offline.h"
#include "tests/driver/music_stand_in.h"

namespace {

std::vector<int32_t> script;  // the position on frame i
int64_t frame_now = 0;

void hold(int32_t position, int frames) { script.insert(script.end(), frames, position); }

struct Frame {
  int32_t position;
  int scene;
  SceneProbe probe;
};
std::vector<Frame> shown;

void sink(const OfflineFrame&, void*) {
  shown.push_back({music_position(), show_current_scene(), scene_probe});
}
void advance(int64_t time_us, void*) { frame_now = time_us / 20000; }

const std::vector<Frame>& run() {
  if (!shown.empty()) return shown;
  // Through scenes 1 to 8 quickly, then scene 9 on positions of our choosing.
  for (int32_t p : {0, 100, 200, 400, 430, 700, 800, 1100}) hold(p, 3);
  hold(1601, 50);  // no accent: the bounce stays free
  hold(1700, 2);   // row 0 of order 17, still an accent
  hold(1701, 50);
  hold(1703, 2);  // accent rows, but past 1700 they no longer count
  hold(1724, 2);
  hold(1742, 50);
  hold(1708, 2);   // row 8 counts
  hold(1800, 50);  // scene 10
  hold(1900, 2);   // scene 11
  OfflineConfig config;
  config.fps = 50;
  config.sink = sink;
  config.time_listener = advance;
  offline_configure(config);
  music_stand_in.position = [](int64_t) {
    return frame_now < static_cast<int64_t>(script.size()) ? script[frame_now] : 2000;
  };
  std::srand(1);
  EXPECT_EQ(show_main(), 0);
  return shown;
}

// The positions at which a scene started a bounce.
std::vector<int32_t> bounce_starts(int scene) {
  std::vector<int32_t> starts;
  int32_t before = 0;
  for (const Frame& f : run()) {
    if (f.scene != scene) continue;
    if (f.probe.envelope_end != 0 && f.probe.envelope_end != before) starts.push_back(f.position);
    before = f.probe.envelope_end;
  }
  return starts;
}

TEST(ScriptedPositions, TunnelBouncesOnRow0OfOrder17ThenOnlyOnRows8And40) {
  EXPECT_EQ(bounce_starts(9), (std::vector<int32_t>{1700, 1708}));
}

TEST(ScriptedPositions, EveryScenePlaysAndTheShowEndsAt2000) {
  const auto& frames = run();
  ASSERT_FALSE(frames.empty());
  std::vector<int> scenes;
  for (const Frame& f : frames)
    if (scenes.empty() || scenes.back() != f.scene) scenes.push_back(f.scene);
  EXPECT_EQ(scenes, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(frames.size(), script.size());
}

}  // namespace
