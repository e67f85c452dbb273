// Voice driver and integer mixer. The sequencer sets the control voices; the mixer runs its own
// copies (the mixing voices) and takes over a control voice's position or step only when the
// matching flag says a new one was given. No device here: snd_sdl.cpp or snd_offline.cpp opens
// one, chosen at link time.
#include "music/snd.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "music/pt.h"

AudioDriver snd_driver = {};

namespace {

constexpr double kAmigaClock = 3546836.0;  // Paula's clock, periods are counted in its cycles
constexpr int kMasterMax = 252;

SampleSlot slots[kSndSlots];
Voice control[kSndVoices];
Voice mixing[kSndVoices];
int32_t acc[kSndAccumulator];
int32_t acc_right[kSndAccumulator];  // the right side, for the tools' stereo mix

int open_rate = kSndRate;
int mix_rate = kSndRate;
int master = 63;  // music_init sets 64
int voice_count = 4;
Voice* selected = &control[0];
int tick_rate_given = 50;
int tick_samples = kSndRate / 50;
int carry = 0;
int tempo_bpm = 0;       // the tempo the fraction below belongs to
int64_t tempo_rest = 0;  // carried fraction of a sample, in 1 / (2 * tempo_bpm)
int32_t gain = 65536;
uint64_t clipped = 0;
uint32_t muted = 0;
int out_channels = 1;
int separation = 100;
const int8_t* data_end = nullptr;
const char* last_error = "";

// The ticks' record. Sample counts are kept as their low 32 bits and compared by their difference
// (the ring covers seconds; the counts wrap after 27 hours). An entry is written before the count
// that publishes it; a reader that finds the count moved a whole ring past an entry while it read
// it (only possible with a reading seconds stale) throws the reading away.
constexpr uint32_t kRecordTicks = 256;  // about 5 s at 52 ticks a second: more than any latency
struct TickRecord {
  std::atomic<uint32_t> start;
  std::atomic<int32_t> position;
};
TickRecord record[kRecordTicks];
std::atomic<uint32_t> record_count{0};
std::atomic<int32_t> record_before{0};  // the position before the first tick
int64_t mixed = 0;                      // samples the callback has filled since the reset

void hook_nothing() {}

void reset_voice(Voice& v) {
  uint32_t length = v.length;
  v = Voice{};
  v.length = length;
  v.pan = 127;
  v.new_step = 1;
  v.new_pos = 1;
}

// The steps that keep a position at or below limit, starting from p (0 when p is already past).
inline int steps_within(uint64_t p, uint64_t step, uint32_t limit, int most) {
  const uint64_t bound = (uint64_t(limit) + 1) << 32;
  if (step == 0) return p < bound ? most : 0;
  if (p >= bound) return 0;
  uint64_t n = (bound - 1 - p) / step;
  return n < uint64_t(most) ? int(n) : most;
}

// p advanced by n steps, stopping at the largest position rather than wrapping round to 0.
inline uint64_t advanced(uint64_t p, uint64_t step, int n) {
  const uint64_t add = step * uint64_t(n);
  return add > ~p ? ~uint64_t(0) : p + add;
}

// One voice into the accumulator. The 32.32 position lives in one 64-bit word, so the carry out
// of the fraction lands in the integer part by itself. Runs of samples that cannot reach the loop
// end, the sample end or the last readable byte are mixed without a test; the step that reaches
// one of them takes the tests.
template <bool kFirst>
void mix_voice(Voice& v, int32_t* __restrict out, int count) {
  const int32_t s = (v.volume * master * 255) / 128 / 63;
  uint64_t p = (uint64_t(v.pos) << 32) | v.pos_frac;
  const uint64_t step = (uint64_t(v.step) << 32) | v.step_frac;
  const int8_t* __restrict data = v.data;
  const bool looping = v.loop_flag != 0;
  const uint32_t limit = looping ? v.loop_end : v.length - 1;
  // A loop may end on the byte after its sample (loop end = length); only that byte can be
  // unreadable, at the end of the module buffer, and it then reads as 0.
  const uint32_t fast_limit = std::min(limit, v.readable - 1);
  const uint64_t restart = uint64_t(v.loop_start + 1) << 32;
  int i = 0;
  while (i < count) {
    const int run = steps_within(p, step, fast_limit, count - i);
#pragma GCC unroll 4
    for (int k = 0; k < run; ++k) {
      p += step;
      if (kFirst) {
        out[i + k] = data[p >> 32] * s;
      } else {
        out[i + k] += data[p >> 32] * s;
      }
    }
    i += run;
    if (i == count) break;
    p += step;
    if (uint32_t(p >> 32) > limit) {
      if (!looping) {
        // Ended: silent from here on, but the position keeps running, so that a looping sample
        // swapped in later finds it past its loop end and wraps into the loop.
        v.ended = 1;
        if (kFirst) std::memset(out + i, 0, sizeof(int32_t) * size_t(count - i));
        p = advanced(p, step, count - i - 1);
        break;
      }
      p = restart | (p & 0xFFFFFFFFu);
    }
    const int32_t byte = uint32_t(p >> 32) < v.readable ? data[p >> 32] : 0;
    if (kFirst) {
      out[i++] = byte * s;
    } else {
      out[i++] += byte * s;
    }
  }
  v.pos = uint32_t(p >> 32);
  v.pos_frac = uint32_t(p);
}

// The two sides, each moved towards the middle by the separation, through the gain, clamped and
// interleaved. Only the tools mix in stereo: the show's mono path below is untouched by it.
void write_stereo(int16_t* out, int count) {
  const int64_t own = 100 + separation, other = 100 - separation;
  for (int i = 0; i < count; ++i) {
    const int64_t l = acc[i], r = acc_right[i];
    const int64_t sides[2] = {(l * own + r * other) / 200, (r * own + l * other) / 200};
    for (int k = 0; k < 2; ++k) {
      const int64_t v = (sides[k] * gain + 32768) >> 16;
      const int64_t c = std::clamp<int64_t>(v, -32768, 32767);
      clipped += c != v;
      out[2 * i + k] = int16_t(c);
    }
  }
}

void mix_chunk(int16_t* out, int count) {
  for (int i = 0; i < voice_count; ++i) {
    Voice& c = control[i];
    Voice& m = mixing[i];
    const Voice kept = m;  // position, step and the ended mark stay the mixer's unless handed over
    m = c;
    m.ended = kept.ended;
    if (c.new_pos) {
      c.new_pos = 0;
      m.ended = 0;
    } else {
      m.pos = kept.pos;
      m.pos_frac = kept.pos_frac;
    }
    if (c.new_step) {
      c.new_step = 0;
    } else {
      m.step = kept.step;
      m.step_frac = kept.step_frac;
    }
    m.new_pos = 0;
    m.new_step = 0;
  }
  // The first sounding voice writes the accumulator, the others add to it.
  bool first = true;
  bool first_right = true;
  for (int i = 0; i < voice_count; ++i) {
    Voice& m = mixing[i];
    if (m.length == 0 || m.volume == 0 || m.data == nullptr) continue;
    // The ended mark belongs to one-shot samples: a looping sample swapped into an ended voice
    // plays again, from wherever the running position brings it into its loop.
    if (m.ended && !m.loop_flag) {
      const uint64_t p = advanced((uint64_t(m.pos) << 32) | m.pos_frac,
                                  (uint64_t(m.step) << 32) | m.step_frac, count);
      m.pos = uint32_t(p >> 32);
      m.pos_frac = uint32_t(p);
      continue;
    }
    m.ended = 0;
    if (muted & (1u << i)) continue;
    if (out_channels == 2 && snd_voice_side(i) == 1) {
      if (first_right) {
        mix_voice<true>(m, acc_right, count);
      } else {
        mix_voice<false>(m, acc_right, count);
      }
      first_right = false;
      continue;
    }
    if (first) {
      mix_voice<true>(m, acc, count);
    } else {
      mix_voice<false>(m, acc, count);
    }
    first = false;
  }
  if (first) std::memset(acc, 0, sizeof(int32_t) * size_t(count));
  if (out_channels == 2) {
    if (first_right) std::memset(acc_right, 0, sizeof(int32_t) * size_t(count));
    write_stereo(out, count);
    return;
  }
  if (gain != 65536) {
    for (int i = 0; i < count; ++i) {
      const int64_t v = (int64_t(acc[i]) * gain + 32768) >> 16;
      acc[i] = int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
    }
  }
  int i = 0;
#ifdef __SSE2__
  // Signed saturation from 32 to 16 bits is exactly the clamp to -32768..32767; the samples it
  // changes are those whose 16-bit value differs from the low half of the 32-bit one.
  __m128i over = _mm_setzero_si128();
  for (; i + 8 <= count; i += 8) {
    __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc + i));
    __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc + i + 4));
    const __m128i packed = _mm_packs_epi32(lo, hi);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), packed);
    const __m128i back_lo = _mm_srai_epi32(_mm_unpacklo_epi16(packed, packed), 16);
    const __m128i back_hi = _mm_srai_epi32(_mm_unpackhi_epi16(packed, packed), 16);
    over = _mm_sub_epi32(over, _mm_xor_si128(_mm_cmpeq_epi32(back_lo, lo), _mm_set1_epi32(-1)));
    over = _mm_sub_epi32(over, _mm_xor_si128(_mm_cmpeq_epi32(back_hi, hi), _mm_set1_epi32(-1)));
  }
  alignas(16) int32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), over);
  clipped += uint64_t(lanes[0]) + uint64_t(lanes[1]) + uint64_t(lanes[2]) + uint64_t(lanes[3]);
