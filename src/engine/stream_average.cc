#include "engine/stream_average.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <span>

#include "engine/hydro_mean.h"
#include "engine/mean_listing.h"
#include "engine/mesh.h"
#include "engine/threed_mean.h"
#include "engine/transport_mean.h"
#include "formats/header.h"
#include "formats/qmx10.h"
#include "formats/qmx2.h"
#include "formats/qmx4.h"

namespace korvant {
namespace {

constexpr float kHydroAveragedTime = -99.0f;
constexpr float kTransportAveragedTime = 0.0f;
// Count-list entries (from 1) that size arrays besides the rows of values.
constexpr int kRdat3Entry = 3, kRdat7Entry = 7, kRdat8Entry = 8;

int64_t Count(int64_t count) { return std::max<int64_t>(count, 0); }

// Vectors only grow: slots beyond a step's counts keep what an earlier step
// left there, as in the console program's blocks.
template <typename T>
std::span<T> Grown(std::vector<T>& v, int64_t n) {
  if (static_cast<int64_t>(v.size()) < n) v.resize(static_cast<size_t>(n));
  return std::span(v);
}

std::string Hour(float hour) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(hour));
  return text;
}

std::string Problem(const ReadResult& r) {
  switch (r.outcome) {
    case Outcome::kRead:
      return "";
    case Outcome::kEndOfFile:
      return "it ends before its header does";
    case Outcome::kTooLarge:
      return std::string(r.too_large.count) + " = " + std::to_string(r.too_large.value) +
             " is more than the counts of its own record allow (" +
             std::to_string(r.too_large.limit) + ")";
    case Outcome::kDamaged:
      break;
  }
  return "record " + std::to_string(r.damage.record) + " (byte " + std::to_string(r.damage.offset) +
         "): " + r.damage.what;
}

// A QMX2 or QMX4 header as read, to be written again.
class StoredHeader {
 public:
  std::string Read(RecordFile& f) {
    ReadResult result = DetectForm(f, &values_);
    // No mesh limit here: the steps' counts size what is kept.
    if (result.ok()) result = ReadHeader(f, &values_, text(), MeshLimits{INT64_MAX, INT64_MAX});
    return Problem(result);
  }
  HeaderText text() {
    return HeaderText{banner_.data(), irec_.data(), frec_.data(),
                      title_.data(),  iban_.data(), ititl_.data()};
  }
  const HeaderValues& values() const { return values_; }
  int32_t irec1() const { return irec_[0]; }
  void set_irec1(int32_t v) { irec_[0] = v; }

 private:
  HeaderValues values_;
  std::array<char, kBannerChars> banner_{};
  std::array<int32_t, kHeaderInts> irec_{};
  std::array<float, kHeaderReals> frec_{};
  std::array<char, kTitleChars> title_{};
  std::array<int32_t, kBannerChars> iban_{};
  std::array<int32_t, kTitleChars> ititl_{};
};

// A node's minimum and maximum as the table shows them: not a number where
// no value was seen (every value was not a number), for the extremes then
// still hold their start values, the minimum above the maximum.
void PushExtremes(float min, float max, std::vector<Value>* values) {
  const bool seen = !(min > max);
  values->push_back(seen ? min : std::numeric_limits<float>::quiet_NaN());
  values->push_back(seen ? max : std::numeric_limits<float>::quiet_NaN());
}

std::vector<std::string> Triples(const std::string& name) {
  return {name + "_avg", name + "_min", name + "_max"};
}

}  // namespace

// A QMX10 file's count list carries over from step to step.
struct CountLists {
  const int32_t* before;
  const int32_t* after;
};

// One family's averaging: its reads into vectors sized from each step's
// counts, its accumulator, its averaged file and its listing.
class StreamAverage::Family {
 public:
  virtual ~Family() = default;
  /// Reads the header, when the family has one: "" or what is wrong.
  virtual std::string ReadHeader(RecordFile&) { return ""; }
  /// Reads the step at the file's position whole: "" or what is wrong.
  /// `head` holds its counts (checked against its length); `list` the QMX10
  /// count list as it stood before the step and as the step leaves it.
  virtual std::string ReadWhole(RecordFile& f, const StepHead& head, const CountLists& list) = 0;
  /// Adds the step read last.
  virtual void Add() = 0;
  /// Forms the averages once the file's last step has been read.
  virtual void Finish(AverageReport& report) = 0;
  virtual void WriteAveraged(RecordFile& out) = 0;
  virtual void WriteListing(TextSink& sink, const AverageReport& report) = 0;
  virtual std::vector<std::string> Columns() const = 0;
  virtual int64_t rows() const = 0;
  virtual void Row(int64_t k, std::vector<Value>* values) const = 0;

