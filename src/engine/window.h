#pragma once

#include <cstdint>

#include "formats/limits.h"
#include "io/record_file.h"

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

/// The main pass of an averaging that stops at the end of the file or at a
/// damaged step: reads at most kMaxSteps steps from the input's position.
/// `read(filter, passed)` reads one step into the blocks and returns its
/// status; `use(number, passed)` then handles step `number` (from 1), read
/// whole or, outside `window`, passed with only its time and counts.
/// The blocks end as reading every step whole leaves them: a passed last step
/// is read again; after a damaged step, whose values only partly replace those
/// of the steps before it, every step is read again as it came.
template <typename Read, typename Use>
void ReadStepsPassingOutside(RecordFile& in, const StepFilter& window, Read read, Use use) {
  const int64_t first_step_at = in.Tell();
  int64_t last_passed_at = -1;
  bool any_passed = false;
  ReadStatus status = ReadStatus::kOk;
  int steps = 0;
  for (; steps < kMaxSteps; ++steps) {
    const int64_t at = in.Tell();
    bool passed = false;
    status = read(window, &passed);
    any_passed = any_passed || passed;  // a damaged step may have been passed too
    if (status != ReadStatus::kOk) break;
    last_passed_at = passed ? at : -1;
    use(steps + 1, passed);
  }
  const StepFilter every;
  if (status == ReadStatus::kError && any_passed) {
    in.Seek(first_step_at);
    for (int again = 0; again <= steps; ++again) read(every, nullptr);
  } else if (last_passed_at >= 0) {
    in.Seek(last_passed_at);
    in.MustRead(read(every, nullptr));
  }
}

}  // namespace korvant
