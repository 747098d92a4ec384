#include "engine/result_series.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "formats/header.h"
#include "formats/limits.h"
#include "formats/qmx10.h"
#include "formats/qmx2.h"
#include "formats/qmx4.h"
#include "text/readable.h"

namespace korvant {
namespace {

constexpr float kNone = std::numeric_limits<float>::quiet_NaN();

// The QMX2 quantities, in the order of `ResultSeries::Arrays::fields`.
enum Qmx2Field { kU, kV, kDepth, kElevation, kWetDry, kQmx2Fields };

std::vector<FieldInfo> Qmx2Fields(bool long_steps) {
  return {{"x_velocity", "x velocity", "", false},
          {"y_velocity", "y velocity", "", false},
          {"depth", "depth", "", false},
          {"water_surface_elevation",
           long_steps ? "water-surface elevation" : "water-surface elevation (bottom plus depth)",
           "", false},
          {"wet_dry", "wet/dry code", "", true}};
}

std::vector<FieldInfo> Qmx4Fields(int32_t nqal) {
  std::vector<FieldInfo> fields;
  for (int32_t k = 1; k <= nqal; ++k) {
    fields.push_back({"constituent_" + std::to_string(k),
                      "concentration of constituent " + std::to_string(k), "", false});
  }
  return fields;
}

// The degrees of freedom of a 3D step, in file order, with the units its
// averaging listing gives them (feet per second, feet, parts per thousand,
// degrees Celsius) in the spelling of the CF conventions.
std::vector<FieldInfo> Qmx10Fields(int32_t ndf) {
  static const std::array<FieldInfo, MAXDOF> kAll = {{
      {"x_velocity", "x velocity", "ft s-1", false},
      {"y_velocity", "y velocity", "ft s-1", false},
      {"depth", "depth", "ft", false},
      {"salinity", "salinity", "1e-3", false},
      {"temperature", "temperature", "degC", false},
      {"sediment", "sediment concentration", "1e-3", false},
  }};
  return std::vector<FieldInfo>(kAll.begin(), kAll.begin() + std::clamp(ndf, 0, MAXDOF));
}

std::string Trimmed(const std::vector<char>& text) {
  const std::string s(text.begin(), text.end());
  const size_t end = s.find_last_not_of(std::string(" \0", 2));
  return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

bool NamesNodes(std::string_view count) {
  return count == "NP" || count == "NP2" || count == "NP4";
}
bool NamesElements(std::string_view count) {
  return count == "NE" || count == "NE2" || count == "NE4";
}

}  // namespace

struct ResultSeries::Arrays {
  explicit Arrays(const Mesh& mesh)
      : np(static_cast<size_t>(mesh.np)), ne(static_cast<size_t>(mesh.ne)) {}
  size_t np, ne;

  std::vector<char> banner = std::vector<char>(kBannerChars, ' ');
  std::vector<char> title = std::vector<char>(kTitleChars, ' ');
  std::vector<int32_t> irec = std::vector<int32_t>(kHeaderInts);
  std::vector<int32_t> iban = std::vector<int32_t>(kBannerChars);
  std::vector<int32_t> ititl = std::vector<int32_t>(kTitleChars);
  std::vector<float> frec = std::vector<float>(kHeaderReals);

  std::vector<float> values;  // QMX2: the fields; QMX4, QMX10: the file's own rows
  std::vector<float> vel, rdat3, rdat7, rdat8, rnode, relem;
  std::vector<int32_t> ndry, imat, icnt;
  Qmx2Step qmx2;
  Qmx4Step qmx4;
  Qmx10Step qmx10;

