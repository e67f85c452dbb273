// The soundtrack: a four-channel "M.K." module whose samples are synthesised and whose 21 patterns
// are composed in code, and its rendering through the show's own player, for checks.
#pragma once
#include <cstdint>
#include <vector>

constexpr int kModOrders = 21;       // the show ends as order 20 begins
constexpr int kModChannels = 4;
constexpr int kModSamples = 9;
constexpr int kModSpeed = 6;         // ticks per row
constexpr int kModTickRate = 52;     // ticks per second in the show
constexpr int kModMixRate = 44100;
constexpr int kModTickSamples = kModMixRate / kModTickRate;  // 848
constexpr int kModRowSamples = kModTickSamples * kModSpeed;  // 5088

// Sample numbers (1-based, as in the cells).
enum ModSample : uint8_t {
    kKick = 1, kSnare, kHat, kImpact, kBass, kPad, kLead, kStab, kRiser,
};

// The whole module file.
std::vector<uint8_t> modgen_build();

// Plays the module through the show's player from order 0 for the given number of orders (rows,
// without jumps), mono 16-bit at 44100 Hz in ticks of 848 samples, as the show hears it. Uses
// the music device the program links (music_offline), and resets the player.
std::vector<int16_t> modgen_render(const std::vector<uint8_t>& module, int orders);

// Onset strength of every row: the rise of short-frame energy over the first 46 ms of the row.
std::vector<double> modgen_row_onsets(const std::vector<int16_t>& pcm, int rows);
