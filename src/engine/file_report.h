#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "formats/identify.h"
#include "formats/read_result.h"
#include "io/record_file.h"

namespace korvant {

/// The counts of one time step (of the mesh record, for a VELTO file).
struct StepCounts {
  int32_t nodes = 0;
  int32_t elements = 0;
  int32_t width = 0;  ///< QMX4 constituents (NQAL), QMX10 degrees of freedom (NDF); else 0
  bool operator==(const StepCounts&) const = default;
};

/// A step whose time is not greater than the time of the step before it.
struct TimeBack {
  int64_t record = 0;  ///< from 1, counting every record of the file
  float time = 0.0f;
  float previous = 0.0f;
};

/// A step whose counts differ from those of the step before it.
struct CountChange {
  int64_t record = 0;  ///< from 1, counting every record of the file
  StepCounts counts;
  StepCounts previous;
};

/// Places listed in a report; later ones are only counted, so that a
/// report's size does not grow with the file's steps.
constexpr size_t kMaxListed = 100;

/// What a look at a whole file found.
struct FileReport {
  Identity identity;    ///< kind, header form, long QMX2 steps, or why it is none of the kinds
  int64_t records = 0;  ///< whole records before the end or the first damage
  Framing framing;      ///< told from the first record's two lengths

  // The header, for the kinds that have one.
  std::optional<int32_t> irec1;      ///< IREC(1), the version code; absent when not in the file
  std::optional<int32_t> mflg;       ///< integer-coded form only
  std::optional<int32_t> ivers;      ///< integer-coded form only
  std::optional<std::string> title;  ///< as stored, trailing blanks and NULs removed

  /// The first step's counts (a VELTO file: its mesh record's); absent when
  /// the file has no sound step.
  std::optional<StepCounts> counts;
  int64_t steps = 0;  ///< sound time-step records before the end or the first damage
  std::optional<float> first_time, last_time;
  /// Smallest and largest difference between the times of two steps in a
  /// row, both finite, in hours; below zero where time goes back.
  std::optional<float> min_step, max_step;
  std::vector<TimeBack> time_back;  ///< the first kMaxListed
  int64_t time_back_count = 0;
  std::vector<CountChange> count_changes;  ///< the first kMaxListed
  int64_t count_change_count = 0;
  /// The first count beyond what this program's arrays take (its name as the
  /// file format calls it, its value and the limit).
  std::optional<Oversize> too_large;
  /// The first damaged record; none when the framing and every step's counts
  /// are sound to the end of the file.
  std::optional<Damage> damage;

  bool identified() const { return identity.kind != FileKind::kUnknown; }
  bool sound() const { return identified() && !damage; }
  /// More steps than a merge or an averaging looks at in a file.
  bool over_step_limit() const;
};

/// Looks at the whole of the file open in `f`, from its start: identifies it,
/// reads its header and the time and counts of every step, and follows its
/// framing to the end or to the first damaged record, every record's closing
/// length compared with its opening one. Only the leading values of each
/// record are read; the rest is passed over. Never prints and never ends the
/// run. `progress`, when given, is called after each step with the steps read
/// so far and the step's hour.
using ReportProgress = std::function<void(int64_t steps, float hour)>;
FileReport ReportFile(RecordFile& f, const ReportProgress& progress = {});

}  // namespace korvant
