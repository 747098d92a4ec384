#include "formats/step_head.h"

namespace korvant {
namespace {

ReadResult Mismatch(const RecordFile& f, const std::string& what) {
  ReadResult result;
  result.outcome = Outcome::kDamaged;
  result.damage = Damage{f.record(), f.record_offset(), what};
  return result;
}

}  // namespace

StepHeadReading::StepHeadReading(RecordFile& f, StepHead* head) : f_(f), head_(head) {
  head->at = f.Tell();
  status_ = f.Begin();
  begun_ = status_ == ReadStatus::kOk;
  if (begun_) head->length = f.length();
}

bool StepHeadReading::Take(int32_t* v, int n, int64_t at) {
  const int64_t skip = at < 0 ? 0 : at - (int64_t{head_->length} - f_.left());
  if (skip < 0 || f_.left() < skip + 4 * int64_t{n}) return false;
  return f_.Pass(skip) && f_.Ints(v, n);
}

ReadResult StepHeadReading::Check() {
  if (!begun_) return ResultOf(f_, status_);
  const ReadStatus status = f_.Finish();
  if (status != ReadStatus::kOk) return ResultOf(f_, status);
  if (want == static_cast<int64_t>(head_->length)) return ReadResult{};
  const std::string holds = "the record holds " + std::to_string(head_->length);
  if (counts.empty()) return Mismatch(f_, "too short for a time step: " + holds + " bytes");
  if (want == kBeyondLayout) return Mismatch(f_, counts + " are beyond what the layout allows");
  if (want < 0) return Mismatch(f_, counts + " need more bytes than " + holds);
  return Mismatch(f_, counts + " need " + std::to_string(want) + " bytes, " + holds);
}

}  // namespace korvant
