// The start screen: the photosensitivity warning and the two choices, shown in the window before
// the music starts.
#pragma once

// Shows the start screen until the viewer chooses. Sets show_gentle for the gentle show.
// Returns false when the viewer left instead (Escape, q, closing the window).
bool start_screen_run();
