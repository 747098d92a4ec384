// The QMX2 (hydrodynamics) family: its driver, its averaging and its steps
// as node fields.

#include "engine/averaging_family.h"
#include "engine/family_driver.h"
#include "engine/hydro_mean.h"
#include "engine/mean_listing.h"
#include "engine/mesh.h"
#include "engine/step_difference.h"
#include "engine/step_fields.h"
#include "formats/limits.h"
#include "formats/qmx2.h"

namespace korvant {
namespace {

// The quantities, in the order of the fields.
enum Qmx2Field { kU, kV, kDepth, kElevation, kWetDry, kQmx2Fields };

// The fields of a step: long or short, of a model run or averaged (whose
// long step holds the water surface above the datum; a short step has no
// surface, and the bottom plus the depth stands for it).
std::vector<FieldInfo> Qmx2Fields(bool long_steps, bool averaged) {
  using namespace vocabulary;
  return {XVelocity(), YVelocity(), Depth(),
          long_steps && averaged ? WaterSurfaceAboveDatum() : WaterSurfaceElevation(!long_steps),
          WetDry()};
}

template <typename Sum>
class HydroAveraging final : public AveragingFamily {
 public:
  explicit HydroAveraging(const AverageChoices& c)
      : weighted_(c.weighted), mean_(c.weighted, c.datum), mesh_(c.mesh) {
    if (mesh_ != nullptr) bottom_ = mesh_->bottom;
  }

  std::string ReadHeader(RecordFile& f, const Identity& id) override {
    // No mesh limit: the steps' counts size what is kept.
    std::string why = Problem(header_.Read(f, kAnyMesh, id.titled()));
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
    results_ = HydroAveraged{Grown(avg_, 3 * np), Grown(surface_, np), Grown(dry_codes_, np),
                             Grown(element_codes_, Count(step_.ne))};
    report.dry_nodes = mean_.Finish(step_, std::span(elevations_), results_);
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
    header_.Write(out, step_.np, step_.ne);
    const Qmx2Step averaged{.time = kQmx2AveragedTime,
                            .np = step_.np,
                            .ne = step_.ne,
                            .vel = results_.vel,
                            .ndry = results_.dry_codes,
                            .imat = results_.element_codes,
                            .elevations = results_.surface};
    WriteQmx2Step(out, averaged, long_ || character_form);
  }

  void WriteListing(TextSink& sink, const AverageReport& r) override {
    WriteLayout(sink, kHydroListingHeading,
                {int32_t{weighted_}, r.stop - r.start, r.start, r.stop});
    WriteRows(sink, kHydroListingRow);
  }

  // In the order of the listing's row: node, the last wet/dry code, the
  // velocities and the water surface above the datum, the node's place and
  // the mean depth.
  std::vector<FieldInfo> Columns() const override {
    const std::vector<FieldInfo> f = Qmx2Fields(/*long_steps=*/true, /*averaged=*/true);
    std::vector<FieldInfo> columns = {vocabulary::Node(), f[kWetDry]};
    AddStatistics({f[kU], f[kV], f[kElevation]}, &columns);
    columns.insert(columns.end(),
                   {vocabulary::NodeX(), vocabulary::NodeY(), vocabulary::Mean(f[kDepth])});
    return columns;
  }

  int64_t rows() const override { return Count(step_.np); }

  void Row(int64_t k, std::vector<Value>* values) const override {
    const int32_t n = static_cast<int32_t>(k);
    const bool placed = mesh_ != nullptr && n < mesh_->np;
    mean_.Row(n, results_, placed ? mesh_->x[k] : 0.0f, placed ? mesh_->y[k] : 0.0f,
              Unseen::kNotANumber, values);
  }

 private:
  bool weighted_;
  bool long_ = false;
  HeaderStore header_;
  HydroMean<Sum> mean_;
  const Mesh* mesh_;
  Qmx2Step step_;
  std::vector<float> vel_, elevations_, bottom_;
  std::vector<int32_t> ndry_, imat_;
  std::vector<float> avg_, surface_;
  std::vector<int32_t> dry_codes_, element_codes_;
  HydroAveraged results_;
};

// A QMX2 step as fields over a mesh: velocities and depth as the step holds
// them, the water surface as the step holds it (long steps) or as the
// bottom plus the depth (short steps), and the wet/dry code.
class Qmx2Steps final : public StepFields {
 public:
  Qmx2Steps(bool long_steps, const Mesh& mesh)
      : StepFields(mesh.np, kQmx2Fields, 0.0f),
        long_(long_steps),
        mesh_(mesh),
        vel_(3 * np_, 0.0f),
        ndry_(np_, 0),
        imat_(static_cast<size_t>(mesh.ne), 0) {
    step_.vel = vel_;
    step_.ndry = ndry_;
    step_.imat = imat_;
    step_.elevations = std::span(values_).subspan(kElevation * np_, np_);
  }

