#pragma once

#include <cstdint>
#include <optional>

#include "formats/limits.h"
#include "formats/read_result.h"
#include "formats/step_filter.h"
#include "io/record_file.h"

namespace korvant {

/// The automatic averaging window over the `count` times of a file: it stops
/// at the last time and starts 25 steps before it, or at the first time when
/// the file holds fewer than 26 steps. `count` must be at least 1.
inline void AutoWindow(const float* times, int count, float* start, float* stop) {
  constexpr int kStepsBack = 25;
  *stop = times[count - 1];
  *start = times[count - 1 - kStepsBack >= 0 ? count - 1 - kStepsBack : 0];
}

/// True when a record, whole or damaged, starts at the input's position,
/// which is kept.
inline bool RecordFollows(RecordFile& in) {
  const RecordMark at = in.Tell();
  const bool follows = in.Begin() != ReadStatus::kEndOfFile;
  in.Seek(at);
  return follows;
}

/// The main pass of an averaging that stops at the end of the file or at a
/// damaged step: reads at most kMaxSteps steps from the input's position.
/// `read(filter, passed)` reads one step and returns its `ReadResult`; `use(number, passed)` then
/// handles step `number` (from 1), read whole or, outside `window`, passed with only its time and
/// counts. The blocks end as reading every step whole leaves them: a passed last step is read
/// again; after a damaged step, whose values only partly replace those of the steps before it,
/// every step is read again as it came. Returns true when the pass stopped after kMaxSteps steps
/// while more records followed.
template <typename Read, typename Use>
bool ReadStepsPassingOutside(RecordFile& in, const StepFilter& window, Read read, Use use) {
  const RecordMark first_step_at = in.Tell();
  std::optional<RecordMark> last_passed_at;
  bool any_passed = false;
  ReadStatus status = ReadStatus::kOk;
  int steps = 0;
  for (; steps < kMaxSteps; ++steps) {
    const RecordMark at = in.Tell();
    bool passed = false;
    status = read(window, &passed).status();
    any_passed = any_passed || passed;  // a damaged step may have been passed too
    if (status != ReadStatus::kOk) break;
    last_passed_at = passed ? std::optional(at) : std::nullopt;
    use(steps + 1, passed);
  }
  const bool more = steps == kMaxSteps && RecordFollows(in);
  const StepFilter every;
  if (status == ReadStatus::kError && any_passed) {
    in.Seek(first_step_at);
    for (int again = 0; again <= steps; ++again) read(every, nullptr);
  } else if (last_passed_at) {
    in.Seek(*last_passed_at);
    in.MustRead(read(every, nullptr).status());
  }
  return more;
}

}  // namespace korvant
