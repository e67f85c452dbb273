// The sequencer: one call per tick advances tick, row and order and applies the current row's
// notes and effect commands to the voices.
#include <algorithm>
#include <cstdlib>

#include "music/pt.h"
#include "music/snd.h"

std::atomic<int32_t> pt_order{0};
std::atomic<int32_t> pt_row{0};

const PtRules pt_rules_show = {.name = "show"};
const PtRules pt_rules_protracker = {.name = "protracker",
                                     .tempo = true,
                                     .fine_by_digit = true,
                                     .speed_zero_ends = true,
                                     .volume_clamped = true,
                                     .note_resets_lfo = true,
                                     .channel_waveform = true,
                                     .lfo_rests_on_row = true,
                                     .delay_skips_break_row = true,
                                     .late_delay_next_row = true};

namespace {

constexpr int kSine = 0, kRampDown = 1, kSquare = 2, kRandom = 3;

struct PlayState {
  int32_t speed = 0;  // nothing advances before the first load
  int32_t tick = 0;
  int32_t break_row = 0;
  const Cell* row_cells = nullptr;
  int32_t vib_wave = kSine;
  int32_t trem_wave = kSine;
  int32_t play_order = 0;
  int32_t play_row = 0;
  int64_t rows_played = 0;
  int32_t tempo = 0;       // of the tick being played; 0: the tick rate given to the mixer stands
  int32_t next_tempo = 0;  // set by Fxx, in force from the tick after it
  bool ended = false;
  bool silenced = false;  // the voices, after the end
  bool held = false;      // a row delay has held the current row
  bool broke = false;     // a pattern break on the current row
  bool loaded = false;
};

PlayState st;
const PtRules* rules = &pt_rules_show;
ChannelState chans[kPtChannelsMax];
int16_t waves[4][64];
// Per-channel pan digits in the Amiga's left-right-right-left order; they survive a reset.
uint8_t pan_digits[kPtChannelsMax] = {7, 9, 9, 7, 7, 9, 9, 7, 7, 9, 9, 7, 7, 9, 9, 7,
                                      7, 9, 9, 7, 7, 9, 9, 7, 7, 9, 9, 7, 7, 9, 9, 7};

constexpr int16_t kSineQuarter[17] = {0,   24,  49,  74,  97,  120, 141, 161, 180,
                                      197, 212, 224, 235, 244, 250, 253, 255};

const Song* song() { return &pt_song(); }

int32_t period_of(int finetune, int note) {
  return pt_periods[finetune & 15][std::clamp(note, 0, kPtNoNote)];
}

void volume_slide(ChannelState& c, int p) {
  int v = p > 15 ? c.volume + (p >> 4) : c.volume - p;
  v = std::clamp(v, 0, 64);
  c.volume = v;
  snd_driver.set_volume(v);
}

void tone_portamento(ChannelState& c, int speed) {
  if (c.period < c.target_period) {
    c.period = std::min(c.period + speed, c.target_period);
  } else if (c.period > c.target_period) {
    c.period = std::max(c.period - speed, c.target_period);
  }
}

void vibrato_output(ChannelState& c) {
  int w = waves[rules->channel_waveform ? c.vib_wave & 3 : st.vib_wave][c.vib_pos];
  snd_driver.set_period(c.period + w * c.vib_depth / 127);
  c.vib_pos = (c.vib_pos + c.vib_speed) & 63;
}

void tremolo_output(ChannelState& c) {
  int w = waves[rules->channel_waveform ? c.trem_wave & 3 : st.trem_wave][c.trem_pos];
  int v = c.volume + w * c.trem_depth / 127;
  c.trem_pos = (c.trem_pos + c.trem_speed) & 63;
  snd_driver.set_volume(std::clamp(v, 0, 64));
}

// A new note restarts vibrato and tremolo, each unless its waveform control's bit 2 says keep.
void restart_lfo(ChannelState& c) {
  if (!rules->note_resets_lfo) return;
  if ((c.vib_wave & 4) == 0) c.vib_pos = 0;
  if ((c.trem_wave & 4) == 0) c.trem_pos = 0;
}

void trigger(ChannelState& c, int note) {
  c.period = period_of(c.finetune, note);
  snd_driver.set_volume(c.volume);
  snd_driver.set_period(c.period);
  snd_driver.set_position(0);
}

// The nearest table period at or above the slid one: glissando moves in semitones.
int32_t glissando_period(const ChannelState& c) {
  const uint16_t* row = pt_periods[c.finetune & 15];
  for (int n = kPtNoNote; n >= 1; --n) {
    if (row[n] >= c.period) return row[n];
  }
  return row[0];
}

// EC and ED fire on tick y, or on the row's last tick when y lies beyond the row.
bool late_tick(int y) { return st.tick == y || (y >= st.speed && st.tick == st.speed - 1); }

// A cell's effect: the command times 256, and for command E its first parameter digit too, so that
// the extended commands are told apart.
enum Effect : int {
  kArpeggio = 0x000,
  kSlideUp = 0x100,
  kSlideDown = 0x200,
  kTonePortamento = 0x300,
  kVibrato = 0x400,
  kPortamentoVolumeSlide = 0x500,
  kVibratoVolumeSlide = 0x600,
  kTremolo = 0x700,
  kPan = 0x800,
  kSampleOffset = 0x900,
  kVolumeSlide = 0xA00,
  kPositionJump = 0xB00,
  kSetVolume = 0xC00,
  kPatternBreak = 0xD00,
  kFineSlideUp = 0xE10,
  kFineSlideDown = 0xE20,
  kGlissando = 0xE30,
  kVibratoWaveform = 0xE40,
  kSetFinetune = 0xE50,
  kPatternLoop = 0xE60,
  kTremoloWaveform = 0xE70,
  kPanDigit = 0xE80,
  kRetrigger = 0xE90,
  kFineVolumeUp = 0xEA0,
  kFineVolumeDown = 0xEB0,
  kNoteCut = 0xEC0,
  kNoteDelay = 0xED0,
  kRowDelay = 0xEE0,
  kSetSpeed = 0xF00,
};

int effect_code(const Cell& cell) {
  return cell.command == 14 ? 0xE00 + (cell.param & 0xF0) : cell.command * 256;
}

// Tick 0, first step: the cell's sample number and note. False when a note delay holds the note
// back, which ends the channel's tick.
bool note_trigger(int ch, const Cell& cell, int eff) {
  ChannelState& c = chans[ch];
  if (c.held_note != 0 && cell.note >= kPtNoNote) {
    // The delayed note of the row before takes over the voice where it is, like a portamento.
    c.note = c.held_note - 1;
    c.period = period_of(c.finetune, c.note);
    snd_driver.set_period(c.period);
  }
  c.held_note = 0;
  if (cell.sample != 0) {
    c.sample = cell.sample;
    c.volume = song()->samples[c.sample].volume;
    int pan = pan_digits[ch] * 16;
    if (eff != kSetVolume) snd_driver.set_volume(c.volume);
    if (eff != kPan) snd_driver.set_panning(pan);
    snd_driver.set_sample(cell.sample);
  }
  if (cell.note < kPtNoNote) {
    c.finetune = song()->samples[c.sample].finetune;
    c.target_period = period_of(c.finetune, cell.note);
    if (eff == kTonePortamento || eff == kPortamentoVolumeSlide) {
      // tone portamento slides towards the note instead of playing it
    } else if (eff == kNoteDelay) {
      return false;
    } else {
      c.period = c.target_period;
      snd_driver.set_period(c.period);
      if (eff != kSampleOffset) snd_driver.set_position(0);
      c.note = cell.note;
      restart_lfo(c);
    }
  }
  return true;
}

// Tick 0: the commands that move the song's position or its pace (B, D, E6, EE, F). False for
// any other effect.
bool flow_command(int ch, int eff, int p) {
  ChannelState& c = chans[ch];
  const int x = p >> 4, y = p & 15;
  switch (eff) {
    case kPositionJump:
      pt_row.store(63, std::memory_order_relaxed);
      pt_order.store(p - 1, std::memory_order_relaxed);
      return true;
    case kPatternBreak: {
      pt_row.store(63, std::memory_order_relaxed);
      int b = x * 10 + y;
      st.break_row = b > 63 ? 0 : b;  // a pattern has 64 rows; like ProTracker, start the next at 0
      st.broke = true;
      return true;
    }
    case kPatternLoop: {
      int row = pt_row.load(std::memory_order_relaxed);
      if (y == 0) {
        c.loop_row = row;
      } else if (c.loop_count == 0) {
        c.loop_count = y;
        pt_row.store(c.loop_row - 1, std::memory_order_relaxed);
      } else {
        c.loop_count -= 1;
        if (c.loop_count > 0) pt_row.store(c.loop_row - 1, std::memory_order_relaxed);
      }
      return true;
    }
    case kRowDelay:
      c.row_delay = y;
      return true;
    case kSetSpeed:
      if (p == 0 && rules->speed_zero_ends) {
        st.ended = true;
      } else if (p <= 31 || rules->high_speeds) {
        st.speed = p;
      } else if (rules->tempo) {
        st.next_tempo = p;
      }  // else a tempo, and the tick rate is fixed
      return true;
    default:
      return false;
  }
}

// Tick 0: the commands that act on the channel's voice.
void voice_command(int ch, int eff, int p) {
  ChannelState& c = chans[ch];
  const int y = p & 15;
  const int fine = rules->fine_by_digit ? y : 1;  // the step of E1x, E2x, EAx and EBx
  switch (eff) {
    case kArpeggio:
      if (p != 0) snd_driver.set_period(period_of(c.finetune, c.note));
      break;
    case kVibrato:
    case kVibratoVolumeSlide:
      if (rules->lfo_rests_on_row) snd_driver.set_period(c.period);
      break;
    case kTremolo:
      if (rules->lfo_rests_on_row) snd_driver.set_volume(c.volume);
      break;
    case kPan:
      snd_driver.set_panning(p);
      break;
    case kSampleOffset:
      snd_driver.set_position(uint32_t(p) * 256);
      break;
    case kSetVolume:
      c.volume = rules->volume_clamped ? std::min(p, 64) : p;
      snd_driver.set_volume(c.volume);
      break;
    case kFineSlideUp:
      if (fine > 0 && c.period > kPtPeriodMin) {
        c.period = std::max(c.period - fine, kPtPeriodMin);
        snd_driver.set_period(c.period);
      }
      break;
    case kFineSlideDown:
      if (fine > 0 && c.period < kPtPeriodMax) {
        c.period = std::min(c.period + fine, kPtPeriodMax);
        snd_driver.set_period(c.period);
      }
      break;
    case kGlissando:
      c.glissando = y;
      break;
    case kVibratoWaveform:
      // With notes restarting it, the waveform control only chooses; else it restarts it here.
      if ((p & 0x0C) == 0 && !rules->note_resets_lfo) c.vib_pos = 0;
      st.vib_wave = y & 3;
      c.vib_wave = y;
      break;
    case kSetFinetune:
      c.finetune = y;
      break;
    case kTremoloWaveform:
      if ((p & 0x0C) == 0 && !rules->note_resets_lfo) c.trem_pos = 0;
      st.trem_wave = y & 3;
      c.trem_wave = y;
      break;
    case kPanDigit:
      pan_digits[ch] = uint8_t(y);
      snd_driver.set_panning(y * 16);
      break;
    case kFineVolumeUp:
      if (fine > 0 && c.volume <= 63) {
        c.volume = std::min(c.volume + fine, 64);
        snd_driver.set_volume(c.volume);
      }
      break;
    case kFineVolumeDown:
      if (fine > 0 && c.volume > 0) {
        c.volume = std::max(c.volume - fine, 0);
        snd_driver.set_volume(c.volume);
      }
      break;
    default:
      break;
  }
}

void tick_zero(int ch, const Cell& cell) {
  const int eff = effect_code(cell);
  if (!note_trigger(ch, cell, eff)) return;
  if (!flow_command(ch, eff, cell.param)) voice_command(ch, eff, cell.param);
}

void tick_running(int ch, const Cell& cell) {
  ChannelState& c = chans[ch];
  const int p = cell.param, x = p >> 4, y = p & 15;
  switch (effect_code(cell)) {
    case kArpeggio:
      if (p != 0) {
        int k = st.tick % 3;
        int note = c.note + (k == 0 ? 0 : k == 1 ? x : y);
        snd_driver.set_period(period_of(c.finetune, note));
      }
      break;
    case kSlideUp:
      c.period = std::max(c.period - p, kPtPeriodMin);
      snd_driver.set_period(c.period);
      break;
    case kSlideDown:
      c.period = std::min(c.period + p, kPtPeriodMax);
      snd_driver.set_period(c.period);
      break;
    case kTonePortamento:
      if (p != 0) c.porta_speed = p;
      tone_portamento(c, c.porta_speed);
      snd_driver.set_period(c.glissando ? glissando_period(c) : c.period);
      break;
    case kVibrato:
      if (y != 0) c.vib_depth = y;
      if (x != 0) c.vib_speed = x;
      vibrato_output(c);
      break;
    case kPortamentoVolumeSlide:
      tone_portamento(c, c.porta_speed);
      snd_driver.set_period(c.period);
      volume_slide(c, p);
      break;
    case kVibratoVolumeSlide:
      vibrato_output(c);
      volume_slide(c, p);
      break;
    case kTremolo:
      if (y != 0) c.trem_depth = 2 * y;
      if (x != 0) c.trem_speed = x;
      tremolo_output(c);
      break;
    case kVolumeSlide:
      volume_slide(c, p);
      break;
    case kRetrigger:
      if (cell.note < kPtNoNote && y != 0 && st.tick % y == 0) trigger(c, cell.note);
      break;
    case kNoteCut:
      if (late_tick(y)) snd_driver.set_volume(0);
      break;
    case kNoteDelay:
      if (cell.note < kPtNoNote && rules->late_delay_next_row && y >= st.speed) {
        if (st.tick == st.speed - 1) c.held_note = cell.note + 1;
      } else if (cell.note < kPtNoNote && late_tick(y)) {
        c.note = cell.note;
        restart_lfo(c);
        trigger(c, cell.note);
      }
      break;
    default:
      break;
  }
}

void fetch_row() {
  const Song& s = *song();
  int order = pt_order.load(std::memory_order_relaxed);
  if (order < 0 || order > 127) {
    // Only a jump and a loop on the same row get here; the order table has 128 entries.
    order = s.restart;
    pt_order.store(order, std::memory_order_relaxed);
  }
  int row = std::clamp(pt_row.load(std::memory_order_relaxed), 0, kPtRows - 1);
  st.row_cells = s.patterns[s.orders[order]] + row * s.channels;
  st.play_order = order;
  st.play_row = row;
  st.rows_played += 1;
}

}  // namespace

