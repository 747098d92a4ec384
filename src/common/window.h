#pragma once

namespace korvant {

/// Steps whose values a reader wants: those in a window of hours, or all.
struct StepFilter {
  float from = 0.0f, to = 0.0f;
  bool all = true;
  bool Wants(float time) const { return all || (from <= time && time <= to); }
};

/// The automatic averaging window over the `count` times of a file: it stops
/// at the last time and starts 25 steps before it, or at the first time when
/// the file holds fewer than 26 steps. `count` must be at least 1.
inline void AutoWindow(const float* times, int count, float* start, float* stop) {
  constexpr int kStepsBack = 25;
  *stop = times[count - 1];
  *start = times[count - 1 - kStepsBack >= 0 ? count - 1 - kStepsBack : 0];
}

}  // namespace korvant
