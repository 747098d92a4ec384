#include "export/ugrid_writer.h"

#include <netcdf.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "engine/vocabulary.h"
#include "export/inputs.h"
#include "io/outputs.h"

namespace korvant {
namespace {

constexpr int kNoNode = -1;  // after the last corner of a face with fewer than the most
// The bottom elevation, under the name by which mesh readers take it as the
// nodes' z.
constexpr char kNodeZ[] = "mesh_node_z";

// A node coordinate as the mesh topology names it: "mesh_node_x".
std::string CoordinateName(const FieldInfo& coordinate) { return "mesh_node_" + coordinate.name; }

std::string NodeCoordinates() {
  return CoordinateName(vocabulary::NodeX()) + " " + CoordinateName(vocabulary::NodeY());
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
  int node_dim = -1, face_dim = -1, time_dim = -1;  // time_dim -1 for means
  int corners = 3;                                  // the most nodes of a cell
  int x = -1, y = -1, faces = -1, element = -1, imat = -1, bottom = -1, crs = -1;
};

constexpr char kCrs[] = "crs";

// Deflated arrays, when `level` says so; a variable over time in chunks of
// one step, so that a step is written, compressed and let go whole.
void Compress(NcCalls& nc, int id, int var, int level, const std::vector<size_t>& chunk) {
  if (!nc.ok()) return;
  if (!chunk.empty()) {
    nc.Do(nc_def_var_chunking(id, var, NC_CHUNKED, chunk.data()));
    // Room for the one chunk being written: the library's cache of many a
    // variable would hold the steps written, a growth with every step.
    size_t bytes = sizeof(double);
    for (size_t n : chunk) bytes *= n;
    if (nc.ok()) nc.Do(nc_set_var_chunk_cache(id, var, bytes, 1, 1.0f));
  }
  if (level > 0 && nc.ok()) nc.Do(nc_def_var_deflate(id, var, 1, 1, level));
}

void Describe(NcCalls& nc, int var, const FieldInfo& field) {
  nc.Text(var, "long_name", field.long_name);
  if (!field.standard_name.empty()) nc.Text(var, "standard_name", field.standard_name);
  nc.Units(var, field);
}

int DefineCoordinate(NcCalls& nc, const MeshVars& v, const FieldInfo& coordinate) {
  const int var = nc.Var(CoordinateName(coordinate).c_str(), NC_FLOAT, {v.node_dim});
  Describe(nc, var, coordinate);
  if (v.crs >= 0) nc.Text(var, "grid_mapping", kCrs);
  return var;
}

// The coordinate reference system as CF and the mesh readers of GIS programs
// look for it: its WKT under both names, and its EPSG code.
int DefineCrs(NcCalls& nc, const UgridText& text) {
  const int var = nc.Var(kCrs, NC_INT, {});
  nc.Text(var, "crs_wkt", text.crs_wkt);
  nc.Text(var, "wkt", text.crs_wkt);
  nc.Int(var, "epsg", text.epsg);
  nc.Text(var, "epsg_code", "EPSG:" + std::to_string(text.epsg));
  return var;
}

MeshVars DefineMesh(NcCalls& nc, int id, size_t nodes, const std::vector<LinearCell>& cells,
                    const UgridText& text, const UgridLayout& layout) {
  MeshVars v;
  for (const LinearCell& c : cells) {
    if (c.nodes[3] >= 0) v.corners = 4;
  }
  v.node_dim = nc.Dim("nMesh_node", nodes);
  v.face_dim = nc.Dim("nMesh_face", cells.size());
  const int corner_dim = nc.Dim("nMaxMesh_face_nodes", static_cast<size_t>(v.corners));
  if (!layout.means) v.time_dim = nc.Dim("time", NC_UNLIMITED);
  if (!text.crs_wkt.empty()) v.crs = DefineCrs(nc, text);

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
  nc.Text(v.faces, "long_name",
          layout.corners_only ? "corner nodes of each face, anticlockwise"
                              : "nodes of each linear cell of the faces, anticlockwise");
  nc.Int(v.faces, "start_index", 1);
  nc.Int(v.faces, "_FillValue", kNoNode);
  v.element = nc.Var("element", NC_INT, {v.face_dim});
  nc.OnMesh(v.element, "face", "element number in the geometry file");
  v.imat = nc.Var("IMAT", NC_INT, {v.face_dim});
  nc.OnMesh(v.imat, "face", "element code IMAT of the geometry file");
  const FieldInfo bottom = vocabulary::BottomElevation();
  v.bottom = nc.Var(kNodeZ, NC_FLOAT, {v.node_dim});
  nc.OnMesh(v.bottom, "node", bottom.long_name);
  Describe(nc, v.bottom, bottom);
  nc.Text(v.bottom, "positive", "up");
  if (v.crs >= 0) nc.Text(v.bottom, "grid_mapping", kCrs);
  for (int var : {v.x, v.y, v.faces, v.element, v.imat, v.bottom}) {
    Compress(nc, id, var, layout.deflate, {});
  }
  return v;
}

int DefineTime(NcCalls& nc, int id, const MeshVars& v, const std::string& units,
               const UgridLayout& layout) {
  if (layout.means && !layout.window) return -1;
  const int time =
      layout.means ? nc.Var("time", NC_DOUBLE, {}) : nc.Var("time", NC_DOUBLE, {v.time_dim});
  nc.Text(time, "units", units);
  nc.Text(time, "axis", "T");
  if (units == "hours") {
    nc.Text(time, "long_name", "model time in hours from the start of the run");
  } else {
    nc.Text(time, "long_name", "model time");
    nc.Text(time, "standard_name", "time");
  }
  if (layout.means) {
    const int bounds_dim = nc.Dim("nv", 2);
    nc.Var("time_bounds", NC_DOUBLE, {bounds_dim});
    nc.Text(time, "bounds", "time_bounds");
  } else {
    // The hours in chunks of many, not of one: a chunk a step would grow
    // the file's index with every step.
    Compress(nc, id, time, 0, {1024});
  }
  return time;
}

// The words of a field's codes for CF: "dry passed_over_by_averaging".
std::string FlagMeanings(const FieldInfo& field) {
  std::string words;
  for (const auto& flag : field.flags) words += (words.empty() ? "" : " ") + flag.second;
  return words;
}

// A field's long name; a component of a vector as mesh viewers pair them
// into one: "velocity, x-component".
std::string LongName(const FieldInfo& field) {
  if (field.vector.empty()) return field.long_name;
  return field.vector + ", " + field.axis + "-component";
}

int DefineField(NcCalls& nc, int id, const MeshVars& v, const FieldInfo& field,
                const UgridLayout& layout, size_t nodes) {
  const nc_type type = field.integer ? NC_DOUBLE : NC_FLOAT;
  const int var = layout.means ? nc.Var(field.name.c_str(), type, {v.node_dim})
                               : nc.Var(field.name.c_str(), type, {v.time_dim, v.node_dim});
  nc.OnMesh(var, "node", LongName(field));
  if (!field.standard_name.empty()) nc.Text(var, "standard_name", field.standard_name);
  nc.Units(var, field);
  if (v.crs >= 0) nc.Text(var, "grid_mapping", kCrs);
  if (!field.integer) nc.Float(var, "_FillValue", NC_FILL_FLOAT);
  if (!field.flags.empty()) {
    std::vector<double> values;
    for (const auto& flag : field.flags) values.push_back(flag.first);
    if (nc.ok())
      nc.Do(nc_put_att_double(id, var, "flag_values", NC_DOUBLE, values.size(), values.data()));
    nc.Text(var, "flag_meanings", FlagMeanings(field));
  }
  if (layout.means) nc.Text(var, "cell_methods", "time: mean");
  Compress(nc, id, var, layout.deflate,
           layout.means ? std::vector<size_t>{} : std::vector<size_t>{1, nodes});
  return var;
}

void WriteMesh(NcCalls& nc, int id, const Mesh& mesh, const std::vector<LinearCell>& cells,
               const MeshVars& v) {
  const size_t n = cells.size(), corners = static_cast<size_t>(v.corners);
  std::vector<int> nodes(n * corners, kNoNode), elements(n), imat(n);
  for (size_t i = 0; i < n; ++i) {
    const LinearCell& c = cells[i];
    for (size_t k = 0; k < corners && c.nodes[k] >= 0; ++k) nodes[i * corners + k] = c.nodes[k] + 1;
    elements[i] = c.element + 1;
    imat[i] = mesh.imat[static_cast<size_t>(c.element)];
  }
  nc.Do(nc_put_var_float(id, v.x, mesh.x.data()));
  nc.Do(nc_put_var_float(id, v.y, mesh.y.data()));
  nc.Do(nc_put_var_float(id, v.bottom, mesh.bottom.data()));
  nc.Do(nc_put_var_int(id, v.faces, nodes.data()));
  nc.Do(nc_put_var_int(id, v.element, elements.data()));
  nc.Do(nc_put_var_int(id, v.imat, imat.data()));
}

}  // namespace

std::vector<LinearCell> LinearCells(const ElementMap& map, bool corners_only) {
  std::vector<LinearCell> cells;
  cells.reserve(map.faces.size() * (corners_only ? 1 : 5));
  for (const Face& f : map.faces) {
    auto add = [&](std::initializer_list<int> at) {
      LinearCell c;
      c.element = f.element;
      size_t k = 0;
      for (int i : at) c.nodes[k++] = f.nodes[static_cast<size_t>(i)];
      cells.push_back(c);
    };
    if (corners_only || !f.quadratic) {
      if (f.corners == 3)
        add({0, 1, 2});
      else
        add({0, 1, 2, 3});
    } else if (f.corners == 3) {
      // Corners 0-2, mid-side nodes 3 (of side 0-1), 4 (1-2), 5 (2-0).
      add({0, 3, 5});
      add({3, 1, 4});
      add({5, 4, 2});
      add({3, 4, 5});
    } else {
      // Corners 0-3, mid-side nodes 4 (of side 0-1), 5, 6, 7 (3-0).
      add({4, 5, 6, 7});
      add({0, 4, 7});
      add({1, 5, 4});
      add({2, 6, 5});
      add({3, 7, 6});
    }
  }
  return cells;
}

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
  nc.Text(NC_GLOBAL, "Conventions", "CF-1.8 UGRID-1.0");
  nc.Text(NC_GLOBAL, "title", text.title);
  nc.Text(NC_GLOBAL, "source", "korvant-export " KORVANT_VERSION);
  nc.Text(NC_GLOBAL, "history", text.history);
  nc.Text(NC_GLOBAL, "comment", text.comment);
  const std::vector<LinearCell> cells = LinearCells(map, layout.corners_only);
  const MeshVars vars = DefineMesh(nc, ncid_, nodes_, cells, text, layout);
  time_var_ = DefineTime(nc, ncid_, vars, text.time_units, layout);
  for (size_t i : chosen) {
    field_vars_.push_back(DefineField(nc, ncid_, vars, fields[i], layout, nodes_));
    integer_.push_back(fields[i].integer);
  }
  if (nc.ok()) nc.Do(nc_enddef(ncid_));
  if (nc.ok()) WriteMesh(nc, ncid_, mesh, cells, vars);
  if (nc.ok() && layout.means && layout.window) {
    const double bounds[2] = {layout.window->first, layout.window->second};
    const double middle = (bounds[0] + bounds[1]) / 2;
    int bounds_var = -1;
    nc.Do(nc_inq_varid(ncid_, "time_bounds", &bounds_var));
    if (nc.ok()) nc.Do(nc_put_var_double(ncid_, time_var_, &middle));
    if (nc.ok()) nc.Do(nc_put_var_double(ncid_, bounds_var, bounds));
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