#endif
  for (; i < count; ++i) {
    out[i] = int16_t(std::clamp(acc[i], -32768, 32767));
    clipped += out[i] != acc[i];
  }
}

}  // namespace

void snd_install(int rate, const char* device_name) {
  open_rate = rate;
  snd_driver =
      AudioDriver{device_name,      snd_reset,         hook_nothing,        hook_nothing,
                  snd_close,        snd_define_sample, snd_set_voice_count, snd_set_master_volume,
                  snd_select_voice, snd_set_sample,    snd_set_period,      snd_set_volume,
                  snd_set_panning,  snd_set_position,  snd_set_data_end};
}

void snd_fail(const char* error) { last_error = error; }

void snd_reset() {
  mix_rate = open_rate;
  for (int i = 0; i < kSndVoices; ++i) {
    reset_voice(control[i]);
    reset_voice(mixing[i]);
  }
  for (SampleSlot& s : slots) s = SampleSlot{};
  selected = &control[0];
  carry = 0;
  tempo_bpm = 0;
  tempo_rest = 0;
  clipped = 0;
  data_end = nullptr;
}

void snd_define_sample(int n, const int8_t* data, uint32_t length, uint32_t loop_start,
                       uint32_t loop_end, uint32_t loop_flag) {
  if (n <= 0 || n >= kSndSlots) return;
  // The loop keeps its true length: the mixer cycles over loop start + 1 .. loop end, reading the
  // byte at loop end itself. Only a loop reaching past the sample is cut, to end at its length.
  if (loop_flag && loop_end > length) loop_end = length;
  if (loop_flag && (length == 0 || loop_start >= loop_end)) loop_flag = 0;
  const bool more = data_end != nullptr && data + length < data_end;
  slots[n] = SampleSlot{data, length, loop_start, loop_end, loop_flag, length + (more ? 1u : 0u)};
}

