#include "dialogue/average.h"

#include "dialogue/dialogue.h"
#include "dialogue/exit_status.h"
#include "dialogue/refusals.h"
#include "dialogue/window.h"
#include "text/layout.h"

namespace korvant {

void Averaging::Run() {
  Ask();
  Open();
  if (TSTART <= kFindWindowAtOrBelow) FirstPass();
  const bool more = ReadStepsPassingOutside(
      In(), StepFilter{TSTART, TSTOP, /*all=*/ReadsEveryStep()},
      [&](const StepFilter& filter, bool* passed) { return ReadStep(filter, passed); },
      [&](int number, bool passed) { UseStep(number, passed); });
  if (more) CautionStepLimit(s_, "an averaging", In().name());
  if (Averaged() < rules_.fewest_steps) NoData();
  Results();
}

// The times of the file's steps, then the input at its first step again.
void Averaging::FirstPass() {
  RecordFile& in = In();
  int count = 0;
  for (; count < kMaxSteps; ++count) {
    const ReadResult result = ReadTime(&TLIST[count]);
    if (result.ok()) continue;
    if (result.outcome == Outcome::kEndOfFile) break;
    if (rules_.first_pass_damage == FirstPassDamage::kFatal) MustRead(in, result);
    if (rules_.first_pass_damage == FirstPassDamage::kEndsPassWithLine) {
      s_.out().Line(rules_.damage_line);
    }
    break;
  }
  if (count == kMaxSteps) {
    WriteFree(s_.out(), {rules_.caution_head, kMaxSteps, rules_.caution_tail});
    Stop();
  }
  if (count == 0) NoData();
  ReportFirstPass(TLIST[count - 1], count);
  in.Rewind();
  if (rules_.reopen) {
    s_.out().Line(" Required to CLOSE/RE-OPEN file to avoid CRAY EOF flag");
    in.Close();
    in.OpenExisting(rules_.input_unit, TrimName(FieldView(s_.dms.FNAME, kNameChars)));
  }
  for (int i = 0; i < header_records_; ++i) in.MustRead(in.SkipRecord());
  AutoWindow(TLIST, count, &TSTART, &TSTOP);
  ReportWindow(TLIST, count);
}

void Averaging::NoData() {
  const float recn = Averaged();
  WriteLayout(s_.out(), rules_.no_data, {recn, TSTART, TSTOP});
  WriteLayout(s_.summary, rules_.no_data, {recn, TSTART, TSTOP});
  Stop();
}

}  // namespace korvant
