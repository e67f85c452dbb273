#include "tools/capture/flash_report.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kLitShare = 0.5;  // half of the window's rows are black scanlines
constexpr double kRedScale = 320;
constexpr int kChangesListed = 2 * kFlashesPerSecond;  // more changes than this are listed

// Per-channel tables in fixed point, so that the per-pixel work is integer adds: each channel's
// share of relative luminance, and linear light for the red measure.
constexpr double kYScale = 1 << 20;
constexpr double kLinScale = 1 << 16;
struct LinearTables {
  uint32_t y_r[256], y_g[256], y_b[256];
  int32_t lin[256];
};

const LinearTables& linear_tables() {
  static const LinearTables tables = [] {
    LinearTables t{};
    for (int i = 0; i < 256; ++i) {
      const double c = i / 255.0;
      const double v = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
      t.y_r[i] = static_cast<uint32_t>(std::lround(0.2126 * v * kYScale));
      t.y_g[i] = static_cast<uint32_t>(std::lround(0.7152 * v * kYScale));
      t.y_b[i] = static_cast<uint32_t>(std::lround(0.0722 * v * kYScale));
      t.lin[i] = static_cast<int32_t>(std::lround(v * kLinScale));
    }
    return t;
  }();
  return tables;
}

// Whether a move of the measure from state `from` to state `to` is a change that counts.
bool counts(bool general, const FlashState& from, const FlashState& to) {
  if (general)
    return std::abs(to.value - from.value) >= kGeneralFlashChange &&
           std::min(from.value, to.value) < kGeneralFlashDarker;
  return std::abs(to.value - from.value) >= kRedFlashChange &&
         std::max(from.saturated, to.saturated) >= kRedFlashChange;
}

// Follows one measure; true when this frame completes a counted change.
bool track_step(FlashTrack* k, bool general, const FlashState& v) {
  if (!k->started) {
    k->started = true;
    k->low = k->high = v;
    return false;
  }
  if (k->trend == 0) {
    if (v.value < k->low.value) k->low = v;
    if (v.value > k->high.value) k->high = v;
    const bool up = counts(general, k->low, v), down = counts(general, k->high, v);
    if (!up && !down) return false;
    k->trend = up && (!down || v.value - k->low.value >= k->high.value - v.value) ? 1 : -1;
    k->extreme = v;
    return true;
  }
  // A move further the same way extends the current change; only a move back by the
  // threshold from the extreme is a new one.
  if (k->trend * (v.value - k->extreme.value) >= 0) {
    k->extreme = v;
    return false;
  }
  if (!counts(general, k->extreme, v)) return false;
  k->trend = -k->trend;
  k->extreme = v;
  return true;
}

// The changes of this track inside the one-second window that ends with frame n.
int window_count(FlashTrack* k, int64_t n, int fps, bool changed) {
  if (changed) k->changes.push_back(n);
  while (!k->changes.empty() && k->changes.front() <= n - fps) k->changes.pop_front();
  return static_cast<int>(k->changes.size());
}

void close_second(FlashReport* r) {
  if (r->current.general_changes > kChangesListed || r->current.red_changes > kChangesListed)
    r->listed.push_back(r->current);
}

double flashes(int changes) { return changes / 2.0; }

}  // namespace

void flash_measure(const uint32_t* pixels, int width, int height, FlashMeasure* m) {
  const LinearTables& t = linear_tables();
  uint64_t sum_y[kFlashAreas] = {}, sum_red[kFlashAreas] = {}, sum_sat[kFlashAreas] = {};
  int64_t count[kFlashAreas] = {};
  const int half_w = width / 2, half_h = height / 2;
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = pixels + static_cast<int64_t>(y) * width;
    for (int side = 0; side < 2; ++side) {
      const int q = (y >= half_h ? 2 : 0) + side;
      const int x0 = side ? half_w : 0, x1 = side ? width : half_w;
      uint64_t y_acc = 0, red_acc = 0, sat_acc = 0;
      for (int x = x0; x < x1; ++x) {
        const uint32_t p = row[x];
        const uint32_t r8 = (p >> 16) & 255, g8 = (p >> 8) & 255, b8 = p & 255;
        y_acc += t.y_r[r8] + t.y_g[g8] + t.y_b[b8];
        const int32_t r = t.lin[r8], gb = t.lin[g8] + t.lin[b8];
        if (r > gb) {
          red_acc += static_cast<uint32_t>(r - gb);
          static_assert(kSaturatedRed == 0.8, "R / (R + G + B) >= 0.8 is R >= 4 (G + B)");
          if (r >= 4 * gb) sat_acc += static_cast<uint32_t>(r - gb);
        }
      }
      sum_y[q] += y_acc;
      sum_red[q] += red_acc;
      sum_sat[q] += sat_acc;
      count[q] += x1 - x0;
    }
  }
  for (int q = 0; q < kFlashAreas; ++q) {
    const double n = count[q] > 0 ? static_cast<double>(count[q]) : 1.0;
    const double red_unit = kLitShare * kRedScale / (kLinScale * n);
    m->luminance[q] = FlashState{kLitShare * static_cast<double>(sum_y[q]) / (kYScale * n), 0};
    m->red[q] = FlashState{static_cast<double>(sum_red[q]) * red_unit,
                           static_cast<double>(sum_sat[q]) * red_unit};
  }
}

