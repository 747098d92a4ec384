#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvant {

/// The restart-aware choice among the times of one sequence of steps (an
/// input of a merge, the window of an averaging): a step at or before the time
/// of a step before it replaces those steps from its time on, so a later piece
/// of a restart chain wins and the times kept strictly increase. Put another
/// way, a step is kept when every later step of the sequence comes after it.
///
/// Whether a step is kept is known only once every later step has been seen,
/// so the sequence is gone over twice. The first pass (`Note`) keeps, of each
/// run of increasing times, only its start, and only while no later run starts
/// at or before it; the second (`Replaced`), over the same times in the same
/// order, decides each step as it meets it. A run needs one note however long
/// it is, so the notes grow only with the number of times the sequence goes
/// back in time, and never past `kMaxRestarts` (16 bytes each).
class RestartRuns {
 public:
  /// Times the sequence may go back, by the notes kept, before it is refused.
  static constexpr size_t kMaxRestarts = 4096;

  /// First pass: the next time. False when the notes would pass kMaxRestarts.
  bool Note(float time);
  /// The smallest time noted.
  std::optional<float> earliest() const { return earliest_; }

  /// Second pass, over the times noted, in their order: true when a later
  /// time of the sequence is at or before `time`.
  bool Replaced(float time);

 private:
  struct RunStart {
    int64_t run;  // runs of increasing times, from 0
    float time;
  };
  std::vector<RunStart> later_lows_;  // runs no later run undercuts, in order
  std::optional<float> earliest_;
  std::optional<float> noted_;  // the time noted last, and its run
  int64_t noted_run_ = 0;
  std::optional<float> met_;  // the time met last in the second pass, and its run
  int64_t met_run_ = 0;
  size_t low_ = 0;  // the first note after the run met last
};

}  // namespace korvant
