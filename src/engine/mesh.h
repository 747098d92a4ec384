#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/header.h"
#include "formats/read_result.h"
#include "io/record_file.h"

namespace korvant {

/// The mesh of a VELTO geometry file in arrays sized by its own counts.
struct Mesh {
  std::string title;  // trailing blanks removed
  int32_t np = 0, ne = 0;
  std::vector<float> x, y;    // node coordinates
  std::vector<float> bottom;  // bottom elevation of each node (the fourth node value)
  std::vector<int32_t> nop;   // eight node numbers (from 1, 0 for none) of each element
  std::vector<int32_t> imat;  // the integer code of each element
};

/// Reads a geometry file from its start, every record's closing length
/// compared with its opening one. The counts of the mesh record are
/// checked against that record's length and the program's limits before any
/// array is sized. A count the record cannot hold is kDamaged (its `what`
/// says so); one beyond `limits` (by default the dialogue's) is kTooLarge.
ReadResult LoadMesh(RecordFile& f, Mesh* mesh, MeshLimits limits = {});

/// The two ways mesh generators list the eight node numbers of an element:
/// corner and mid-side nodes alternating around it, or its corners first and
/// then the mid-side node of each side in turn.
enum class NodeOrder { kAlternate, kCornersFirst };

/// One element as it is drawn. `nodes` holds node indexes (from 0): the
/// `corners` corners anticlockwise, then, for a quadratic element, the
/// mid-side node of each side from corner i to corner i + 1 (the order of
/// VTK's quadratic cells).
struct Face {
  int32_t element = 0;  // index of the element in the mesh, from 0
  int corners = 0;      // 3 or 4
  bool quadratic = false;
  std::array<int32_t, 8> nodes{};

  int node_count() const { return quadratic ? 2 * corners : corners; }
};

/// The elements of a mesh as faces, and what could not be drawn.
struct ElementMap {
  NodeOrder order = NodeOrder::kAlternate;
  bool detected = true;       // false when the order was given
  int64_t quadratic = 0;      // elements of six or eight nodes
  int64_t fit_alternate = 0;  // of those, elements whose mid-side nodes fit each order
  int64_t fit_corners_first = 0;
  std::vector<Face> faces;
  std::vector<int32_t> unfit;      // quadratic elements that fit not the order used (from 0)
  std::vector<int32_t> shapeless;  // elements of 1, 2, 5 or 7 nodes, with gaps, or with a node
                                   // of no finite coordinates (from 0)
};

/// Whether the mid-side nodes of an element of six or eight node numbers
/// (`nop`, from 1) each lie near the midpoint of their two corners when the
/// numbers are read in `order`: within a quarter of that side's length.
bool FitsOrder(const Mesh& mesh, const int32_t* nop, int nodes, NodeOrder order);

/// Maps every element to a face. Elements of six or eight nodes are read in
/// `forced`, or else in the order more of them fit (alternate on a tie);
/// those that do not fit it, and elements of no known shape, are left out and
/// listed. False, with *error, when an element names a node outside 1..np.
bool MapElements(const Mesh& mesh, std::optional<NodeOrder> forced, ElementMap* map,
                 std::string* error);

}  // namespace korvant
