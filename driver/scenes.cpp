// The scene script: eleven scenes, each a loop of frames that lasts while the music position
// stays at or below the scene's last position. Every scene's set-up runs even after a quit, so
// that the show ends the same way however it ends; a scene entered after a quit draws nothing.
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

// Carried from scene 9 into scene 10: the bounce's end time and the selected thumbnail.
int32_t carry_bounce_end = 0;
int32_t carry_selected = 1;

int32_t now() { return clock_ticks(); }

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
void flash(uint32_t* target, int32_t t, int32_t* F) {
  if (envelope_running(t, F)) {
    const int32_t amount = flash_amount(t, *F);
    blend_add(target, fb_flash, target, kFbPixels, 255, amount);
    scene_probe.flash_amount = amount;
  }
  scene_probe.flash_end = *F;
}

// The three credit strips (strips 2, 3, 4) one under the other; `selected` is drawn displaced by
// `dx` at full strength, or none when selected < 0.
void credit_strips(uint32_t* fb, int32_t selected, int32_t dx) {
  for (int32_t i = 0; i < 3; ++i) {
    const bool sel = i == selected;
    text_draw(6 + (sel ? dx : 0), 84 + 24 * i, 2 + i, sel ? 255 : kRestAlpha, fb);
  }
}

// The five pasted thumbnails at the right edge; while the bounce runs the selected one jumps left.
void thumbnail_column(uint32_t* fb, int32_t t, int32_t* E, int32_t selected) {
  const bool active = envelope_running(t, E);
  const int32_t shift = active ? bounce_height(t, *E) / 3 : 0;
  scene_probe.envelope_end = *E;
  scene_probe.envelope = shift;
  scene_probe.selected = selected;
  for (int32_t i = 0; i < 5; ++i)
    thumbnail(i == selected ? kThumbColumnX - shift : kThumbColumnX, kThumbPitch * i, fb, 0);
}

// Scenes 9 and 10: a beat moves the selection two places on and bounces it. The clock has not
// been read yet, so the bounce counts from the previous frame's time.
void column_bounce(bool fired, int32_t* E, int32_t* s) {
  if (!fired) return;
  *s = (*s + 2) % 5;
  *E = show_times.t_prev + kBounceLength;
}

// --- Scene 1: the intro, flashes on rows 8 and 40 ------------------------------------------
void scene_intro() {
  show_set_scene(1);
  show_times.T0 = now();
  int32_t F = 0, position;
  while (scene_frame_begin(kSceneLast[0], &position)) {
    const int32_t t = now() - show_times.T0;
    // Below position 100 the position is its own row.
    if (F == 0 && beat_rows_8_40(position)) F = t + kFlashLength;
    probe(t, t);
    intro_draw(fb_main, t);
    flash(fb_main, t, &F);
    scene_frame_end(fb_main);
  }
}

// --- Scene 2: cross-fade from the intro to the dot-screen tunnel, opening flash ------------
void scene_dots_in() {
  show_set_scene(2);
  dots_init(kFbWidth, kFbHeight);
  lens_init(1200, 280);
  show_times.T1 = now();
  int32_t F = kFlashLength, position;
  while (scene_frame_begin(kSceneLast[1], &position)) {
    const int32_t clock = now();
    const int32_t t = clock - show_times.T1;
    probe(t, t);
    scene_probe.mix = std::min(t, 255);
    intro_draw(fb_main, clock - show_times.T0);
    dotscreen_draw(fb_aux, t);
    crossfade(fb_main, fb_aux, fb_aux, kFbPixels, scene_probe.mix);
    flash(fb_aux, t, &F);
    scene_frame_end(fb_aux);
  }
}

// --- Scene 3: the dot screen whose time reverses on rows 0 and 32, title pulse --------------
void scene_dots_reverse() {
  show_set_scene(3);
  int32_t d = 1, O = show_times.T1, K = 0, E = 0, position;
  while (scene_frame_begin(kSceneLast[2], &position)) {
    const int32_t clock = now();
    const int32_t t = clock - show_times.T1;
    if (E == 0 && beat_rows_0_32(beat_row(position))) {
      d = -d;
      E = t + kPulseLength;
      O = clock;
      K = t;
    }
    const int32_t tau = (clock - O) * d + K;
    probe(t, tau);
    dotscreen_draw(fb_main, tau);
    if (envelope_running(t, &E)) {
      const int32_t alpha = pulse_alpha(t, E);
      scene_probe.envelope = alpha;
      text_draw(125, 114, 0, alpha, fb_main);
      text_draw(65, 138, 1, alpha, fb_main);
    }
    scene_probe.envelope_end = E;
    scene_frame_end(fb_main);
  }
}

