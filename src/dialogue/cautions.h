#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogue/session.h"

namespace korvant {

// Cautions about what a merge or an averaging does without a word: each is
// one line on stderr (Session::Caution), so the console, the summary file and
// the output files stay as they are.

/// An operation ("a merge", "an averaging") stopped looking at `file` after
/// its first kMaxSteps time-step records while more records followed.
void CautionStepLimit(Session& s, std::string_view operation, std::string_view file);

/// Watches the times of the steps an averaging takes in; the first step whose
/// time is not greater than the one before it draws the caution, once.
class AveragedTimes {
 public:
  void Take(Session& s, std::string_view file, float time);

 private:
  std::optional<float> last_;
  bool told_ = false;
};

/// Watches what a merge writes and reads: times that do not go forward, and
/// inputs whose node or element counts differ from those of its first input.
class MergeWatch {
 public:
  /// Before a step of time `time` is written.
  void Write(float time);
  /// The counts of the first step read from `file`, the merge's input number
  /// `input` (from 1); an input entered again is cautioned about once.
  void FirstStep(Session& s, int input, std::string_view file, int32_t nodes, int32_t elements);
  /// At the close of the merge into `merged`.
  void Close(Session& s, std::string_view merged);

 private:
  std::optional<float> last_written_;
  int64_t not_after_ = 0;  // steps written whose time is not greater than the one before
  float first_not_after_ = 0.0f;
  std::optional<int32_t> nodes_, elements_;
  std::string first_file_;
  std::vector<std::string> told_;  // inputs already cautioned about (at most ten readings)
};

}  // namespace korvant
