#include "export/ugrid_layout.h"

#include <cstdio>
#include <initializer_list>

namespace korvant {
namespace {

constexpr int32_t kNoNode = -1;  // after the last corner of a face with fewer than the most
// The bottom elevation, under the name by which mesh readers take it as the
// nodes' z.
constexpr char kNodeZ[] = "mesh_node_z";
constexpr char kCrs[] = "crs";
// netCDF's default fill value of a float, which viewers take as no value.
constexpr float kFillFloat = 9.9692099683868690e+36f;

// A node coordinate as the mesh topology names it: "mesh_node_x".
std::string CoordinateName(const FieldInfo& coordinate) { return "mesh_node_" + coordinate.name; }

std::string NodeCoordinates() {
  return CoordinateName(vocabulary::NodeX()) + " " + CoordinateName(vocabulary::NodeY());
}

// Variables in the order they are defined, with their attributes.
class Variables {
 public:
  explicit Variables(std::vector<UgridVariable>* out, bool crs) : out_(out), crs_(crs) {}

  UgridVariable& Add(std::string name, UgridType type, std::vector<std::string> dims) {
    UgridVariable& v = out_->emplace_back();
    v.name = std::move(name);
    v.type = type;
    v.dims = std::move(dims);
    return v;
  }
  static void Set(UgridVariable& v, std::string name, UgridValue value) {
    v.attributes.push_back({std::move(name), std::move(value)});
  }
  // The attributes of a variable of the mesh at `location` ("node" or "face").
  static void OnMesh(UgridVariable& v, std::string_view location, std::string long_name) {
    Set(v, "mesh", std::string("mesh"));
    Set(v, "location", std::string(location));
    if (location == "node") Set(v, "coordinates", NodeCoordinates());
    Set(v, "long_name", std::move(long_name));
  }
  static void StandardName(UgridVariable& v, const FieldInfo& field) {
    if (!field.standard_name.empty()) Set(v, "standard_name", field.standard_name);
  }
  // Its units, where the quantity has any.
  static void Units(UgridVariable& v, const FieldInfo& field) {
    if (!field.units.empty()) Set(v, "units", field.units);
  }
  void GridMapping(UgridVariable& v) const {
    if (crs_) Set(v, "grid_mapping", std::string(kCrs));
  }