// --- Scene 4: additive ramp from the dot screen to the blob field with the credits ---------
void scene_blobs_in() {
  show_set_scene(4);
  show_times.T2 = now();
  int32_t position;
  while (scene_frame_begin(kSceneLast[3], &position)) {
    const int32_t clock = now();
    const int32_t t = clock - show_times.T2;
    probe(t, t);
    scene_probe.mix = t >= 85 ? 255 : 3 * t;
    dotscreen_draw(fb_main, clock - show_times.T1);
    std::memset(fb_aux, 0, sizeof(uint32_t) * kFbPixels);
    blobs_draw(fb_aux, t);
    credit_strips(fb_aux, -1, 0);
    blend_add(fb_main, fb_aux, fb_aux, kFbPixels, std::max(256 - 3 * t, 0), scene_probe.mix);
    scene_frame_end(fb_aux);
  }
}

// --- Scene 5: the blob field, credit strips bouncing on rows 0 and 32 ------------------------
void scene_blobs() {
  show_set_scene(5);
  int32_t E = 0, s = 2, position;
  while (scene_frame_begin(kSceneLast[4], &position)) {
    const int32_t t = now() - show_times.T2;
    if (E == 0 && beat_rows_0_32(beat_row(position))) {
      E = t + kBounceLength;
      s = (s + 1) % 3;
    }
    std::memset(fb_main, 0, sizeof(uint32_t) * kFbPixels);
    blobs_draw(fb_main, t);
    probe(t, t);
    if (envelope_running(t, &E)) {
      scene_probe.envelope = bounce_height(t, E) / 3;
      scene_probe.selected = s;
      credit_strips(fb_main, s, scene_probe.envelope);
    } else {
      credit_strips(fb_main, -1, 0);
    }
    scene_probe.envelope_end = E;
    scene_frame_end(fb_main);
  }
}

// --- Scene 6: cross-fade from the blob field to the lens over the infinite zoom -------------
void scene_zoom_in() {
  show_set_scene(6);
  colormap_init();
  show_times.T3 = now();
  int32_t position;
  while (scene_frame_begin(kSceneLast[5], &position)) {
    const int32_t clock = now();
    const int32_t t = clock - show_times.T3;
    probe(t, t);
    scene_probe.mix = std::min(t, 255);
    std::memset(fb_main, 0, sizeof(uint32_t) * kFbPixels);
    blobs_draw(fb_main, clock - show_times.T2);
    credit_strips(fb_main, -1, 0);
    lens_zoom_draw(fb_aux, t);
    crossfade(fb_main, fb_aux, fb_aux, kFbPixels, scene_probe.mix);
    scene_frame_end(fb_aux);
  }
}

// --- Scene 7: the lens zoom, flashes on rows 8 and 40, later on the accent rows -------------
void scene_zoom() {
  show_set_scene(7);
  int32_t P = -1, F = 0, position;
  while (scene_frame_begin(kSceneLast[6], &position)) {
    const int32_t t = now() - show_times.T3;
    // Once per position, whatever the flash is doing: a beat restarts a running flash.
    if (position != P) {
      P = position;
      const int32_t r = beat_row(position);
      if (position <= kZoomLateRules ? beat_rows_8_40(r) : beat_accent(r)) flash_trigger(t, &F);
    }
    probe(t, t);
    lens_zoom_draw(fb_main, t);
    flash(fb_main, t, &F);
    scene_frame_end(fb_main);
  }
}

// --- Scene 8: scrolling dot-screen picture, the balls, film strip and bumps -----------------
void scene_balls() {
  show_set_scene(8);
  lens_init(500, 180);
  picture_fill(fb_aux);
  show_times.T4 = now();
  int32_t B = 0, F = 0, S = 4, L = 0, position;
  while (scene_frame_begin(kSceneLast[7], &position)) {
    const int32_t clock = now();
    const int32_t t = clock - show_times.T4;
    show_times.t_prev = t;
    if (B == 0 && position > kDropPosition && (beat_row(position) & 0x5F) == 0) {
      S = (S + 1) % 6;
      B = t + kBumpLength;
    }
    if (F == 0 && position == kDropFlashPosition) F = t + kFlashLength;

    probe(t, position > kDropPosition ? 4 * t : t);
    std::memset(fb_main, 0, sizeof(uint32_t) * kFbPixels);
    // The wobble: 1200 at a bump's start, falling to 0 (-60 on the frame after it ends). It swings
    // the first row shown of the doubled picture in fb_aux around row 0: 48000 is a multiple of
    // the frame height (200 x 240) larger than any swing, so the sum stays positive and the
    // remainder is a row in 0..239, 0 at rest.
    const int32_t A = B != 0 ? 60 * (B - t) : 0;
    const int32_t row = static_cast<int32_t>(std::sin(t / 13.0) * A + 48000) % kFbHeight;
    const int32_t gain = static_cast<int32_t>(std::sin(t / 10.0) * 40 + 220);
    dots_render(fb_main, fb_aux + row * kFbWidth, gain);
    bounce_scene_frame(scene_probe.effect_time);

    bool highlighted = false;
    if (B != 0 && t <= B) {
      const int32_t k = t - B + 10;
      scene_probe.envelope = 21 - k * k / 5;
      blur_h(fb_main, fb_work, 0, 0, 0, 0, kFbWidth, kFbHeight, kFbWidth, kFbHeight,
             scene_probe.envelope);
      std::memcpy(fb_main, fb_work, sizeof(uint32_t) * kFbPixels);
      highlighted = true;
    } else {
      B = 0;
    }
    scene_probe.envelope_end = B;
    scene_probe.selected = S;

    // The film strip along the top moves left a pixel a tick, the labels below move right.
    const int32_t m = t % kFilmPitch;
    thumbnail(0, 0, fb_main, 1);
    for (int32_t k = 0; k < 5; ++k) thumbnail(-1 - m + kFilmPitch * k, -10, fb_main, 0);
    for (int32_t i = 0; i < 5; ++i)
      text_draw(m - 77 + kFilmPitch * i, 210, 0, highlighted && i == S ? 255 : 155, fb_main);

    flash(fb_main, t, &F);

    // Entry: frames flicker between the old effect and the new scene, the new one winning more
    // often until t = 300. The gentle show cross-fades instead, as the scene does when it
    // leaves, along the flicker's average mix; it still draws the random number, so that rand's
    // sequence stays the same.
    if (position <= kEntryLastPosition) {
      lens_zoom_draw(fb_work, 4 * (clock - show_times.T3));
      const bool new_wins = std::rand() % kEntryFlicker >= std::max(kEntryFlicker - t, 0);
      const int32_t a = show_gentle ? entry_fade(t) : new_wins ? kEntryNew : kEntryOld;
      crossfade(fb_work, fb_main, fb_main, kFbPixels, a);
      scene_probe.mix = a;
    }
    // Exit: cross-fade into the lens over the tunnel with its thumbnail column.
    if (music_position() > kExitAfterPosition) {
      if (L == 0) L = clock;
      lens_tunnel_draw(fb_work, t);
      for (int32_t k = 0; k < 5; ++k) thumbnail(kThumbColumnX, kThumbPitch * k, fb_work, 0);
      scene_probe.mix = std::min(clock - L, 255);
      crossfade(fb_main, fb_work, fb_main, kFbPixels, scene_probe.mix);
    }
    scene_frame_end(fb_main);
  }
}

