#include "export/ugrid_writer.h"

#include <netcdf.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "engine/vocabulary.h"
#include "io/outputs.h"

namespace korvant {
namespace {

constexpr int kNoNode = -1;  // after the last corner of a face with fewer than the most

// A node coordinate as the mesh topology names it: "mesh_node_x".
std::string CoordinateName(const FieldInfo& coordinate) { return "mesh_node_" + coordinate.name; }

std::string NodeCoordinates() {
  return CoordinateName(vocabulary::NodeX()) + " " + CoordinateName(vocabulary::NodeY());
}

// A run of digits at text[from, from + n) as a number; -1 when not digits.
int Digits(std::string_view text, size_t from, size_t n) {
  int value = 0;
  for (size_t i = from; i < from + n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
    value = 10 * value + (text[i] - '0');
  }
  return value;
}

int DaysIn(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
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

  int Dim(const char* name, size_t len) {
    int dim = -1;
    if (ok()) Do(nc_def_dim(id_, name, len, &dim));
    return dim;
  }
  int Var(const char* name, nc_type type, std::initializer_list<int> dims) {
    int var = -1;
    if (ok()) Do(nc_def_var(id_, name, type, static_cast<int>(dims.size()), dims.begin(), &var));
    return var;
  }
  void Text(int var, const char* name, std::string_view value) {
    if (ok()) Do(nc_put_att_text(id_, var, name, value.size(), value.data()));
  }
  void Int(int var, const char* name, int value) {
    if (ok()) Do(nc_put_att_int(id_, var, name, NC_INT, 1, &value));
  }
  void Float(int var, const char* name, float value) {
    if (ok()) Do(nc_put_att_float(id_, var, name, NC_FLOAT, 1, &value));
  }
  // The attributes of a variable of the mesh at `location` ("node" or "face").
  void OnMesh(int var, const char* location, std::string_view long_name) {
    Text(var, "mesh", "mesh");
    Text(var, "location", location);
    if (std::string_view(location) == "node") Text(var, "coordinates", NodeCoordinates());
    Text(var, "long_name", long_name);
  }
  // Its units, where the quantity has any.
  void Units(int var, const FieldInfo& field) {
    if (!field.units.empty()) Text(var, "units", field.units);
  }

 private:
  int id_;
  int status_ = NC_NOERR;
};

// The mesh's own variables.
struct MeshVars {
  int node_dim = -1, face_dim = -1, time_dim = -1;
  int corners = 3;  // the most corners of a face
  int x = -1, y = -1, faces = -1, element = -1, imat = -1, bottom = -1;
};

int DefineCoordinate(NcCalls& nc, const MeshVars& v, const FieldInfo& coordinate) {
  const int var = nc.Var(CoordinateName(coordinate).c_str(), NC_FLOAT, {v.node_dim});
  nc.Text(var, "long_name", coordinate.long_name);
  nc.Units(var, coordinate);
  return var;
}

MeshVars DefineMesh(NcCalls& nc, size_t nodes, const ElementMap& map) {
  MeshVars v;
  for (const Face& f : map.faces) v.corners = std::max(v.corners, f.corners);
  v.node_dim = nc.Dim("nMesh_node", nodes);
  v.face_dim = nc.Dim("nMesh_face", map.faces.size());
  const int corner_dim = nc.Dim("nMaxMesh_face_nodes", static_cast<size_t>(v.corners));
  v.time_dim = nc.Dim("time", NC_UNLIMITED);

  const int topology = nc.Var("mesh", NC_INT, {});
  nc.Text(topology, "cf_role", "mesh_topology");
  nc.Text(topology, "long_name", "Topology data of 2D unstructured mesh");
  nc.Int(topology, "topology_dimension", 2);
  nc.Text(topology, "node_coordinates", NodeCoordinates());
  nc.Text(topology, "face_node_connectivity", "mesh_face_nodes");
  nc.Text(topology, "face_dimension", "nMesh_face");

  v.x = DefineCoordinate(nc, v, vocabulary::NodeX());
  v.y = DefineCoordinate(nc, v, vocabulary::NodeY());
  v.faces = nc.Var("mesh_face_nodes", NC_INT, {v.face_dim, corner_dim});
  nc.Text(v.faces, "cf_role", "face_node_connectivity");
  nc.Text(v.faces, "long_name", "corner nodes of each face, anticlockwise");
  nc.Int(v.faces, "start_index", 1);
  nc.Int(v.faces, "_FillValue", kNoNode);
  v.element = nc.Var("element", NC_INT, {v.face_dim});
  nc.OnMesh(v.element, "face", "element number in the geometry file");
  v.imat = nc.Var("IMAT", NC_INT, {v.face_dim});
  nc.OnMesh(v.imat, "face", "element code IMAT of the geometry file");
  const FieldInfo bottom = vocabulary::BottomElevation();
  v.bottom = nc.Var(bottom.name.c_str(), NC_FLOAT, {v.node_dim});
  nc.OnMesh(v.bottom, "node", bottom.long_name);
  nc.Units(v.bottom, bottom);
  return v;
}

int DefineTime(NcCalls& nc, const MeshVars& v, const std::string& units) {
  const int time = nc.Var("time", NC_DOUBLE, {v.time_dim});
  nc.Text(time, "units", units);
  nc.Text(time, "axis", "T");
  if (units == "hours") {
    nc.Text(time, "long_name", "model time in hours from the start of the run");
  } else {
    nc.Text(time, "long_name", "model time");
    nc.Text(time, "standard_name", "time");
  }
  return time;
}

int DefineField(NcCalls& nc, const MeshVars& v, const FieldInfo& field) {
  const int var =
      nc.Var(field.name.c_str(), field.integer ? NC_INT : NC_FLOAT, {v.time_dim, v.node_dim});
  nc.OnMesh(var, "node", field.long_name);
  nc.Units(var, field);
  if (!field.integer) nc.Float(var, "_FillValue", NC_FILL_FLOAT);
  return var;
}

void WriteMesh(NcCalls& nc, int id, const Mesh& mesh, const ElementMap& map, const MeshVars& v) {
  const size_t n = map.faces.size(), corners = static_cast<size_t>(v.corners);
  std::vector<int> nodes(n * corners, kNoNode), elements(n), imat(n);
  for (size_t i = 0; i < n; ++i) {
    const Face& f = map.faces[i];
    for (int c = 0; c < f.corners; ++c) nodes[i * corners + c] = f.nodes[c] + 1;
    elements[i] = f.element + 1;
    imat[i] = mesh.imat[static_cast<size_t>(f.element)];
  }
  nc.Do(nc_put_var_float(id, v.x, mesh.x.data()));
  nc.Do(nc_put_var_float(id, v.y, mesh.y.data()));
  nc.Do(nc_put_var_float(id, v.bottom, mesh.bottom.data()));
  nc.Do(nc_put_var_int(id, v.faces, nodes.data()));
  nc.Do(nc_put_var_int(id, v.element, elements.data()));
  nc.Do(nc_put_var_int(id, v.imat, imat.data()));
}

}  // namespace

std::optional<std::string> HoursSince(std::string_view date) {
  if (date.size() != 10 && date.size() != 16) return std::nullopt;
  if (date[4] != '-' || date[7] != '-') return std::nullopt;
  const int year = Digits(date, 0, 4), month = Digits(date, 5, 2), day = Digits(date, 8, 2);
  int hour = 0, minute = 0;
  if (date.size() == 16) {
    if (date[10] != 'T' || date[13] != ':') return std::nullopt;
    hour = Digits(date, 11, 2);
    minute = Digits(date, 14, 2);
  }
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysIn(year, month) || hour < 0 ||
      hour > 23 || minute < 0 || minute > 59) {
    return std::nullopt;
  }
  char units[48];
  std::snprintf(units, sizeof units, "hours since %04d-%02d-%02d %02d:%02d:00", year, month, day,
                hour, minute);
  return units;
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
                       const std::vector<FieldInfo>& fields, const UgridText& text,
                       std::string* error) {
  nodes_ = static_cast<size_t>(mesh.np);
  if (Failed(nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid_), error)) return false;
  NcCalls nc(ncid_);
  nc.Text(NC_GLOBAL, "Conventions", "CF-1.8 UGRID-1.0");
  nc.Text(NC_GLOBAL, "title", text.title);
  nc.Text(NC_GLOBAL, "source", "korvant-export " KORVANT_VERSION);
  nc.Text(NC_GLOBAL, "comment", text.comment);
  const MeshVars vars = DefineMesh(nc, nodes_, map);
  time_var_ = DefineTime(nc, vars, text.time_units);
  for (const FieldInfo& field : fields) {
    field_vars_.push_back(DefineField(nc, vars, field));
    integer_.push_back(field.integer);
  }
  if (nc.ok()) nc.Do(nc_enddef(ncid_));
  if (nc.ok()) WriteMesh(nc, ncid_, mesh, map, vars);
  return !Failed(nc.status(), error);
}

bool UgridFile::AddStep(const ResultSeries& series, std::string* error) {
  const size_t at = steps_;
  const double hours = series.time();
  int s = nc_put_var1_double(ncid_, time_var_, &at, &hours);
  const size_t start[2] = {steps_, 0}, count[2] = {1, nodes_};
  for (size_t i = 0; i < field_vars_.size() && !s; ++i) {
    if (integer_[i]) {
      s = nc_put_vara_int(ncid_, field_vars_[i], start, count, series.codes(i).data());
      continue;
    }
    const std::span<const float> values = series.values(i);
    floats_.resize(nodes_);
    std::transform(values.begin(), values.end(), floats_.begin(),
                   [](float v) { return std::isnan(v) ? NC_FILL_FLOAT : v; });
    s = nc_put_vara_float(ncid_, field_vars_[i], start, count, floats_.data());
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
