#include "engine/stream_average.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/averaging_family.h"
#include "engine/family_driver.h"
#include "engine/restart_runs.h"
#include "formats/qmx10.h"
#include "text/readable.h"

namespace korvant {

StreamAverage::StreamAverage(std::string path, AverageChoices choices)
    : path_(std::move(path)), choices_(choices) {}

StreamAverage::~StreamAverage() = default;

bool StreamAverage::Run(const std::function<void(const AverageProgress&)>& progress) {
  const auto fail = [&](const std::string& why) {
    report_.error = path_ + ": " + why;
    return false;
  };
  if (std::string why = InputProblem(path_); !why.empty()) {
    report_.error = "cannot read " + path_ + ": " + why;
    return false;
  }
  RecordFile f;
  f.CompareClosingLengths(true);
  f.ReadAnyFraming(true);
  f.OpenExisting(0, path_);
  const Identity id = Identify(f);
  if (std::string why = NotAResult(id); !why.empty()) return fail(why);
  report_.kind = id.kind;
  report_.integer_coded = id.integer_coded;
  if (const FamilyDriver* driver = DriverOf(id.kind)) family_ = driver->Averaging(choices_);
  if (!family_) return fail(NotAResult(id));
  if (std::string why = family_->ReadHeader(f, id); !why.empty()) return fail(why);
  const RecordMark first_step = f.Tell();

  // First pass: every step's head, checked against its record; the window.
  StepHead head;
  std::array<int32_t, MAXCNT> icnt{};
  float first_time = 0, last_time = 0;
  for (;;) {
    const ReadResult result = ReadStepHead(f, id, &head, icnt.data());
    if (result.outcome == Outcome::kEndOfFile) break;
    if (result.outcome == Outcome::kDamaged && choices_.salvage) {
      report_.damage = result.damage;
      break;
    }
    if (!result.ok()) return fail(Problem(result));
    if (report_.steps++ == 0) first_time = head.time;
    last_time = head.time;
  }
  if (report_.steps == 0) return fail("it holds no time steps");
  report_.start = choices_.from.value_or(first_time);
  report_.stop = choices_.to.value_or(last_time);
  if (!choices_.from && !choices_.to) {
    // The window starts at the time of the last-th step from the end.
    f.Seek(first_step);
    icnt.fill(0);
    const int64_t start_index = std::max<int64_t>(report_.steps - choices_.last, 0);
    for (int64_t i = 0; i <= start_index; ++i) ReadStepHead(f, id, &head, icnt.data());
    report_.start = head.time;
  }

  const auto in_window = [&](float time) { return report_.start <= time && time <= report_.stop; };

  // With later_wins, a pass over the heads again: where the window's times go
  // back, so that the main pass can tell a step that a later one replaces.
  // It costs one more reading of every step's head (not its values) and one
  // note a restart (RestartRuns), never one a step.
  RestartRuns runs;
  if (choices_.later_wins) {
    f.Seek(first_step);
    icnt.fill(0);
    for (int64_t step = 0; step < report_.steps; ++step) {
      const ReadResult result = ReadStepHead(f, id, &head, icnt.data());
      if (result.outcome == Outcome::kEndOfFile) break;
      if (!result.ok()) return fail("it changed while being read: " + Problem(result));
      if (in_window(head.time) && !runs.Note(head.time)) {
        return fail("its times go back more than " + std::to_string(RestartRuns::kMaxRestarts) +
                    " times in the window; average it over a narrower window");
      }
    }
  }

  // Main pass: the steps in the window read whole and added.
  AverageCaution repeated{AverageCaution::What::kRepeatedHours};
  AverageCaution left_out{AverageCaution::What::kLeftOut};
  std::optional<float> latest;  // the latest time averaged
  f.Seek(first_step);
  icnt.fill(0);
  std::array<int32_t, MAXCNT> before{}, last_before{};
  StepHead last;
  std::optional<RecordMark> last_whole;
  AverageProgress done;
  while (done.steps < report_.steps) {
    before = icnt;
    const ReadResult result = ReadStepHead(f, id, &head, icnt.data());
    if (result.outcome == Outcome::kEndOfFile) break;
    if (!result.ok()) return fail("it changed while being read: " + Problem(result));
    last = head;
    last_before = before;
    ++done.steps;
    done.hour = head.time;
    done.bytes = head.at.position;
    if (in_window(head.time) && choices_.later_wins && runs.Replaced(head.time)) {
      if (left_out.steps++ == 0) left_out.first_hour = head.time;
    } else if (in_window(head.time)) {
      if (latest && !(head.time > *latest) && repeated.steps++ == 0) {
        repeated.first_hour = head.time;
      }
      if (!latest || head.time > *latest) latest = head.time;
      const RecordMark after = f.Tell();
      f.Seek(head.at);
      const CountLists list{before.data(), icnt.data()};
      if (std::string why = family_->ReadWhole(f, head, list); !why.empty()) {
        return fail(why);
      }
      f.Seek(after);
      family_->Add();
      last_whole = head.at;
      ++report_.averaged;
      if (!report_.first_hour) report_.first_hour = head.time;
      report_.last_hour = head.time;
    }
    if (progress) progress(done);
  }
  if (report_.averaged == 0) {
    return fail("no time step lies in the window, hours " + HourWords(report_.start) + " to " +
                HourWords(report_.stop));
  }
  if (!last_whole || last_whole->position != last.at.position) {
    // The averaged file takes its counts and arrays from the file's last step.
    f.Seek(last.at);
    icnt = last_before;
    ReadStepHead(f, id, &head, icnt.data());
    f.Seek(last.at);
    const CountLists list{last_before.data(), icnt.data()};
    if (std::string why = family_->ReadWhole(f, last, list); !why.empty()) {
      return fail(why);
    }
  }
  family_->Finish(report_);
  for (const AverageCaution& caution : {repeated, left_out}) {
    if (caution.steps > 0) report_.cautions.push_back(caution);
  }
  return true;
}

void StreamAverage::WriteAveraged(RecordFile& out) const { family_->WriteAveraged(out); }

void StreamAverage::WriteListing(TextSink& sink) const { family_->WriteListing(sink, report_); }

std::vector<FieldInfo> StreamAverage::Columns() const { return family_->Columns(); }

int64_t StreamAverage::rows() const { return family_->rows(); }

void StreamAverage::Row(int64_t node, std::vector<Value>* values) const {
  family_->Row(node, values);
}

}  // namespace korvant
