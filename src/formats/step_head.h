#pragma once

#include <cstdint>
#include <string>

#include "formats/read_result.h"
#include "io/record_file.h"

namespace korvant {

/// The time and counts of one time-step record, and where it lies.
struct StepHead {
  float time = 0.0f;
  int32_t np = 0;       // nodes
  int32_t ne = 0;       // elements
  int32_t width = 0;    // QMX4 constituents (NQAL), QMX10 degrees of freedom (NDF)
  RecordMark at;        // the record's leading length
  uint32_t length = 0;  // its data bytes
  int32_t listed = 0;   // QMX10: NCNT, the entries of the count list the record gives
};

/// A step record's head as a family's head reader takes it: the time, the
/// counts each only while the record still holds it (so that a record too
/// short for its counts is told by them, not by a short read), and the
/// bytes the counts need. `Check` then compares those with the record.
class StepHeadReading {
 public:
  /// Begins the record at the file's position.
  StepHeadReading(RecordFile& f, StepHead* head);

  bool begun() const { return begun_; }
  /// The step's time, the record's first value.
  bool Time() { return f_.Reals(&head_->time, 1); }
  /// `n` counts where the reading stands, or at byte `at` of the record.
  bool Take(int32_t* v, int n, int64_t at = -1);
  /// The counts as text for a message, "NP2 = 4 and NE2 = 1".
  std::string counts;
  /// The bytes the counts need; -1 while they ask for more than the record
  /// holds, `kBeyondLayout` when a count is beyond what the layout allows.
  int64_t want = -1;
  static constexpr int64_t kBeyondLayout = -2;

  /// Ends the record and tells whether the counts fill it exactly (kDamaged
  /// when they do not).
  ReadResult Check();

 private:
  RecordFile& f_;
  StepHead* head_;
  ReadStatus status_;
  bool begun_;
};

}  // namespace korvant
