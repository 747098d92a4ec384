// korvant._korvant: the engine as the Python package sees it. A result file
// over its mesh, laid out as korvant-export lays out its netCDF file, with
// any of its steps read on demand; korvant-info's report; the restart rule
// of korvant-merge.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/file_report.h"
#include "engine/restart_runs.h"
#include "export/inputs.h"
#include "export/ugrid_layout.h"
#include "formats/identify.h"
#include "info/report_json.h"
#include "io/record_file.h"
#include "io/run_aborted.h"
#include "kit/command_line.h"

namespace py = pybind11;

namespace korvant {
namespace {

py::object AttributeValue(const UgridValue& value) {
  py::module_ np = py::module_::import("numpy");
  if (const auto* text = std::get_if<std::string>(&value)) return py::str(*text);
  if (const auto* i = std::get_if<int32_t>(&value)) return np.attr("int32")(*i);
  if (const auto* f = std::get_if<float>(&value)) return np.attr("float32")(*f);
  const auto& d = std::get<std::vector<double>>(value);
  return py::array_t<double>(static_cast<py::ssize_t>(d.size()), d.data());
}

py::list Attributes(const std::vector<UgridAttribute>& attributes) {
  py::list out;
  for (const UgridAttribute& a : attributes)
    out.append(py::make_tuple(a.name, AttributeValue(a.value)));
  return out;
}

const char* TypeCode(UgridType type) {
  switch (type) {
    case UgridType::kInt:
      return "int32";
    case UgridType::kFloat:
      return "float32";
    case UgridType::kDouble:
      return "float64";
  }
  return "float32";
}

template <typename T>
py::array_t<T> Array(const std::vector<T>& values) {
  return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}

// A result file over its mesh (or over none), its steps indexed once from
// their heads and read when asked for; the step read last is kept, so that
// the fields of one step are read from one read of its record.
class Result {
 public:
  Result(const std::string& result, const std::optional<std::string>& mesh, bool corners_only)
      : in_(mesh.value_or(""), result, std::nullopt, Inputs::Look::kByIndex),
        places_(in_.IndexSteps()),
        geometry_(mesh.has_value()),
        corners_only_(corners_only),
        cells_(LinearCells(in_.map(), corners_only)) {
    if (geometry_ && in_.map().faces.empty()) {
      Refuse(1,
             *mesh + ": none of its " + std::to_string(in_.mesh().ne) + " elements can be drawn");
    }
  }

