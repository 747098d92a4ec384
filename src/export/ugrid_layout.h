#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "engine/mesh.h"
#include "engine/vocabulary.h"

namespace korvant {

/// One linear cell of the UGRID faces: up to four node indexes (from 0,
/// anticlockwise, -1 after the last of a triangle) and the element it is part
/// of (index in the mesh, from 0).
struct LinearCell {
  std::array<int32_t, 4> nodes{-1, -1, -1, -1};
  int32_t element = 0;
};

/// The faces as linear cells. With `corners_only`, one cell a face over its
/// corners. Otherwise every node of a quadratic face is a vertex: a six-node
/// triangle is split at its mid-side nodes into four triangles (one at each
/// corner and the one of the three mid-side nodes), and an eight-node
/// quadrilateral into the quadrilateral of its four mid-side nodes and the
/// triangle cut off at each corner (five cells); a linear face stays whole.
/// Every cell keeps its face's anticlockwise turn.
std::vector<LinearCell> LinearCells(const ElementMap& map, bool corners_only);

/// What the file says about itself besides the mesh and the fields.
struct UgridText {
  std::string title;
  std::string time_units;  // "hours" or "hours since ..."
  std::string comment;     // how the elements were read, and how the file was made
  std::string history;     // the command line that wrote it
  std::string source;      // the program that wrote it: "korvant-export 1.2.0"
  /// The coordinate reference system of the node coordinates: its WKT and
  /// EPSG code; none when empty.
  std::string crs_wkt;
  int epsg = 0;
};

/// How the fields are laid out.
struct UgridLayout {
  bool corners_only = false;  // faces over the corners alone (see `LinearCells`)
  int deflate = 1;            // deflate level of the arrays, 0 for none
  /// An averaged file: one set of means, no time dimension; `window` gives
  /// the hours the means were taken over, when known.
  bool means = false;
  std::optional<std::pair<double, double>> window;
};

/// The value of an attribute: text, one int, one float, or a list of doubles.
using UgridValue = std::variant<std::string, int32_t, float, std::vector<double>>;
struct UgridAttribute {
  std::string name;
  UgridValue value;
};

enum class UgridType { kInt, kFloat, kDouble };

/// A dimension; `length` 0 is the unlimited one (time).
struct UgridDimension {
  std::string name;
  size_t length = 0;
};

/// One variable: its type, dimensions by name (outermost first), attributes
/// in the order they are written (`_FillValue` among them, as netCDF keeps
/// it), and how it is stored: deflated or not, in chunks of `chunks` or
/// contiguous when empty.
struct UgridVariable {
  std::string name;
  UgridType type = UgridType::kFloat;
  std::vector<std::string> dims;
  std::vector<UgridAttribute> attributes;
  bool deflate = false;
  std::vector<size_t> chunks;
  int field = -1;  ///< the index into the result's fields of a field variable; -1 else
};

/// The whole layout of the file: dimensions, global attributes and
/// variables, in the order they are defined. The netCDF writer defines the
/// file from it, and the Python package gives the same variables from it.
struct UgridSchema {
  std::vector<UgridDimension> dims;
  std::vector<UgridAttribute> globals;
  std::vector<UgridVariable> variables;
};

/// The layout of a mesh of `nodes` nodes and the linear cells `cells`, with
/// the fields `chosen` (indexes into `fields`).
UgridSchema DescribeUgrid(size_t nodes, const std::vector<LinearCell>& cells,
                          const std::vector<FieldInfo>& fields, const std::vector<size_t>& chosen,
                          const UgridText& text, const UgridLayout& layout);

/// The values of the face variables, one a cell: the nodes of each (from 1,
/// -1 after the last; `corners` a cell), its element (from 1) and the
/// element's code IMAT.
struct UgridFaceArrays {
  size_t corners = 3;
  std::vector<int32_t> nodes, element, imat;
};
UgridFaceArrays FaceArrays(const Mesh& mesh, const std::vector<LinearCell>& cells);

/// "alternate" or "corners-first".
std::string_view NodeOrderName(NodeOrder order);

/// The comment's line on how the elements were read: "Element node order:
/// alternate, found from the geometry (12 of 12 elements with mid-side nodes
/// fit it)".
std::string NodeOrderReport(const ElementMap& map);

/// The comment's words on an averaged file `result_name`, one step of means
/// at hour `hour`, taken over `window` when known.
std::string MeansComment(std::string_view result_name, double hour,
                         const std::optional<std::pair<double, double>>& window);

/// The hour as a message shows it ("1.5", "9999").
std::string Hours(double hours);

}  // namespace korvant
