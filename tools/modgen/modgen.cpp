// The soundtrack, made from nothing but arithmetic: nine synthesised samples and a song of
// 21 orders in A minor at 130 BPM (speed 6 at 52 ticks a second; four rows to a beat).
//
// Channels: 0 drums (kick, snare, hats on the off-beats, the impact on the show's hits),
// 1 bass, 2 chords (pad, stabs, the riser), 3 lead.
//
// Tuning: a sample recorded at 8287 Hz plays at its own pitch on note 36 (period 428). The melodic
// samples hold whole cycles of 32, 64 or 320 bytes, so note 36 sounds a C of 64.7 x 2^k Hz and every
// loop closes exactly. The drums are recorded at twice that rate and played on note 48.
#include "tools/modgen/modgen.h"

#include "music/mod_file.h"
#include "music/music.h"
#include "music/pt.h"
#include "music/snd.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBaseRate = 8287.0;         // plays at its own pitch on note 36
constexpr double kDrumRate = 2.0 * kBaseRate;  // plays at its own pitch on note 48
constexpr int kDrumNote = 48;

// Notes 24..59 (C-1 .. B-3): the three octaves every player knows, played at the player's own
// finetune-0 periods (pt_periods[0]).
constexpr int kFirstNote = 24;
constexpr int kLastNote = 59;

// A small deterministic noise source (xorshift), so the samples are the same on every machine.
struct Noise {
    uint32_t state;
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return double(state) / 2147483648.0 - 1.0;
    }
};

struct Sample {
    const char* name;
    std::vector<double> wave;  // before scaling
    int peak;                  // largest byte magnitude after scaling
    int volume;
    int loop_start = 0, loop_length = 0;  // bytes; a loop length of 0 means one-shot
    std::vector<int8_t> bytes = {};
};

// Scale to the given peak and round to signed bytes; the length is made even (whole words).
void quantise(Sample& s) {
    double most = 1e-9;
    for (double v : s.wave) most = std::max(most, std::fabs(v));
    if (s.wave.size() % 2) s.wave.push_back(s.loop_length ? s.wave[s.loop_start] : 0.0);
    s.bytes.resize(s.wave.size());
    for (size_t i = 0; i < s.wave.size(); ++i) {
        const double v = std::nearbyint(s.wave[i] / most * s.peak);
        s.bytes[i] = int8_t(std::clamp(v, -127.0, 127.0));
    }
}

double decay(double t, double tau) { return std::exp(-t / tau); }

// A short fade at the tail of a one-shot keeps its end from clicking.
void fade_tail(std::vector<double>& w, int n) {
    const int size = int(w.size());
    for (int i = 0; i < n && i < size; ++i) w[size - 1 - i] *= double(i) / n;
}

Sample make_kick() {
    Sample s{"kick", {}, 118, 64};
    const int n = int(0.30 * kDrumRate);
    Noise noise{0x1234567u};
    double phase = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = i / kDrumRate;
        const double freq = 44.0 + 140.0 * decay(t, 0.032);
        phase += 2.0 * kPi * freq / kDrumRate;
        const double body = std::sin(phase) * decay(t, 0.17) * std::min(1.0, t / 0.0015);
        const double click = noise.next() * decay(t, 0.0025) * 0.5;
        s.wave.push_back(std::tanh(1.6 * (body + click)));
    }
    fade_tail(s.wave, 200);
    return s;
}

Sample make_snare() {
    Sample s{"snare", {}, 112, 56};
    const int n = int(0.24 * kDrumRate);
    Noise noise{0x2468ACEu};
    double low = 0.0, previous = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = i / kDrumRate;
        const double tone = (std::sin(2 * kPi * 186.0 * t) + 0.6 * std::sin(2 * kPi * 334.0 * t)) * decay(t, 0.045);
        const double white = noise.next();
        low += 0.35 * (white - low);
        const double bright = white - 0.5 * low;  // tilt the noise towards the top
        const double rattle = (0.8 * bright + 0.2 * (white - previous)) * decay(t, 0.085);
        previous = white;
        s.wave.push_back(0.55 * tone + rattle);
    }
    fade_tail(s.wave, 200);
    return s;
}

