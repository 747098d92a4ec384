#pragma once

namespace korvant {

/// Steps whose values a reader wants: those in a window of hours (both ends
/// included), or all. A step outside is passed with only its time and counts.
struct StepFilter {
  float from = 0.0f, to = 0.0f;
  bool all = true;
  bool Wants(float time) const { return all || (from <= time && time <= to); }
};

}  // namespace korvant