  void Size(FileKind kind) {
    imat.assign(ne, 0);
    ndry.assign(np, 0);
    if (kind == FileKind::kQmx2) {
      values.assign(kQmx2Fields * np, 0.0f);
      vel.assign(3 * np, 0.0f);
      qmx2.vel = vel;
      qmx2.ndry = ndry;
      qmx2.imat = imat;
      qmx2.elevations = std::span(values).subspan(kElevation * np, np);
      return;
    }
    values.assign(static_cast<size_t>(MAXDOF) * np, kNone);
    if (kind == FileKind::kQmx4) {
      qmx4.conc = values;
      qmx4.row = np;
      qmx4.imat = imat;
      return;
    }
    icnt.assign(kQmx10CountList, 0);
    for (auto* v : {&rdat3, &rdat7, &rdat8, &rnode}) v->assign(np, 0.0f);
    relem.assign(ne, 0.0f);
    qmx10.icnt = icnt;
    qmx10.vdof = values;
    qmx10.row = np;
    qmx10.rdat3 = rdat3;
    qmx10.rdat7 = rdat7;
    qmx10.rdat8 = rdat8;
    qmx10.imat = imat;
    qmx10.ndry = ndry;
    qmx10.rnode = rnode;
    qmx10.relem = relem;
  }
};

ResultSeries::ResultSeries(RecordFile& file, const Mesh& mesh) : file_(file), mesh_(mesh) {}

ResultSeries::~ResultSeries() = default;

SeriesResult ResultSeries::Open() {
  SeriesResult result;
  file_.CompareClosingLengths(true);
  id_ = Identify(file_);
  result.refusal = NotAResult(id_);
  if (!result.refusal.empty()) return result;
  arrays_ = std::make_unique<Arrays>(mesh_);
  Arrays& a = *arrays_;
  if (id_.has_header) {
    HeaderValues h;
    result.read = DetectForm(file_, &h);
    if (result.ok()) {
      result.read = ReadHeader(file_, &h,
                               HeaderText{a.banner.data(), a.irec.data(), a.frec.data(),
                                          a.title.data(), a.iban.data(), a.ititl.data()});
    }
    if (!result.ok()) return result;
    title_ = Trimmed(a.title);
  }
  a.Size(id_.kind);
  result = ReadStep();
  if (!result.ok()) {
    if (result.at_end()) result = SeriesResult{ReadResult{}, "it holds no time step"};
    return result;
  }
  if (id_.kind == FileKind::kQmx2) {
    fields_ = Qmx2Fields(id_.long_steps);
  } else {
    fields_ = id_.kind == FileKind::kQmx4 ? Qmx4Fields(quantities_) : Qmx10Fields(quantities_);
    if (fields_.empty()) result.refusal = "its first time step holds no quantity";
  }
  first_pending_ = result.ok();
  return result;
}

SeriesResult ResultSeries::Next() {
  if (first_pending_) {
    first_pending_ = false;
    return SeriesResult{};
  }
  return ReadStep();
}

int ResultSeries::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

std::span<const float> ResultSeries::values(size_t i) const {
  return std::span<const float>(arrays_->values).subspan(i * arrays_->np, arrays_->np);
}

std::span<const int32_t> ResultSeries::codes(size_t i) const {
  // The wet/dry code of QMX2 is the one integer field.
  if (!fields_[i].integer) return {};
  return arrays_->ndry;
}

SeriesResult ResultSeries::ReadStep() {
  Arrays& a = *arrays_;
  const size_t np = a.np;
  switch (id_.kind) {
    case FileKind::kQmx2: {
      const ReadResult read = ReadQmx2Step(file_, id_.long_steps, a.qmx2);
      SeriesResult result = Checked(read, a.qmx2.np, a.qmx2.ne, 0);
      if (!result.ok()) return result;
      time_ = a.qmx2.time;
      for (size_t j = 0; j < np; ++j) {
        for (int q = kU; q <= kDepth; ++q) a.values[q * np + j] = a.vel[3 * j + q];
        if (!id_.long_steps) a.values[kElevation * np + j] = mesh_.bottom[j] + a.vel[3 * j + 2];
        a.values[kWetDry * np + j] = static_cast<float>(a.ndry[j]);
      }
      return result;
    }
    case FileKind::kQmx4: {
      const ReadResult read = ReadQmx4Step(file_, a.qmx4);
      SeriesResult result = Checked(read, a.qmx4.np, a.qmx4.ne, a.qmx4.nqal);
      if (result.ok()) time_ = a.qmx4.time;
      return result;
    }
    case FileKind::kQmx10: {
      bool averaged = false;
      const ReadResult read = ReadQmx10Record(file_, a.qmx10, &averaged);
      SeriesResult result = Checked(read, a.qmx10.np, a.qmx10.ne, a.qmx10.ndf);
      if (!result.ok()) return result;
      time_ = a.qmx10.time;
      // A row covers the nodes its count gives; the rest hold no value.
      for (int32_t k = 0; k < a.qmx10.ndf; ++k) {
        const size_t held = static_cast<size_t>(std::clamp<int32_t>(a.icnt[k], 0, a.qmx10.np));
        std::fill(a.values.begin() + k * np + held, a.values.begin() + (k + 1) * np, kNone);
      }
      return result;
    }
    case FileKind::kUnknown:
    case FileKind::kVelto:
      break;  // refused by Open
  }
  return SeriesResult{};
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
    const bool qmx4 = id_.kind == FileKind::kQmx4;
    result.refusal = step + " holds " +
                     Counted(quantities, qmx4 ? "constituent" : "degree of freedom",
                             qmx4 ? "constituents" : "degrees of freedom") +
                     ", the first " + std::to_string(quantities_);
  }
  if (result.ok()) ++step_;
  return result;
}

}  // namespace korvant
