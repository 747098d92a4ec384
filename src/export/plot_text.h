#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvant {

/// Round ticks over a range: every multiple of `step` from `lo` to `hi`, the
/// step 1, 2 or 5 times a power of ten.
struct Ticks {
  double step = 1.0;
  std::vector<double> at;
  /// A tick's label, with as many decimals as the step needs ("0.25" for a
  /// step of 0.05 is "0.25"; "1200" for a step of 200).
  std::string Label(double value) const;
};

/// Ticks over [lo, hi], about `wanted` of them (at least 2 where the range
/// allows); a range of no width gives one tick at its value.
Ticks RoundTicks(double lo, double hi, int wanted);

/// The largest 1, 2 or 5 times a power of ten not above `value` (> 0).
double RoundDown(double value);

/// A start date "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM" moved on by `hours`, as
/// "YYYY-MM-DD HH:MM"; nothing when `start` is not such a date.
std::optional<std::string> DateAfter(std::string_view start, double hours);

}  // namespace korvant
