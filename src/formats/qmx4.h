#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/header.h"
#include "formats/read_result.h"
#include "formats/step_filter.h"
#include "formats/step_head.h"
#include "io/record_file.h"

namespace korvant {

// A QMX4 file: a header (character form or integer-coded, see
// formats/header.h) and one record per time step: TIME, NQAL, NP4, the NP4
// node values of constituent 1, then those of constituent 2 and so on
// (NP4 x NQAL reals), NE4 and IMAT4 (NE4 integers). A count of zero or less
// stands for no values.

/// One QMX4 time step: its time and counts, and where its arrays go (or come
/// from when written). Constituent k of node j is at conc[k * row + j]; a
/// read takes at most `row` nodes, conc.size() / row constituents and
/// imat.size() elements.
struct Qmx4Step {
  float time = 0.0f;
  int32_t nqal = 0;  // NQAL
  int32_t np = 0;    // NP4
  int32_t ne = 0;    // NE4
  std::span<float> conc;
  size_t row = 0;
  std::span<int32_t> imat;  // IMAT4

  int64_t node_limit() const { return static_cast<int64_t>(row); }
  int64_t constituent_limit() const {
    return row == 0 ? 0 : static_cast<int64_t>(conc.size() / row);
  }
  int64_t element_limit() const { return static_cast<int64_t>(imat.size()); }
};

/// Data bytes of a step with these counts (counts below zero count as none).
int64_t Qmx4StepBytes(int64_t nqal, int64_t np, int64_t ne);
/// Byte offset of NE4 within a step record of these counts.
int64_t Qmx4ElementCountAt(int64_t nqal, int64_t np);

/// Whether the record at the file's position can be a QMX4 time step, from
/// its length and counts alone: it holds exactly what NQAL, NP4 and NE4 need.
/// The file is left after the record.
bool CouldBeQmx4Step(RecordFile& in);

/// Reads the next time step into `step`. More constituents, nodes or elements
/// than the step holds is kTooLarge (count "NQAL", "NP4" or "NE4"), with `np`
/// set and `ne` as the record gives it (or as it was, where the record ends
/// first), before anything is stored beyond a span; the record is then passed
/// over. On kDamaged the values taken before the damage are kept. A step
/// `filter` does not want is checked the same way, but only its time and
/// counts are taken; *passed tells which happened.
ReadResult ReadQmx4Step(RecordFile& in, Qmx4Step& step, const StepFilter& filter = {},
                        bool* passed = nullptr);

/// Takes only `TIME` and `NQAL` of the next time step; the rest is passed over.
ReadResult ReadQmx4Time(RecordFile& in, float* time, int32_t* nqal);

/// One time step in the record layout above, with `step.nqal` constituents.
void WriteQmx4Step(RecordFile& out, const Qmx4Step& step);

/// Reads the next step record taking only its time and counts, and checks
/// that the counts fill the record exactly (kDamaged when they do not).
ReadResult ReadQmx4StepHead(RecordFile& f, StepHead* head);

}  // namespace korvant