Sample make_hat() {
    Sample s{"hat", {}, 100, 28};
    const int n = int(0.075 * kDrumRate);
    Noise noise{0x0F1E2D3u};
    double a = 0.0, b = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = i / kDrumRate;
        const double white = noise.next();
        // Two differences: a steep high-pass that leaves the fizz above about 5 kHz.
        const double d1 = white - a;
        a = white;
        const double d2 = d1 - b;
        b = d1;
        const double metal = std::sin(2 * kPi * 6320.0 * t) * std::sin(2 * kPi * 7440.0 * t);
        s.wave.push_back((0.8 * d2 + 0.4 * metal) * decay(t, 0.018));
    }
    fade_tail(s.wave, 60);
    return s;
}

// The big hit: a deep kick under a crash cymbal.
Sample make_impact() {
    Sample s{"impact", {}, 122, 64};
    const int n = int(0.62 * kDrumRate);
    Noise noise{0x5EED1u};
    double phase = 0.0, a = 0.0;
    const double partials[6] = {3140.0, 4170.0, 5230.0, 5910.0, 6810.0, 7660.0};
    for (int i = 0; i < n; ++i) {
        const double t = i / kDrumRate;
        const double freq = 40.0 + 150.0 * decay(t, 0.04);
        phase += 2.0 * kPi * freq / kDrumRate;
        const double body = std::sin(phase) * decay(t, 0.2) * std::min(1.0, t / 0.0015);
        const double white = noise.next();
        const double hiss = white - a;
        a = white;
        double ring = 0.0;
        for (int k = 0; k < 6; ++k) ring += (std::sin(2 * kPi * partials[k] * t) > 0 ? 1.0 : -1.0) / 6.0;
        const double crash = (0.75 * hiss + 0.35 * ring) * (0.35 * decay(t, 0.30) + 0.65 * decay(t, 0.06));
        s.wave.push_back(std::tanh(2.2 * body) + 0.5 * crash);
    }
    fade_tail(s.wave, 400);
    return s;
}

// Bass: a sawtooth whose upper harmonics close within the first sixteen cycles; the last four
// cycles loop. Cycle 64 bytes: note 36 is a C of 129.5 Hz.
Sample make_bass() {
    Sample s{"bass", {}, 88, 50};
    constexpr int kCycle = 64, kAttackCycles = 16, kLoopCycles = 4;
    s.loop_start = kCycle * kAttackCycles;
    s.loop_length = kCycle * kLoopCycles;
    const int n = s.loop_start + s.loop_length + 2;  // one word past the loop keeps it periodic
    for (int i = 0; i < n; ++i) {
        const double progress = std::min(1.0, double(i) / s.loop_start);
        const double darkness = 0.12 + 0.43 * progress;
        const double level = 1.0 - 0.25 * progress;
        double v = 0.0;
        for (int k = 1; k <= 12; ++k) v += std::sin(2 * kPi * k * i / kCycle) / k * std::exp(-(k - 1) * darkness);
        s.wave.push_back(level * v);
    }
    return s;
}

// The chord tones of a minor triad in just intonation (10 : 12 : 15) over a 320-byte cycle, with
// the root doubled an octave below and above. On note 36 the root is a C of 259 Hz.
double chord(int i, int harmonics, double brightness) {
    constexpr int kCycle = 320;
    const int tones[5] = {5, 10, 12, 15, 20};
    const double gains[5] = {0.55, 1.0, 0.8, 0.75, 0.35};
    double v = 0.0;
    for (int t = 0; t < 5; ++t) {
        for (int k = 1; k <= harmonics; ++k) {
            const double phase = 2 * kPi * tones[t] * k * i / kCycle + 0.7 * t * k;
            v += gains[t] * std::sin(phase) * std::pow(brightness, k - 1) / k;
        }
    }
    return v;
}

