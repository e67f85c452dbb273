// The whole show through the offline host at 60 frames a second, followed frame by frame: the
// scene changes, the beat rules and envelopes, a few frames checked against their effect drawn
// on its own, and golden hashes of frames spread over the show. One run serves every test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver/scenes.h"
#include "driver/show_run.h"
#include "driver/show_state.h"
#include "effects/blobs.h"
#include "effects/compose.h"
#include "effects/tunnel.h"
#include "music/music.h"

namespace {

constexpr int kFps = 60;
const char* kGoldenFile = DRIFTLIGHT_SOURCE_DIR "/tests/show/golden_frames.txt";

int32_t row_of(int32_t position) { return position % 100; }
int32_t ticks_of(const FrameRecord& r) { return static_cast<int32_t>((r.time_us + 10000) / 20000); }
bool row_8_40(int32_t position) {
  int32_t r = row_of(position);
  return r == 8 || r == 40;
}
bool row_0_32(int32_t position) {
  int32_t r = row_of(position);
  return r == 0 || r == 32;
}
bool accent(int32_t position) {
  switch (row_of(position)) {
    case 0:
    case 3:
    case 24:
    case 27:
    case 42:
    case 59:
    case 62:
      return true;
    default:
      return false;
  }
}

// The flash amounts a frame can carry: 120 - j^2 for j = -10 ... 10.
bool flashed_equals(const uint32_t* plain, const uint32_t* frame, int32_t amount) {
  static uint32_t lit[kFbPixels];
  blend_add(plain, fb_flash, lit, kFbPixels, 255, amount);
  return std::memcmp(lit, frame, sizeof lit) == 0;
}

struct Trace {
  int status = -1;
  std::vector<FrameRecord> frames;
  int32_t final_position = 0;
  std::map<int64_t, int32_t> intro_amount;  // scene 1: flash found in the pixels, -1 = no match
  std::map<int64_t, std::vector<int>>
      blob_rows;  // scene 5: rows that differ from the strips at rest
  std::vector<int32_t> first_of_scene = std::vector<int32_t>(12, -1);
};

// Scene 1 and 5 frames are compared with their effect drawn alone, inside the sink (the show's
// tables are all built by then and the effects keep no state between frames).
bool inspect(Trace* trace, const FrameRecord& r, const uint32_t* pixels) {
  static uint32_t plain[kFbPixels];
  if (r.scene >= 1 && r.scene <= 11 && trace->first_of_scene[r.scene] < 0)
    trace->first_of_scene[r.scene] = static_cast<int32_t>(r.index);
  const int32_t t = ticks_of(r) - ticks_of(trace->frames[trace->first_of_scene[r.scene]]);
  if (r.scene == 1) {
    intro_draw(plain, t);
    int32_t found = -1;
    if (std::memcmp(plain, pixels, sizeof plain) == 0) found = 0;
    for (int j = 0; j <= 10 && found < 0; ++j)
      if (flashed_equals(plain, pixels, 120 - j * j)) found = 120 - j * j;
    trace->intro_amount[r.index] = found;
  } else if (r.scene == 5) {
    // Scene 5's time runs from scene 4's start.
    const int32_t t5 = ticks_of(r) - ticks_of(trace->frames[trace->first_of_scene[4]]);
    std::memset(plain, 0, sizeof plain);
    blobs_draw(plain, t5);
    for (int i = 0; i < 3; ++i) text_draw(6, 84 + 24 * i, 2 + i, 200, plain);
    std::vector<int> rows;
    for (int y = 0; y < kFbHeight; ++y)
      if (std::memcmp(plain + y * kFbWidth, pixels + y * kFbWidth, 4 * kFbWidth) != 0)
        rows.push_back(y);
    trace->blob_rows[r.index] = rows;
  }
  return true;
}

const Trace& trace() {
  static Trace* run = nullptr;
  if (run) return *run;
  run = new Trace;
  ShowRunOptions options;
  options.fps = kFps;
  options.keep_records = false;
  Trace* t = run;
  options.on_frame = [t](const FrameRecord& r, const uint32_t* pixels) {
    t->frames.push_back(r);
    return inspect(t, r, pixels);
  };
  ShowRunResult result = show_run_offline(options);
  run->status = result.status;
  run->final_position = music_position();
  return *run;
}

std::vector<const FrameRecord*> scene_frames(int scene) {
  std::vector<const FrameRecord*> v;
  for (const FrameRecord& r : trace().frames)
    if (r.scene == scene) v.push_back(&r);
  return v;
}

// Frames on which an envelope was started: its end time changed from the previous frame's and
// is not 0.
template <typename Field>
std::vector<const FrameRecord*> triggers(int scene, Field field) {
  std::vector<const FrameRecord*> v;
  int32_t previous = 0;
  for (const FrameRecord* r : scene_frames(scene)) {
    const int32_t now = field(r->probe);
    if (now != 0 && now != previous) v.push_back(r);
    previous = now;
  }
  return v;
}

bool first_frame_at_its_position(const FrameRecord* r) {
  return r->index == 0 || trace().frames[r->index - 1].position != r->position;
}

// A beat rule is tested on the frames where its envelope was over on the frame before (the
// first frame of a scene included); there it must start the envelope exactly when it holds.
template <typename Field, typename Rule>
int check_rule(int scene, Field end_of, Rule rule) {
  int fired = 0;
  int32_t before = 0;
  for (const FrameRecord* r : scene_frames(scene)) {
    if (before == 0) {
      EXPECT_EQ(end_of(r->probe) != 0, rule(r->position))
          << "scene " << scene << " frame " << r->index << " position " << r->position;
      fired += end_of(r->probe) != 0;
    }
    before = end_of(r->probe);
  }
  return fired;
}

TEST(ShowScript, EndsAtPosition2000WithStatus0) {
  const Trace& tr = trace();
  ASSERT_EQ(tr.status, 0);
  ASSERT_FALSE(tr.frames.empty());
  EXPECT_LE(tr.frames.back().position, 1999);
  EXPECT_EQ(tr.frames.back().scene, 11);
  EXPECT_GE(tr.final_position, 2000);  // the position the next frame would have seen
  EXPECT_LT(tr.final_position, 2002);
}

TEST(ShowScript, EachSceneBeginsOnTheFirstFramePastThePreviousLastPosition) {
  const Trace& tr = trace();
  ASSERT_EQ(tr.status, 0);
  EXPECT_EQ(tr.frames.front().scene, 1);
  for (size_t i = 0; i < tr.frames.size(); ++i) {
    const FrameRecord& r = tr.frames[i];
    ASSERT_GE(r.scene, 1);
    ASSERT_LE(r.scene, 11);
    ASSERT_EQ(r.index, static_cast<int64_t>(i));
    ASSERT_LE(r.position, kSceneLast[r.scene - 1]) << "frame " << i;
    if (i > 0) {
      const FrameRecord& prev = tr.frames[i - 1];
      ASSERT_GE(r.position, prev.position);
      if (r.scene != prev.scene) {
        EXPECT_EQ(r.scene, prev.scene + 1) << "frame " << i;
        EXPECT_GT(r.position, kSceneLast[prev.scene - 1]) << "frame " << i;
      } else if (r.scene < 11) {
        EXPECT_LE(r.position, kSceneLast[r.scene - 1]);
      }
    }
  }
  for (int s = 1; s <= 11; ++s)
    EXPECT_GE(tr.first_of_scene[s], 0) << "scene " << s << " never shown";
}

TEST(ShowScript, IntroFlashesOnRows8And40For20Ticks) {
  const Trace& tr = trace();
  const auto frames = scene_frames(1);
  ASSERT_FALSE(frames.empty());
  // Runs of flashed frames, read from the pixels.
  std::vector<std::vector<const FrameRecord*>> runs;
  bool in_run = false;
  for (const FrameRecord* r : frames) {
    const int32_t amount = tr.intro_amount.at(r->index);
    ASSERT_GE(amount, 0) << "frame " << r->index << " is neither the intro nor the intro flashed";
    if (amount > 0) {
      if (!in_run) runs.emplace_back();
      runs.back().push_back(r);
    }
    in_run = amount > 0;
  }
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(check_rule(
                1, [](const SceneProbe& p) { return p.flash_end; }, row_8_40),
            2);
  const int32_t rows[2] = {8, 40};
  for (int k = 0; k < 2; ++k) {
    const auto& run = runs[k];
    SCOPED_TRACE(k);
    EXPECT_EQ(run.front()->position, rows[k]);
    EXPECT_TRUE(first_frame_at_its_position(run.front()));
    const int32_t start = ticks_of(*run.front());
    // Ticks start ... start + 20 are lit, the first frame after is not.
    EXPECT_EQ(ticks_of(*run.back()) - start, 20);
    for (const FrameRecord* r : run) {
      const int32_t j = ticks_of(*r) - start - 10;
      EXPECT_EQ(tr.intro_amount.at(r->index), 120 - j * j) << "frame " << r->index;
    }
  }
}

TEST(ShowScript, DotScreenTimeReversesOnRows0And32) {
  const auto frames = scene_frames(3);
  ASSERT_GT(frames.size(), 10u);
  std::vector<int32_t> reversals;
  int direction = 1;
  for (size_t i = 0; i < frames.size(); ++i) {
    const SceneProbe& p = frames[i]->probe;
    const bool beat = row_0_32(frames[i]->position) && first_frame_at_its_position(frames[i]);
    if (beat) {
      // The effect's time restarts from the scene time and turns round.
      EXPECT_EQ(p.effect_time, p.t) << "frame " << frames[i]->index;
      reversals.push_back(frames[i]->position);
      direction = -direction;
    } else if (i > 0) {
      const SceneProbe& q = frames[i - 1]->probe;
      EXPECT_EQ(p.effect_time - q.effect_time, direction * (p.t - q.t))
          << "frame " << frames[i]->index;
    }
  }
  EXPECT_EQ(reversals, (std::vector<int32_t>{200, 232, 300, 332}));
  EXPECT_EQ(check_rule(
                3, [](const SceneProbe& p) { return p.envelope_end; }, row_0_32),
            4);
}

TEST(ShowScript, BlobCreditsBounceTheSelectedStripOnRows0And32) {
  const Trace& tr = trace();
  const auto started = triggers(5, [](const SceneProbe& p) { return p.envelope_end; });
  std::vector<int32_t> positions, selected;
  for (const FrameRecord* r : started) {
    positions.push_back(r->position);
    selected.push_back(r->probe.selected);
    EXPECT_TRUE(first_frame_at_its_position(r));
    EXPECT_EQ(r->probe.envelope_end, r->probe.t + 42);
  }
  EXPECT_EQ(positions, (std::vector<int32_t>{432, 500, 532, 600, 632}));
  EXPECT_EQ(selected, (std::vector<int32_t>{0, 1, 2, 0, 1}));
  check_rule(
      5, [](const SceneProbe& p) { return p.envelope_end; }, row_0_32);
  // The pixels: only the selected strip's rows ever differ from the strips at rest, and they do
  // while it is displaced.
  int32_t peak = 0;
  for (const FrameRecord* r : scene_frames(5)) {
    const auto& rows = tr.blob_rows.at(r->index);
    peak = std::max(peak, r->probe.envelope);
    // While the bounce runs the selected strip is at full strength even where its shift is 0.
    if (r->probe.envelope_end == 0) {
      EXPECT_TRUE(rows.empty()) << "frame " << r->index;
      continue;
    }
    ASSERT_FALSE(rows.empty()) << "frame " << r->index;
    const int top = 84 + 24 * r->probe.selected;
    EXPECT_GE(rows.front(), top);
    EXPECT_LT(rows.back(), top + 24);
  }
  EXPECT_EQ(peak, 48);  // the first arc peaks at 144, a third of it in pixels
}

TEST(ShowScript, ZoomFlashRestartsOnAccentRows) {
  const auto frames = scene_frames(7);
  int restarts = 0, fired = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const FrameRecord* r = frames[i];
    const bool fresh = i == 0 || frames[i - 1]->position != r->position;
    const bool rule = r->position <= 899 ? row_8_40(r->position) : accent(r->position);
    const bool started = r->probe.flash_end == r->probe.t + 20 &&
                         (i == 0 || frames[i - 1]->probe.flash_end != r->probe.flash_end);
    EXPECT_EQ(started, fresh && rule) << "frame " << r->index << " position " << r->position;
    if (started) {
      ++fired;
      EXPECT_EQ(r->probe.flash_amount, 20);
      if (i > 0 && frames[i - 1]->probe.flash_amount > 20) ++restarts;
    }
  }
  EXPECT_EQ(fired, 2 + 2 * 7);  // order 8: rows 8, 40; orders 9, 10: seven accent rows each
  EXPECT_GE(restarts, 4);       // rows 0 -> 3, 24 -> 27 and 59 -> 62 restart a running flash
}

