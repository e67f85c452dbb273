// What the running show tells the outside: the scene on screen, and a way for a host's frame
// consumer (the capture tool, a test) to end the show as a viewer's quit would.
#pragma once

// 0 before the first scene, then 1 to 11 from the set-up of that scene on (11 after the end).
int show_current_scene();
void show_set_scene(int scene);

// The same as a quit reported by video_poll: the current scene ends before its next frame, the
// remaining set-up steps run and the show returns 0.
void show_request_quit();