 private:
  std::vector<UgridVariable>* out_;
  bool crs_;
};

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

void DescribeMesh(Variables& vars, const UgridText& text, const UgridLayout& layout, bool deflate) {
  if (!text.crs_wkt.empty()) {
    // The coordinate reference system as CF and the mesh readers of GIS
    // programs look for it: its WKT under both names, and its EPSG code.
    UgridVariable& crs = vars.Add(kCrs, UgridType::kInt, {});
    Variables::Set(crs, "crs_wkt", text.crs_wkt);
    Variables::Set(crs, "wkt", text.crs_wkt);
    Variables::Set(crs, "epsg", int32_t{text.epsg});
    Variables::Set(crs, "epsg_code", "EPSG:" + std::to_string(text.epsg));
  }
  UgridVariable& topology = vars.Add("mesh", UgridType::kInt, {});
  Variables::Set(topology, "cf_role", std::string("mesh_topology"));
  Variables::Set(topology, "long_name", std::string("Topology data of 2D unstructured mesh"));
  Variables::Set(topology, "topology_dimension", int32_t{2});
  Variables::Set(topology, "node_coordinates", NodeCoordinates());
  Variables::Set(topology, "face_node_connectivity", std::string("mesh_face_nodes"));
  Variables::Set(topology, "face_dimension", std::string("nMesh_face"));

  for (const FieldInfo& coordinate : {vocabulary::NodeX(), vocabulary::NodeY()}) {
    UgridVariable& v = vars.Add(CoordinateName(coordinate), UgridType::kFloat, {"nMesh_node"});
    Variables::Set(v, "long_name", coordinate.long_name);
    Variables::StandardName(v, coordinate);
    Variables::Units(v, coordinate);
    vars.GridMapping(v);
    v.deflate = deflate;
  }
  UgridVariable& faces =
      vars.Add("mesh_face_nodes", UgridType::kInt, {"nMesh_face", "nMaxMesh_face_nodes"});
  Variables::Set(faces, "cf_role", std::string("face_node_connectivity"));
  Variables::Set(
      faces, "long_name",
      std::string(layout.corners_only ? "corner nodes of each face, anticlockwise"
                                      : "nodes of each linear cell of the faces, anticlockwise"));
  Variables::Set(faces, "start_index", int32_t{1});
  Variables::Set(faces, "_FillValue", kNoNode);
  faces.deflate = deflate;
  UgridVariable& element = vars.Add("element", UgridType::kInt, {"nMesh_face"});
  Variables::OnMesh(element, "face", "element number in the geometry file");
  element.deflate = deflate;
  UgridVariable& imat = vars.Add("IMAT", UgridType::kInt, {"nMesh_face"});
  Variables::OnMesh(imat, "face", "element code IMAT of the geometry file");
  imat.deflate = deflate;
  const FieldInfo bottom = vocabulary::BottomElevation();
  UgridVariable& z = vars.Add(kNodeZ, UgridType::kFloat, {"nMesh_node"});
  Variables::OnMesh(z, "node", bottom.long_name);
  Variables::StandardName(z, bottom);
  Variables::Units(z, bottom);
  Variables::Set(z, "positive", std::string("up"));
  vars.GridMapping(z);
  z.deflate = deflate;
}

void DescribeTime(Variables& vars, const std::string& units, const UgridLayout& layout) {
  if (layout.means && !layout.window) return;
  UgridVariable& time = layout.means ? vars.Add("time", UgridType::kDouble, {})
                                     : vars.Add("time", UgridType::kDouble, {"time"});
  Variables::Set(time, "units", units);
  Variables::Set(time, "axis", std::string("T"));
  if (units == "hours") {
    Variables::Set(time, "long_name", std::string("model time in hours from the start of the run"));
  } else {
    Variables::Set(time, "long_name", std::string("model time"));
    Variables::Set(time, "standard_name", std::string("time"));
  }
  if (layout.means) {
    Variables::Set(time, "bounds", std::string("time_bounds"));
    vars.Add("time_bounds", UgridType::kDouble, {"nv"});
  } else {
    // The hours in chunks of many, not of one: a chunk a step would grow
    // the file's index with every step.
    time.chunks = {1024};
  }
}

void DescribeField(Variables& vars, const FieldInfo& field, int index, const UgridLayout& layout,
                   size_t nodes) {
  const UgridType type = field.integer ? UgridType::kDouble : UgridType::kFloat;
  UgridVariable& v = layout.means ? vars.Add(field.name, type, {"nMesh_node"})
                                  : vars.Add(field.name, type, {"time", "nMesh_node"});
  v.field = index;
  Variables::OnMesh(v, "node", LongName(field));
  Variables::StandardName(v, field);
  Variables::Units(v, field);
  vars.GridMapping(v);
  if (!field.integer) Variables::Set(v, "_FillValue", kFillFloat);
  if (!field.flags.empty()) {
    std::vector<double> values;
    for (const auto& flag : field.flags) values.push_back(flag.first);
    Variables::Set(v, "flag_values", std::move(values));
    Variables::Set(v, "flag_meanings", FlagMeanings(field));
  }
  if (layout.means) Variables::Set(v, "cell_methods", std::string("time: mean"));
  // A variable over time in chunks of one step, so that a step is written,
  // compressed and let go whole.
  if (!layout.means) v.chunks = {1, nodes};
  v.deflate = layout.deflate > 0;
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

UgridSchema DescribeUgrid(size_t nodes, const std::vector<LinearCell>& cells,
                          const std::vector<FieldInfo>& fields, const std::vector<size_t>& chosen,
                          const UgridText& text, const UgridLayout& layout) {
  UgridSchema schema;
  size_t corners = 3;
  for (const LinearCell& c : cells) {
    if (c.nodes[3] >= 0) corners = 4;
  }
  schema.dims = {
      {"nMesh_node", nodes}, {"nMesh_face", cells.size()}, {"nMaxMesh_face_nodes", corners}};
  if (!layout.means) schema.dims.push_back({"time", 0});
  if (layout.means && layout.window) schema.dims.push_back({"nv", 2});
  schema.globals = {{"Conventions", std::string("CF-1.8 UGRID-1.0")},
                    {"title", text.title},
                    {"source", text.source},
                    {"history", text.history},
                    {"comment", text.comment}};
  Variables vars(&schema.variables, !text.crs_wkt.empty());
  DescribeMesh(vars, text, layout, layout.deflate > 0);
  DescribeTime(vars, text.time_units, layout);
  for (size_t i : chosen) DescribeField(vars, fields[i], static_cast<int>(i), layout, nodes);
  return schema;
}

UgridFaceArrays FaceArrays(const Mesh& mesh, const std::vector<LinearCell>& cells) {
  UgridFaceArrays a;
  for (const LinearCell& c : cells) {
    if (c.nodes[3] >= 0) a.corners = 4;
  }
  const size_t n = cells.size();
  a.nodes.assign(n * a.corners, kNoNode);
  a.element.resize(n);
  a.imat.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const LinearCell& c = cells[i];
    for (size_t k = 0; k < a.corners && c.nodes[k] >= 0; ++k) {
      a.nodes[i * a.corners + k] = c.nodes[k] + 1;
    }
    a.element[i] = c.element + 1;
    a.imat[i] = mesh.imat[static_cast<size_t>(c.element)];
  }
  return a;
}

std::string_view NodeOrderName(NodeOrder order) {
  return order == NodeOrder::kAlternate ? "alternate" : "corners-first";
}

std::string NodeOrderReport(const ElementMap& map) {
  if (map.quadratic == 0) return "Element node order: none needed (no element has mid-side nodes)";
  const int64_t fit =
      map.order == NodeOrder::kAlternate ? map.fit_alternate : map.fit_corners_first;
  return "Element node order: " + std::string(NodeOrderName(map.order)) +
         (map.detected ? ", found from the geometry (" : ", as given (") + std::to_string(fit) +
         " of " + std::to_string(map.quadratic) + " elements with mid-side nodes fit it)";
}

std::string MeansComment(std::string_view result_name, double hour,
                         const std::optional<std::pair<double, double>>& window) {
  return "Means over time: " + std::string(result_name) +
         " is an averaged file, one step of means at hour " + Hours(hour) +
         ", the hour its averaging marks it with, which is no time of the run; " +
         (window ? "they were taken over hours " + Hours(window->first) + " to " +
                       Hours(window->second) + " (--window)"
                 : std::string("the hours they were taken over are not recorded in it"));
}

std::string Hours(double hours) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", hours);
  return text;
}

}  // namespace korvant
