#include "driver/show_observe.h"

#include "driver/show_state.h"

namespace {
int scene = 0;
}  // namespace

int show_current_scene() { return scene; }
void show_set_scene(int s) { scene = s; }
void show_request_quit() { running = 0; }

SceneProbe scene_probe;