// Pad: the chord swelling in over three cycles, then two cycles looped.
Sample make_pad() {
    Sample s{"pad", {}, 84, 34};
    constexpr int kCycle = 320;
    s.loop_start = 3 * kCycle;
    s.loop_length = 2 * kCycle;
    const int n = s.loop_start + s.loop_length + 2;
    for (int i = 0; i < n; ++i) {
        const double swell = std::min(1.0, double(i) / s.loop_start);
        s.wave.push_back((0.35 + 0.65 * swell * swell) * chord(i, 4, 0.6));
    }
    return s;
}

// Lead: a hollow pulse-like tone (odd harmonics strong, even ones soft) with a gentle vibrato that
// sets in after a moment. Cycle 32 bytes: note 36 is a C of 259 Hz.
Sample make_lead() {
    Sample s{"lead", {}, 86, 40};
    const int n = int(0.52 * kBaseRate);
    double phase = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = i / kBaseRate;
        const double vibrato = 1.0 + 0.005 * std::sin(2 * kPi * 5.5 * t) * std::min(1.0, std::max(0.0, (t - 0.12) / 0.1));
        phase += 2 * kPi * (kBaseRate / 32.0) * vibrato / kBaseRate;
        double v = 0.0;
        for (int k = 1; k <= 13; ++k) v += std::sin(k * phase) / k * (k % 2 ? 1.0 : 0.5);
        const double env = std::min(1.0, t / 0.006) * (0.55 * decay(t, 0.09) + 0.45 * decay(t, 0.6));
        s.wave.push_back(v * env);
    }
    fade_tail(s.wave, 300);
    return s;
}

// Stab: the bright chord with a quick decay and a breath of noise on the attack.
Sample make_stab() {
    Sample s{"stab", {}, 116, 56};
    const int n = int(0.26 * kBaseRate);
    Noise noise{0xBADC0DEu};
    for (int i = 0; i < n; ++i) {
        const double t = i / kBaseRate;
        const double env = std::min(1.0, t / 0.002) * (0.6 * decay(t, 0.05) + 0.4 * decay(t, 0.14));
        s.wave.push_back(chord(i, 7, 0.8) * env + 0.5 * noise.next() * decay(t, 0.01));
    }
    fade_tail(s.wave, 200);
    return s;
}

// Riser: noise through a resonant filter whose centre climbs, under a rising tone, growing louder.
Sample make_riser() {
    Sample s{"riser", {}, 90, 44};
    const int n = int(1.2 * kBaseRate);
    Noise noise{0x7777777u};
    double low = 0.0, band = 0.0, phase = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = i / kBaseRate;
        const double x = t / 1.2;
        const double centre = 250.0 * std::pow(14.0, x);
        const double f = 2.0 * std::sin(kPi * std::min(centre, 3000.0) / kBaseRate);
        const double white = noise.next();
        low += f * band;
        const double high = white - low - 0.25 * band;
        band += f * high;
        phase += 2 * kPi * (180.0 * std::pow(4.0, x)) / kBaseRate;
        const double env = 0.15 + 0.85 * x * x;
        s.wave.push_back((0.9 * band + 0.25 * std::sin(phase)) * env);
    }
    fade_tail(s.wave, 150);
    return s;
}

// ---- the song ----

struct Note {
    uint8_t sample = 0;
    int note = -1;  // 24..59, or -1 for none
    uint8_t command = 0, parameter = 0;
};

// The mixing desk: every volume written with a note is scaled by its instrument's gain here, so the
// balance of the whole song is set in one place (in percent; kick, snare, hat, impact, bass, pad,
// lead, stab, riser).
constexpr int kGain[kModSamples] = {92, 100, 140, 90, 108, 118, 140, 80, 110};

uint8_t mixed_volume(uint8_t sample, int volume) {
    if (sample < 1 || sample > kModSamples) return uint8_t(volume);
    return uint8_t(std::min(64, (volume * kGain[sample - 1] + 50) / 100));
}

struct Pattern {
    Note cells[64][kModChannels];
    void put(int row, int channel, uint8_t sample, int note, uint8_t command = 0, uint8_t parameter = 0) {
        if (command == 0xC) parameter = mixed_volume(sample, parameter);
        cells[row][channel] = {sample, note, command, parameter};
    }
    void effect(int row, int channel, uint8_t command, uint8_t parameter) {
        cells[row][channel].command = command;
        cells[row][channel].parameter = parameter;
    }
};