void snd_set_voice_count(int count) { voice_count = std::clamp(count, 0, kSndVoices); }

void snd_set_master_volume(int v) { master = std::clamp(v, 0, kMasterMax); }

void snd_select_voice(int channel) { selected = &control[std::clamp(channel, 0, kSndVoices - 1)]; }

void snd_set_sample(int n) {
  if (n <= 0 || n >= kSndSlots) return;
  const SampleSlot& s = slots[n];
  Voice& v = *selected;
  v.data = s.data;
  v.length = s.length;
  v.loop_start = s.loop_start;
  v.loop_end = s.loop_end;
  v.loop_flag = s.loop_flag;
  v.readable = s.readable;
  v.sample = n;
}

void snd_set_period(int32_t period) {
  Voice& v = *selected;
  if (period <= 0) {
    // 0 is a voice standing still; below 0 (vibrato under the lowest period) stops it too.
    v.step = 0;
    v.step_frac = 0;
  } else {
    v.step = uint32_t(int64_t(kAmigaClock) / period / mix_rate);
    double q = kAmigaClock / (double(period) * mix_rate);
    double frac = q - double(int64_t(q));
    v.step_frac = uint32_t(frac * 16777216.0) << 8;
  }
  v.new_step = 1;
}

void snd_set_volume(int v) { selected->volume = std::clamp(v, 0, 255); }

void snd_set_panning(int p) { selected->pan = p & 255; }

void snd_set_data_end(const int8_t* end) { data_end = end; }

void snd_set_position(uint32_t offset) {
  Voice& v = *selected;
  if (offset > v.loop_end) v.loop_flag = 0;
  if (offset < v.length) {
    v.pos = offset;
    v.pos_frac = 0;
    v.new_pos = 1;
  }
}

void snd_mix(int16_t* out, int count) {
  while (count > 0) {
    int n = std::min(count, kSndAccumulator);
    mix_chunk(out, n);
    out += n * out_channels;
    count -= n;
  }
}

void snd_mute_voices(uint32_t mask) { muted = mask; }

void snd_set_tick_rate(int tick_rate) {
  tick_rate_given = tick_rate;
  tick_samples = mix_rate / std::max(tick_rate, 1);
  if (tick_samples < 1) tick_samples = 1;
  carry = 0;
  tempo_bpm = 0;
  tempo_rest = 0;
}

int snd_next_tick_samples() {
  const int bpm = pt_tempo();
  if (bpm <= 0) return tick_samples;
  if (bpm != tempo_bpm) {
    tempo_bpm = bpm;
    tempo_rest = 0;
  }
  const int64_t whole = int64_t(mix_rate) * 5 + tempo_rest;  // rate * 2.5 / bpm, times 2 * bpm
  tempo_rest = whole % (2 * bpm);
  return std::max(int(whole / (2 * bpm)), 1);
}

