// The QMX10 (3D) family: its driver, its averaging and its steps as node
// fields.

#include <algorithm>
#include <array>
#include <limits>

#include "engine/averaging_family.h"
#include "engine/family_driver.h"
#include "engine/mean_listing.h"
#include "engine/mesh.h"
#include "engine/step_difference.h"
#include "engine/step_fields.h"
#include "engine/threed_mean.h"
#include "formats/limits.h"
#include "formats/qmx10.h"

namespace korvant {
namespace {

// Count-list entries (from 1) that size arrays besides the rows of values.
constexpr int kRdat3Entry = 3, kRdat7Entry = 7, kRdat8Entry = 8;
constexpr float kNone = std::numeric_limits<float>::quiet_NaN();

// The fields of a step of `ndf` degrees of freedom, in their order.
std::vector<FieldInfo> Qmx10Fields(int32_t ndf) {
  using namespace vocabulary;
  std::vector<FieldInfo> all = {XVelocity(), YVelocity(),   Depth(),
                                Salinity(),  Temperature(), SedimentConcentration()};
  all.resize(static_cast<size_t>(std::clamp(ndf, 0, MAXDOF)));
  return all;
}

template <typename Sum>
class ThreedAveraging final : public AveragingFamily {
 public:
  ThreedAveraging() : mean_(MAXDOF) { step_.icnt = std::span(icnt_); }

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
    averages_.assign(step_.vdof.size(), 0.0f);
    mean_.Finish(step_.np, step_.ndf, averages_, step_.row);
    report.nodes = step_.np;
    report.elements = step_.ne;
    report.quantities = step_.ndf;
    const std::vector<FieldInfo> fields = Qmx10Fields(MAXDOF);
    for (int k = 0; k < MAXDOF; ++k) {
      report.extremes.push_back(DofExtremes{fields[static_cast<size_t>(k)], mean_.overall_max(k),
                                            mean_.overall_min(k), mean_.max_node(k),
                                            mean_.min_node(k)});
    }
  }

  void WriteAveraged(RecordFile& out) override { WriteQmx10Average(out, step_, averages_.data()); }

  void WriteListing(TextSink& sink, const AverageReport& r) override {
    WriteLayout(sink, kThreedResultsTitle, {});
    ApplyLayout(CachedLayout(kThreedExtremes), mean_.Extremes(), sink);
    WriteLayout(sink, kThreedListingHeading, {r.stop - r.start, r.stop});
    WriteRows(sink, kThreedListingRow);
  }

  std::vector<FieldInfo> Columns() const override {
    std::vector<FieldInfo> columns = {vocabulary::Node()};
    AddStatistics(Qmx10Fields(step_.ndf), &columns);
    return columns;
  }

  int64_t rows() const override { return Count(step_.np); }

  void Row(int64_t n, std::vector<Value>* values) const override {
    mean_.Row(n, step_.ndf, averages_, step_.row, Unseen::kNotANumber, values);
  }

 private:
  ThreedMean<Sum> mean_;
  Qmx10Step step_;
  std::array<int32_t, MAXCNT> icnt_{};
  std::vector<float> vdof_, rdat3_, rdat7_, rdat8_, rnode_, relem_, averages_;
  std::vector<int32_t> imat_, ndry_;
};

// A QMX10 step (or averaged record) as fields over a mesh: one a degree of
// freedom, each row covering the nodes its count gives.
class Qmx10Steps final : public StepFields {
 public:
  explicit Qmx10Steps(const Mesh& mesh)
      : StepFields(mesh.np, MAXDOF, kNone),
        icnt_(kQmx10CountList, 0),
        rdat3_(np_),
        rdat7_(np_),
        rdat8_(np_),
        rnode_(np_),
        relem_(static_cast<size_t>(mesh.ne)),
        imat_(static_cast<size_t>(mesh.ne), 0),
        ndry_(np_, 0) {
    step_.icnt = icnt_;
    step_.vdof = values_;
    step_.row = np_;
    step_.rdat3 = rdat3_;
    step_.rdat7 = rdat7_;
    step_.rdat8 = rdat8_;
    step_.imat = imat_;
    step_.ndry = ndry_;
    step_.rnode = rnode_;
    step_.relem = relem_;
  }

  ReadResult Read(RecordFile& f, StepHead* head) override {
    bool averaged = false;
    const ReadResult read = ReadQmx10Record(f, step_, &averaged, filter_, &passed_);
    Counts(step_.time, step_.np, step_.ne, step_.ndf, head);
    if (!read.ok() || passed_) return read;
    // A row covers the nodes its count gives; the rest hold no value.
    for (int32_t k = 0; k < std::clamp(step_.ndf, 0, MAXDOF); ++k) {
      const size_t held = static_cast<size_t>(std::clamp<int32_t>(icnt_[k], 0, step_.np));
      std::fill(values_.begin() + static_cast<std::ptrdiff_t>(k * np_ + held),
                values_.begin() + static_cast<std::ptrdiff_t>((k + 1) * np_), kNone);
    }
    return read;
  }

  void Carry(std::span<const int32_t> counts) override {
    std::copy_n(counts.begin(), std::min(counts.size(), icnt_.size()), icnt_.begin());
  }