constexpr uint8_t kCmdSlideUp = 0x1, kCmdVolumeSlide = 0xA, kCmdVolume = 0xC, kCmdExtended = 0xE,
                  kCmdSpeed = 0xF;
constexpr uint8_t kRetrigger = 0x90;

// Note names in the bass and lead registers.
enum : int {
    E1 = 28, F1 = 29, G1 = 31, A1 = 33, C2 = 36, D2 = 38, E2 = 40,
    A2 = 45, B2 = 47, C3 = 48, D3 = 50, E3 = 52, F3 = 53, G3 = 55, A3 = 57, B3 = 59,
};

// One bar of harmony: the bass root and the pad's minor triad (the pad is a minor chord, so
// F and C are coloured as major sevenths: A minor over F, E minor over C; G as D minor over G).
struct Bar {
    int bass;
    int pad;
};
constexpr Bar kVerse[4] = {{A1, A1}, {F1, A1}, {C2, E2}, {G1, D2}};
constexpr Bar kTurn[4] = {{F1, A1}, {G1, D2}, {A1, A1}, {E1, E2}};

// Drums, one channel: kick, snare and off-beat hats interleave so that none is cut while it matters.
enum class Drums { kNone, kHatsOnly, kHalf, kGroove, kDrive, kSyncopated, kSparse };

void drums(Pattern& p, Drums style, int from = 0, int to = 64) {
    for (int row = from; row < to; ++row) {
        const int r = row % 16;
        switch (style) {
            case Drums::kNone:
                break;
            case Drums::kHatsOnly:
                if (r % 4 == 2) p.put(row, 0, kHat, kDrumNote);
                break;
            case Drums::kHalf:  // kick on the bar, hats between
                if (r == 0) p.put(row, 0, kKick, kDrumNote, kCmdVolume, 52);
                else if (r % 4 == 2) p.put(row, 0, kHat, kDrumNote);
                break;
            case Drums::kGroove:
                if (r == 0 || r == 8 || r == 10) p.put(row, 0, kKick, kDrumNote, kCmdVolume, r == 0 ? 44 : r == 8 ? 40 : 30);
                else if (r == 4 || r == 12) p.put(row, 0, kSnare, kDrumNote, kCmdVolume, 40);
                else if (r == 2 || r == 6 || r == 14) p.put(row, 0, kHat, kDrumNote);
                break;
            case Drums::kDrive:  // the drop: more kicks, a ghost snare, hats on every free step
                if (r == 0 || r == 8 || r == 10) p.put(row, 0, kKick, kDrumNote, kCmdVolume, r == 10 ? 32 : 42);
                else if (r == 4 || r == 12) p.put(row, 0, kSnare, kDrumNote, kCmdVolume, 42);
                else if (r == 15) p.put(row, 0, kSnare, kDrumNote, kCmdVolume, 18);
                else if (r % 2 == 0) p.put(row, 0, kHat, kDrumNote, kCmdVolume, r % 4 == 2 ? 30 : 18);
                break;
            case Drums::kSyncopated:  // kicks belong to the accent rows; only snare and hats here
                if (row == 12 || row == 44) p.put(row, 0, kSnare, kDrumNote, kCmdVolume, 30);
                else if (r % 4 == 2 && row != 26 && row != 58 && row != 42) p.put(row, 0, kHat, kDrumNote, kCmdVolume, 22);
                break;
            case Drums::kSparse:
                if (r == 0) p.put(row, 0, kKick, kDrumNote, kCmdVolume, 40);
                else if (r == 6 || r == 14) p.put(row, 0, kHat, kDrumNote, kCmdVolume, 18);
                break;
        }
    }
}

// The big hit on a cue row, with the crash ringing over the groove.
void hit(Pattern& p, int row, uint8_t volume = 64) { p.put(row, 0, kImpact, kDrumNote, kCmdVolume, volume); }

enum class Bass { kNone, kLong, kGroove, kMoving, kDrive, kPedal };

