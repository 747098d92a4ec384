#pragma once

#include <cstdint>

#include "dialogue/session.h"
#include "formats/header.h"
#include "formats/read_result.h"
#include "formats/step_filter.h"
#include "io/record_file.h"

namespace korvant {

// Each family's reads into the shared blocks, with the dialogue's answer to
// what a reader found: a count beyond the blocks stops the run with the
// family's report, and so does a failed header record after the first. What
// is returned (read, end of file, damage) is the caller's to handle.

/// After `ReadHeader` of a QMX2 or QMX4 file: a header beyond the arrays
/// stops with "DIM"; a failure after the first record is fatal.
void CheckHeader(Session& s, const RecordFile& in, const HeaderValues& h, const ReadResult& result);

/// A QMX2 step into `BLKR2`, its elevations into `elevations` (MAXNODE slots).
ReadResult ReadHydroStep(Session& s, RecordFile& in, bool long_step, float* elevations,
                         const StepFilter& filter = {}, bool* passed = nullptr);

/// Detects the form and reads a QMX4 header into `DMS` and `TITLE4`; an
/// integer-coded header also sets `NP4` and `NE4` of `BLKR4`.
ReadResult ReadTransportHeader(Session& s, RecordFile& in, HeaderValues* h);
/// Writes the QMX4 header just read, its first record carrying `NP4` and
/// `NE4` as `BLKR4` holds them.
void CopyTransportHeader(Session& s, RecordFile& out, const HeaderValues& h);
/// The console report of the QMX4 header just read; the merge's report
/// starts with an empty line.
void ReportTransportHeader(Session& s, const HeaderValues& h, bool leading_empty_line);

/// A QMX4 step into `BLKR4`.
ReadResult ReadTransportStep(Session& s, RecordFile& in, const StepFilter& filter = {},
                             bool* passed = nullptr);

/// A QMX10 step into `BLKR10`, `BLKR10_SED` and `BLKR2`, with its count-list
/// length in *ncnt.
ReadResult ReadThreedStep(Session& s, RecordFile& in, int32_t* ncnt, const StepFilter& filter = {},
                          bool* passed = nullptr);

}  // namespace korvant
