// The live device: SDL's audio thread asks for 2048-sample buffers of 16-bit mono at 44100 Hz and
// the callback mixes them.
//
// What is heard is estimated from the callback's own rhythm. The device asks for a buffer when
// what it holds has run down to its latency, so the buffer's first sample reaches the speaker
// kLatencyNs after the request, and each request gives a guess of the time at which sample 0 was
// (or will be) heard. A request can come late (the audio thread was held up, the machine is
// busy), never early, so the estimate is the earliest guess of the last kWindow requests:
//  - at the start the first request alone answers (the show waits for it);
//  - a late buffer's guess is ignored while an on-time guess is in the window;
//  - after a pause (the process stopped, the sound server ran dry and went on later) every new
//    guess is later, and the estimate moves to them once the window has passed them all (a
//    second). What is heard never goes back: the position holds until the sound catches up.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "music/snd.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWindow = 21;  // requests, about a second of sound
// From a buffer's request to its first sample at the speaker through PulseAudio: the server's
// own buffer and the sink's latency as it reports them (29 + 2 ms); tests/e2e/pulseaudio.sh
// prints the offset that results.
constexpr int64_t kLatencyNs = 31'000'000;
// A frame drawn now is seen at the display's next refresh: the position it shows is the one
// heard then. One frame of a 60 Hz display: without it tests/e2e/av_offset measured the window's
// flashes a median 24 ms behind the sound (Xvfb paced at 60 Hz, PulseAudio), with it 0 ms.
constexpr int64_t kShownAfterNs = 16'666'667;

// Audio thread only.
int64_t requested = 0;  // samples asked for since snd_start
int64_t guesses[kWindow];
int guess_count = 0;
// The estimate, for the main thread: when sample 0 was (or will be) at the speaker, on the
// steady clock in ns; kNone before the first request.
constexpr int64_t kNone = INT64_MAX;
std::atomic<int64_t> heard_zero_ns{kNone};
// The latest answer: the estimate may move back (its earliest guess leaves the window), what is
// heard never does, or a row would be seen twice (at the start, the song not yet begun again).
std::atomic<int64_t> heard_last{-1};

int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

void device_callback(void* user, Uint8* stream, int len) {
  const int64_t t = now_ns();
  const int64_t first = requested;
  requested += len / 2;
  // The buffer asked for now follows what is queued, and is heard the path's latency from now.
  guesses[guess_count++ % kWindow] = t + kLatencyNs - first * 1'000'000'000 / kSndRate;
  const int n = std::min(guess_count, kWindow);
  heard_zero_ns.store(*std::min_element(guesses, guesses + n), std::memory_order_relaxed);
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
  snd_install(rate, "SDL audio");
  return 1;
}

void snd_start() {
  requested = 0;
  guess_count = 0;
  heard_zero_ns.store(kNone, std::memory_order_relaxed);
  heard_last.store(-1, std::memory_order_relaxed);
  SDL_PauseAudio(0);
}

void snd_close() { SDL_CloseAudio(); }

// What is heard when the frame being drawn is seen.
int64_t snd_heard_sample() {
  const int64_t zero = heard_zero_ns.load(std::memory_order_relaxed);
  if (zero == kNone) return -1;
  const int64_t since = now_ns() + kShownAfterNs - zero;
  // Whole samples, rounded towards the past (also before sample 0).
  const int64_t sample = since >= 0 ? since * kSndRate / 1'000'000'000 : -1;
  int64_t last = heard_last.load(std::memory_order_relaxed);
  while (sample > last &&
         !heard_last.compare_exchange_weak(last, sample, std::memory_order_relaxed)) {
  }
  return std::max(sample, last);
}