void bass(Pattern& p, Bass style, const Bar* bars, uint8_t volume = 50) {
    for (int bar = 0; bar < 4; ++bar) {
        const int root = bars[bar].bass, row0 = bar * 16;
        switch (style) {
            case Bass::kNone:
                break;
            case Bass::kLong:
                p.put(row0, 1, kBass, root, kCmdVolume, volume);
                break;
            case Bass::kGroove: {
                const int rows[6] = {0, 3, 6, 8, 11, 14};
                const int jumps[6] = {0, 0, 12, 0, 0, 12};
                for (int k = 0; k < 6; ++k) p.put(row0 + rows[k], 1, kBass, root + jumps[k], kCmdVolume, volume);
                break;
            }
            case Bass::kMoving: {  // walks to the next chord in the last beat
                const int rows[7] = {0, 3, 6, 8, 10, 12, 14};
                const int next = bars[(bar + 1) % 4].bass;
                const int notes[7] = {root, root, root + 12, root, root + 7, root + 12, next + (next < root ? 2 : -2)};
                for (int k = 0; k < 7; ++k) p.put(row0 + rows[k], 1, kBass, notes[k], kCmdVolume, volume);
                break;
            }
            case Bass::kDrive:
                for (int r = 0; r < 16; r += 2)
                    p.put(row0 + r, 1, kBass, root + (r % 4 == 2 ? 12 : 0), kCmdVolume, uint8_t(r % 4 ? volume - 8 : volume));
                break;
            case Bass::kPedal:
                for (int r = 0; r < 16; r += 2) p.put(row0 + r, 1, kBass, root, kCmdVolume, volume);
                break;
        }
    }
}

void pads(Pattern& p, const Bar* bars, uint8_t volume = 34, int channel = 2) {
    for (int bar = 0; bar < 4; ++bar) p.put(bar * 16, channel, kPad, bars[bar].pad, kCmdVolume, volume);
}

// A melody: (row, note) pairs, -1 note ends the list.
struct Step {
    int row, note;
};

void melody(Pattern& p, const Step* steps, uint8_t volume = 40, int channel = 3) {
    for (const Step* s = steps; s->note >= 0; ++s) p.put(s->row, channel, kLead, s->note, kCmdVolume, volume);
}

// The hook over the verse harmony, and an answer to it.
constexpr Step kHook[] = {
    {0, E3},  {3, A3},  {6, G3},  {8, E3},  {10, D3}, {12, E3},
    {16, C3}, {19, F3}, {22, E3}, {24, C3}, {27, A2},
    {32, G3}, {35, E3}, {38, D3}, {40, C3}, {42, D3}, {44, E3}, {46, G3},
    {48, A3}, {52, G3}, {56, D3}, {60, E3}, {0, -1},
};
constexpr Step kAnswer[] = {
    {0, A3},  {2, G3},  {3, E3},  {6, D3},  {8, E3},  {11, C3},
    {16, A2}, {19, C3}, {22, F3}, {24, E3}, {26, C3},
    {32, B2}, {35, C3}, {38, E3}, {40, G3}, {44, E3},
    {48, F3}, {51, E3}, {54, D3}, {56, A2}, {0, -1},
};
// The syncopated sections: the lead answers the stabs between the accents.
constexpr Step kSyncLead[] = {
    {8, E3}, {10, G3}, {14, A3}, {18, G3}, {20, E3},
    {32, C3}, {36, D3}, {38, E3}, {48, D3}, {50, E3}, {54, G3}, {0, -1},
};
// A slow line for the intro and the outro.
constexpr Step kSlow[] = {
    {0, E3}, {12, D3}, {16, C3}, {28, A2}, {32, B2}, {44, G3}, {48, A3}, {0, -1},
};

constexpr int kAccentRows[7] = {0, 3, 24, 27, 42, 59, 62};

