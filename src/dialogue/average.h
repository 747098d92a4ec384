#pragma once

#include <cstdint>
#include <string_view>

#include "dialogue/cautions.h"
#include "dialogue/session.h"
#include "formats/limits.h"
#include "formats/read_result.h"
#include "formats/step_filter.h"
#include "io/record_file.h"

namespace korvant {

/// What the first pass does with a damaged record.
enum class FirstPassDamage {
  kFatal,             ///< the run ends with the read diagnostic
  kEndsPass,          ///< the steps before it are the whole file
  kEndsPassWithLine,  ///< the same, after a console line
};

/// A family's texts and rules for the passes all averagings share.
struct AverageRules {
  int input_unit;
  std::string_view caution_head;  ///< free form: head, 500, tail
  std::string_view caution_tail;
  FirstPassDamage first_pass_damage;
  std::string_view damage_line;  ///< for kEndsPassWithLine
  bool reopen;                   ///< close and open the input again after the first pass
  std::string_view no_data;      ///< layout of RECN, TSTART and TSTOP
  float fewest_steps;            ///< fewer steps averaged than this is no data
};

/// One averaging of the console program: its questions, the header, the
/// first pass and automatic window when the start is -99 or less, the main
/// pass (steps outside the window passed by their counts), the no-data stop
/// and the results. `Run` is the loop; a family fills in the steps.
class Averaging {
 public:
  Averaging(Session& s, const AverageRules& rules) : s_(s), rules_(rules) {}
  virtual ~Averaging() = default;
  void Run();

 protected:
  static constexpr float kUnsetHour = -9999.0f;
  /// A start at or below this asks for the window to be found from the file.
  static constexpr float kFindWindowAtOrBelow = -99.0f;

  RecordFile& In() { return s_.unit(rules_.input_unit); }

  /// The questions; sets `TSTART` and `TSTOP` as answered.
  virtual void Ask() = 0;
  /// Rewinds the input and reads its header; sets `header_records_`.
  virtual void Open() = 0;
  /// The time (only) of the next step.
  virtual ReadResult ReadTime(float* time) = 0;
  /// The console lines after the first pass over `count` steps.
  virtual void ReportFirstPass(float last, int count) = 0;
  /// The console lines with the window found.
  virtual void ReportWindow(const float* times, int count) = 0;
  /// The next step into the blocks; a count beyond them stops the run.
  virtual ReadResult ReadStep(const StepFilter& filter, bool* passed) = 0;
  /// Steps are read whole even outside the window.
  virtual bool ReadsEveryStep() const { return false; }
  /// Step `number` (from 1) just read, whole or passed.
  virtual void UseStep(int number, bool passed) = 0;
  /// Steps averaged so far.
  virtual float Averaged() const = 0;
  virtual void Results() = 0;

  /// A family calls this with the time of each step it takes into the average.
  void TakeTime(float time) { times_.Take(s_, In().name(), time); }

  Session& s_;
  float TSTART = kUnsetHour;  // window, decimal hours, both ends included
  float TSTOP = kUnsetHour;
  int header_records_ = 0;

 private:
  void FirstPass();
  [[noreturn]] void NoData();

  const AverageRules& rules_;
  float TLIST[kMaxSteps] = {};  // times met by the first pass
  AveragedTimes times_;
};

}  // namespace korvant