 protected:
  /// Every row in the listing layout `row`.
  void WriteRows(TextSink& sink, std::string_view row) const {
    const Layout& layout = CachedLayout(row);
    std::vector<Value> values;
    for (int64_t k = 0; k < rows(); ++k) {
      Row(k, &values);
      ApplyLayout(layout, values, sink);
    }
  }
};

namespace {

template <typename Sum>
class HydroFamily final : public StreamAverage::Family {
 public:
  explicit HydroFamily(const AverageChoices& c)
      : weighted_(c.weighted), mean_(c.weighted, c.datum), mesh_(c.mesh) {
    if (mesh_ != nullptr) bottom_ = mesh_->bottom;
  }

  std::string ReadHeader(RecordFile& f) override {
    std::string why = header_.Read(f);
    long_ = header_.irec1() >= kAverageLongFrom;
    return why;
  }

  std::string ReadWhole(RecordFile& f, const StepHead& head, const CountLists&) override {
    const int64_t np = Count(head.np), ne = Count(head.ne);
    step_.vel = Grown(vel_, 3 * np);
    step_.ndry = Grown(ndry_, np);
    step_.imat = Grown(imat_, ne);
    step_.elevations = Grown(elevations_, np);
    Grown(bottom_, np);  // past the mesh's nodes the bottom is at 0
    const std::string why = Problem(ReadQmx2Step(f, long_, step_));
    if (why.empty()) mean_.Reach(step_.np);
    return why;
  }

  void Add() override { mean_.Add(step_, !long_, std::span(elevations_), std::span(bottom_)); }

  void Finish(AverageReport& report) override {
    const int64_t np = Count(step_.np);
    Grown(avg_, 3 * np);
    Grown(surface_, np);
    Grown(dry_codes_, np);
    Grown(element_codes_, Count(step_.ne));
    for (int32_t k = 0; k < step_.np; ++k) {
      const typename HydroMean<Sum>::Node node = mean_.Average(k, step_, std::span(elevations_));
      report.dry_nodes += node.zero_values > 0;
      avg_[3 * k] = node.u;
      avg_[3 * k + 1] = node.v;
      avg_[3 * k + 2] = node.depth;
      surface_[k] = node.surface;
      dry_codes_[k] = mean_.dry_code(k);
    }
    for (int32_t e = 0; e < step_.ne; ++e) element_codes_[e] = mean_.element_code(e);
    report.nodes = step_.np;
    report.elements = step_.ne;
  }

  // As the console program writes it: a character-form header gets the
  // version code of long steps, so that the averaged step always carries its
  // water surface; an integer-coded header keeps its own, with the last
  // step's counts.
  void WriteAveraged(RecordFile& out) override {
    const bool character_form = !header_.values().integer_coded();
    if (character_form) header_.set_irec1(kAverageLongFrom);
    WriteHeader(out, header_.values(), header_.text(), step_.np, step_.ne);
    const Qmx2Step averaged{.time = kHydroAveragedTime,
                            .np = step_.np,
                            .ne = step_.ne,
                            .vel = std::span(avg_),
                            .ndry = std::span(dry_codes_),
                            .imat = std::span(element_codes_),
                            .elevations = std::span(surface_)};
    WriteQmx2Step(out, averaged, long_ || character_form);
  }

  void WriteListing(TextSink& sink, const AverageReport& r) override {
    WriteLayout(sink, kHydroListingHeading,
                {int32_t{weighted_}, r.stop - r.start, r.start, r.stop});
    WriteRows(sink, kHydroListingRow);
  }

  std::vector<std::string> Columns() const override {
    std::vector<std::string> names = {"node", "ndry"};
    for (const char* name : {"xvel", "yvel", "wse"}) {
      for (std::string& n : Triples(name)) names.push_back(std::move(n));
    }
    for (const char* name : {"xcord", "ycord", "depth_avg"}) names.push_back(name);
    return names;
  }

  int64_t rows() const override { return Count(step_.np); }

  void Row(int64_t k, std::vector<Value>* values) const override {
    const int32_t n = static_cast<int32_t>(k);
    const bool placed = mesh_ != nullptr && n < mesh_->np;
    const float x = placed ? mesh_->x[k] : 0.0f, y = placed ? mesh_->y[k] : 0.0f;
    *values = {n + 1, dry_codes_[k], avg_[3 * k]};
    PushExtremes(mean_.u_min(n), mean_.u_max(n), values);
    values->push_back(avg_[3 * k + 1]);
    PushExtremes(mean_.v_min(n), mean_.v_max(n), values);
    values->push_back(surface_[k]);
    PushExtremes(mean_.w_min(n), mean_.w_max(n), values);
    values->insert(values->end(), {x, y, avg_[3 * k + 2]});
  }

