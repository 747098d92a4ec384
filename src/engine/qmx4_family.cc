// The QMX4 (transport) family: its driver, its averaging and its steps as
// node fields.

#include <limits>

#include "engine/averaging_family.h"
#include "engine/family_driver.h"
#include "engine/mean_listing.h"
#include "engine/mesh.h"
#include "engine/step_difference.h"
#include "engine/step_fields.h"
#include "engine/transport_mean.h"
#include "formats/limits.h"
#include "formats/qmx4.h"

namespace korvant {
namespace {

constexpr float kAveragedTime = 0.0f;

// The fields of a step of `nqal` constituents.
std::vector<FieldInfo> Qmx4Fields(int32_t nqal) {
  std::vector<FieldInfo> fields;
  for (int32_t k = 1; k <= nqal; ++k) fields.push_back(vocabulary::Constituent(k));
  return fields;
}

template <typename Sum>
class TransportAveraging final : public AveragingFamily {
 public:
  explicit TransportAveraging(const AverageChoices& c)
      : mean_(c.constituents.value_or(std::numeric_limits<int32_t>::max())) {}

  // No mesh limit: the steps' counts size what is kept.
  std::string ReadHeader(RecordFile& f, const Identity& id) override {
    return Problem(header_.Read(f, kAnyMesh, id.titled()));
  }

  std::string ReadWhole(RecordFile& f, const StepHead& head, const CountLists&) override {
    // The record's length backs NP4 x NQAL values: no more are kept.
    const int64_t row = Count(head.np), values = row * Count(head.width);
    step_.row = static_cast<size_t>(row);
    step_.conc = Grown(conc_, values).first(static_cast<size_t>(values));
    step_.imat = Grown(imat_, Count(head.ne));
    return Problem(ReadQmx4Step(f, step_));
  }

  void Add() override { mean_.Add(step_); }

  void Finish(AverageReport& report) override {
    const int64_t np = Count(step_.np);
    mean_.Finish(step_.np, Grown(averages_, np * mean_.constituents()), static_cast<size_t>(np));
    report.nodes = step_.np;
    report.elements = step_.ne;
    report.quantities = mean_.constituents();
  }

  // The header as read, then one step of time 0.0 with the constituents
  // averaged and the element codes of the last step.
  void WriteAveraged(RecordFile& out) override {
    header_.Write(out, header_.values().np, header_.values().ne);
    Qmx4Step averaged = step_;
    averaged.time = kAveragedTime;
    averaged.nqal = mean_.constituents();
    averaged.conc = std::span(averages_);
    WriteQmx4Step(out, averaged);
  }

  void WriteListing(TextSink& sink, const AverageReport& r) override {
    WriteLayout(sink, kTransportListingHeading, {r.stop - r.start, r.stop});
    WriteRows(sink, kTransportListingRow);  // the layout takes the first three
  }

  std::vector<FieldInfo> Columns() const override {
    std::vector<FieldInfo> columns = {vocabulary::Node()};
    AddStatistics(Qmx4Fields(mean_.constituents()), &columns);
    return columns;
  }

  int64_t rows() const override { return Count(step_.np); }

  void Row(int64_t j, std::vector<Value>* values) const override {
    mean_.Row(j, mean_.constituents(), averages_, static_cast<size_t>(rows()), Unseen::kNotANumber,
              values);
  }

 private:
  HeaderStore header_;
  TransportMean<Sum> mean_;
  Qmx4Step step_;
  std::vector<float> conc_, averages_;
  std::vector<int32_t> imat_;
};

// A QMX4 step as fields over a mesh: one concentration a constituent.
class Qmx4Steps final : public StepFields {
 public:
  explicit Qmx4Steps(const Mesh& mesh)
      : StepFields(mesh.np, MAXCON, std::numeric_limits<float>::quiet_NaN()),
        imat_(static_cast<size_t>(mesh.ne), 0) {
    step_.conc = values_;
    step_.row = np_;
    step_.imat = imat_;
  }

  ReadResult Read(RecordFile& f, StepHead* head) override {
    const ReadResult read = ReadQmx4Step(f, step_, filter_, &passed_);
    Counts(step_.time, step_.np, step_.ne, step_.nqal, head);
    return read;
  }

 private:
  std::vector<int32_t> imat_;
  Qmx4Step step_;
};

// One side of a TransportDifference: a step and the vectors its spans lie in.
struct TransportSide {
  Qmx4Step step;
  std::vector<float> conc;
  std::vector<int32_t> imat;
};

// Two QMX4 steps, one a file, for a difference: the concentrations are
// subtracted.
class TransportDifference final : public SlottedDifference<TransportSide, true> {
 public:
  std::string ReadWhole(Side side, RecordFile& f, const StepHead& head,
                        const CountLists&) override {
    // The record's length backs NP4 x NQAL values: no more are kept.
    TransportSide& s = slot(side);
    const int64_t row = Count(head.np), values = row * Count(head.width);
    s.step.row = static_cast<size_t>(row);
    s.step.conc = Grown(s.conc, values).first(static_cast<size_t>(values));
    s.step.imat = Grown(s.imat, Count(head.ne));
    return Problem(ReadQmx4Step(f, s.step));
  }

  std::vector<FieldView> Fields(Side side) override {
    TransportSide& s = slot(side);
    const std::vector<FieldInfo> f = Qmx4Fields(s.step.nqal);
    std::vector<FieldView> views;
    for (size_t k = 0; k < f.size(); ++k) {
      views.push_back({f[k], s.conc.data() + k * s.step.row, 1, Count(s.step.np)});
    }
    return views;
  }

  void WriteStep(RecordFile& out) override { WriteQmx4Step(out, slot(Side::kB).step); }
};

class Qmx4Driver final : public FamilyDriver {
 public:
  FileKind kind() const override { return FileKind::kQmx4; }

  std::string Describe(const Identity&) const override { return "a QMX4 file"; }

  QuantityNoun quantities() const override {
    return {"constituent", "constituents", "constituents"};
  }

  std::optional<Oversize> BeyondFixedArrays(const StepHead& head,
                                            std::span<const int32_t>) const override {
    if (head.width > MAXCON) return Oversize{"NQAL", head.width, MAXCON};
    if (head.np > MAXNODE) return Oversize{"NP4", head.np, MAXNODE};
    if (head.ne > MAXELEM) return Oversize{"NE4", head.ne, MAXELEM};
    return std::nullopt;
  }

  bool Takes(AverageChoice c) const override { return c == AverageChoice::kConstituents; }

  std::unique_ptr<AveragingFamily> Averaging(const AverageChoices& c) const override {
    return WithSums<TransportAveraging>(c, c);
  }

  std::vector<FieldInfo> Fields(const Identity&, const StepHead& first) const override {
    return Qmx4Fields(first.width);
  }

  bool MarksMeans(const Identity&, float first_time) const override {
    return first_time == kAveragedTime;
  }

  std::unique_ptr<StepFields> Steps(const Identity&, const Mesh& mesh) const override {
    return std::make_unique<Qmx4Steps>(mesh);
  }

  std::unique_ptr<DifferenceFamily> Difference(const Identity&) const override {
    return std::make_unique<TransportDifference>();
  }
};

}  // namespace

const FamilyDriver& Qmx4FamilyDriver() {
  static const Qmx4Driver driver;
  return driver;
}

}  // namespace korvant