// The syncopated accents: the impact (or a kick), a stab and the bass together on each accent row.
void accents(Pattern& p, const Bar* bars) {
    for (int row : kAccentRows) {
        const Bar& bar = bars[row / 16];
        if (row == 0 || row == 42) hit(p, row, 60);
        else p.put(row, 0, kKick, kDrumNote, kCmdVolume, 64);
        p.put(row, 2, kStab, bar.pad, kCmdVolume, 46);
        p.put(row, 1, kBass, bar.bass + (row % 2 ? 12 : 0), kCmdVolume, 46);
    }
}

std::vector<Pattern> compose() {
    std::vector<Pattern> song(kModOrders);

    // 0: the opening. Pad and a slow line; the impact on rows 8 and 40.
    {
        Pattern& p = song[0];
        pads(p, kVerse, 30);
        bass(p, Bass::kLong, kVerse, 40);
        melody(p, kSlow, 26);
        hit(p, 8);
        hit(p, 40);
        p.effect(0, 0, kCmdSpeed, kModSpeed);
        p.effect(0, 3, kCmdSpeed, 130);  // tempo 130 for players that keep their own tick rate
    }
    // 1: the groove assembles: a hit at the start, hats, then the bass.
    {
        Pattern& p = song[1];
        pads(p, kVerse, 40);
        drums(p, Drums::kHalf, 0, 32);
        drums(p, Drums::kGroove, 32, 64);
        hit(p, 0);
        Pattern bassline;
        bass(bassline, Bass::kGroove, kVerse, 46);
        for (int row = 16; row < 64; ++row) p.cells[row][1] = bassline.cells[row][1];
        p.put(0, 1, kBass, A1, kCmdVolume, 40);
    }
    // 2, 3: the full groove, strong downbeats on rows 0 and 32.
    for (int order : {2, 3}) {
        Pattern& p = song[order];
        pads(p, kVerse, 40);
        drums(p, Drums::kGroove);
        bass(p, Bass::kGroove, kVerse);
        if (order == 3) melody(p, kSlow, 30);
        hit(p, 0);
        hit(p, 32);
    }
    // 4: a snare fill into the new section, then the groove; hits on 0 and 32.
    {
        Pattern& p = song[4];
        pads(p, kVerse, 40);
        drums(p, Drums::kGroove, 0, 16);
        for (int row = 16; row < 30; ++row) {
            if (row % 2 == 0 || row >= 24)
                p.put(row, 0, kSnare, kDrumNote, kCmdVolume, uint8_t(18 + (row - 16) * 2));
        }
        drums(p, Drums::kGroove, 32, 64);
        bass(p, Bass::kGroove, kVerse);
        hit(p, 0);
        hit(p, 32);
    }
    // 5, 6: groove variation, the bass moves, the lead enters softly.
    for (int order : {5, 6}) {
        Pattern& p = song[order];
        pads(p, order == 5 ? kVerse : kTurn, 40);
        drums(p, Drums::kGroove);
        bass(p, Bass::kMoving, order == 5 ? kVerse : kTurn);
        melody(p, order == 5 ? kHook : kAnswer, 30);
        hit(p, 0);
        hit(p, 32);
    }
    // 7: breakdown: the drums thin to hats, the bass holds long notes.
    {
        Pattern& p = song[7];
        pads(p, kTurn, 34);
        drums(p, Drums::kHatsOnly, 0, 48);
        bass(p, Bass::kLong, kTurn, 44);
        melody(p, kSlow, 34);
    }
    // 8: the new section: the lead melody, hits on 8 and 40.
    {
        Pattern& p = song[8];
        pads(p, kVerse, 28);
        drums(p, Drums::kHalf);
        bass(p, Bass::kLong, kVerse, 46);
        melody(p, kHook, 40);
        hit(p, 8);
        hit(p, 40);
    }
    // 9, 10: syncopated stabs exactly on the accent rows.
    for (int order : {9, 10}) {
        Pattern& p = song[order];
        drums(p, Drums::kSyncopated);
        accents(p, order == 9 ? kVerse : kTurn);
        melody(p, kSyncLead, 30);
    }
    // 11: the build-up begins: four on the floor, pad, bass pedalling.
    {
        Pattern& p = song[11];
        pads(p, kTurn, 30);
        for (int row = 0; row < 64; row += 4) p.put(row, 0, kKick, kDrumNote, kCmdVolume, uint8_t(36 + row / 4));
        for (int row = 2; row < 64; row += 4) p.put(row, 0, kHat, kDrumNote, kCmdVolume, 20);
        bass(p, Bass::kPedal, kTurn, 40);
        melody(p, kSlow, 30);
    }
    // 12: the build-up peaks: a snare roll that tightens and grows, the riser climbing.
    {
        Pattern& p = song[12];
        for (int row = 0; row < 64; ++row) {
            const uint8_t volume = uint8_t(16 + row * 40 / 63);
            if (row < 32 && row % 4 == 0) p.put(row, 0, kSnare, kDrumNote, kCmdVolume, volume);
            else if (row >= 32 && row < 48 && row % 2 == 0) p.put(row, 0, kSnare, kDrumNote, kCmdVolume, volume);
            else if (row >= 48 && row < 56) p.put(row, 0, kSnare, kDrumNote, kCmdExtended, kRetrigger | 3);
            else if (row >= 56) p.put(row, 0, kSnare, kDrumNote, kCmdExtended, kRetrigger | 2);
        }
        for (int row = 0; row < 64; row += 2) p.put(row, 1, kBass, A1 + (row >= 48 ? 12 : 0), kCmdVolume, 44);
        p.put(0, 2, kPad, D2, kCmdVolume, 30);
        p.put(16, 2, kPad, E2, kCmdVolume, 30);
        p.put(32, 2, kRiser, C2, kCmdVolume, 40);
        for (int row = 33; row < 64; ++row) p.effect(row, 2, kCmdSlideUp, row < 48 ? 1 : 2);
        p.put(62, 1, 0, -1, kCmdVolume, 0);  // a breath of silence under the roll before the drop
        p.put(32, 3, kLead, E3, kCmdVolume, 26);
        p.put(40, 3, kLead, A3, kCmdVolume, 30);
        p.put(48, 3, kLead, B3, kCmdVolume, 34);
    }
    // 13-15: the drop: everything at once, hits on 0 and 32.
    for (int order : {13, 14, 15}) {
        Pattern& p = song[order];
        const Bar* bars = order == 14 ? kTurn : kVerse;
        pads(p, bars, 34);
        drums(p, Drums::kDrive);
        bass(p, order == 15 ? Bass::kMoving : Bass::kDrive, bars, 44);
        melody(p, order == 14 ? kAnswer : kHook, 36);
        hit(p, 0);
        hit(p, 32);
    }
    // 16: the syncopated section again, over the turnaround.
    {
        Pattern& p = song[16];
        drums(p, Drums::kSyncopated);
        accents(p, kTurn);
        melody(p, kSyncLead, 32);
    }
    // 17: straight hits on 8 and 40 again (and the downbeat).
    {
        Pattern& p = song[17];
        pads(p, kVerse, 40);
        drums(p, Drums::kHalf);
        bass(p, Bass::kGroove, kVerse, 44);
        melody(p, kAnswer, 34);
        hit(p, 0, 40);
        hit(p, 8);
        hit(p, 40);
    }
    // 18: winding down: sparse drums, long bass, the hits on 8 and 40 still there.
    {
        Pattern& p = song[18];
        pads(p, kTurn, 30);
        drums(p, Drums::kSparse);
        bass(p, Bass::kLong, kTurn, 40);
        melody(p, kSlow, 26);
        hit(p, 8, 60);
        hit(p, 40, 60);
    }
    // 19: the final chord, ringing out.
    {
        Pattern& p = song[19];
        p.put(0, 2, kPad, A1, kCmdVolume, 36);
        p.put(0, 1, kBass, A1, kCmdVolume, 40);
        p.put(0, 3, kLead, E3, kCmdVolume, 24);
        p.put(0, 0, kImpact, kDrumNote, kCmdVolume, 24);
        for (int row = 16; row < 64; row += 4) {
            p.effect(row, 1, kCmdVolumeSlide, 0x01);
            p.effect(row, 2, kCmdVolumeSlide, 0x01);
        }
    }
    // 20: a quiet tail under the show's last frame; the song wraps to the start after it.
    {
        Pattern& p = song[20];
        p.put(0, 1, 0, -1, kCmdVolume, 0);
        p.put(0, 2, 0, -1, kCmdVolume, 0);
    }
    return song;
}

}  // namespace