TEST(ShowScript, DropStartsBumpAndFlashOnTheSameFrame) {
  const auto frames = scene_frames(8);
  const FrameRecord* drop = nullptr;
  for (const FrameRecord* r : frames) {
    if (r->position < 1300) {
      EXPECT_EQ(r->probe.flash_end, 0) << "frame " << r->index;
      EXPECT_EQ(r->probe.envelope_end, 0) << "frame " << r->index;
      EXPECT_EQ(r->probe.effect_time, r->probe.t);
    } else {
      EXPECT_EQ(r->probe.effect_time, 4 * r->probe.t);  // the balls at four times the speed
      if (!drop) drop = r;
    }
    if (r->position <= 1199) {
      EXPECT_TRUE(r->probe.mix == 16 || r->probe.mix == 240) << "frame " << r->index;
      if (r->probe.t >= 300) {
        EXPECT_EQ(r->probe.mix, 240);
      }
    } else if (r->position <= 1500) {
      EXPECT_EQ(r->probe.mix, -1);
    }
  }
  ASSERT_NE(drop, nullptr);
  check_rule(
      8, [](const SceneProbe& p) { return p.envelope_end; },
      [](int32_t position) { return position > 1299 && row_0_32(position); });
  EXPECT_EQ(check_rule(
                8, [](const SceneProbe& p) { return p.flash_end; },
                [](int32_t position) { return position == 1300; }),
            1);
  EXPECT_EQ(drop->position, 1300);
  EXPECT_EQ(drop->probe.flash_end, drop->probe.t + 20);
  EXPECT_EQ(drop->probe.envelope_end, drop->probe.t + 20);
  EXPECT_EQ(drop->probe.selected, 5);  // the first bump's label is the one that highlights none
  // Both kinds of entry frame occur.
  int old = 0;
  for (const FrameRecord* r : frames) old += r->probe.mix == 16;
  EXPECT_GT(old, 10);
  // The exit cross-fade climbs a tick at a time from its first frame past 1500.
  const FrameRecord* last = frames.back();
  EXPECT_GT(last->position, 1500);
  EXPECT_GT(last->probe.mix, 0);
}

