#pragma once

#include <cstdint>

#include "dialogue/session.h"
#include "engine/window.h"
#include "io/record_file.h"

namespace korvant {

// A QMX10 file has no header: it is a run of time-step records, each holding,
// in order, TIME (real), NP, NDF, NE, NCNT (integers), ICNT (NCNT integers),
// for each degree of freedom k = 1..NDF its ICNT(k) node values, RDAT3
// (ICNT(3) reals), IMAT (NE integers), NDRY (NP integers), RDAT7 (ICNT(7)
// reals), RDAT8 (ICNT(8) reals), RNODE (NP reals) and RELEM (NE reals).
// A negative count sizes an empty array.
//
// A step lands in BLKR10 and BLKR10_SED, with IMAT and NDRY in BLKR2 and RDAT3
// in BLKR2.WSEL. Nothing is cleared first: slots beyond the new counts, and
// ICNT entries beyond NCNT, keep what an earlier step left there.

/// Reads the next time step into the blocks and *NCNT (the count-list length,
/// which the blocks do not hold). kError leaves the members filled up to the
/// item that failed. A count larger than its array (NP, NDF, NE, NCNT or any
/// ICNT entry) is refused with a console line and the program's stop, as soon
/// as that count has been taken and before any array is filled from it.
/// A step `filter` does not want is checked the same way, but only its time,
/// counts and count list are taken; *passed tells which happened.
ReadStatus ReadQmx10Step(Session& s, RecordFile& in, int32_t* NCNT, const StepFilter& filter = {},
                         bool* passed = nullptr);

/// Reads TIME and NP of the next time step and passes over the rest of it.
/// Stores nothing else; NP is not checked (it sizes nothing here).
ReadStatus ReadQmx10Time(RecordFile& in, float* time, int32_t* np);

/// Writes the step held in the blocks as one record, counts as they stand.
void WriteQmx10Step(Session& s, RecordFile& out, int32_t NCNT);

/// Writes the one-step averaged record: time 9999.0, the counts of the step in
/// the blocks, the rows of `dave` (laid out as VDOF) in place of VDOF, and the
/// step's other arrays without IMAT and NDRY.
void WriteQmx10Average(Session& s, RecordFile& out, int32_t NCNT, const float* dave);

}  // namespace korvant