void snd_set_output(int channels, int separation_percent) {
  out_channels = channels == 2 ? 2 : 1;
  separation = std::clamp(separation_percent, 0, 100);
}

int snd_voice_side(int voice) { return ((voice + 1) >> 1) & 1; }

void snd_set_gain(int32_t gain_q16) { gain = std::max(gain_q16, 0); }
uint64_t snd_clipped_samples() { return clipped; }

// Every tick owns its samples, as many as snd_next_tick_samples gives once it has run, and its
// pt_tick runs before the first of them is mixed; the part of a tick that does not fit is carried
// into the next buffer. A buffer that ends on a tick's last sample runs the next tick already.
// Each tick is recorded at the sample where its sound begins.
void snd_callback(void*, uint8_t* stream, int length_bytes) {
  int16_t* out = reinterpret_cast<int16_t*>(stream);
  const int n = length_bytes / 2 / out_channels;  // frames
  const int64_t first = mixed;
  mixed += n;
  int pos = 0;
  if (carry > 0) {
    int m = std::min(carry, n);  // a tick longer than the buffer spans several callbacks
    snd_mix(out, m);
    pos = m;
    carry -= m;
    if (carry > 0) return;
  }
  for (;;) {
    pt_tick();
    snd_record_tick(first + pos, pt_order.load(std::memory_order_relaxed) * 100 +
                                     pt_row.load(std::memory_order_relaxed));
    const int t = snd_next_tick_samples();
    const int m = std::min(t, n - pos);
    if (m > 0) snd_mix(out + pos * out_channels, m);
    pos += m;
    if (m < t) {
      carry = t - m;
      return;
    }
  }
}

void snd_record_reset() {
  mixed = 0;
  record_before.store(
      pt_order.load(std::memory_order_relaxed) * 100 + pt_row.load(std::memory_order_relaxed),
      std::memory_order_relaxed);
  record_count.store(0, std::memory_order_release);
}

void snd_record_tick(int64_t start_sample, int32_t position) {
  const uint32_t i = record_count.load(std::memory_order_relaxed);
  TickRecord& r = record[i % kRecordTicks];
  // A reader that sees this entry's new values sees the count that announced them coming.
  std::atomic_thread_fence(std::memory_order_release);
  r.start.store(uint32_t(start_sample), std::memory_order_relaxed);
  r.position.store(position, std::memory_order_relaxed);
  record_count.store(i + 1, std::memory_order_release);
}

int snd_record_read(uint32_t* next, uint32_t* starts, int32_t* positions, int most) {
  const uint32_t count = record_count.load(std::memory_order_relaxed);
  if (int32_t(count - *next) < 0) *next = 0;                       // reset since
  if (count - *next > kRecordTicks) *next = count - kRecordTicks;  // the older ones are gone
  int n = 0;
  for (; n < most && *next != count; ++n, ++*next) {
    starts[n] = record[*next % kRecordTicks].start.load(std::memory_order_relaxed);
    positions[n] = record[*next % kRecordTicks].position.load(std::memory_order_relaxed);
  }
  return n;
}

int32_t snd_position_at(int64_t sample) {
  for (;;) {
    const uint32_t count = record_count.load(std::memory_order_acquire);
    const uint32_t kept = std::min(count, kRecordTicks - 1);  // one spare for the writer
    bool overwritten = false;
    // Newest first: the heard sample is usually a few ticks behind the last one mixed.
    for (uint32_t k = 1; k <= kept; ++k) {
      const TickRecord& r = record[(count - k) % kRecordTicks];
      const uint32_t start = r.start.load(std::memory_order_relaxed);
      const int32_t p = r.position.load(std::memory_order_relaxed);
      // The oldest entry kept answers for anything older, once the ring has wrapped.
      if (int32_t(uint32_t(sample) - start) < 0 && !(k == kept && count > kept)) continue;
      std::atomic_thread_fence(std::memory_order_acquire);
      overwritten = record_count.load(std::memory_order_relaxed) - (count - k) >= kRecordTicks;
      if (!overwritten) return p;
      break;
    }
    if (!overwritten) return record_before.load(std::memory_order_relaxed);
  }
}

const Voice* snd_control_voices() { return control; }
const Voice* snd_mixing_voices() { return mixing; }
const SampleSlot* snd_slots() { return slots; }
int snd_voice_count() { return voice_count; }
int snd_master_volume() { return master; }
int snd_carry() { return carry; }
int snd_tick_rate() { return tick_rate_given; }
const char* snd_last_error() { return last_error; }
