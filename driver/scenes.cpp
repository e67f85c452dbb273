// The scene script: eleven scenes, each a loop of frames that lasts while the music position
// stays at or below the scene's last position. Every scene's set-up runs even after a quit, so
// that the show ends the same way however it ends; a scene entered after a quit draws nothing.
// Each scene below is a set-up and a frame; the table at the end (kScript) plays them in order.
#include "driver/scenes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "driver/show_observe.h"
#include "driver/show_state.h"
#include "driver/timeline.h"
#include "effects/blobs.h"
#include "effects/compose.h"
#include "effects/dots.h"
#include "effects/lens.h"
#include "effects/lens_tunnel.h"
#include "effects/tunnel.h"
#include "effects/zoom.h"
#include "music/music.h"
#include "platform/platform.h"
#include "scene3d/bounce.h"

namespace {

// The music positions past which scenes 8 and 9 change their beat rules or transitions.
constexpr int32_t kDropPosition = 1299;  // scene 8: bumps, the drop's flash, fast balls
constexpr int32_t kDropFlashPosition = 1300;
constexpr int32_t kEntryLastPosition = 1199;  // scene 8: flickering entry up to here
constexpr int32_t kExitAfterPosition = 1500;  // scene 8: cross-fade exit from here
constexpr int32_t kLateAccentLast = 1700;     // scene 9: accent rows up to and including this
constexpr int32_t kZoomLateRules = 899;       // scene 7: accent rows above this

constexpr int32_t kBumpLength = 20;
constexpr int32_t kEntryFlicker = 300;  // ticks until scene 8's entry always shows the new scene
constexpr int32_t kEntryNew = 240;      // the entry's mix when the new scene wins a frame
constexpr int32_t kEntryOld = 16;       // and when the old effect does
constexpr int32_t kRestAlpha = 200;     // credit strips at rest
constexpr int32_t kThumbColumnX = 245;  // the thumbnail column of scenes 8 to 10
constexpr int32_t kThumbPitch = 48;
constexpr int32_t kFilmPitch = 78;  // scene 8's film strip and labels repeat every 78 pixels

int32_t now() { return clock_ticks(); }

// Base times: the clock (clock_ticks) when a scene began, named after the effect that counts from
// it. A scene that carries on an earlier scene's effect keeps counting from that scene's base.
struct BaseTimes {
  int32_t intro;  // scene 1: the intro, still fading out in scene 2
  int32_t dots;   // scene 2: the dot-screen tunnel of scenes 2 and 3, fading out in scene 4
  int32_t blobs;  // scene 4: the blob field of scenes 4 and 5, fading out in scene 6
  int32_t zoom;   // scene 6: the lens zoom of scenes 6 and 7, scene 8's flickering entry
  int32_t balls;  // scene 8: the balls, then the lens over the tunnel of scenes 8 and 9
  int32_t fade;   // scene 10: the fade to black
  int32_t close;  // scene 11: the closing word and its smear
};
BaseTimes base;

// What every frame starts from: the music position, the clock read once at the top of the
// frame, and the scene time t (the clock minus the scene's base time).
struct Frame {
  int32_t position;
  int32_t clock;
  int32_t t;
};

// Scene 8's gentle entry: the mix the flicker has on average at scene time t (the new scene wins
// with chance t / 300), as a steady cross-fade from 16 to 240.
int32_t entry_fade(int32_t t) {
  return kEntryOld + (kEntryNew - kEntryOld) * std::clamp(t, 0, kEntryFlicker) / kEntryFlicker;
}

// Starts the observers' record of a frame.
void probe(int32_t t, int32_t effect_time) {
  scene_probe = SceneProbe{t, effect_time, 0, 0, 0, 0, -1, -1};
}

// Flash: brightens the target towards the flash colour while the envelope runs.
void flash(uint32_t* target, int32_t t, int32_t* flash_end) {
  if (envelope_running(t, flash_end)) {
    const int32_t amount = flash_amount(t, *flash_end);
    blend_add(target, fb_flash, target, kFbPixels, 255, amount);
    scene_probe.flash_amount = amount;
  }
  scene_probe.flash_end = *flash_end;
}

// The three credit strips (strips 2, 3, 4) one under the other; `selected` is drawn displaced by
// `dx` at full strength, or none when selected < 0.
void credit_strips(uint32_t* fb, int32_t selected, int32_t dx) {
  for (int32_t i = 0; i < 3; ++i) {
    const bool sel = i == selected;
    text_draw(6 + (sel ? dx : 0), 84 + 24 * i, 2 + i, sel ? 255 : kRestAlpha, fb);
  }
}

// The thumbnail column of scenes 9 and 10, carried from one into the other: the bounce's end
// time (0 = none) and the selected thumbnail.
struct ThumbnailColumn {
  int32_t bounce_end = 0;
  int32_t selected = 1;
};
ThumbnailColumn column;

// The scene time of the frame before, carried from scene 8 into 9 and from 9 into 10: a beat of
// scenes 9 and 10 starts its bounce from it.
int32_t previous_t = 0;

// The five pasted thumbnails at the right edge; while the bounce runs the selected one jumps left.
void thumbnail_column(uint32_t* fb, int32_t t) {
  const bool active = envelope_running(t, &column.bounce_end);
  const int32_t shift = active ? bounce_height(t, column.bounce_end) / 3 : 0;
  scene_probe.envelope_end = column.bounce_end;
  scene_probe.envelope = shift;
  scene_probe.selected = column.selected;
  for (int32_t i = 0; i < 5; ++i)
    thumbnail(i == column.selected ? kThumbColumnX - shift : kThumbColumnX, kThumbPitch * i, fb, 0);
}

// Scenes 9 and 10: a beat, while no bounce runs, moves the selection two places on and bounces
// it. The bounce counts from the previous frame's scene time, not this frame's.
void column_bounce(bool fired) {
  if (!fired) return;
  column.selected = (column.selected + 2) % 5;
  column.bounce_end = previous_t + kBounceLength;
}

// --- Scene 1: the intro, flashes on rows 8 and 40 ------------------------------------------
int32_t intro_flash_end;

void intro_set_up() { intro_flash_end = 0; }

const uint32_t* intro_frame(const Frame& f) {
  // Below position 100 the position is its own row.
  if (intro_flash_end == 0 && beat_rows_8_40(f.position)) intro_flash_end = f.t + kFlashLength;
  probe(f.t, f.t);
  intro_draw(fb_main, f.t);
  flash(fb_main, f.t, &intro_flash_end);
  return fb_main;
}

// --- Scene 2: cross-fade from the intro to the dot-screen tunnel, opening flash ------------
int32_t dots_in_flash_end;

void dots_in_set_up() {
  dots_init(kFbWidth, kFbHeight);
  lens_init(1200, 280);
  dots_in_flash_end = kFlashLength;
}

const uint32_t* dots_in_frame(const Frame& f) {
  probe(f.t, f.t);
  scene_probe.mix = std::min(f.t, 255);
  intro_draw(fb_main, f.clock - base.intro);
  dotscreen_draw(fb_aux, f.t);
  crossfade(fb_main, fb_aux, fb_aux, kFbPixels, scene_probe.mix);
  flash(fb_aux, f.t, &dots_in_flash_end);
  return fb_aux;
}

// --- Scene 3: the dot screen whose time reverses on rows 0 and 32, title pulse --------------
// A beat turns the dot screen's time round: from the turn on it runs from the scene time of the
// turn, forwards or backwards.
struct DotsReverse {
  int32_t direction;   // +1 or -1
  int32_t turn_clock;  // the clock at the last turn
  int32_t turn_t;      // the scene time at the last turn
  int32_t pulse_end;   // the title pulse's end time, 0 = none
};
DotsReverse reverse;

void dots_reverse_set_up() { reverse = DotsReverse{1, base.dots, 0, 0}; }

const uint32_t* dots_reverse_frame(const Frame& f) {
  if (reverse.pulse_end == 0 && beat_rows_0_32(beat_row(f.position))) {
    reverse.direction = -reverse.direction;
    reverse.pulse_end = f.t + kPulseLength;
    reverse.turn_clock = f.clock;
    reverse.turn_t = f.t;
  }
  const int32_t tau = (f.clock - reverse.turn_clock) * reverse.direction + reverse.turn_t;
  probe(f.t, tau);
  dotscreen_draw(fb_main, tau);
  if (envelope_running(f.t, &reverse.pulse_end)) {
    const int32_t alpha = pulse_alpha(f.t, reverse.pulse_end);
    scene_probe.envelope = alpha;
    text_draw(125, 114, 0, alpha, fb_main);
    text_draw(65, 138, 1, alpha, fb_main);
  }
  scene_probe.envelope_end = reverse.pulse_end;
  return fb_main;
}

// --- Scene 4: additive ramp from the dot screen to the blob field with the credits ---------
const uint32_t* blobs_in_frame(const Frame& f) {
  probe(f.t, f.t);
  scene_probe.mix = f.t >= 85 ? 255 : 3 * f.t;
  dotscreen_draw(fb_main, f.clock - base.dots);
  std::memset(fb_aux, 0, sizeof(uint32_t) * kFbPixels);
  blobs_draw(fb_aux, f.t);
  credit_strips(fb_aux, -1, 0);
  blend_add(fb_main, fb_aux, fb_aux, kFbPixels, std::max(256 - 3 * f.t, 0), scene_probe.mix);
  return fb_aux;
}

// --- Scene 5: the blob field, credit strips bouncing on rows 0 and 32 ------------------------
struct CreditBounce {
  int32_t bounce_end;  // 0 = none
  int32_t strip;       // the strip the last bounce moved (0 to 2)
};
CreditBounce credits;

void blobs_set_up() { credits = CreditBounce{0, 2}; }

const uint32_t* blobs_frame(const Frame& f) {
  if (credits.bounce_end == 0 && beat_rows_0_32(beat_row(f.position))) {
    credits.bounce_end = f.t + kBounceLength;
    credits.strip = (credits.strip + 1) % 3;
  }
  std::memset(fb_main, 0, sizeof(uint32_t) * kFbPixels);
  blobs_draw(fb_main, f.t);
  probe(f.t, f.t);
  if (envelope_running(f.t, &credits.bounce_end)) {
    scene_probe.envelope = bounce_height(f.t, credits.bounce_end) / 3;
    scene_probe.selected = credits.strip;
    credit_strips(fb_main, credits.strip, scene_probe.envelope);
  } else {
    credit_strips(fb_main, -1, 0);
  }
  scene_probe.envelope_end = credits.bounce_end;
  return fb_main;
}

// --- Scene 6: cross-fade from the blob field to the lens over the infinite zoom -------------
void zoom_in_set_up() { colormap_init(); }

const uint32_t* zoom_in_frame(const Frame& f) {
  probe(f.t, f.t);
  scene_probe.mix = std::min(f.t, 255);
  std::memset(fb_main, 0, sizeof(uint32_t) * kFbPixels);
  blobs_draw(fb_main, f.clock - base.blobs);
  credit_strips(fb_main, -1, 0);
  lens_zoom_draw(fb_aux, f.t);
  crossfade(fb_main, fb_aux, fb_aux, kFbPixels, scene_probe.mix);
  return fb_aux;
}

// --- Scene 7: the lens zoom, flashes on rows 8 and 40, later on the accent rows -------------
struct ZoomFlash {
  int32_t beat_position;  // the position whose row was last tested, -1 before the first
  int32_t flash_end;      // 0 = none
};
ZoomFlash zoom;

void zoom_set_up() { zoom = ZoomFlash{-1, 0}; }

const uint32_t* zoom_frame(const Frame& f) {
  // Once per position, whatever the flash is doing: a beat restarts a running flash.
  if (f.position != zoom.beat_position) {
    zoom.beat_position = f.position;
    const int32_t r = beat_row(f.position);
    if (f.position <= kZoomLateRules ? beat_rows_8_40(r) : beat_accent(r))
      flash_trigger(f.t, &zoom.flash_end);
  }
  probe(f.t, f.t);
  lens_zoom_draw(fb_main, f.t);
  flash(fb_main, f.t, &zoom.flash_end);
  return fb_main;
}

// --- Scene 8: scrolling dot-screen picture, the balls, film strip and bumps -----------------
// Its entry flickers (the gentle show: cross-fades) from the lens zoom over the first 300 ticks
// from its base time, base.balls; after the drop a beat bumps the picture and lights a label.
struct Balls {
  int32_t bump_end;    // the bump's end time, 0 = none
  int32_t flash_end;   // the drop's flash, 0 = none
  int32_t lit_label;   // the label a bump lights (0 to 4; 5 lights none)
  int32_t exit_clock;  // the clock when the exit cross-fade began, 0 = not yet
};
Balls balls;

void balls_set_up() {
  lens_init(500, 180);
  picture_fill(fb_aux);
  balls = Balls{0, 0, 4, 0};
}

const uint32_t* balls_frame(const Frame& f) {
  const int32_t t = f.t;
  previous_t = t;
  if (balls.bump_end == 0 && f.position > kDropPosition && beat_rows_0_32(beat_row(f.position))) {
    balls.lit_label = (balls.lit_label + 1) % 6;
    balls.bump_end = t + kBumpLength;
  }
  if (balls.flash_end == 0 && f.position == kDropFlashPosition) balls.flash_end = t + kFlashLength;

  probe(t, f.position > kDropPosition ? 4 * t : t);
  std::memset(fb_main, 0, sizeof(uint32_t) * kFbPixels);
  // The wobble: 1200 at a bump's start, falling to 0 (-60 on the frame after it ends). It swings
  // the first row shown of the doubled picture in fb_aux around row 0: 48000 is a multiple of
  // the frame height (200 x 240) larger than any swing, so the sum stays positive and the
  // remainder is a row in 0..239, 0 at rest.
  const int32_t wobble = balls.bump_end != 0 ? 60 * (balls.bump_end - t) : 0;
  const int32_t row = static_cast<int32_t>(std::sin(t / 13.0) * wobble + 48000) % kFbHeight;
  const int32_t gain = static_cast<int32_t>(std::sin(t / 10.0) * 40 + 220);
  dots_render(fb_main, fb_aux + row * kFbWidth, gain);
  bounce_scene_frame(scene_probe.effect_time);

  bool highlighted = false;
  if (balls.bump_end != 0 && t <= balls.bump_end) {
    const int32_t k = t - balls.bump_end + 10;
    scene_probe.envelope = 21 - k * k / 5;
    blur_h(fb_main, fb_work, 0, 0, 0, 0, kFbWidth, kFbHeight, kFbWidth, kFbHeight,
           scene_probe.envelope);
    std::memcpy(fb_main, fb_work, sizeof(uint32_t) * kFbPixels);
    highlighted = true;
  } else {
    balls.bump_end = 0;
  }
  scene_probe.envelope_end = balls.bump_end;
  scene_probe.selected = balls.lit_label;

  // The film strip along the top moves left a pixel a tick, the labels below move right.
  const int32_t m = t % kFilmPitch;
  thumbnail(0, 0, fb_main, 1);
  for (int32_t k = 0; k < 5; ++k) thumbnail(-1 - m + kFilmPitch * k, -10, fb_main, 0);
  for (int32_t i = 0; i < 5; ++i) {
    const bool lit = highlighted && i == balls.lit_label;
    text_draw(m - 77 + kFilmPitch * i, 210, 0, lit ? 255 : 155, fb_main);
  }

  flash(fb_main, t, &balls.flash_end);

  // Entry: frames flicker between the old effect and the new scene, the new one winning more
  // often until t = 300. The gentle show cross-fades instead, as the scene does when it
  // leaves, along the flicker's average mix; it still draws the random number, so that rand's
  // sequence stays the same.
  if (f.position <= kEntryLastPosition) {
    lens_zoom_draw(fb_work, 4 * (f.clock - base.zoom));
    const bool new_wins = std::rand() % kEntryFlicker >= std::max(kEntryFlicker - t, 0);
    const int32_t a = show_gentle ? entry_fade(t) : new_wins ? kEntryNew : kEntryOld;
    crossfade(fb_work, fb_main, fb_main, kFbPixels, a);
    scene_probe.mix = a;
  }
  // Exit: cross-fade into the lens over the tunnel with its thumbnail column. The position is
  // read again: the music may have moved on while the frame was drawn.
  if (music_position() > kExitAfterPosition) {
    if (balls.exit_clock == 0) balls.exit_clock = f.clock;
    lens_tunnel_draw(fb_work, t);
    for (int32_t k = 0; k < 5; ++k) thumbnail(kThumbColumnX, kThumbPitch * k, fb_work, 0);
    scene_probe.mix = std::min(f.clock - balls.exit_clock, 255);
    crossfade(fb_main, fb_work, fb_main, kFbPixels, scene_probe.mix);
  }
  return fb_main;
}

// --- Scene 9: the lens over the blurred tunnel, thumbnails bouncing on the accents ----------
void tunnel_set_up() { column = ThumbnailColumn{}; }

const uint32_t* tunnel_frame(const Frame& f) {
  if (column.bounce_end == 0) {
    const int32_t r = beat_row(f.position);
    column_bounce(f.position <= kLateAccentLast ? beat_accent(r) : beat_rows_8_40(r));
  }
  previous_t = f.t;
  probe(f.t, f.t);
  lens_tunnel_draw(fb_main, f.t);
  thumbnail_column(fb_main, f.t);
  return fb_main;
}

// --- Scene 10: the same, fading to black ---------------------------------------------------
void fade_set_up() { std::memset(fb_aux, 0, sizeof(uint32_t) * kFbPixels); }

const uint32_t* fade_frame(const Frame& f) {
  if (column.bounce_end == 0) column_bounce(beat_rows_8_40(beat_row(f.position)));
  previous_t = f.t;
  probe(f.t, f.t);
  lens_tunnel_draw(fb_main, f.t);
  thumbnail_column(fb_main, f.t);
  scene_probe.mix = std::min(f.t, 255);
  crossfade(fb_main, fb_aux, fb_main, kFbPixels, scene_probe.mix);
  return fb_main;
}

// --- Scene 11: the closing word, then a vertical smear to black ----------------------------
constexpr int32_t kCloseStill = 100;  // ticks the word stands still
constexpr int32_t kCloseSmear = 110;  // ticks of smearing; black after

const uint32_t* close_frame(const Frame& f) {
  const int32_t smear_t = f.t - kCloseStill;  // the smear's clock, from when the word starts to go
  probe(smear_t, smear_t);
  std::memset(fb_main, 0, sizeof(uint32_t) * kFbPixels);
  text_draw(120, 110, 5, 255, fb_main);
  if (smear_t <= kCloseSmear) {
    scene_probe.envelope = std::max(smear_t, 1);
    blur_v(fb_main, fb_aux, 0, 0, 0, 0, kFbWidth, kFbHeight, kFbWidth, kFbHeight,
           scene_probe.envelope);
  } else {
    std::memset(fb_aux, 0, sizeof(uint32_t) * kFbPixels);
  }
  return fb_aux;
}

// --- The script ------------------------------------------------------------------------------
// A scene: its set-up runs once (even after a quit), then its frame runs while the music position
// stays at or below its last position. Its frames count from its base time, which the scene
// either takes as it begins (after its set-up) or keeps from an earlier scene.
enum BaseRule : bool { kKeeps = false, kStarts = true };

struct Scene {
  int number;
  int32_t last_position;
  int32_t* base_time;
  BaseRule base_rule;
  void (*set_up)();                          // null when there is nothing to prepare
  const uint32_t* (*frame)(const Frame& f);  // draws a frame, returns the buffer to present
};

constexpr Scene kScript[] = {
    // number, last position, base time, taken or kept, set-up, frame
    {1, 99, &base.intro, kStarts, intro_set_up, intro_frame},
    {2, 199, &base.dots, kStarts, dots_in_set_up, dots_in_frame},
    {3, 399, &base.dots, kKeeps, dots_reverse_set_up, dots_reverse_frame},
    {4, 429, &base.blobs, kStarts, nullptr, blobs_in_frame},
    {5, 699, &base.blobs, kKeeps, blobs_set_up, blobs_frame},
    {6, 799, &base.zoom, kStarts, zoom_in_set_up, zoom_in_frame},
    {7, 1099, &base.zoom, kKeeps, zoom_set_up, zoom_frame},
    {8, 1599, &base.balls, kStarts, balls_set_up, balls_frame},
    {9, 1799, &base.balls, kKeeps, tunnel_set_up, tunnel_frame},
    {10, 1899, &base.fade, kStarts, fade_set_up, fade_frame},
    {11, 1999, &base.close, kStarts, nullptr, close_frame},
};

constexpr bool script_matches_last_positions() {
  for (int i = 0; i < 11; ++i)
    if (kScript[i].number != i + 1 || kScript[i].last_position != kSceneLast[i]) return false;
  return true;
}
static_assert(script_matches_last_positions(), "the script and kSceneLast disagree");

void play(const Scene& scene) {
  show_set_scene(scene.number);
  if (scene.set_up) scene.set_up();
  if (scene.base_rule == kStarts) *scene.base_time = now();
  int32_t position;
  while (scene_frame_begin(scene.last_position, &position)) {
    const int32_t clock = now();
    scene_frame_end(scene.frame(Frame{position, clock, clock - *scene.base_time}));
  }
}

}  // namespace

void scenes_run() {
  base = BaseTimes{};
  previous_t = 0;
  for (const Scene& scene : kScript) play(scene);
}
