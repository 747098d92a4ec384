#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "io/record_file.h"

namespace korvant {

/// What a reader of a header, a time step or a mesh found. Readers never
/// write text and never end the run: the front end turns each outcome into
/// its own message, stop and status.
enum class Outcome {
  kRead,       ///< the values were read
  kEndOfFile,  ///< no record starts here
  kDamaged,    ///< a record is cut short or holds fewer values than its counts need
  kTooLarge,   ///< a count is larger than the destination it would fill
};

/// Where a damaged record is and what is wrong with it.
struct Damage {
  int64_t record = 0;  ///< from 1, counting every record of the file
  int64_t offset = 0;  ///< byte offset of the record's leading length
  std::string what;
};

/// The count that does not fit: its name as the file format calls it, its
/// value and the limit of the destination.
struct Oversize {
  std::string_view count;
  int64_t value = 0;
  int64_t limit = 0;
};

struct ReadResult {
  Outcome outcome = Outcome::kRead;
  Damage damage;       ///< for kDamaged (and kEndOfFile: where it was met)
  Oversize too_large;  ///< for kTooLarge
  int part = 0;        ///< which record of a read that spans several failed, from 1

  bool ok() const { return outcome == Outcome::kRead; }
  /// The record layer's status for this outcome (kTooLarge never reaches it).
  ReadStatus status() const {
    return outcome == Outcome::kRead        ? ReadStatus::kOk
           : outcome == Outcome::kEndOfFile ? ReadStatus::kEndOfFile
                                            : ReadStatus::kError;
  }
};

/// The result of a finished record read on `file`: read, end of file, or the
/// damage the record layer found, placed at the record just read.
ReadResult ResultOf(const RecordFile& file, ReadStatus status);

/// A count that does not fit: kTooLarge.
ReadResult TooLarge(std::string_view count, int64_t value, int64_t limit);

}  // namespace korvant