void pt_reset() {
  st.speed = 6;
  st.tick = 5;
  st.break_row = 0;
  st.row_cells = nullptr;
  st.vib_wave = kSine;
  st.trem_wave = kSine;
  st.play_order = -1;
  st.play_row = 63;
  st.rows_played = 0;
  st.tempo = 0;
  st.next_tempo = 0;
  st.ended = false;
  st.silenced = false;
  st.held = false;
  st.broke = false;
  st.loaded = true;
  pt_order.store(-1, std::memory_order_relaxed);
  pt_row.store(63, std::memory_order_relaxed);
  for (ChannelState& c : chans) {
    int32_t glissando = c.glissando;
    c = ChannelState{};
    c.glissando = glissando;
  }
  for (int i = 0; i < 64; ++i) {
    int q = i & 31;
    int v = kSineQuarter[q <= 16 ? q : 32 - q];
    waves[kSine][i] = int16_t(i < 32 ? v : -v);
    waves[kRampDown][i] = int16_t(255 - 8 * i);
    waves[kSquare][i] = int16_t(i < 16 ? 0 : i < 32 ? 255 : i < 48 ? 0 : -256);
  }
  for (int i = 0; i < 64; ++i) waves[kRandom][i] = int16_t(std::rand() % 511 - 256);
}

