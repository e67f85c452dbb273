// Stand-in script: every scene shows a plain picture of its own (a colour per scene, bars that
// drift with the scene time, the scene's number as white blocks, a flash on rows 8 and 40), so
// that the timing, the cuts and the beats can be seen before the effects exist.
#include "driver/scenes.h"

#include "driver/show_state.h"
#include "driver/timeline.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kSceneColour[11] = {0x203060, 0x305080, 0x206040, 0x407020, 0x706020,
                                       0x703020, 0x602050, 0x402070, 0x205070, 0x303030,
                                       0x101010};

uint32_t add_sat(uint32_t a, uint32_t b) {
  uint32_t r = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t c = ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF);
    r |= (c > 255 ? 255 : c) << shift;
  }
  return r;
}

void draw_placeholder(uint32_t* fb, int scene, int32_t t, int32_t flash) {
  const uint32_t base = kSceneColour[scene];
  for (int y = 0; y < kFbHeight; ++y) {
    for (int x = 0; x < kFbWidth; ++x) {
      const bool bar = ((x + t) / 20) % 2 == 0;
      fb[y * kFbWidth + x] = bar ? base : add_sat(base, 0x202020);
    }
  }
  for (int n = 0; n <= scene; ++n) {  // the scene number as blocks
    for (int y = 8; y < 24; ++y)
      for (int x = 8 + n * 20; x < 24 + n * 20; ++x) fb[y * kFbWidth + x] = 0xFFFFFF;
  }
  if (flash > 0) {
    const uint32_t lift = (kFlashColour & 0xFEFEFE) >> 1;
    const uint32_t amount = static_cast<uint32_t>(flash) * 255 / 120;
    uint32_t add = 0;
    for (int shift = 0; shift < 24; shift += 8)
      add |= (((lift >> shift) & 0xFF) * amount / 255) << shift;
    for (int i = 0; i < kFbPixels; ++i) fb[i] = add_sat(fb[i], add);
  }
}

// One scene: its loop skeleton with a flash on rows 8 and 40.
void run_scene(int scene, int32_t base) {
  int32_t position;
  int32_t flash_end = 0;
  while (scene_frame_begin(kSceneLast[scene], &position)) {
    const int32_t t = clock_ticks() - base;
    if (flash_end == 0 && beat_rows_8_40(beat_row(position))) flash_end = t + kFlashLength;
    const int32_t amount = envelope_running(t, &flash_end) ? flash_amount(t, flash_end) : 0;
    uint32_t* target = scene % 2 == 0 ? fb_main : fb_aux;
    draw_placeholder(target, scene, t, amount);
    scene_frame_end(target);
  }
}

}  // namespace

void scenes_run() {
  ShowTimes& s = show_times;
  s.T0 = clock_ticks();
  run_scene(0, s.T0);
  s.T1 = clock_ticks();
  run_scene(1, s.T1);
  run_scene(2, s.T1);
  s.T2 = clock_ticks();
  run_scene(3, s.T2);
  run_scene(4, s.T2);
  s.T3 = clock_ticks();
  run_scene(5, s.T3);
  run_scene(6, s.T3);
  s.T4 = clock_ticks();
  run_scene(7, s.T4);
  run_scene(8, s.T4);
  s.T5 = clock_ticks();
  run_scene(9, s.T5);
  s.T6 = clock_ticks();
  run_scene(10, s.T6);
}
