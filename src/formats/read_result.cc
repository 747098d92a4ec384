#include "formats/read_result.h"

namespace korvant {

ReadResult ResultOf(const RecordFile& file, ReadStatus status) {
  ReadResult result;
  if (status == ReadStatus::kOk) return result;
  result.outcome = status == ReadStatus::kEndOfFile ? Outcome::kEndOfFile : Outcome::kDamaged;
  result.damage.record = file.record();
  result.damage.offset = file.record_offset();
  if (status == ReadStatus::kError) result.damage.what = file.DamageText();
  return result;
}

ReadResult TooLarge(std::string_view count, int64_t value, int64_t limit) {
  ReadResult result;
  result.outcome = Outcome::kTooLarge;
  result.too_large = Oversize{count, value, limit};
  return result;
}

}  // namespace korvant
