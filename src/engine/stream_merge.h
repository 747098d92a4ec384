#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/restart_runs.h"
#include "formats/identify.h"
#include "formats/limits.h"

namespace korvant {

/// One input of a merge: a file and its window of hours, both ends included;
/// an end left unset reaches the file's first or last step.
struct MergeInput {
  std::string path;
  std::optional<float> from, to;

  /// True for a time in the window. A time that is not a number never is.
  bool Selects(float time) const {
    return time == time && (!from || *from <= time) && (!to || time <= *to);
  }
};

/// What a merge found in one input and took from it.
struct MergeInputReport {
  int64_t steps = 0;     ///< time-step records in the file
  int64_t selected = 0;  ///< of them in its window
  int64_t kept = 0;      ///< of them in the merged file
  /// Steps already kept (from earlier inputs, or from earlier in this one)
  /// that steps of this input replaced.
  int64_t replaced = 0;
  std::optional<float> first_hour, last_hour;  ///< of its kept steps
  /// With salvage: the first damaged record of a file whose steps before it
  /// were used (`steps` of them).
  std::optional<Damage> damage;
  /// QMX10: kept steps whose count list leaned on entries of steps the
  /// merge left out, written with their whole count list instead.
  int64_t relisted = 0;
};

/// Something a merge did that its user may not expect, as data the front end
/// words. Inputs are numbered from 0, in the order given.
struct MergeCaution {
  enum class What {
    /// The input gives no step: its window selects none. (A file of no step
    /// is not taken as an input at all.)
    kNoStepSelected,
    /// Restart-aware: later inputs replace every step the input selects.
    kAllReplaced,
    /// With keep_all: the merged times go back, first at `hour` of `input`
    /// after `before_hour` of `before_input`; `steps` come at or before the
    /// time of a step written before them.
    kTimesGoBack,
  };
  /// A later input that replaced steps, and the earliest time it selects.
  struct Replacer {
    size_t input;
    float from;
  };
  explicit MergeCaution(What w) : what(w) {}

  What what;
  size_t input = 0;
  int64_t steps = 0;                ///< kAllReplaced: the steps replaced; kTimesGoBack: see above
  float hour = 0, last_hour = 0;    ///< kAllReplaced: the hours of the steps replaced
  size_t before_input = 0;          ///< kTimesGoBack
  float before_hour = 0;            ///< kTimesGoBack
  std::vector<Replacer> replacers;  ///< kAllReplaced, in the order given
};

/// What a merge did, for the front end's report. `error` says why a step
/// failed: "<file>: <what>" for an input, the system's reason for a write.
struct MergeReport {
  std::string error;
  bool write_failed = false;  ///< the error is the output's, not an input's
  FileKind kind = FileKind::kUnknown;
  bool integer_coded = false;  ///< the first input's header form (QMX2, QMX4)
  bool long_steps = false;     ///< QMX2 steps carry elevations
  Identity identity;           ///< the first input's, as its family's driver reads it
  int32_t nodes = 0, elements = 0;
  std::vector<MergeInputReport> inputs;  ///< one per input, in order
  int64_t steps = 0;                     ///< steps in the merged file
  std::optional<float> first_hour, last_hour;
  int64_t bytes = 0;                   ///< bytes of the merged file
  bool copied_in_kernel = false;       ///< copy_file_range did (some of) the copying
  std::vector<MergeCaution> cautions;  ///< in the order of the inputs they are about
};

/// How far the writing has come: steps and bytes written, and the hour of
/// the step written last.
struct MergeProgress {
  int64_t steps = 0;
  float hour = 0.0f;
  int64_t bytes = 0;
};

/// A merge of model result files of one family into one, streaming: the
/// header of the first input, then the selected steps of every input, each
/// record copied unchanged (inside the kernel where it allows), so that
/// memory does not grow with the files.
///
/// `Check` reads every input once, taking only each record's time and counts:
/// the family, the framing of every record (the closing length included), and
/// counts that fill each record exactly and match the first step's node and
/// element counts. Any fault refuses the merge there, before anything is
/// written. `Write` then reads the inputs again, checks each record's head
/// once more and copies the records chosen.
///
/// Restart-aware choosing (the default): a step whose time is at or before
/// the time of a step kept before it replaces the kept steps from its time
/// on, so a later piece of a restart chain wins and the merged times strictly
/// increase. Whether a step is finally kept is known only once every later
/// step has been seen, and a written step cannot be taken back, so `Check`
/// notes per input the earliest time it selects and, within an input, what
/// `RestartRuns` keeps; with those `Write` decides each step as it meets it.
/// With `keep_all`, every selected step is copied in the order given.
///
/// With `salvage`, an input damaged after its header (a run that stopped
/// mid-write) gives the steps before its first damaged record, and its
/// report says where the damage is; without it, the merge is refused.
///
/// Inputs of another framing (`Framing`) are copied into the common one, so
/// that the merged file is the same whatever the framing of its inputs.
///
/// `Write` leaves in the report the cautions of a merge that does what its
/// user may not expect: an input that gives no step, and, with `keep_all`,
/// merged times that go back.
class StreamMerge {
 public:
  StreamMerge(std::vector<MergeInput> inputs, bool keep_all, bool salvage = false);

  /// False when the merge is refused (report().error names the file and the
  /// fault). Nothing is written.
  bool Check();
  /// Writes the merged file to `out_fd` (open for writing, empty, at its
  /// start), calling `progress` after each step. False on a failed write or an
  /// input that changed since `Check`. Call only after `Check` succeeded.
  bool Write(int out_fd, const std::function<void(const MergeProgress&)>& progress = {});

  const MergeReport& report() const { return report_; }

  /// Times an input's selected steps may go back before the merge is refused.
  static constexpr size_t kMaxRestarts = RestartRuns::kMaxRestarts;

 private:
  struct Source {
    MergeInput input;
    int64_t steps = 0;
    RestartRuns runs;  // of the selected times, restart-aware
    // Written: the hours of the first and last selected steps, and the later
    // inputs that replaced any.
    float first_selected = 0, last_selected = 0;
    std::vector<MergeCaution::Replacer> replacers;
  };
  class Copier;

  bool CheckInput(size_t i);
  bool WriteInput(size_t i, Copier& copier, const std::function<void(float)>& step_done);
  void NoteCautions();
  bool Refuse(const std::string& path, const std::string& what);

  std::vector<Source> sources_;
  bool keep_all_;
  bool salvage_;
  Identity identity_;
  int64_t header_bytes_ = 0;
  bool have_counts_ = false;
  std::string counts_from_;  // the file whose first step set the counts
  MergeReport report_;
  // Of the written steps: the last and the latest time, for the caution of
  // times that go back.
  std::optional<float> latest_written_;
  size_t last_input_ = 0;
  float last_written_ = 0;
  std::optional<MergeCaution> back_;
  /// The QMX10 count list that the steps written so far leave, as a reader
  /// of the merged file carries it.
  std::array<int32_t, MAXCNT> written_counts_{};
};

}  // namespace korvant
