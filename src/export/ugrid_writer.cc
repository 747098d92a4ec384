#include "export/ugrid_writer.h"

#include <netcdf.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <variant>

#include "engine/vocabulary.h"
#include "export/inputs.h"
#include "io/outputs.h"

namespace korvant {
namespace {

static_assert(NC_FILL_FLOAT == 9.9692099683868690e+36f, "the fill value of DescribeUgrid");

nc_type TypeOf(UgridType type) {
  switch (type) {
    case UgridType::kInt:
      return NC_INT;
    case UgridType::kFloat:
      return NC_FLOAT;
    case UgridType::kDouble:
      return NC_DOUBLE;
  }
  return NC_FLOAT;
}

// Definitions and writes in turn until the first that fails, whose netCDF
// status it keeps.
class NcCalls {
 public:
  explicit NcCalls(int id) : id_(id) {}
  int status() const { return status_; }
  void Do(int status) {
    if (status_ == NC_NOERR) status_ = status;
  }
  bool ok() const { return status_ == NC_NOERR; }

  void Attribute(int var, const UgridAttribute& a) {
    if (!ok()) return;
    const char* name = a.name.c_str();
    if (const auto* text = std::get_if<std::string>(&a.value)) {
      Do(nc_put_att_text(id_, var, name, text->size(), text->data()));
    } else if (const auto* i = std::get_if<int32_t>(&a.value)) {
      Do(nc_put_att_int(id_, var, name, NC_INT, 1, i));
    } else if (const auto* f = std::get_if<float>(&a.value)) {
      Do(nc_put_att_float(id_, var, name, NC_FLOAT, 1, f));
    } else {
      const auto& d = std::get<std::vector<double>>(a.value);
      Do(nc_put_att_double(id_, var, name, NC_DOUBLE, d.size(), d.data()));
    }
  }

  // Deflated arrays at `level`, when the variable asks for it; chunked as
  // it says, with room in the library's cache for the one chunk being
  // written: a cache of many would hold the steps written, a growth with
  // every step.
  void Storage(int var, const UgridVariable& v, int level) {
    if (!ok()) return;
    if (!v.chunks.empty()) {
      Do(nc_def_var_chunking(id_, var, NC_CHUNKED, v.chunks.data()));
      size_t bytes = sizeof(double);
      for (size_t n : v.chunks) bytes *= n;
      if (ok()) Do(nc_set_var_chunk_cache(id_, var, bytes, 1, 1.0f));
    }
    if (v.deflate && level > 0 && ok()) Do(nc_def_var_deflate(id_, var, 1, 1, level));
  }

