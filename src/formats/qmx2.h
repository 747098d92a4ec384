#pragma once

#include "dialogue/session.h"
#include "engine/window.h"
#include "io/record_file.h"

namespace korvant {

// A QMX2 time-step record: time, NP2, per node x-velocity, y-velocity and
// depth (3 x NP2 reals), NDRY (NP2 integers), NE2, IMAT (NE2 integers) and, in
// a long step only, the water-surface elevations (NP2 reals). Whether a file's
// steps are long depends on its header's version code, with a different
// threshold in the merge and in the averaging.
constexpr int kMergeLongFrom = 40;
constexpr int kAverageLongFrom = 42;

/// Reads the next time step into `BLKR2` (time, NP2, VEL, NDRY, NE2, IMAT)
/// and, when `long_step`, the elevations into `elevations` (MAXNODE slots).
/// A step of more than MAXNODE nodes or MAXELEM elements is refused with the
/// over-run report and the stop, before anything is stored beyond an array.
/// A step `filter` does not want is checked the same way, but only its time
/// and counts are taken; *passed tells which happened.
ReadStatus ReadHydroStep(Session& s, RecordFile& in, bool long_step, float* elevations,
                         const StepFilter& filter = {}, bool* passed = nullptr);

/// Takes only the time of the next time step; the rest is skipped.
ReadStatus ReadHydroTime(RecordFile& in, float* time);

/// One time step in the record layout above.
void WriteHydroStep(RecordFile& out, float time, int32_t np, const float* vel,
                    const int32_t* ndry, int32_t ne, const int32_t* imat, bool long_step,
                    const float* elevations);

}  // namespace korvant