// --- Scene 9: the lens over the blurred tunnel, thumbnails bouncing on the accents ----------
void scene_tunnel() {
  show_set_scene(9);
  int32_t E = 0, s = 1, position;
  while (scene_frame_begin(kSceneLast[8], &position)) {
    // The beat is tested before the clock is read, so a firing counts from the previous frame.
    if (E == 0) {
      const int32_t r = beat_row(position);
      column_bounce(position <= kLateAccentLast ? beat_accent(r) : beat_rows_8_40(r), &E, &s);
    }
    const int32_t t = now() - show_times.T4;
    show_times.t_prev = t;
    probe(t, t);
    lens_tunnel_draw(fb_main, t);
    thumbnail_column(fb_main, t, &E, s);
    scene_frame_end(fb_main);
  }
  carry_bounce_end = E;
  carry_selected = s;
}

// --- Scene 10: the same, fading to black ---------------------------------------------------
void scene_fade() {
  show_set_scene(10);
  std::memset(fb_aux, 0, sizeof(uint32_t) * kFbPixels);
  show_times.T5 = now();
  int32_t E = carry_bounce_end, s = carry_selected, position;
  while (scene_frame_begin(kSceneLast[9], &position)) {
    if (E == 0) column_bounce(beat_rows_8_40(beat_row(position)), &E, &s);
    const int32_t t = now() - show_times.T5;
    show_times.t_prev = t;
    probe(t, t);
    lens_tunnel_draw(fb_main, t);
    thumbnail_column(fb_main, t, &E, s);
    scene_probe.mix = std::min(t, 255);
    crossfade(fb_main, fb_aux, fb_main, kFbPixels, scene_probe.mix);
    scene_frame_end(fb_main);
  }
}

// --- Scene 11: the closing word, then a vertical smear to black ----------------------------
void scene_close() {
  show_set_scene(11);
  show_times.T6 = now();
  constexpr int32_t kStill = 100;  // ticks the word stands still
  constexpr int32_t kSmear = 110;  // ticks of smearing; black after
  int32_t position;
  while (scene_frame_begin(kSceneLast[10], &position)) {
    const int32_t u = now() - show_times.T6 - kStill;
    probe(u, u);
    std::memset(fb_main, 0, sizeof(uint32_t) * kFbPixels);
    text_draw(120, 110, 5, 255, fb_main);
    if (u <= kSmear) {
      scene_probe.envelope = std::max(u, 1);
      blur_v(fb_main, fb_aux, 0, 0, 0, 0, kFbWidth, kFbHeight, kFbWidth, kFbHeight,
             scene_probe.envelope);
    } else {
      std::memset(fb_aux, 0, sizeof(uint32_t) * kFbPixels);
    }
    scene_frame_end(fb_aux);
  }
}

}  // namespace

void scenes_run() {
  carry_bounce_end = 0;
  carry_selected = 1;
  scene_intro();
  scene_dots_in();
  scene_dots_reverse();
  scene_blobs_in();
  scene_blobs();
  scene_zoom_in();
  scene_zoom();
  scene_balls();
  scene_tunnel();
  scene_fade();
  scene_close();
}