 private:
  int id_;
  int status_ = NC_NOERR;
};

// The file's dimensions, attributes and variables as the layout gives them;
// the ids of the variables by name.
std::map<std::string, int> Define(NcCalls& nc, int id, const UgridSchema& schema, int level) {
  std::map<std::string, int> dims, vars;
  for (const UgridDimension& d : schema.dims) {
    int dim = -1;
    if (nc.ok())
      nc.Do(nc_def_dim(id, d.name.c_str(), d.length == 0 ? NC_UNLIMITED : d.length, &dim));
    dims[d.name] = dim;
  }
  for (const UgridAttribute& a : schema.globals) nc.Attribute(NC_GLOBAL, a);
  for (const UgridVariable& v : schema.variables) {
    std::vector<int> on;
    for (const std::string& d : v.dims) on.push_back(dims.at(d));
    int var = -1;
    if (nc.ok()) {
      nc.Do(nc_def_var(id, v.name.c_str(), TypeOf(v.type), static_cast<int>(on.size()), on.data(),
                       &var));
    }
    for (const UgridAttribute& a : v.attributes) nc.Attribute(var, a);
    nc.Storage(var, v, level);
    vars[v.name] = var;
  }
  return vars;
}

}  // namespace

std::optional<std::string> HoursSince(std::string_view date) {
  if (!StartDate(date)) return std::nullopt;
  // The date as typed, in the CF form: "hours since 2024-03-01 06:30:00".
  const std::string clock(date.size() == 16 ? date.substr(11, 5) : "00:00");
  return "hours since " + std::string(date.substr(0, 10)) + " " + clock + ":00";
}

UgridFile::~UgridFile() {
  if (ncid_ >= 0) nc_close(ncid_);
}

bool UgridFile::Failed(int status, std::string* error) const {
  if (status == NC_NOERR) return false;
  *error = WriteFailure(nc_strerror(status));
  return true;
}

bool UgridFile::Create(const std::string& path, const Mesh& mesh, const ElementMap& map,
                       const std::vector<FieldInfo>& fields, const std::vector<size_t>& chosen,
                       const UgridText& text, const UgridLayout& layout, std::string* error) {
  nodes_ = static_cast<size_t>(mesh.np);
  means_ = layout.means;
  chosen_ = chosen;
  if (Failed(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid_), error)) return false;
  NcCalls nc(ncid_);
  const std::vector<LinearCell> cells = LinearCells(map, layout.corners_only);
  const UgridSchema schema = DescribeUgrid(nodes_, cells, fields, chosen, text, layout);
  std::map<std::string, int> vars = Define(nc, ncid_, schema, layout.deflate);
  for (const UgridVariable& v : schema.variables) {
    if (v.field >= 0) {
      field_vars_.push_back(vars[v.name]);
      integer_.push_back(fields[static_cast<size_t>(v.field)].integer);
    }
  }
  time_var_ = vars.contains("time") ? vars["time"] : -1;
  if (nc.ok()) nc.Do(nc_enddef(ncid_));
  const UgridFaceArrays faces = FaceArrays(mesh, cells);
  auto floats = [&](const char* name, const std::vector<float>& values) {
    if (nc.ok()) nc.Do(nc_put_var_float(ncid_, vars[name], values.data()));
  };
  auto ints = [&](const char* name, const std::vector<int32_t>& values) {
    if (nc.ok()) nc.Do(nc_put_var_int(ncid_, vars[name], values.data()));
  };
  floats("mesh_node_x", mesh.x);
  floats("mesh_node_y", mesh.y);
  floats("mesh_node_z", mesh.bottom);
  ints("mesh_face_nodes", faces.nodes);
  ints("element", faces.element);
  ints("IMAT", faces.imat);
  if (nc.ok() && layout.means && layout.window) {
    const double bounds[2] = {layout.window->first, layout.window->second};
    const double middle = (bounds[0] + bounds[1]) / 2;
    nc.Do(nc_put_var_double(ncid_, time_var_, &middle));
    if (nc.ok()) nc.Do(nc_put_var_double(ncid_, vars["time_bounds"], bounds));
  }
  return !Failed(nc.status(), error);
}

bool UgridFile::AddStep(const ResultSeries& series, std::string* error) {
  int s = NC_NOERR;
  if (!means_) {
    const size_t at = steps_;
    const double hours = series.time();
    s = nc_put_var1_double(ncid_, time_var_, &at, &hours);
  }
  const size_t start[2] = {steps_, 0}, count[2] = {1, nodes_};
  const size_t* from = means_ ? start + 1 : start;
  const size_t* n = means_ ? count + 1 : count;
  for (size_t i = 0; i < field_vars_.size() && !s; ++i) {
    const size_t field = chosen_[i];
    if (integer_[i]) {
      const std::span<const int32_t> codes = series.codes(field);
      doubles_.assign(codes.begin(), codes.end());
      s = nc_put_vara_double(ncid_, field_vars_[i], from, n, doubles_.data());
      continue;
    }
    const std::span<const float> values = series.values(field);
    floats_.resize(nodes_);
    std::transform(values.begin(), values.end(), floats_.begin(),
                   [](float v) { return std::isnan(v) ? NC_FILL_FLOAT : v; });
    s = nc_put_vara_float(ncid_, field_vars_[i], from, n, floats_.data());
  }
  ++steps_;
  return !Failed(s, error);
}

bool UgridFile::Close(std::string* error) {
  const int s = nc_close(ncid_);
  ncid_ = -1;
  return !Failed(s, error);
}

}  // namespace korvant
