#include "driver/show_observe.h"

namespace {
int scene = 0;
bool quit_requested = false;
}  // namespace

int show_current_scene() { return scene; }
void show_set_scene(int s) { scene = s; }
void show_request_quit() { quit_requested = true; }
bool show_quit_requested() { return quit_requested; }
void show_clear_quit_request() { quit_requested = false; }
