// Placeholder: the SDL host is being written.
#include "platform/platform.h"
int video_init(int, int) { return 1; }
int video_present(const uint32_t*) { return 0; }
int video_poll() { return 1; }
void video_shutdown() {}
int32_t clock_ticks() { return 0; }
