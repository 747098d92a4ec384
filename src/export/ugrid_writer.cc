#include "export/ugrid_writer.h"

#include <netcdf.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace korvant {
namespace {

constexpr int kNoNode = -1;  // after the last corner of a face with fewer than the most

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

int PutText(int ncid, int var, const char* name, std::string_view value) {
  return nc_put_att_text(ncid, var, name, value.size(), value.data());
}

int PutInt(int ncid, int var, const char* name, int value) {
  return nc_put_att_int(ncid, var, name, NC_INT, 1, &value);
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
  *error = "cannot write " + path_ + ": " + nc_strerror(status);
  return true;
}

bool UgridFile::Create(const std::string& path, const Mesh& mesh, const ElementMap& map,
                       const std::vector<FieldInfo>& fields, const UgridText& text,
                       std::string* error) {
  path_ = path;
  nodes_ = static_cast<size_t>(mesh.np);
  int s = nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &ncid_);
  if (Failed(s, error)) return false;
  const int id = ncid_;
  int most = 3;
  for (const Face& f : map.faces) most = std::max(most, f.corners);
  int node_dim = 0, face_dim = 0, corner_dim = 0, time_dim = 0;
  s = nc_def_dim(id, "nMesh_node", nodes_, &node_dim);
  if (!s) s = nc_def_dim(id, "nMesh_face", map.faces.size(), &face_dim);
  if (!s) s = nc_def_dim(id, "nMaxMesh_face_nodes", static_cast<size_t>(most), &corner_dim);
  if (!s) s = nc_def_dim(id, "time", NC_UNLIMITED, &time_dim);
  if (Failed(s, error)) return false;

  s = PutText(id, NC_GLOBAL, "Conventions", "CF-1.8 UGRID-1.0");
  if (!s) s = PutText(id, NC_GLOBAL, "title", text.title);
  if (!s) s = PutText(id, NC_GLOBAL, "source", "korvant-export " KORVANT_VERSION);
  if (!s) s = PutText(id, NC_GLOBAL, "comment", text.comment);

  int topology = 0;
  if (!s) s = nc_def_var(id, "mesh", NC_INT, 0, nullptr, &topology);
  if (!s) s = PutText(id, topology, "cf_role", "mesh_topology");
  if (!s) s = PutText(id, topology, "long_name", "Topology data of 2D unstructured mesh");
  if (!s) s = PutInt(id, topology, "topology_dimension", 2);
  if (!s) s = PutText(id, topology, "node_coordinates", "mesh_node_x mesh_node_y");
  if (!s) s = PutText(id, topology, "face_node_connectivity", "mesh_face_nodes");
  if (!s) s = PutText(id, topology, "face_dimension", "nMesh_face");

  int x_var = 0, y_var = 0, faces_var = 0, element_var = 0, imat_var = 0, bottom_var = 0;
  if (!s) s = nc_def_var(id, "mesh_node_x", NC_FLOAT, 1, &node_dim, &x_var);
  if (!s) s = PutText(id, x_var, "long_name", "x of the mesh nodes");
  if (!s) s = nc_def_var(id, "mesh_node_y", NC_FLOAT, 1, &node_dim, &y_var);
  if (!s) s = PutText(id, y_var, "long_name", "y of the mesh nodes");
  const int face_dims[2] = {face_dim, corner_dim};
  if (!s) s = nc_def_var(id, "mesh_face_nodes", NC_INT, 2, face_dims, &faces_var);
  if (!s) s = PutText(id, faces_var, "cf_role", "face_node_connectivity");
  if (!s) s = PutText(id, faces_var, "long_name", "corner nodes of each face, anticlockwise");
  if (!s) s = PutInt(id, faces_var, "start_index", 1);
  if (!s) s = nc_def_var_fill(id, faces_var, 0, &kNoNode);
  for (auto [var, name, long_name] :
       {std::tuple{&element_var, "element", "element number in the geometry file"},
        std::tuple{&imat_var, "IMAT", "element code IMAT of the geometry file"}}) {
    if (!s) s = nc_def_var(id, name, NC_INT, 1, &face_dim, var);
    if (!s) s = PutText(id, *var, "mesh", "mesh");
    if (!s) s = PutText(id, *var, "location", "face");
    if (!s) s = PutText(id, *var, "long_name", long_name);
  }
  if (!s) s = nc_def_var(id, "bottom_elevation", NC_FLOAT, 1, &node_dim, &bottom_var);
  if (!s) s = PutText(id, bottom_var, "mesh", "mesh");
  if (!s) s = PutText(id, bottom_var, "location", "node");
  if (!s) s = PutText(id, bottom_var, "coordinates", "mesh_node_x mesh_node_y");
  if (!s) s = PutText(id, bottom_var, "long_name", "bottom elevation");

