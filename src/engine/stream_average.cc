#include "engine/stream_average.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/averaging_family.h"
#include "engine/family_driver.h"
#include "formats/qmx10.h"

namespace korvant {
namespace {

std::string Hour(float hour) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(hour));
  return text;
}

}  // namespace

StreamAverage::StreamAverage(std::string path, AverageChoices choices)
    : path_(std::move(path)), choices_(choices) {}

StreamAverage::~StreamAverage() = default;

bool StreamAverage::Run(const std::function<void(const AverageProgress&)>& progress) {
  const auto fail = [&](const std::string& why) {
    report_.error = path_ + ": " + why;
    return false;
  };
  struct stat st;
  if (::stat(path_.c_str(), &st) != 0) return fail(std::strerror(errno));
  if (!S_ISREG(st.st_mode)) return fail("not a regular file");
  RecordFile f;
  f.CompareClosingLengths(true);
  f.OpenExisting(0, path_);
  const Identity id = Identify(f);
  if (std::string why = NotAResult(id); !why.empty()) return fail(why);
  report_.kind = id.kind;
  report_.integer_coded = id.integer_coded;
  if (const FamilyDriver* driver = DriverOf(id.kind)) family_ = driver->Averaging(choices_);
  if (!family_) return fail(NotAResult(id));
  if (std::string why = family_->ReadHeader(f); !why.empty()) return fail(why);
  const RecordMark first_step = f.Tell();

  // First pass: every step's head, checked against its record; the window.
  StepHead head;
  std::array<int32_t, MAXCNT> icnt{};
  float first_time = 0, last_time = 0;
  for (;;) {
    const ReadResult result = ReadStepHead(f, id, &head, icnt.data());
    if (result.outcome == Outcome::kEndOfFile) break;
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

  // Main pass: the steps in the window read whole and added.
  f.Seek(first_step);
  icnt.fill(0);
  std::array<int32_t, MAXCNT> before{}, last_before{};
  StepHead last;
  std::optional<RecordMark> last_whole;
  AverageProgress done;
  for (;;) {
    before = icnt;
    const ReadResult result = ReadStepHead(f, id, &head, icnt.data());
    if (result.outcome == Outcome::kEndOfFile) break;
    if (!result.ok()) return fail("it changed while being read: " + Problem(result));
    last = head;
    last_before = before;
    ++done.steps;
    done.hour = head.time;
    done.bytes = head.at.position;
    if (report_.start <= head.time && head.time <= report_.stop) {
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
    return fail("no time step lies in the window, hours " + Hour(report_.start) + " to " +
                Hour(report_.stop));
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
