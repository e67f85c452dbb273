// The show: start-up, the scene script and shutdown, against whichever platform host is linked.
#pragma once

// Runs the whole show; returns the process exit status (0 after the show, a quit or an
// unreadable scene file; 1 when the music or the video cannot be started).
int show_main();