TEST(ShowScript, TunnelThumbnailsBounceOnAccentsUpTo1700ThenOn8And40) {
  const auto end_of = [](const SceneProbe& p) { return p.envelope_end; };
  const int fired9 = check_rule(9, end_of, [](int32_t position) {
    return position <= 1700 ? accent(position) : row_8_40(position);
  });
  const int fired10 = check_rule(10, end_of, row_8_40);
  // Order 16: rows 0, 24, 42 and 59 (3, 27 and 62 fall inside a running bounce, and so does
  // 1700: the bounce of row 59 lasts into row 2 of order 17); then 1708 and 1740; in scene 10
  // rows 8 and 40 of order 18.
  EXPECT_EQ(fired9, 6);
  EXPECT_EQ(fired10, 2);
  int32_t expected_selected = 1;
  for (int scene : {9, 10})
    for (const FrameRecord* r : triggers(scene, end_of)) {
      expected_selected = (expected_selected + 2) % 5;
      EXPECT_EQ(r->probe.selected, expected_selected);
      // Counted from the previous frame's scene time.
      const FrameRecord& prev = trace().frames[r->index - 1];
      EXPECT_EQ(r->probe.envelope_end, prev.probe.t + 42);
      // e = t - t_prev: the first arc starts at 0, or one tick on (144 - 11^2 = 23, 7 pixels).
      EXPECT_EQ(r->probe.envelope, r->probe.t == prev.probe.t ? 0 : 7);
    }
}

