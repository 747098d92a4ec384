#pragma once

#include <cstdint>

#include "formats/header.h"
#include "dialogue/session.h"
#include "engine/window.h"
#include "io/record_file.h"

namespace korvant {

// A QMX4 file: a header (character form or integer-coded, see
// common/header_file.h) and one record per time step: TIME, NQAL, NP4, the
// NP4 node values of constituent 1, then those of constituent 2 and so on
// (NP4 x NQAL reals), NE4 and IMAT4 (NE4 integers). A count of zero or less
// stands for no values.

/// Detects the header form and reads the header into `DMS` and `TITLE4`. An
/// integer-coded header also sets `NP4` and `NE4` of `BLKR4` from its first
/// record. Returns kOk, or the status of the first record, C1 or H1 (the
/// caller's to handle); later header records are read or the run ends.
ReadStatus ReadTransportHeader(Session& s, RecordFile& in, HeaderValues* h);

/// Writes the header just read to `out`, its first record carrying `NP4` and
/// `NE4` as `BLKR4` holds them.
void CopyTransportHeader(Session& s, RecordFile& out, const HeaderValues& h);

/// The console report of the header just read: model flag, version, node and
/// element counts as `BLKR4` holds them, and the integer-coded counts. The
/// merge's report starts with an empty line.
void ReportTransportHeader(Session& s, const HeaderValues& h, bool leading_empty_line);

/// Reads the next time step into `BLKR4`. A step of more than MAXCON
/// constituents, MAXNODE nodes or MAXELEM elements is refused with the
/// dimension report and the stop "DIM" before anything is stored beyond an
/// array. On kError the values taken before the damage are kept.
/// A step `filter` does not want is checked the same way, but only its time
/// and counts are taken; *passed tells which happened.
ReadStatus ReadTransportStep(Session& s, RecordFile& in, const StepFilter& filter = {},
                             bool* passed = nullptr);

/// Takes only `TIME` and `NQAL` of the next time step into `BLKR4`; the rest of
/// the record is skipped without being read.
ReadStatus ReadTransportTime(Session& s, RecordFile& in);

/// One time step in the record layout above. `conc` holds constituent k of
/// node j at k*MAXNODE + j; `nqal` must not exceed MAXCON.
void WriteTransportStep(RecordFile& out, float time, int32_t nqal, int32_t np4, const float* conc,
                        int32_t ne4, const int32_t* imat4);

}  // namespace korvant
