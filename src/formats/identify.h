#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/read_result.h"
#include "io/record_file.h"

namespace korvant {

/// The kinds of file this program reads.
enum class FileKind { kUnknown, kVelto, kQmx2, kQmx4, kQmx10 };

/// "unknown", "velto", "qmx2", "qmx4" or "qmx10".
std::string_view KindName(FileKind kind);

/// What a file is, worked out from its record lengths and counts alone.
struct Identity {
  FileKind kind = FileKind::kUnknown;
  bool has_header = false;     // VELTO, QMX2 and QMX4 files
  bool integer_coded = false;  // the header's form, when it has one
  bool long_steps = false;     // QMX2 steps carry elevations
  bool averaged = false;       // QMX10: the one-step averaged record, without IMAT and NDRY
  int header_records = 0;      // records before the first step (VELTO: before G1)
  std::string why;             // kUnknown: why the file is none of the kinds
};

/// Identifies the file open in `f` from its first records; `f` is rewound
/// afterwards. A file that ends or is damaged before its kind shows is
/// kUnknown, with the reason. Besides the files the models write, the
/// averaged files are known: a QMX10 averaged record, and a QMX4 time step
/// without a header (the averaging of a character-form QMX4 file writes no
/// header).
Identity Identify(RecordFile& f);

/// The time and counts of one time-step record, and where it lies.
struct StepHead {
  float time = 0.0f;
  int32_t np = 0;       // nodes
  int32_t ne = 0;       // elements
  int32_t width = 0;    // QMX4 constituents (NQAL), QMX10 degrees of freedom (NDF)
  RecordMark at;        // the record's leading length
  uint32_t length = 0;  // its data bytes
};

/// Reads the next time-step record of a QMX2, QMX4 or QMX10 file taking only
/// its time and counts, and checks that the counts fill the record exactly:
/// kDamaged when they do not (a count below zero counts as none). `icnt`
/// carries a QMX10 file's count list from step to step (8 entries, zeros at
/// the start), as its readers do.
ReadResult ReadStepHead(RecordFile& f, const Identity& id, StepHead* head, int32_t* icnt);

}  // namespace korvant