  if (!s) s = nc_def_var(id, "time", NC_DOUBLE, 1, &time_dim, &time_var_);
  if (!s) s = PutText(id, time_var_, "units", text.time_units);
  if (!s) s = PutText(id, time_var_, "axis", "T");
  if (!s && text.time_units == "hours") {
    s = PutText(id, time_var_, "long_name", "model time in hours from the start of the run");
  } else if (!s) {
    s = PutText(id, time_var_, "long_name", "model time");
    if (!s) s = PutText(id, time_var_, "standard_name", "time");
  }

  const int field_dims[2] = {time_dim, node_dim};
  for (const FieldInfo& field : fields) {
    int var = 0;
    if (!s) s = nc_def_var(id, field.name.c_str(), field.integer ? NC_INT : NC_FLOAT, 2, field_dims, &var);
    if (!s) s = PutText(id, var, "mesh", "mesh");
    if (!s) s = PutText(id, var, "location", "node");
    if (!s) s = PutText(id, var, "coordinates", "mesh_node_x mesh_node_y");
    if (!s) s = PutText(id, var, "long_name", field.long_name);
    if (!s && !field.units.empty()) s = PutText(id, var, "units", field.units);
    if (!s && !field.integer) {
      const float fill = NC_FILL_FLOAT;
      s = nc_def_var_fill(id, var, 0, &fill);
    }
    field_vars_.push_back(var);
    integer_.push_back(field.integer);
  }
  if (!s) s = nc_enddef(id);
  if (Failed(s, error)) return false;

  std::vector<int> corners(map.faces.size() * static_cast<size_t>(most), kNoNode);
  std::vector<int> elements(map.faces.size()), imat(map.faces.size());
  for (size_t i = 0; i < map.faces.size(); ++i) {
    const Face& f = map.faces[i];
    for (int c = 0; c < f.corners; ++c) corners[i * most + c] = f.nodes[c] + 1;
    elements[i] = f.element + 1;
    imat[i] = mesh.imat[static_cast<size_t>(f.element)];
  }
  s = nc_put_var_float(id, x_var, mesh.x.data());
  if (!s) s = nc_put_var_float(id, y_var, mesh.y.data());
  if (!s) s = nc_put_var_float(id, bottom_var, mesh.bottom.data());
  if (!s) s = nc_put_var_int(id, faces_var, corners.data());
  if (!s) s = nc_put_var_int(id, element_var, elements.data());
  if (!s) s = nc_put_var_int(id, imat_var, imat.data());
  return !Failed(s, error);
}

bool UgridFile::AddStep(double hours, const std::vector<std::span<const float>>& values,
                        std::string* error) {
  const size_t at = steps_;
  int s = nc_put_var1_double(ncid_, time_var_, &at, &hours);
  const size_t start[2] = {steps_, 0}, count[2] = {1, nodes_};
  for (size_t i = 0; i < field_vars_.size() && !s; ++i) {
    if (integer_[i]) {
      ints_.resize(nodes_);
      std::transform(values[i].begin(), values[i].end(), ints_.begin(),
                     [](float v) { return static_cast<int>(v); });
      s = nc_put_vara_int(ncid_, field_vars_[i], start, count, ints_.data());
    } else {
      floats_.resize(nodes_);
      std::transform(values[i].begin(), values[i].end(), floats_.begin(),
                     [](float v) { return std::isnan(v) ? NC_FILL_FLOAT : v; });
      s = nc_put_vara_float(ncid_, field_vars_[i], start, count, floats_.data());
    }
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
