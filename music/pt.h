// The module player: the loader that converts a module in place, and the sequencer that plays it
// one tick at a time through the voice driver.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

constexpr int kPtChannelsMax = 32;
constexpr int kPtRows = 64;
constexpr int kPtNoNote = 84;
constexpr int kPtPeriodMin = 27;    // smallest period in the table, the limit of slides up
constexpr int kPtPeriodMax = 3628;  // largest period in the table, the limit of slides down

// A pattern cell after conversion (same 4 bytes as the file's cell).
struct Cell {
  uint8_t sample;   // 0 = none
  uint8_t note;     // 0..83, 84 = no note
  uint8_t command;  // 0..15
  uint8_t param;
};

struct PtTag {
  char tag[5];
  int channels;
};
extern const PtTag pt_tags[22];  // 21 tags, then the sentinel "STOP" with 0 channels

// Row = finetune code (0..7 = 0..+7, 8..15 = -8..-1), entry = note (octave * 12 + semitone).
extern const uint16_t pt_periods[16][85];

struct SongSample {
  uint32_t length;       // bytes
  int32_t finetune;      // 0..15
  int32_t volume;        // 0..64
  uint32_t loop_start;   // bytes
  uint32_t loop_length;  // bytes
  uint32_t present;      // bytes of its data the module holds: less than length when cut short
};

struct Song {
  SongSample samples[32];  // 1..31
  int32_t song_length;
  int32_t restart;
  uint8_t orders[128];
  int32_t channels;
  int32_t highest_pattern;
  Cell* patterns[128];
};

struct ChannelState {
  int32_t sample, note, finetune, period, target_period, porta_speed, volume;
  int32_t vib_pos, vib_depth, vib_speed;
  int32_t trem_pos, trem_depth, trem_speed;
  int32_t loop_row, loop_count, row_delay;
  int32_t glissando;            // kept by pt_reset
  int32_t vib_wave, trem_wave;  // E4x and E7x parameters, with per-channel waveforms
  int32_t held_note;            // note + 1 that a note delay past its row hands on; 0 for none
};

// The places where the player's own rules and ProTracker's part. The sequencer consults the rules
// in force; the show plays by pt_rules_show, and the choice holds across loads and resets.
struct PtRules {
  const char* name;
  // Fxx from 0x20 sets beats per minute, from the next tick: a tick lasts 2.5 / BPM seconds.
  bool tempo = false;
  // Fxx from 0x20 sets the speed, as 0x01..0x1F do: the fixed-rate ("VBlank") timing of the
  // trackers before tempos. Takes precedence over tempo.
  bool high_speeds = false;
  // E1x, E2x, EAx and EBx move by x, not by 1.
  bool fine_by_digit = false;
  // F00 ends the song (else speed 0 freezes the row, replaying its first tick).
  bool speed_zero_ends = false;
  // Cxx above 64 plays as 64.
  bool volume_clamped = false;
  // A new note restarts vibrato and tremolo unless bit 2 of E4x or E7x says keep (and E4x and
  // E7x no longer restart them).
  bool note_resets_lfo = false;
  // Each channel keeps its own vibrato and tremolo waveform.
  bool channel_waveform = false;
  // A vibrato's or tremolo's row begins at the channel's own period and volume.
  bool lfo_rests_on_row = false;
  // A break on a row that EEx holds lands one row past its target.
  bool delay_skips_break_row = false;
  // EDx beyond its row's ticks brings its note in on the next row's first tick, where that row
  // has no note, at the voice's position (no restart).
  bool late_delay_next_row = false;
};
extern const PtRules pt_rules_show;
extern const PtRules pt_rules_protracker;
void pt_set_rules(const PtRules& rules);
const PtRules& pt_rules();

// The music position crosses to the main thread through these two (relaxed, whole 32-bit stores).
extern std::atomic<int32_t> pt_order;
extern std::atomic<int32_t> pt_row;

// Converts the module in place and hands its samples to the driver. 1 on success; 0 for an
// unknown tag or a module whose patterns do not fit in size bytes (see pt_last_error).
int pt_takemod(uint8_t* module, size_t size);
void pt_reset();
void pt_tick();
void pt_unload();  // the sequencer plays nothing until the next successful load

const char* pt_last_error();
const Song& pt_song();
const ChannelState& pt_channel(int ch);
int pt_speed();
int pt_tick_count();
int pt_break_row();
// Order and row whose cells are being played (what commands wrote to the position aside).
int pt_play_order();
int pt_play_row();
int64_t pt_rows_played();  // row fetches since pt_reset
// Beats per minute of the tick last run (tempo rule only): an Fxx from 0x20 sets it from the tick
// after its own. 0 until one does, while the tick rate given to the mixer stands.
int pt_tempo();
bool pt_ended();  // F00 ended the song (with the rule that says so); no tick advances it further
