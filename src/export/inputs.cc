#include "export/inputs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>

#include "engine/file_report.h"
#include "formats/limits.h"
#include "io/run_aborted.h"
#include "text/readable.h"

namespace korvant {
namespace {

constexpr int kMeshUnit = 40;
constexpr int kResultUnit = 50;
constexpr double kSameHour = 0.001;  // hours closer than this are one hour
constexpr size_t kListed = 10;       // element numbers a warning lists

// What is wrong with a read of `file` that did not succeed.
std::string ReadFailure(const std::string& file, const ReadResult& read) {
  switch (read.outcome) {
    case Outcome::kEndOfFile:
      return file + " ends before record " + std::to_string(read.damage.record + 1) +
             ", which it needs";
    case Outcome::kDamaged:
      return file + ": record " + std::to_string(read.damage.record) + " (byte " +
             std::to_string(read.damage.offset) + "): " + read.damage.what;
    case Outcome::kTooLarge:
      return file + ": its count " + std::string(read.too_large.count) + " of " +
             std::to_string(read.too_large.value) + " is more than the " +
             std::to_string(read.too_large.limit) + " this program takes";
    case Outcome::kRead:
      break;
  }
  return file + ": read";
}

void OpenFile(RecordFile& f, int unit, const std::string& name) {
  // A fifo may wait for a writer that never comes, and a device may never end.
  if (std::string why = CannotRead(name); !why.empty()) Refuse(1, why);
  try {
    f.ReadAnyFraming(true);
    f.OpenExisting(unit, name);
  } catch (const RunAborted&) {
    Refuse(1, "cannot read " + name);
  }
}

std::string Listed(const std::vector<int32_t>& elements) {
  std::string text;
  for (size_t i = 0; i < elements.size() && i < kListed; ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(elements[i] + 1);
  }
  return elements.size() > kListed ? text + ", ..." : text;
}

// The number `text[at, at + n)` spells in decimal digits, or -1.
int Digits(std::string_view text, size_t at, size_t n) {
  int value = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::optional<std::chrono::sys_seconds> StartDate(std::string_view text) {
  using namespace std::chrono;
  if (text.size() != 10 && text.size() != 16) return std::nullopt;
  if (text[4] != '-' || text[7] != '-') return std::nullopt;
  const int y = Digits(text, 0, 4), m = Digits(text, 5, 2), d = Digits(text, 8, 2);
  int hh = 0, mm = 0;
  if (text.size() == 16) {
    if (text[10] != 'T' || text[13] != ':') return std::nullopt;
    hh = Digits(text, 11, 2);
    mm = Digits(text, 14, 2);
  }
  if (y < 1 || m < 1 || d < 1 || hh < 0 || hh > 23 || mm < 0 || mm > 59) return std::nullopt;
  const year_month_day date{year{y}, month{static_cast<unsigned>(m)},
                            day{static_cast<unsigned>(d)}};
  if (!date.ok()) return std::nullopt;
  return sys_days{date} + hours{hh} + minutes{mm};
}

Inputs::Inputs(const std::string& mesh_name, const std::string& result_name,
               std::optional<NodeOrder> order, Look look)
    : mesh_name_(mesh_name), result_name_(result_name), series_(result_file_, mesh_) {
  if (mesh_name.empty()) {
    OpenFile(result_file_, kResultUnit, result_name);
    CountsOfFirstStep();
    Check(series_.Open());
    return;
  }
  {
    RecordFile mesh_file;
    OpenFile(mesh_file, kMeshUnit, mesh_name);
    if (std::string why = NotAMesh(Identify(mesh_file)); !why.empty()) {
      Refuse(1, mesh_name + ": " + why);
    }
    const ReadResult read = LoadMesh(mesh_file, &mesh_, kAnyMesh);
    if (!read.ok()) Refuse(1, ReadFailure(mesh_name, read));
  }
  std::string error;
  if (!MapElements(mesh_, order, &map_, &error)) Refuse(1, mesh_name + ": " + error);
  OpenFile(result_file_, kResultUnit, result_name);
  Check(series_.Open());
  if (look == Look::kByIndex) return;
  // Damage is looked for in the whole file, also where a program reads only
  // some steps, so that no program reads a damaged file without a word.
  RecordFile whole;
  OpenFile(whole, kResultUnit, result_name);
  const FileReport report = ReportFile(whole);
  if (report.damage) {
    const Damage& d = *report.damage;
    damage_ = SalvageNote{ValidUtf8(result_name), d.record, d.offset, d.what, report.steps};
  }
}

void Inputs::UseStepsBeforeDamage() {
  if (damage_) series_.StopAfter(damage_->steps);
}

void Inputs::SayDamage(std::string_view program, bool salvage, std::string_view used) {
  if (!damage_) return;
  if (!salvage) {
    Refuse(1, result_name_ + ": record " + std::to_string(damage_->record) + " (byte " +
                  std::to_string(damage_->byte) + "): " + damage_->what + "; --salvage uses " +
                  "the " + Counted(damage_->steps, "step", "steps") + " before it");
  }
  Caution(program, SalvageText(*damage_, used));
  UseStepsBeforeDamage();
}

void Inputs::CountsOfFirstStep() {
  const Identity id = Identify(result_file_);
  if (std::string why = NotAResult(id); !why.empty()) Refuse(1, result_name_ + ": " + why);
  for (int r = 0; r < id.header_records; ++r) {
    if (result_file_.SkipRecord() != ReadStatus::kOk) break;  // the head read says what is wrong
  }
  StepHead head;
  int32_t icnt[MAXCNT] = {};
  const ReadResult read = ReadStepHead(result_file_, id, &head, icnt);
  if (!read.ok()) Refuse(1, ReadFailure(result_name_, read));
  // The head reader has checked that the record holds these counts.
  mesh_.np = std::max(head.np, 0);
  mesh_.ne = std::max(head.ne, 0);
  mesh_.x.assign(static_cast<size_t>(mesh_.np), std::nanf(""));
  mesh_.y = mesh_.bottom = mesh_.x;
  mesh_.nop.assign(static_cast<size_t>(mesh_.ne) * 8, 0);
  mesh_.imat.assign(static_cast<size_t>(mesh_.ne), 0);
  result_file_.Rewind();
}

std::vector<StepPlace> Inputs::IndexSteps() {
  std::vector<StepPlace> places;
  Check(series_.IndexSteps(&places));
  return places;
}

void Inputs::ReadAt(const StepPlace& place, int64_t number) {
  const SeriesResult result = series_.ReadAt(place, number);
  Check(result);
  if (result.at_end()) Refuse(1, ReadFailure(result_name_, result.read));
}

void Inputs::Check(const SeriesResult& result) {
  if (!result.refusal.empty()) Refuse(1, result_name_ + ": " + result.refusal);
  if (!result.ok() && !result.at_end()) Refuse(1, ReadFailure(result_name_, result.read));
}

void Inputs::Announce(std::string_view program, bool quiet) const {
  if (!quiet) std::cout << OrderReport() << "\n";
  for (const std::string& line : Warnings()) std::cerr << program << ": warning: " << line << "\n";
  if (map_.faces.empty()) {
    Refuse(1, mesh_name_ + ": none of its " + std::to_string(mesh_.ne) + " elements can be drawn");
  }
}

std::string Inputs::OrderReport() const { return NodeOrderReport(map_); }

std::vector<std::string> Inputs::Warnings() const {
  std::vector<std::string> lines;
  if (!map_.unfit.empty()) {
    const bool one = map_.unfit.size() == 1;
    lines.push_back(Counted(std::ssize(map_.unfit), "element", "elements") +
                    (one ? " does" : " do") + " not fit the " +
                    std::string(NodeOrderName(map_.order)) + " node order and " +
                    (one ? "is" : "are") + " left out: " + Listed(map_.unfit));
  }
  if (!map_.shapeless.empty()) {
    const bool one = map_.shapeless.size() == 1;
    lines.push_back(Counted(std::ssize(map_.shapeless), "element", "elements") +
                    (one ? " has" : " have") +
                    " no shape that can be drawn (3, 4, 6 or 8 nodes) and " + (one ? "is" : "are") +
                    " left out: " + Listed(map_.shapeless));
  }
  return lines;
}

bool Inputs::Next() {
  const SeriesResult result = series_.Next();
  Check(result);
  if (result.ok() && progress_ != nullptr && progress_->Due()) {
    progress_->Update(Counted(series_.step(), "step", "steps") + ", hour " + Hours(series_.time()) +
                      " " + verb_);
  }
  return result.ok();
}

void Inputs::MoveTo(const StepChoice& choice) {
  // The steps before the chosen one are passed by their heads: all of them
  // before the chosen step, and those of other hours (with room for the
  // float hours' rounding) before the chosen hour.
  const StepFilter none{1.0f, 0.0f, false};
  StepFilter near;
  if (choice.hours) {
    constexpr float kEndless = std::numeric_limits<float>::infinity();
    near =
        StepFilter{std::nextafter(static_cast<float>(*choice.hours - kSameHour), -kEndless),
                   std::nextafter(static_cast<float>(*choice.hours + kSameHour), kEndless), false};
  }
  auto want_next = [&] {
    if (choice.step) series_.WantOnly(series_.step() + 1 >= *choice.step ? StepFilter{} : none);
    if (choice.hours) series_.WantOnly(near);
  };
  auto chosen = [&] {
    if (!choice.made()) return true;
    if (choice.step) return series_.step() == *choice.step;
    return std::fabs(series_.time() - *choice.hours) < kSameHour;
  };
  double first = 0.0, last = 0.0;
  for (want_next(); Next(); want_next()) {
    if (series_.step() == 1) first = series_.time();
    last = series_.time();
    if (chosen()) {
      series_.WantOnly(StepFilter{});  // the steps after it are read whole again
      return;
    }
  }
  const int64_t steps = series_.step();
  if (choice.step) {
    Refuse(1, result_name_ + " holds " + Counted(steps, "time step", "time steps") + "; --step " +
                  std::to_string(*choice.step) + " asks for a later one");
  }
  Refuse(1, result_name_ + " has no time step at hour " + Hours(*choice.hours) + " (its " +
                Counted(steps, "step runs", "steps run") + " from hour " + Hours(first) +
                " to hour " + Hours(last) + ")");
}

}  // namespace korvant