 private:
  std::vector<int32_t> icnt_;
  std::vector<float> rdat3_, rdat7_, rdat8_, rnode_, relem_;
  std::vector<int32_t> imat_, ndry_;
  Qmx10Step step_;
};

// One side of a ThreedDifference: a step and the vectors its spans lie in.
struct ThreedSide {
  Qmx10Step step;
  bool averaged = false;
  std::array<int32_t, MAXCNT> icnt{};
  std::vector<float> vdof, rdat3, rdat7, rdat8, rnode, relem;
  std::vector<int32_t> imat, ndry;
};

// Two QMX10 steps (or averaged records), one a file, for a difference: the
// rows of the degrees of freedom are subtracted, as far as their counts go.
class ThreedDifference final : public SlottedDifference<ThreedSide, false> {
 public:
  ThreedDifference() {
    for (Side side : {Side::kA, Side::kB}) {
      ThreedSide& s = slot(side);
      s.step.icnt = std::span(s.icnt);
    }
  }

  std::string ReadWhole(Side side, RecordFile& f, const StepHead& head,
                        const CountLists& list) override {
    // Sized as the averaging sizes a step: rows as long as the nodes or the
    // longest row of the record, the other arrays by their own counts.
    ThreedSide& s = slot(side);
    std::copy(list.before, list.before + MAXCNT, s.icnt.begin());
    int64_t row = std::max<int64_t>(Count(head.np), 1);
    for (int k = 1; k <= std::min(head.width, MAXCNT); ++k) {
      row = std::max<int64_t>(row, Count(list.after[k - 1]));
    }
    s.step.row = static_cast<size_t>(row);
    s.step.vdof = Grown(s.vdof, MAXDOF * row).first(static_cast<size_t>(MAXDOF * row));
    s.step.rdat3 = Grown(s.rdat3, Count(list.after[kRdat3Entry - 1]));
    s.step.rdat7 = Grown(s.rdat7, Count(list.after[kRdat7Entry - 1]));
    s.step.rdat8 = Grown(s.rdat8, Count(list.after[kRdat8Entry - 1]));
    s.step.imat = Grown(s.imat, Count(head.ne));
    s.step.ndry = Grown(s.ndry, Count(head.np));
    s.step.rnode = Grown(s.rnode, Count(head.np));
    s.step.relem = Grown(s.relem, Count(head.ne));
    return Problem(ReadQmx10Record(f, s.step, &s.averaged));
  }

  std::vector<FieldView> Fields(Side side) override {
    ThreedSide& s = slot(side);
    const std::vector<FieldInfo> f = Qmx10Fields(s.step.ndf);
    std::vector<FieldView> views;
    for (size_t k = 0; k < f.size(); ++k) {
      const int64_t held = std::min<int64_t>(Count(s.icnt[k]), static_cast<int64_t>(s.step.row));
      views.push_back({f[k], s.vdof.data() + k * s.step.row, 1, held});
    }
    return views;
  }

  void WriteStep(RecordFile& out) override {
    const ThreedSide& b = slot(Side::kB);
    b.averaged ? WriteQmx10Average(out, b.step, b.step.vdof.data()) : WriteQmx10Step(out, b.step);
  }
};

class Qmx10Driver final : public FamilyDriver {
 public:
  FileKind kind() const override { return FileKind::kQmx10; }
  bool has_header() const override { return false; }

  std::string Describe(const Identity& id) const override {
    return id.averaged ? "a QMX10 averaged file (one step of means, without IMAT and NDRY)"
                       : "a QMX10 file";
  }

  bool SameSteps(const Identity& a, const Identity& b) const override {
    return a.kind == b.kind && a.averaged == b.averaged;
  }

  QuantityNoun quantities() const override {
    return {"degree of freedom", "degrees of freedom", "degrees_of_freedom"};
  }

  std::optional<Oversize> BeyondFixedArrays(const StepHead& head,
                                            std::span<const int32_t> icnt) const override {
    if (head.np > MAXNODE) return Oversize{"NP", head.np, MAXNODE};
    if (head.ne > MAXELEM) return Oversize{"NE", head.ne, MAXELEM};
    const int32_t longest = *std::max_element(icnt.begin(), icnt.end());
    if (longest > MAXNODE) return Oversize{"ICNT", longest, MAXNODE};
    return std::nullopt;
  }

  std::unique_ptr<AveragingFamily> Averaging(const AverageChoices& c) const override {
    return WithSums<ThreedAveraging>(c);
  }

  std::vector<FieldInfo> Fields(const Identity&, const StepHead& first) const override {
    return Qmx10Fields(first.width);
  }

  bool MarksMeans(const Identity& id, float) const override { return id.averaged; }

  std::unique_ptr<StepFields> Steps(const Identity&, const Mesh& mesh) const override {
    return std::make_unique<Qmx10Steps>(mesh);
  }

  std::unique_ptr<DifferenceFamily> Difference(const Identity&) const override {
    return std::make_unique<ThreedDifference>();
  }
};

}  // namespace

const FamilyDriver& Qmx10FamilyDriver() {
  static const Qmx10Driver driver;
  return driver;
}

}  // namespace korvant
