#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/read_result.h"
#include "formats/step_head.h"
#include "io/record_file.h"

namespace korvant {

/// The kinds of file this program reads.
enum class FileKind { kUnknown, kVelto, kQmx2, kQmx4, kQmx10 };

/// "unknown", "velto", "qmx2", "qmx4" or "qmx10".
std::string_view KindName(FileKind kind);
/// The family's name as people read it: "QMX2", "QMX4", "QMX10", "VELTO"
/// ("unknown" for none).
std::string DisplayName(FileKind kind);

/// What a file is, worked out from its record lengths and counts alone.
struct Identity {
  FileKind kind = FileKind::kUnknown;
  bool has_header = false;     // VELTO, QMX2 and QMX4 files
  bool integer_coded = false;  // the header's form, when it has one
  bool long_steps = false;     // QMX2 steps carry elevations
  bool averaged = false;       // QMX10: the one-step averaged record, without IMAT and NDRY
  int header_records = 0;      // records before the first step (VELTO: before G1)
  bool header_only = false;    // kUnknown: a header and no record after it
  std::string why;             // kUnknown: why the file is none of the kinds

  /// A header with a title: the integer-coded form, or the character form of
  /// three records (a QMX2 or QMX4 file that leaves its title record out has
  /// two).
  bool titled() const { return integer_coded || header_records >= 3; }
};

/// Identifies the file open in `f` from its first records; `f` is rewound
/// afterwards. A file that ends or is damaged before its kind shows is
/// kUnknown, with the reason. Besides the files the models write, the
/// averaged files are known: a QMX10 averaged record; and a QMX4 time step
/// without a header is taken too, though no program writes one. Where the
/// first step fits two families, the family whose step heads read further
/// into the file is taken (QMX2 before QMX4, QMX10 before QMX4 when both read
/// to its end), so that a sound file is never taken for a damaged one of
/// another family. Only lengths are looked at: closing lengths are left to
/// the reads that follow.
Identity Identify(RecordFile& f);

/// "" for a model result file; else why `id` is none, for a message such as
/// "run.bin: it holds a header and no time step".
std::string NotAResult(const Identity& id);

/// "" when `id` may be a VELTO geometry file (a file of no known kind is
/// left to the mesh reader to tell what is wrong); else what it is instead,
/// such as "a QMX2 result file, not a VELTO geometry file".
std::string NotAMesh(const Identity& id);

/// Reads the next time-step record of a QMX2, QMX4 or QMX10 file taking only
/// its time and counts, and checks that the counts fill the record exactly:
/// kDamaged when they do not (a count below zero counts as none). `icnt`
/// carries a QMX10 file's count list from step to step (8 entries, zeros at
/// the start), as its readers do.
ReadResult ReadStepHead(RecordFile& f, const Identity& id, StepHead* head, int32_t* icnt);

}  // namespace korvant