  ReadResult Read(RecordFile& f, StepHead* head) override {
    const ReadResult read = ReadQmx2Step(f, long_, step_, filter_, &passed_);
    Counts(step_.time, step_.np, step_.ne, 0, head);
    if (!read.ok() || passed_) return read;
    auto take = [&](size_t j) {
      for (int q = kU; q <= kDepth; ++q) values_[q * np_ + j] = vel_[3 * j + q];
      if (!long_) values_[kElevation * np_ + j] = mesh_.bottom[j] + vel_[3 * j + 2];
      values_[kWetDry * np_ + j] = static_cast<float>(ndry_[j]);
    };
    if (only_.empty()) {
      for (size_t j = 0; j < np_; ++j) take(j);
    } else {
      for (size_t j : only_) take(j);
    }
    return read;
  }

  // The wet/dry code is the one integer field.
  std::span<const int32_t> codes(size_t i) const override {
    return i == kWetDry ? std::span<const int32_t>(ndry_) : std::span<const int32_t>();
  }

 private:
  bool long_;
  const Mesh& mesh_;
  std::vector<float> vel_;
  std::vector<int32_t> ndry_, imat_;
  Qmx2Step step_;
};

// One side of a HydroDifference: a step and the vectors its spans lie in.
struct HydroSide {
  Qmx2Step step;
  std::vector<float> vel, elevations;
  std::vector<int32_t> ndry, imat;
};

// Two QMX2 steps, one a file, for a difference: the velocities, the depth
// and (long steps) the water surface are subtracted.
class HydroDifference final : public SlottedDifference<HydroSide, true> {
 public:
  explicit HydroDifference(bool long_steps) : long_(long_steps) {}

  std::string ReadWhole(Side side, RecordFile& f, const StepHead& head,
                        const CountLists&) override {
    HydroSide& s = slot(side);
    const int64_t np = Count(head.np);
    s.step.vel = Grown(s.vel, 3 * np);
    s.step.ndry = Grown(s.ndry, np);
    s.step.imat = Grown(s.imat, Count(head.ne));
    s.step.elevations = Grown(s.elevations, long_ ? np : 0);
    return Problem(ReadQmx2Step(f, long_, s.step));
  }

  std::vector<FieldView> Fields(Side side) override {
    HydroSide& s = slot(side);
    const std::vector<FieldInfo> f = Qmx2Fields(long_, s.step.time == kQmx2AveragedTime);
    const int64_t np = Count(s.step.np);
    std::vector<FieldView> views;
    for (int q = kU; q <= kDepth; ++q) views.push_back({f[q], s.vel.data() + q, 3, np});
    if (long_) views.push_back({f[kElevation], s.elevations.data(), 1, np});
    return views;
  }

  void WriteStep(RecordFile& out) override { WriteQmx2Step(out, slot(Side::kB).step, long_); }

 private:
  bool long_;
};

class Qmx2Driver final : public FamilyDriver {
 public:
  FileKind kind() const override { return FileKind::kQmx2; }

  std::optional<bool> long_steps(const Identity& id) const override { return id.long_steps; }

  std::string Describe(const Identity& id) const override {
    return id.long_steps ? "a QMX2 file with long steps (elevations)"
                         : "a QMX2 file with short steps (no elevations)";
  }

  bool SameSteps(const Identity& a, const Identity& b) const override {
    return a.kind == b.kind && a.long_steps == b.long_steps;
  }

  std::optional<Oversize> BeyondFixedArrays(const StepHead& head,
                                            std::span<const int32_t>) const override {
    if (head.np > MAXNODE) return Oversize{"NP2", head.np, MAXNODE};
    if (head.ne > MAXELEM) return Oversize{"NE2", head.ne, MAXELEM};
    return std::nullopt;
  }

  bool Takes(AverageChoice c) const override {
    return c == AverageChoice::kWeighting || c == AverageChoice::kMeshPlaces;
  }

  std::unique_ptr<AveragingFamily> Averaging(const AverageChoices& c) const override {
    return WithSums<HydroAveraging>(c, c);
  }

  // An averaged file is told by the time of its step.
  std::vector<FieldInfo> Fields(const Identity& id, const StepHead& first) const override {
    return Qmx2Fields(id.long_steps, first.time == kQmx2AveragedTime);
  }

  bool MarksMeans(const Identity&, float first_time) const override {
    return first_time == kQmx2AveragedTime;
  }

  std::unique_ptr<StepFields> Steps(const Identity& id, const Mesh& mesh) const override {
    return std::make_unique<Qmx2Steps>(id.long_steps, mesh);
  }

  std::unique_ptr<DifferenceFamily> Difference(const Identity& id) const override {
    return std::make_unique<HydroDifference>(id.long_steps);
  }
};

}  // namespace

const FamilyDriver& Qmx2FamilyDriver() {
  static const Qmx2Driver driver;
  return driver;
}

}  // namespace korvant
