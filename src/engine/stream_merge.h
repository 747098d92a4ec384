#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "formats/identify.h"

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
  int64_t bytes = 0;              ///< bytes of the merged file
  bool copied_in_kernel = false;  ///< copy_file_range did (some of) the copying
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
/// notes per input the earliest time it selects and, within an input, the
/// start of every run of increasing times that later runs do not undercut;
/// with those `Write` decides each step as it meets it. A run of increasing
/// times needs one note however long it is, so the notes grow only with the
/// number of times an input goes back in time, which is bounded.
/// With `keep_all`, every selected step is copied in the order given.
class StreamMerge {
 public:
  StreamMerge(std::vector<MergeInput> inputs, bool keep_all);

  /// False when the merge is refused (report().error names the file and the
  /// fault). Nothing is written.
  bool Check();
  /// Writes the merged file to `out_fd` (open for writing, empty, at its
  /// start), calling `progress` after each step. False on a failed write or an
  /// input that changed since `Check`. Call only after `Check` succeeded.
  bool Write(int out_fd, const std::function<void(const MergeProgress&)>& progress = {});

  const MergeReport& report() const { return report_; }

  /// Times an input's selected steps may go back before the merge is refused.
  static constexpr size_t kMaxRestarts = 4096;

 private:
  struct RunStart {
    int64_t run;  // runs of increasing selected times, from 0
    float time;
  };
  struct Source {
    MergeInput input;
    int64_t steps = 0;
    std::optional<float> earliest;     // smallest selected time
    std::vector<RunStart> later_lows;  // runs no later run undercuts, in order
  };
  class Copier;

  bool CheckInput(size_t i);
  bool WriteInput(size_t i, Copier& copier, const std::function<void(float)>& step_done);
  bool Refuse(const std::string& path, const std::string& what);

  std::vector<Source> sources_;
  bool keep_all_;
  Identity identity_;
  int64_t header_bytes_ = 0;
  bool have_counts_ = false;
  std::string counts_from_;  // the file whose first step set the counts
  MergeReport report_;
};

}  // namespace korvant
