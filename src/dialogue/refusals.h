#pragma once

#include <cstdint>
#include <string_view>

#include "dialogue/session.h"
#include "formats/read_result.h"
#include "io/record_file.h"

namespace korvant {

// The dialogue's answers to what a reader found: the texts and stops that
// end a run on a file it cannot read.

/// A read without a handler: anything but kRead ends the run with the record
/// layer's diagnostic for `in` (a kTooLarge result must be handled before).
void MustRead(const RecordFile& in, const ReadResult& result);

/// One console line naming the file kind, the count and its limit, then the
/// program's own stop. Nothing has been stored beyond any array.
[[noreturn]] void RefuseCount(Session& s, std::string_view file_kind, const Oversize& count);

/// The five dimension lines of a QMX2 or QMX4 header or QMX4 step, and the stop "DIM".
[[noreturn]] void DimensionStop(Session& s, int64_t np, int64_t ne);

/// The over-run report of a QMX2 step, and the stop.
[[noreturn]] void HydroOverRun(Session& s, int32_t np, int32_t ne);

}  // namespace korvant