void pt_unload() { st.loaded = false; }

void pt_tick() {
  if (!st.loaded) return;
  if (st.ended) {
    // The tick after the song's end silences its voices; nothing moves from there on.
    if (!st.silenced) {
      for (int ch = 0; ch < song()->channels; ++ch) {
        snd_driver.select_voice(ch);
        snd_driver.set_volume(0);
      }
      st.silenced = true;
    }
    return;
  }
  st.tempo = st.next_tempo;
  const Song& s = *song();
  const int channels = s.channels;
  if (st.speed != 0) {
    st.tick += 1;
    if (st.tick >= st.speed) {
      st.tick = 0;
      bool delayed = false;
      for (int ch = 0; ch < channels; ++ch) {
        if (chans[ch].row_delay > 0) {
          chans[ch].row_delay -= 1;
          delayed = true;
        }
      }
      if (delayed) {
        st.held = true;
        return;
      }
      int row = pt_row.load(std::memory_order_relaxed) + 1;
      pt_row.store(row, std::memory_order_relaxed);
      if (row > 63) {
        int order = pt_order.load(std::memory_order_relaxed) + 1;
        pt_order.store(order, std::memory_order_relaxed);
        const bool skip = rules->delay_skips_break_row && st.held && st.broke;
        pt_row.store(skip ? std::min(st.break_row + 1, 63) : st.break_row,
                     std::memory_order_relaxed);
        st.break_row = 0;
        if (order >= s.song_length) pt_order.store(s.restart, std::memory_order_relaxed);
      }
      st.held = false;
      st.broke = false;
      fetch_row();
    }
  }
  if (channels == 0 || st.row_cells == nullptr) return;
  for (int ch = 0; ch < channels; ++ch) {
    snd_driver.select_voice(ch);
    if (st.tick == 0) {
      tick_zero(ch, st.row_cells[ch]);
    } else {
      tick_running(ch, st.row_cells[ch]);
    }
  }
}

const ChannelState& pt_channel(int ch) { return chans[std::clamp(ch, 0, kPtChannelsMax - 1)]; }
int pt_speed() { return st.speed; }
int pt_tick_count() { return st.tick; }
int pt_break_row() { return st.break_row; }
int pt_play_order() { return st.play_order; }
int pt_play_row() { return st.play_row; }
int64_t pt_rows_played() { return st.rows_played; }
int pt_tempo() { return st.tempo; }
bool pt_ended() { return st.ended; }
void pt_set_rules(const PtRules& r) { rules = &r; }
const PtRules& pt_rules() { return *rules; }
