#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "io/record_file.h"

namespace korvant {

enum class ResultFamily { kQmx2, kQmx4, kQmx10 };

/// "QMX2", "QMX4" or "QMX10".
std::string_view FamilyName(ResultFamily family);

/// How a result file is laid out.
struct ResultKind {
  ResultFamily family = ResultFamily::kQmx2;
  int header_records = 0;   // 3 (character form) or 4 (integer-coded); 0 without a header
  bool long_steps = false;  // QMX2 steps that carry water-surface elevations
};

/// Tells a result file's family from the lengths of its first records
/// against the counts they hold. QMX2 and QMX4 files start with a header of
/// records of 1200, 320 and 77 bytes or an integer-coded one of 16 bytes
/// first, and the first time step tells the two apart; a QMX10 file, and a
/// QMX4 averaged file written without a header, start with a time step. Reads
/// from the file's start and rewinds it. Nothing is sized from a count: the
/// counts are only compared with the record lengths.
/// A first step that fits both the QMX2 and the QMX4 layout (a few small
/// counts can) is taken as the one with `nodes` nodes (0 when unknown).
/// On failure *why says what the file holds instead.
std::optional<ResultKind> DetectResultFamily(RecordFile& f, int64_t nodes, std::string* why);

}  // namespace korvant
