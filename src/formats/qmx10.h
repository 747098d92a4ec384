#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/read_result.h"
#include "formats/step_filter.h"
#include "formats/step_head.h"
#include "io/record_file.h"

namespace korvant {

// A QMX10 file has no header: it is a run of time-step records, each holding,
// in order, TIME (real), NP, NDF, NE, NCNT (integers), ICNT (NCNT integers),
// for each degree of freedom k = 1..NDF its ICNT(k) node values, RDAT3
// (ICNT(3) reals), IMAT (NE integers), NDRY (NP integers), RDAT7 (ICNT(7)
// reals), RDAT8 (ICNT(8) reals), RNODE (NP reals) and RELEM (NE reals).
// A negative count sizes an empty array.
constexpr int kQmx10CountList = 8;  // entries of ICNT
constexpr float kQmx10AveragedTime = 9999.0f;

/// One QMX10 time step: its time and counts, and where its arrays go (or come
/// from when written). Degree of freedom k of node n is at vdof[k * row + n].
/// A read stores nothing beyond the spans: NP, NE and every ICNT entry are
/// checked against them, NDF against vdof.size() / row. Nothing is cleared
/// first: slots beyond the new counts, and ICNT entries beyond NCNT, keep
/// what an earlier step left there.
struct Qmx10Step {
  float time = 0.0f;
  int32_t np = 0, ndf = 0, ne = 0, ncnt = 0;
  std::span<int32_t> icnt;  // kQmx10CountList entries
  std::span<float> vdof;
  size_t row = 0;
  std::span<float> rdat3, rdat7, rdat8;  // ICNT(3), ICNT(7), ICNT(8) values
  std::span<int32_t> imat, ndry;
  std::span<float> rnode, relem;

  int64_t node_limit() const { return static_cast<int64_t>(ndry.size()); }
  int64_t element_limit() const { return static_cast<int64_t>(imat.size()); }
  int64_t dof_limit() const { return row == 0 ? 0 : static_cast<int64_t>(vdof.size() / row); }
  /// The largest ICNT entry the step's arrays take.
  int64_t entry_limit() const { return static_cast<int64_t>(row); }
};

/// Data bytes of a step with these counts and count list `icnt` (all eight
/// entries: those beyond `ncnt` are what the list carries over). NDF beyond
/// the list's length counts only the rows the list sizes.
int64_t Qmx10StepBytes(int64_t np, int64_t ndf, int64_t ne, int64_t ncnt, const int32_t* icnt);
/// The same for the averaged record, which lacks IMAT and NDRY.
int64_t Qmx10AveragedBytes(int64_t np, int64_t ndf, int64_t ne, int64_t ncnt, const int32_t* icnt);

/// Whether the record at the file's position can be a QMX10 time step or the
/// averaged record (*averaged says which), from its length and counts alone:
/// it holds exactly what its counts and count list need, with NDF at most
/// MAXDOF. A count list carried over from an earlier step is not known here:
/// entries beyond NCNT count as zero. The file is left after the record.
bool CouldBeQmx10Step(RecordFile& in, bool* averaged);

/// Reads the next time step into `step`. A count larger than its span (NP,
/// NDF, NE, NCNT, or an ICNT entry larger than the arrays it sizes: a row,
/// RDAT3, RDAT7 or RDAT8; an entry that sizes none, larger than a row) is
/// kTooLarge as soon as it has been taken, before any array is filled from
/// it; the record is then passed over.
/// kDamaged leaves the members filled up to the item that failed. A step
/// `filter` does not want is checked the same way, but only its time, counts
/// and count list are taken; *passed tells which happened.
ReadResult ReadQmx10Step(RecordFile& in, Qmx10Step& step, const StepFilter& filter = {},
                         bool* passed = nullptr);

/// Reads the next record, a time step or the one-step averaged record
/// (`WriteQmx10Average`), as `ReadQmx10Step` does. The two are told apart by
/// the record's length against its counts: one that holds exactly the arrays
/// without IMAT and NDRY is the averaged record (*averaged is then true and
/// `imat` and `ndry` keep what they held). A record `filter` does not want
/// is passed as `ReadQmx10Step` passes it.
ReadResult ReadQmx10Record(RecordFile& in, Qmx10Step& step, bool* averaged,
                           const StepFilter& filter = {}, bool* passed = nullptr);

/// Reads TIME and NP of the next time step and passes over the rest of it.
ReadResult ReadQmx10Time(RecordFile& in, float* time, int32_t* np);

/// Writes the step as one record, counts as they stand.
void WriteQmx10Step(RecordFile& out, const Qmx10Step& step);

/// Writes the one-step averaged record: time 9999.0, the step's counts, the
/// rows of `dave` (laid out as vdof) in place of its values, and the step's
/// other arrays without IMAT and NDRY.
void WriteQmx10Average(RecordFile& out, const Qmx10Step& step, const float* dave);

/// Reads the next step record (or averaged record) taking only its time and
/// counts, and checks that the counts fill the record exactly (kDamaged when
/// they do not). `icnt` carries the count list from step to step
/// (kQmx10CountList entries, zeros at the start), as the readers do.
ReadResult ReadQmx10StepHead(RecordFile& f, bool averaged, StepHead* head, int32_t* icnt);

}  // namespace korvant