std::vector<uint8_t> modgen_build() {
    Sample samples[kModSamples] = {make_kick(), make_snare(), make_hat(),  make_impact(), make_bass(),
                                   make_pad(),  make_lead(),  make_stab(), make_riser()};
    for (Sample& s : samples) quantise(s);

    const std::vector<Pattern> song = compose();
    // Patterns that came out identical are stored once.
    std::vector<int> order_table;
    std::vector<const Pattern*> stored;
    for (const Pattern& p : song) {
        int index = -1;
        for (size_t k = 0; k < stored.size(); ++k)
            if (std::memcmp(stored[k], &p, sizeof p) == 0) index = int(k);
        if (index < 0) {
            index = int(stored.size());
            stored.push_back(&p);
        }
        order_table.push_back(index);
    }

    mod_file::Module m;
    m.title = "driftlight";
    for (int i = 0; i < kModSamples; ++i) {
        const Sample& s = samples[i];
        m.samples[size_t(i)] = {s.name, int(s.bytes.size() / 2), 0, mixed_volume(uint8_t(i + 1), s.volume),
                                int(s.loop_start / 2), int(s.loop_length ? s.loop_length / 2 : 1), s.bytes};
    }
    m.song_length = kModOrders;
    m.restart = 0;
    for (size_t k = 0; k < order_table.size(); ++k) m.orders[k] = uint8_t(order_table[k]);
    m.tag = "M.K.";
    for (const Pattern* p : stored) {
        for (int row = 0; row < mod_file::kRows; ++row) {
            for (int ch = 0; ch < kModChannels; ++ch) {
                const Note& n = p->cells[row][ch];
                const int period = (n.note >= kFirstNote && n.note <= kLastNote) ? pt_periods[0][n.note] : 0;
                uint8_t cell[mod_file::kCellSize];
                mod_file::put_cell(cell, period, n.sample, n.command, n.parameter);
                m.patterns.insert(m.patterns.end(), cell, cell + mod_file::kCellSize);
            }
        }
    }
    const std::vector<uint8_t> out = mod_file::write(m);
    return out;
}

