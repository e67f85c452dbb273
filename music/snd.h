// The voice driver: one voice per tracker channel, periods turned into resampling steps, and the
// device callback that cuts its buffers into ticks and mixes the voices to 16-bit mono.
#pragma once
#include <cstdint>

constexpr int kSndRate = 44100;          // mixing rate, samples per second
constexpr int kSndBufferSamples = 2048;  // device buffer
constexpr int kSndVoices = 32;
constexpr int kSndSlots = 32;           // sample numbers 1..31; slot 0 is never defined
constexpr int kSndAccumulator = 20480;  // longest single mix

// Operations the loader and the sequencer reach the driver through; filled by snd_open.
struct AudioDriver {
  const char* name;
  void (*init)();        // snd_reset
  void (*start_hook)();  // called last by music_init; empty here
  void (*stop_hook)();   // called by music_stop before close; empty here
  void (*close)();
  void (*define_sample)(int n, const int8_t* data, uint32_t length, uint32_t loop_start,
                        uint32_t loop_end, uint32_t loop_flag);
  void (*set_voice_count)(int count);
  void (*set_master_volume)(int v);
  void (*select_voice)(int channel);
  void (*set_sample)(int n);
  void (*set_period)(int32_t period);
  void (*set_volume)(int v);
  void (*set_panning)(int p);
  void (*set_position)(uint32_t offset);
  void (*set_data_end)(const int8_t* end);
};
extern AudioDriver snd_driver;

struct SampleSlot {
  const int8_t* data;
  uint32_t length;
  uint32_t loop_start;
  uint32_t loop_end;
  uint32_t loop_flag;
  uint32_t readable;  // bytes readable from data: length, or length + 1 when the buffer goes on
};

struct Voice {
  const int8_t* data;
  int32_t sample;
  int32_t volume;
  uint32_t pos_frac;
  uint32_t pos;
  uint32_t step_frac;
  uint32_t step;
  uint32_t loop_start;
  uint32_t loop_end;
  uint32_t loop_flag;
  uint32_t length;
  uint32_t readable;  // copied from the slot
  int32_t pan;
  uint32_t new_step;
  uint32_t new_pos;
  uint32_t ended;  // mixing voices only: a one-shot sample ran out
};

// Device operations. Three devices give snd_open, snd_start and snd_close, chosen at link time:
// the SDL audio device (music_sdl), the offline one that mixes on demand (music_offline) and the
// web page's, whose mixing runs in the browser's audio thread (music_web).
int snd_open(int rate);  // 1 on success, 0 when the device does not open; opens it paused
void snd_start();        // unpauses: the device begins asking for buffers
void snd_close();
// The sample at the speaker now, counted from the first sample of the first buffer the device
// asked for since snd_start (negative: none is heard yet), or kSndNoClock when the device cannot
// tell (then the position is the one of the tick last mixed).
int64_t snd_heard_sample();
constexpr int64_t kSndNoClock = INT64_MIN;
void snd_reset();
// For the devices: fill the driver table under the device's name (the rate becomes the mixing
// rate at the next reset), or record why the device did not open.
void snd_install(int rate, const char* device_name);
void snd_fail(const char* error);

// Voice operations (the last six act on the selected control voice).
void snd_define_sample(int n, const int8_t* data, uint32_t length, uint32_t loop_start,
                       uint32_t loop_end, uint32_t loop_flag);
void snd_set_voice_count(int count);
void snd_set_master_volume(int v);
void snd_select_voice(int channel);
void snd_set_sample(int n);
void snd_set_period(int32_t period);
void snd_set_volume(int v);
void snd_set_panning(int p);
void snd_set_position(uint32_t offset);
// Samples defined from here on lie in a buffer that ends at end (null: nothing may be read past a
// sample). A loop that ends at its sample's last byte reads the byte after it, which is the next
// sample's first byte inside the module, and 0 at the buffer's end. snd_reset sets null.
void snd_set_data_end(const int8_t* end);

// Audio thread.
void snd_callback(void* user, uint8_t* stream, int length_bytes);

// The ticks' record: for each tick the callback runs, the sample at which its sound begins
// (counted like snd_heard_sample) and the position it set, in a small ring that the audio thread
// writes and any one other thread reads without a lock. snd_record_reset empties it and counts
// from sample 0 again; the position before the first tick is the one in force at the reset.
void snd_record_reset();
// Appends a tick; called by snd_callback, or by a device whose ticks run elsewhere (the page's
// audio thread) for each tick it hears of. Single writer.
void snd_record_tick(int64_t start_sample, int32_t position);
// The position heard at sample: that of the last recorded tick starting at or before it, the
// position before the first tick when the sample precedes them all or none is recorded yet
// (a tick that has run but is not yet recorded is not heard either).
int32_t snd_position_at(int64_t sample);
// For a device that passes the ticks on to another thread (the page's audio thread): copies the
// ticks recorded from number *next on, at most `most`, and moves *next past them; returns how
// many. Sample numbers come back as their low 32 bits. Called by the writer's thread.
int snd_record_read(uint32_t* next, uint32_t* starts, int32_t* positions, int most);
void snd_mix(int16_t* out, int count);

// Voices whose bit is set are left out of the mix (bit n = voice n); the sequencer still drives
// them. 0, the start value, mixes every voice. For comparing one channel alone with other players.
void snd_mute_voices(uint32_t mask);

// Tick length in samples for the callback: mixing rate / tick_rate. Also resets the carry.
void snd_set_tick_rate(int tick_rate);
// The length in samples of the tick pt_tick has just run: the tick rate's, or, once the sequencer
// follows a tempo, 2.5 / BPM seconds at the mixing rate, the fractions carried from tick to tick.
// The callback asks it once after every tick; so may a caller that runs the ticks itself.
int snd_next_tick_samples();

// The mix's output: 1 channel (the show's, and the start value) or 2, interleaved left and right,
// each voice on the side the Amiga gives its channel (snd_voice_side). separation_percent (0..100)
// moves the sides towards each other: 100 keeps them apart, 0 mixes both into the middle. With 2
// channels, snd_mix and snd_callback count frames of two samples. For the tools; survives resets.
void snd_set_output(int channels, int separation_percent);
// 0 (left) or 1 (right): the Amiga's hard panning, channels 0 and 3 left, 1 and 2 right, and so
// on for every four channels.
int snd_voice_side(int voice);

// Gain applied to the mix before it is cut to 16 bits, in 1/65536 (65536, the start value, is
// unity and leaves the mix as it was); it survives resets. The samples that the cut to 16 bits
// saturates are counted from the last reset.
void snd_set_gain(int32_t gain_q16);
uint64_t snd_clipped_samples();

// Inspection, for tests and tools.
const Voice* snd_control_voices();
const Voice* snd_mixing_voices();
const SampleSlot* snd_slots();
int snd_voice_count();
int snd_master_volume();
int snd_carry();
int snd_tick_rate();  // as last given to snd_set_tick_rate (50 before)
const char* snd_last_error();
