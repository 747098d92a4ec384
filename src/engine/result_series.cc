#include "engine/result_series.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "formats/header.h"
#include "text/readable.h"

namespace korvant {
namespace {

bool NamesNodes(std::string_view count) {
  return count == "NP" || count == "NP2" || count == "NP4";
}
bool NamesElements(std::string_view count) {
  return count == "NE" || count == "NE2" || count == "NE4";
}

}  // namespace

ResultSeries::ResultSeries(RecordFile& file, const Mesh& mesh) : file_(file), mesh_(mesh) {}

ResultSeries::~ResultSeries() = default;

SeriesResult ResultSeries::Open() {
  SeriesResult result;
  file_.CompareClosingLengths(true);
  file_.ReadAnyFraming(true);
  id_ = Identify(file_);
  result.refusal = NotAResult(id_);
  if (!result.refusal.empty()) return result;
  const FamilyDriver& driver = *DriverOf(id_.kind);
  if (id_.has_header) {
    HeaderStore header;
    result.read = header.Read(file_, {}, id_.titled());
    if (!result.ok()) return result;
    title_ = header.title();
  }
  steps_ = driver.Steps(id_, mesh_);
  first_step_at_ = file_.Tell();
  result = ReadStep();
  if (!result.ok()) {
    if (result.at_end()) result = SeriesResult{ReadResult{}, "it holds no time step"};
    return result;
  }
  StepHead first;
  first.time = time_;
  first.np = mesh_.np;
  first.ne = mesh_.ne;
  first.width = quantities_;
  fields_ = driver.Fields(id_, first);
  if (fields_.empty()) result.refusal = "its first time step holds no quantity";
  if (driver.MarksMeans(id_, time_)) {
    // An averaging writes one step: a run's file may start at the same hour.
    const RecordMark after_first = file_.Tell();
    int32_t head[1];
    means_ = file_.Peek(head) < 0;
    file_.Seek(after_first);
  }
  first_pending_ = result.ok();
  return result;
}

SeriesResult ResultSeries::Next() {
  if (first_pending_) {
    first_pending_ = false;
    return SeriesResult{};
  }
  if (step_ >= stop_after_) {
    SeriesResult end;
    end.read.outcome = Outcome::kEndOfFile;
    return end;
  }
  return ReadStep();
}

SeriesResult ResultSeries::IndexSteps(std::vector<StepPlace>* places) {
  places->clear();
  const RecordMark current = file_.Tell();
  file_.Seek(first_step_at_);
  std::array<int32_t, MAXCNT> carried{};  // the count list, as the head reader carries it
  StepHead head;
  SeriesResult result;
  for (;;) {
    StepPlace place{file_.Tell(), 0.0f, carried};
    const ReadResult read = ReadStepHead(file_, id_, &head, carried.data());
    if (read.outcome == Outcome::kEndOfFile) break;
    if (!read.ok()) {
      result.read = read;
      break;
    }
    if (head.np != mesh_.np || head.ne != mesh_.ne) {
      result.refusal = "time step " + std::to_string(places->size() + 1) + " has " +
                       Counted(head.np, "node", "nodes") + " and " +
                       Counted(head.ne, "element", "elements") + ", but the mesh has " +
                       std::to_string(mesh_.np) + " and " + std::to_string(mesh_.ne);
      break;
    }
    place.time = head.time;
    places->push_back(place);
  }
  file_.Seek(current);
  return result;
}

SeriesResult ResultSeries::ReadAt(const StepPlace& place, int64_t number) {
  file_.Seek(place.at);
  steps_->Carry(place.carried);
  first_pending_ = false;
  step_ = number - 1;
  return ReadStep();
}

int ResultSeries::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

std::span<const float> ResultSeries::values(size_t i) const { return steps_->values(i); }

std::span<const int32_t> ResultSeries::codes(size_t i) const { return steps_->codes(i); }

SeriesResult ResultSeries::ReadStep() {
  StepHead head;
  const ReadResult read = steps_->Read(file_, &head);
  SeriesResult result = Checked(read, head.np, head.ne, head.width);
  if (!result.ok()) return result;
  time_ = head.time;
  return result;
}

SeriesResult ResultSeries::Checked(const ReadResult& read, int32_t np, int32_t ne,
                                   int32_t quantities) {
  SeriesResult result{read, {}};
  const std::string step = "time step " + std::to_string(step_ + 1);
  if (read.outcome == Outcome::kTooLarge) {
    const Oversize& big = read.too_large;
    if (NamesNodes(big.count)) np = static_cast<int32_t>(big.value);
    if (NamesElements(big.count)) ne = static_cast<int32_t>(big.value);
    if (big.count.starts_with("ICNT")) {
      return SeriesResult{ReadResult{}, step + " holds " + Counted(big.value, "value", "values") +
                                            " of a node quantity (" + std::string(big.count) +
                                            "), but the mesh has " +
                                            Counted(mesh_.np, "node", "nodes")};
    }
    if (!NamesNodes(big.count) && !NamesElements(big.count)) return result;
  } else if (!read.ok()) {
    return result;
  }
  result.read = ReadResult{};
  if (np != mesh_.np) {
    result.refusal = step + " has " + Counted(np, "node", "nodes") + ", but the mesh has " +
                     std::to_string(mesh_.np);
  } else if (ne != mesh_.ne) {
    result.refusal = step + " has " + Counted(ne, "element", "elements") + ", but the mesh has " +
                     std::to_string(mesh_.ne);
  } else if (step_ == 0) {
    quantities_ = quantities;
  } else if (quantities != quantities_) {
    const QuantityNoun noun = DriverOf(id_.kind)->quantities();
    result.refusal = step + " holds " + Counted(quantities, noun.one, noun.many) + ", the first " +
                     std::to_string(quantities_);
  }
  if (result.ok()) ++step_;
  return result;
}

}  // namespace korvant
