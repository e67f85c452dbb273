// The show: start-up, the scene script and shutdown, against whichever platform host is linked.
#pragma once

// Runs the whole show; returns the process exit status (0 after the show, a quit or an
// unreadable scene file; 1 when the music or the video cannot be started).
int show_main();

// The program's options (--gentle, --help). Returns -1 when the show should run, else the exit
// status to end with (0 after --help, 2 after an unknown argument).
int show_options(int argc, char** argv);

// The gentle show: the same music, scenes, cues and timing, with every flash and flicker kept
// under three a second (scene 8 cross-fades in instead of flickering, a beat that would restart
// a running flash is held). Set before show_main, or while the page waits for the viewer's
// choice; false plays the show as written.
void show_set_gentle(bool gentle);
bool show_is_gentle();
