#include "driver/timeline.h"

#include <algorithm>
#include <cstdint>

#include "driver/show_state.h"
#include "music/music.h"
#include "platform/platform.h"

bool scene_frame_begin(int32_t last_position, int32_t* position) {
  *position = music_position();
  // Unsigned, so that the -37 of a player that has not started counts as past every scene.
  if (static_cast<uint32_t>(*position) > static_cast<uint32_t>(last_position)) return false;
  return running != 0;
}

void scene_frame_end(const uint32_t* target) {
  video_present(target);
  if (video_poll()) running = 0;
}

int32_t beat_row(int32_t position) { return position % 100; }

bool beat_rows_8_40(int32_t row) { return row >= 0 && (row & ~32) == 8; }

bool beat_rows_0_32(int32_t row) { return row >= 0 && (row & ~32) == 0; }

bool beat_accent(int32_t row) {
  if (row < 0) return false;
  if (row <= 24) return (0x1000009u >> row) & 1u;  // rows 0, 3, 24
  return (row & ~32) == 27 || row == 42 || row == 62;
}

bool envelope_running(int32_t t, int32_t* end) {
  if (*end != 0 && t <= *end) return true;
  *end = 0;
  return false;
}

namespace {

// peak - (x - centre)^2, in 64 bits so that a time far outside the envelope cannot overflow.
int32_t arc(int32_t peak, int64_t x, int64_t centre) {
  constexpr int64_t kFar = 1000000;  // far enough that the result is below any int32
  const int64_t d = std::clamp(x - centre, -kFar, kFar);
  const int64_t v = peak - d * d;
  return v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
}

}  // namespace

int32_t flash_amount(int32_t t, int32_t F) { return arc(120, int64_t{t} - F + 10, 0); }

void flash_trigger(int32_t t, int32_t* F) {
  if (show_gentle && *F != 0 && t <= *F) return;
  *F = t + kFlashLength;
}

int32_t pulse_alpha(int32_t t, int32_t E) { return arc(255, int64_t{t} - E + 15, 0); }

int32_t bounce_height(int32_t t, int32_t E) {
  const int64_t e = int64_t{t} - E + kBounceLength;
  if (e <= 23) return arc(144, e, 12);
  if (e <= 35) return arc(36, e, 30);
  return arc(9, e, 39);
}
