// A flash report of the show's frames: which seconds flash or flicker more than three times, in
// general (relative luminance) or in saturated red. Each frame is measured as the window shows
// it: every picture row doubled with a black scanline under it, so half the window's rows are
// black. The picture is cut into four quarters, each an area of its own.
//
//   general flash: a pair of opposing changes of the quarter's mean relative luminance, each of
//                  at least 0.10 (a tenth of the greatest possible), the darker state below 0.80
//   red flash:     a pair of opposing changes of at least 20 in the quarter's mean of
//                  (R - G - B) x 320 (negative values 0), R, G and B in linear light from 0 to
//                  1, where one of the two states is saturated red: its saturated pixels
//                  (R / (R + G + B) >= 0.8) alone make up at least 20 of the mean. Zeroing the
//                  pixels that are not saturated instead would count a flat orange that
//                  wavers across the 0.8 line as a red flash.
//
// A change is counted once it has moved the measure by the threshold from the last extreme, so
// a slow ramp is one change and a jitter smaller than the threshold is none. A second of the
// show is listed when some one-second window ending in it holds more than three flashes (more
// than six changes) in one quarter.
#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

constexpr double kGeneralFlashChange = 0.10;  // relative luminance, of 1.0
constexpr double kGeneralFlashDarker = 0.80;  // the darker state must be below this
constexpr double kRedFlashChange = 20.0;      // in (R - G - B) x 320
constexpr double kSaturatedRed = 0.8;         // R / (R + G + B) at or above this
constexpr int kFlashesPerSecond = 3;          // more than this in a second is listed
constexpr int kFlashAreas = 4;                // the picture's quarters

// One area's measure on one frame. For red, `saturated` is the part of the value that comes
// from saturated red pixels: a change counts only when one of its two states has at least
// kRedFlashChange of it.
struct FlashState {
  double value = 0;
  double saturated = 0;
};

struct FlashMeasure {
  FlashState luminance[kFlashAreas];  // quarter q = 2 * (lower half) + (right half)
  FlashState red[kFlashAreas];
};

// One measure of one area: the changes counted so far, and where the measure stands.
struct FlashTrack {
  int trend = 0;         // +1 rising, -1 falling, 0 before the first counted change
  FlashState extreme;    // the furthest state of the current trend
  FlashState low, high;  // the range seen before the first counted change
  bool started = false;
  std::deque<int64_t> changes;  // frame numbers of the counted changes still in the window
};

// A listed second, or the second being gathered.
struct FlashSecond {
  int64_t second = 0;       // whole seconds from the first frame
  int general_changes = 0;  // the most changes in one quarter in any one-second window
  int red_changes = 0;      //   ending in this second (two changes are one flash)
  int scene_first = 0, scene_last = 0;
  int32_t position_first = 0, position_last = 0;
};

struct FlashReport {
  int fps = 50;
  int64_t frames = 0;
  FlashTrack general[kFlashAreas];
  FlashTrack red[kFlashAreas];
  FlashSecond current;
  std::vector<FlashSecond> listed;
  int worst_general = 0;  // the most changes in any window over the whole run
  int worst_red = 0;
};

// The quarters' measures of one frame as the window shows it.
void flash_measure(const uint32_t* pixels, int width, int height, FlashMeasure* measure);

void flash_report_begin(FlashReport* report, int fps);
// Frames in the order shown, 1 / fps apart; scene and position say where the show was.
void flash_report_frame(FlashReport* report, const uint32_t* pixels, int width, int height,
                        int scene, int32_t position);
// Closes the last second. Call once after the last frame.
void flash_report_end(FlashReport* report);
// The listed seconds, one a line, and a one-line verdict.
void flash_report_print(const FlashReport& report, std::FILE* out);
