// What the running show tells the outside: the scene on screen, and a way for a host's frame
// consumer (the capture tool, a test) to end the show as a viewer's quit would.
#pragma once

// 0 before the first scene, then 1 to 11 while that scene runs (it keeps 11 after the end).
int show_current_scene();
void show_set_scene(int scene);

// Makes the script behave as if video_poll had reported a quit at the end of the current frame.
void show_request_quit();
bool show_quit_requested();
// Forgets a request (before running the show again in the same process).
void show_clear_quit_request();