// ---- rendering, through the show's own player ----

std::vector<int16_t> modgen_render(const std::vector<uint8_t>& module, int orders) {
    std::vector<int16_t> out;
    std::vector<uint8_t> copy = module;  // the loader converts the cells in place
    if (!music_init() || !music_load(copy.data(), copy.size())) return out;
    // A tick's pt_tick runs before its samples are mixed, as in the device callback.
    std::vector<int16_t> tick(kModTickSamples);
    out.reserve(size_t(orders) * 64 * kModRowSamples);
    for (;;) {
        pt_tick();
        if (pt_rows_played() > int64_t(orders) * 64) break;
        snd_mix(tick.data(), kModTickSamples);
        out.insert(out.end(), tick.begin(), tick.end());
    }
    return out;
}

std::vector<double> modgen_row_onsets(const std::vector<int16_t>& pcm, int rows) {
    constexpr int kFrame = 256, kFrames = 8;
    auto energy = [&](long start) {
        double e = 0.0;
        for (long i = start; i < start + kFrame; ++i) {
            if (i < 0 || i >= long(pcm.size())) continue;
            const double v = pcm[size_t(i)];
            e += v * v;
        }
        return e;
    };
    std::vector<double> onsets(size_t(rows), 0.0);
    for (int r = 0; r < rows; ++r) {
        const long start = long(r) * kModRowSamples;
        double previous = energy(start - kFrame), rise = 0.0;
        for (int f = 0; f < kFrames; ++f) {
            const double e = energy(start + long(f) * kFrame);
            rise += std::max(0.0, e - previous);
            previous = e;
        }
        onsets[size_t(r)] = rise;
    }
    return onsets;
}
