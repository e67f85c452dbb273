// What the running show tells the outside: the scene on screen, and a way for a host's frame
// consumer (the capture tool, a test) to end the show as a viewer's quit would.
#pragma once
#include <cstdint>

// 0 before the first scene, then 1 to 11 from the set-up of that scene on (11 after the end).
int show_current_scene();
void show_set_scene(int scene);

// The same as a quit reported by video_poll: the current scene ends before its next frame, the
// remaining set-up steps run and the show returns 0.
void show_request_quit();

// The script's state on the frame being presented, for observers that follow the beats
// without looking at pixels. Each scene fills it just before presenting; fields a scene
// does not use stay at their neutral values (0, or -1 for selected and mix).
struct SceneProbe {
  int32_t t;             // the scene time (scene 11: the smear's clock, 100 ticks behind it)
  int32_t effect_time;   // the time handed to the scene's main effect (scene 3: the reversing one)
  int32_t flash_end;     // the running flash's end time, 0 = none
  int32_t flash_amount;  // what the flash added on this frame, 0 = no flash drawn
  int32_t envelope_end;  // the end time of the text pulse, the bounce or scene 8's bump; 0 = none
  int32_t envelope;      // this frame's pulse alpha, bounce shift (h / 3) or bump blur radius
  int32_t selected;      // the selected strip, label or thumbnail; -1 = none
  int32_t mix;           // the alpha of a transition's cross-fade on this frame; -1 = none
};
extern SceneProbe scene_probe;