TEST(ShowScript, ClosingWordIsBlackFromU111) {
  const auto frames = scene_frames(11);
  ASSERT_FALSE(frames.empty());
  static const std::vector<uint32_t> black(kFbPixels, 0);
  const uint64_t black_hash = frame_hash(black.data(), black.size());
  const int32_t T6 = ticks_of(*frames.front());
  int black_frames = 0;
  for (const FrameRecord* r : frames) {
    const int32_t u = ticks_of(*r) - T6 - 100;
    EXPECT_EQ(r->probe.t, u);
    EXPECT_EQ(r->hash == black_hash, u >= 111) << "u = " << u;
    black_frames += u >= 111;
  }
  EXPECT_GT(black_frames, 0);
}

// Hashes of 30 frames spread over the show. After an intended change of any picture, rewrite them
// with: DRIFTLIGHT_UPDATE_GOLDEN=1 build/tests/show/show_script_tests --gtest_filter='*Golden*'
TEST(ShowScript, GoldenFrames) {
  const Trace& tr = trace();
  ASSERT_EQ(tr.status, 0);
  std::vector<int64_t> picks;
  for (int64_t f = 150; f < static_cast<int64_t>(tr.frames.size()); f += 300) picks.push_back(f);
  if (std::getenv("DRIFTLIGHT_UPDATE_GOLDEN")) {
    std::ofstream out(kGoldenFile);
    out << "# frame scene position hash (60 frames a second)\n";
    for (int64_t f : picks) {
      const FrameRecord& r = tr.frames[f];
      out << f << ' ' << r.scene << ' ' << r.position << ' ' << std::hex << r.hash << std::dec
          << '\n';
    }
    GTEST_SKIP() << "rewrote " << kGoldenFile;
  }
  std::ifstream in(kGoldenFile);
  ASSERT_TRUE(in) << "no " << kGoldenFile;
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    int64_t f;
    int scene;
    int32_t position;
    uint64_t hash;
    fields >> f >> scene >> position >> std::hex >> hash;
    ASSERT_LT(f, static_cast<int64_t>(tr.frames.size()));
    const FrameRecord& r = tr.frames[f];
    EXPECT_EQ(r.scene, scene) << "frame " << f;
    EXPECT_EQ(r.position, position) << "frame " << f;
    EXPECT_EQ(r.hash, hash) << "frame " << f << " (scene " << scene << ") changed";
    ++checked;
  }
  EXPECT_GE(checked, 25);
}

}  // namespace