void flash_report_begin(FlashReport* report, int fps) {
  *report = FlashReport{};
  report->fps = std::max(fps, 1);
}

void flash_report_frame(FlashReport* r, const uint32_t* pixels, int width, int height, int scene,
                        int32_t position) {
  const int64_t n = r->frames++;
  const int64_t second = n / r->fps;
  if (n == 0 || second != r->current.second) {
    if (n != 0) close_second(r);
    r->current = FlashSecond{second, 0, 0, scene, scene, position, position};
  }
  FlashMeasure m;
  flash_measure(pixels, width, height, &m);
  FlashSecond& c = r->current;
  for (int q = 0; q < kFlashAreas; ++q) {
    const bool general_change = track_step(&r->general[q], true, m.luminance[q]);
    const bool red_change = track_step(&r->red[q], false, m.red[q]);
    const int g = window_count(&r->general[q], n, r->fps, general_change);
    const int d = window_count(&r->red[q], n, r->fps, red_change);
    c.general_changes = std::max(c.general_changes, g);
    c.red_changes = std::max(c.red_changes, d);
  }
  r->worst_general = std::max(r->worst_general, c.general_changes);
  r->worst_red = std::max(r->worst_red, c.red_changes);
  c.scene_first = std::min(c.scene_first, scene);
  c.scene_last = std::max(c.scene_last, scene);
  c.position_first = std::min(c.position_first, position);
  c.position_last = std::max(c.position_last, position);
}

void flash_report_end(FlashReport* report) {
  if (report->frames > 0) close_second(report);
}

void flash_report_print(const FlashReport& r, std::FILE* out) {
  std::fprintf(out,
               "\nflash report: seconds with more than %d general or red flashes in one quarter of "
               "the window picture\n",
               kFlashesPerSecond);
  if (!r.listed.empty())
    std::fprintf(out, "second   time  scene  position   general flashes  red flashes\n");
  int general_seconds = 0, red_seconds = 0;
  for (const FlashSecond& s : r.listed) {
    general_seconds += s.general_changes > kChangesListed;
    red_seconds += s.red_changes > kChangesListed;
    char scene[16], position[24];
    if (s.scene_first == s.scene_last)
      std::snprintf(scene, sizeof scene, "%d", s.scene_first);
    else
      std::snprintf(scene, sizeof scene, "%d-%d", s.scene_first, s.scene_last);
    std::snprintf(position, sizeof position, "%d-%d", s.position_first, s.position_last);
    std::fprintf(out, "%6lld  %2lld:%02lld  %5s  %-9s  %15.1f  %11.1f\n",
                 static_cast<long long>(s.second), static_cast<long long>(s.second / 60),
                 static_cast<long long>(s.second % 60), scene, position, flashes(s.general_changes),
                 flashes(s.red_changes));
  }
  if (r.listed.empty())
    std::fprintf(out,
                 "verdict: no second has more than %d general or red flashes (at most %.1f general "
                 "and %.1f red in any second)\n",
                 kFlashesPerSecond, flashes(r.worst_general), flashes(r.worst_red));
  else
    std::fprintf(out,
                 "verdict: %zu seconds have more than %d flashes (%d general, %d red; at most %.1f "
                 "general and %.1f red in a second), a risk for photosensitive viewers; --gentle "
                 "keeps every flash under the thresholds\n",
                 r.listed.size(), kFlashesPerSecond, general_seconds, red_seconds,
                 flashes(r.worst_general), flashes(r.worst_red));
}