  py::dict Layout() const {
    const ResultSeries& series = in_.series();
    UgridText text;
    text.title = !series.title().empty() ? series.title() : in_.result_name();
    text.time_units = "hours";
    text.source = "korvant " KORVANT_VERSION " (Python)";
    text.comment = geometry_ ? in_.OrderReport() : "No geometry file: the fields alone";
    UgridLayout layout;
    layout.corners_only = corners_only_;
    layout.means = series.means();
    if (layout.means) {
      text.comment += "\n" + MeansComment(in_.result_name(), places_.front().time, std::nullopt);
    }
    std::vector<size_t> all(series.fields().size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
    const UgridSchema schema = DescribeUgrid(static_cast<size_t>(in_.mesh().np), cells_,
                                             series.fields(), all, text, layout);
    py::list dims, variables;
    for (const UgridDimension& d : schema.dims) dims.append(py::make_tuple(d.name, d.length));
    for (const UgridVariable& v : schema.variables) {
      py::dict var;
      var["name"] = v.name;
      var["dtype"] = TypeCode(v.type);
      var["dims"] = v.dims;
      var["attrs"] = Attributes(v.attributes);
      var["field"] = v.field;
      variables.append(var);
    }
    py::dict out;
    out["dims"] = dims;
    out["globals"] = Attributes(schema.globals);
    out["variables"] = variables;
    return out;
  }

  py::dict MeshArrays() const {
    const Mesh& mesh = in_.mesh();
    const UgridFaceArrays faces = FaceArrays(mesh, cells_);
    py::dict out;
    out["mesh_node_x"] = Array(mesh.x);
    out["mesh_node_y"] = Array(mesh.y);
    out["mesh_node_z"] = Array(mesh.bottom);
    py::array_t<int32_t> nodes = Array(faces.nodes);
    out["mesh_face_nodes"] = nodes.reshape(
        {static_cast<py::ssize_t>(faces.element.size()), static_cast<py::ssize_t>(faces.corners)});
    out["element"] = Array(faces.element);
    out["IMAT"] = Array(faces.imat);
    return out;
  }

  py::array_t<double> Times() const {
    py::array_t<double> out(static_cast<py::ssize_t>(places_.size()));
    auto t = out.mutable_unchecked<1>();
    for (size_t i = 0; i < places_.size(); ++i) t(static_cast<py::ssize_t>(i)) = places_[i].time;
    return out;
  }

  // Field `field` at the steps `steps` (from 0), one row a step: floats, or
  // the codes of an integer field as exact doubles.
  py::array Read(size_t field, const std::vector<int64_t>& steps) {
    const ResultSeries& series = in_.series();
    if (field >= series.fields().size()) throw py::index_error("no field " + std::to_string(field));
    const bool codes = series.fields()[field].integer;
    const auto rows = static_cast<py::ssize_t>(steps.size());
    const auto np = static_cast<py::ssize_t>(in_.mesh().np);
    py::array out = codes ? py::array(py::array_t<double>({rows, np}))
                          : py::array(py::array_t<float>({rows, np}));
    for (size_t r = 0; r < steps.size(); ++r) {
      const int64_t k = steps[r];
      if (k < 0 || k >= std::ssize(places_)) throw py::index_error("no step " + std::to_string(k));
      if (k != current_) {
        current_ = -1;
        in_.ReadAt(places_[static_cast<size_t>(k)], k + 1);
        current_ = k;
      }
      if (codes) {
        const std::span<const int32_t> c = series.codes(field);
        auto* row = static_cast<double*>(out.mutable_data(static_cast<py::ssize_t>(r)));
        std::copy(c.begin(), c.end(), row);
      } else {
        const std::span<const float> v = series.values(field);
        std::memcpy(out.mutable_data(static_cast<py::ssize_t>(r)), v.data(), v.size_bytes());
      }
    }
    return out;
  }

  size_t steps() const { return places_.size(); }
  bool means() const { return in_.series().means(); }
  std::string kind() const { return std::string(KindName(in_.series().kind())); }

 private:
  Inputs in_;
  std::vector<StepPlace> places_;
  bool geometry_;
  bool corners_only_;
  std::vector<LinearCell> cells_;
  int64_t current_ = 0;  // the step the series holds: the first, after opening
};

std::string InfoJson(const std::string& path) {
  if (std::string why = InputProblem(path); !why.empty()) {
    Refuse(1, "cannot read " + path + ": " + why);
  }
  RecordFile file;
  file.OpenExisting(0, path);
  return JsonReport(path, ReportFile(file));
}

// Whether `path` is a result file of a known family, from its first records.
bool IsResult(const std::string& path) {
  if (!InputProblem(path).empty()) return false;
  RecordFile file;
  file.OpenExisting(0, path);
  return NotAResult(Identify(file)).empty();
}

// Which steps of the pieces of a restart chain, in order, a merge keeps.
std::vector<std::vector<bool>> KeptSteps(const std::vector<std::vector<float>>& pieces) {
  RestartRuns runs;
  for (const std::vector<float>& times : pieces) {
    for (float t : times) {
      if (!runs.Note(t)) {
        Refuse(1, "the times go back more than " + std::to_string(RestartRuns::kMaxRestarts) +
                      " times");
      }
    }
  }
  std::vector<std::vector<bool>> kept;
  for (const std::vector<float>& times : pieces) {
    std::vector<bool>& k = kept.emplace_back();
    for (float t : times) k.push_back(!runs.Replaced(t));
  }
  return kept;
}

}  // namespace
}  // namespace korvant

PYBIND11_MODULE(_korvant, m) {
  using korvant::Result;
  m.doc() = "The KORVANT engine: result files read step by step (use the korvant package).";
  m.attr("__version__") = KORVANT_VERSION;
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const korvant::Refusal& r) {
      PyErr_SetString(PyExc_ValueError, r.message.c_str());
    } catch (const korvant::RunAborted& a) {
      PyErr_SetString(PyExc_OSError, a.diagnostic.c_str());
    }
  });
  py::class_<Result>(m, "Result")
      .def(py::init<const std::string&, const std::optional<std::string>&, bool>(),
           py::arg("result"), py::arg("mesh") = std::nullopt, py::arg("corners_only") = false)
      .def("layout", &Result::Layout,
           "Dimensions, global attributes and variables as korvant-export writes them.")
      .def("mesh_arrays", &Result::MeshArrays, "The values of the mesh's variables.")
      .def("times", &Result::Times, "The hour of every step, from the step heads.")
      .def("read", &Result::Read, py::arg("field"), py::arg("steps"),
           "Field number `field` at the steps `steps` (from 0), one row a step.")
      .def_property_readonly("steps", &Result::steps)
      .def_property_readonly("means", &Result::means)
      .def_property_readonly("kind", &Result::kind);
  m.def("info_json", &korvant::InfoJson, py::arg("path"),
        "korvant-info --json of one file, as its line of JSON.");
  m.def("is_result", &korvant::IsResult, py::arg("path"),
        "Whether the file is a QMX2, QMX4 or QMX10 result file.");
  m.def("kept_steps", &korvant::KeptSteps, py::arg("pieces"),
        "For the times of each piece of a restart chain, which steps korvant-merge keeps.");
}
