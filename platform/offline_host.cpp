// Placeholder: the offline host is being written.
#include "platform/offline.h"
#include "platform/platform.h"
void offline_configure(const OfflineConfig&) {}
int64_t offline_frames_presented() { return 0; }
int64_t offline_time_us() { return 0; }
int video_init(int, int) { return 1; }
int video_present(const uint32_t*) { return 0; }
int video_poll() { return 1; }
void video_shutdown() {}
int32_t clock_ticks() { return 0; }