 private:
  bool weighted_;
  bool long_ = false;
  StoredHeader header_;
  HydroMean<Sum> mean_;
  const Mesh* mesh_;
  Qmx2Step step_;
  std::vector<float> vel_, elevations_, bottom_;
  std::vector<int32_t> ndry_, imat_;
  std::vector<float> avg_, surface_;
  std::vector<int32_t> dry_codes_, element_codes_;
};

template <typename Sum>
class TransportFamily final : public StreamAverage::Family {
 public:
  explicit TransportFamily(const AverageChoices& c)
      : constituents_(c.constituents.value_or(INT32_MAX)) {}

  std::string ReadHeader(RecordFile& f) override { return header_.Read(f); }

  std::string ReadWhole(RecordFile& f, const StepHead& head, const CountLists&) override {
    // The record's length backs NP4 x NQAL values: no more are kept.
    const int64_t row = Count(head.np), values = row * Count(head.width);
    step_.row = static_cast<size_t>(row);
    step_.conc = Grown(conc_, values).first(static_cast<size_t>(values));
    step_.imat = Grown(imat_, Count(head.ne));
    return Problem(ReadQmx4Step(f, step_));
  }

  // Only constituents that every averaged step carries are averaged: a step
  // with fewer cuts the count for the rest of the window.
  void Add() override {
    constituents_ = std::min(constituents_, std::max(step_.nqal, 0));
    if (!mean_) mean_ = std::make_unique<TransportMean<Sum>>(constituents_);
    mean_->Add(step_, constituents_);
  }

  void Finish(AverageReport& report) override {
    NodeTable<Sum>& table = mean_->table();
    table.Reach(Count(step_.np));
    const int64_t np = Count(step_.np);
    Grown(averages_, np * constituents_);
    for (int k = 0; k < constituents_; ++k) {
      for (int64_t j = 0; j < np; ++j) averages_[k * np + j] = table.Mean(k, j, mean_->steps());
    }
    report.nodes = step_.np;
    report.elements = step_.ne;
    report.quantities = constituents_;
  }

  // The header as read, then one step of time 0.0 with the constituents
  // averaged and the element codes of the last step.
  void WriteAveraged(RecordFile& out) override {
    WriteHeader(out, header_.values(), header_.text(), header_.values().np, header_.values().ne);
    Qmx4Step averaged = step_;
    averaged.time = kTransportAveragedTime;
    averaged.nqal = constituents_;
    averaged.conc = std::span(averages_);
    WriteQmx4Step(out, averaged);
  }

  void WriteListing(TextSink& sink, const AverageReport& r) override {
    WriteLayout(sink, kTransportListingHeading, {r.stop - r.start, r.stop});
    WriteRows(sink, kTransportListingRow);  // the layout takes the first three
  }

  std::vector<std::string> Columns() const override {
    std::vector<std::string> names = {"node"};
    for (int k = 1; k <= constituents_; ++k) {
      for (std::string& n : Triples("con" + std::to_string(k))) names.push_back(std::move(n));
    }
    return names;
  }

  int64_t rows() const override { return Count(step_.np); }

  void Row(int64_t j, std::vector<Value>* values) const override {
    const NodeTable<Sum>& table = mean_->table();
    values->assign(1, static_cast<int32_t>(j + 1));
    for (int k = 0; k < constituents_; ++k) {
      values->push_back(averages_[k * rows() + j]);
      PushExtremes(table.Min(k, j), table.Max(k, j), values);
    }
  }

 private:
  int32_t constituents_;
  StoredHeader header_;
  std::unique_ptr<TransportMean<Sum>> mean_;
  Qmx4Step step_;
  std::vector<float> conc_, averages_;
  std::vector<int32_t> imat_;
};

template <typename Sum>
class ThreedFamily final : public StreamAverage::Family {
 public:
  ThreedFamily() : mean_(MAXDOF) { step_.icnt = std::span(icnt_); }

  std::string ReadWhole(RecordFile& f, const StepHead& head, const CountLists& list) override {
    // The rows are as long as the nodes or the longest row of this record;
    // RDAT3, RDAT7 and RDAT8 are sized by their own entries, and an entry of
    // the list that sizes nothing here may not exceed a row.
    const int32_t* list_after = list.after;
    std::copy(list.before, list.before + MAXCNT, icnt_.begin());
    int64_t row = std::max<int64_t>(Count(head.np), 1);
    for (int k = 1; k <= std::min(head.width, MAXCNT); ++k) {
      row = std::max<int64_t>(row, Count(list_after[k - 1]));
    }
    step_.row = static_cast<size_t>(row);
    step_.vdof = Grown(vdof_, MAXDOF * row).first(static_cast<size_t>(MAXDOF * row));
    step_.rdat3 = Grown(rdat3_, Count(list_after[kRdat3Entry - 1]));
    step_.rdat7 = Grown(rdat7_, Count(list_after[kRdat7Entry - 1]));
    step_.rdat8 = Grown(rdat8_, Count(list_after[kRdat8Entry - 1]));
    step_.imat = Grown(imat_, Count(head.ne));
    step_.ndry = Grown(ndry_, Count(head.np));
    step_.rnode = Grown(rnode_, Count(head.np));
    step_.relem = Grown(relem_, Count(head.ne));
    return Problem(ReadQmx10Step(f, step_));
  }

