// The live device: SDL's audio thread asks for 2048-sample buffers of 16-bit mono at 44100 Hz and
// the callback mixes them.
//
// What is heard is estimated from the callback's own rhythm. A device asks for a buffer when the
// one before it has started to play out, so buffer k (its first sample k x 2048) is asked for
// at about the time sample k x 2048 - 2048 leaves the queue, and reaches the speaker kLatency
// after the request. Each request thus gives a guess of the time at which sample 0 was heard;
// a request that comes late (the audio thread was held up) guesses too late, one in the burst
// that fills the queue at the start too early, so the estimate is the median of the guesses of
// the last kWindow requests. At the start the first request alone answers, and the median has
// moved past the start-up burst within half a window (half a second). After a pause (the process
// stopped, the sound server ran dry) the sound really is later: the guesses move with it and the
// median follows within half a window.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "music/snd.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWindow = 21;  // requests, about a second
// From a buffer's request to its first sample at the speaker, measured through PulseAudio (the
// sound server's own buffer and the sink's latency, tests/e2e/pulseaudio.sh prints the offset).
constexpr int64_t kLatencyNs = 31'000'000;

// Audio thread only.
int64_t requested = 0;  // samples asked for since snd_start
int64_t guesses[kWindow];
int guess_count = 0;
// The estimate, for the main thread: when sample 0 was (or will be) at the speaker, on the
// steady clock in ns; kNone before the first request.
constexpr int64_t kNone = INT64_MAX;
std::atomic<int64_t> heard_zero_ns{kNone};

int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

void device_callback(void* user, Uint8* stream, int len) {
  const int64_t t = now_ns();
  const int64_t first = requested;
  requested += len / 2;
  // This buffer plays once the one before it has played out (the first one at once), then
  // takes the path's latency.
  const int64_t queued = first == 0 ? 0 : first - kSndBufferSamples;
  guesses[guess_count++ % kWindow] = t + kLatencyNs - queued * 1'000'000'000 / kSndRate;
  const int n = std::min(guess_count, kWindow);
  int64_t sorted[kWindow];
  std::copy(guesses, guesses + n, sorted);
  std::nth_element(sorted, sorted + n / 2, sorted + n);
  heard_zero_ns.store(sorted[n / 2], std::memory_order_relaxed);
  snd_callback(user, stream, len);
}

}  // namespace

int snd_open(int rate) {
  SDL_AudioSpec want{};
  want.freq = kSndRate;
  want.format = AUDIO_S16LSB;
  want.channels = 1;
  want.samples = kSndBufferSamples;
  want.callback = device_callback;
  want.userdata = nullptr;
  if (SDL_OpenAudio(&want, nullptr) != 0) {
    snd_fail("SDL audio error");
    return 0;
  }
  snd_install(rate);
  return 1;
}

void snd_start() {
  requested = 0;
  guess_count = 0;
  heard_zero_ns.store(kNone, std::memory_order_relaxed);
  SDL_PauseAudio(0);
}

void snd_close() { SDL_CloseAudio(); }

int64_t snd_heard_sample() {
  const int64_t zero = heard_zero_ns.load(std::memory_order_relaxed);
  if (zero == kNone) return -1;
  const int64_t since = now_ns() - zero;
  // Whole samples, rounded towards the past (also before sample 0).
  return since >= 0 ? since * kSndRate / 1'000'000'000 : -1;
}