  void Add() override { mean_.Add(step_); }

  void Finish(AverageReport& report) override {
    NodeTable<Sum>& table = mean_.table();
    const int64_t np = Count(step_.np);
    table.Reach(std::max<int64_t>(np, 1));
    averages_.assign(step_.vdof.size(), 0.0f);
    for (int k = 0; k < std::clamp(step_.ndf, 0, MAXDOF); ++k) {
      for (int64_t n = 0; n < np; ++n) {
        averages_[k * step_.row + n] = table.Mean(k, n, mean_.steps());
      }
    }
    report.nodes = step_.np;
    report.elements = step_.ne;
    report.quantities = step_.ndf;
    for (int k = 0; k < MAXDOF; ++k) {
      report.extremes.push_back(DofExtremes{mean_.overall_max(k), mean_.overall_min(k),
                                            mean_.max_node(k), mean_.min_node(k)});
    }
  }

  void WriteAveraged(RecordFile& out) override { WriteQmx10Average(out, step_, averages_.data()); }

  void WriteListing(TextSink& sink, const AverageReport& r) override {
    WriteLayout(sink, kThreedResultsTitle, {});
    std::array<Value, 4 * MAXDOF> extremes;
    for (size_t k = 0; k < MAXDOF; ++k) {
      const DofExtremes& e = r.extremes[k];
      extremes[2 * k] = e.max_node;
      extremes[2 * k + 1] = e.max;
      extremes[2 * MAXDOF + 2 * k] = e.min_node;
      extremes[2 * MAXDOF + 2 * k + 1] = e.min;
    }
    ApplyLayout(CachedLayout(kThreedExtremes), extremes, sink);
    WriteLayout(sink, kThreedListingHeading, {r.stop - r.start, r.stop});
    WriteRows(sink, kThreedListingRow);
  }

  std::vector<std::string> Columns() const override {
    static constexpr const char* kNames[MAXDOF] = {"velx",     "vely",        "depth",
                                                   "salinity", "temperature", "sediment"};
    std::vector<std::string> names = {"node"};
    for (int k = 0; k < std::clamp(step_.ndf, 0, MAXDOF); ++k) {
      for (std::string& n : Triples(kNames[k])) names.push_back(std::move(n));
    }
    return names;
  }

  int64_t rows() const override { return Count(step_.np); }

  void Row(int64_t n, std::vector<Value>* values) const override {
    const NodeTable<Sum>& table = mean_.table();
    values->assign(1, static_cast<int32_t>(n + 1));
    for (int k = 0; k < std::clamp(step_.ndf, 0, MAXDOF); ++k) {
      values->push_back(averages_[k * step_.row + n]);
      PushExtremes(table.Min(k, n), table.Max(k, n), values);
    }
  }

 private:
  ThreedMean<Sum> mean_;
  Qmx10Step step_;
  std::array<int32_t, MAXCNT> icnt_{};
  std::vector<float> vdof_, rdat3_, rdat7_, rdat8_, rnode_, relem_, averages_;
  std::vector<int32_t> imat_, ndry_;
};

template <typename Sum>
std::unique_ptr<StreamAverage::Family> FamilyOf(FileKind kind, const AverageChoices& c) {
  switch (kind) {
    case FileKind::kQmx2:
      return std::make_unique<HydroFamily<Sum>>(c);
    case FileKind::kQmx4:
      return std::make_unique<TransportFamily<Sum>>(c);
    case FileKind::kQmx10:
      return std::make_unique<ThreedFamily<Sum>>();
    default:
      return nullptr;
  }
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
  family_ = choices_.float32_sums ? FamilyOf<float>(id.kind, choices_)
                                  : FamilyOf<double>(id.kind, choices_);
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

std::vector<std::string> StreamAverage::Columns() const { return family_->Columns(); }

int64_t StreamAverage::rows() const { return family_->rows(); }

void StreamAverage::Row(int64_t node, std::vector<Value>* values) const {
  family_->Row(node, values);
}

}  // namespace korvant
