#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/mesh.h"

namespace korvant {

/// A place inside an element in its own coordinates. A triangle's are its
/// area coordinates: corner 0 at (0, 0), corner 1 at (1, 0), corner 2 at
/// (0, 1). A quadrilateral's run from -1 to 1: its corners at (-1, -1),
/// (1, -1), (1, 1) and (-1, 1).
struct LocalPoint {
  double xi = 0.0, eta = 0.0;
};

/// The shape functions of an element of `corners` (3 or 4) corners, linear
/// or quadratic (six-node triangle, eight-node serendipity quadrilateral), at
/// `at`, one a node in the order of `Face::nodes` (corners, then the
/// mid-side node of each side from corner i to corner i + 1); their
/// derivatives by xi and eta too when those spans are given. Each span holds
/// at least the element's node count.
void ShapeFunctions(int corners, bool quadratic, LocalPoint at, std::span<double> n,
                    std::span<double> dxi = {}, std::span<double> deta = {});

/// Where `at` lies in the mesh's coordinates, through the element's shape
/// functions (isoparametric).
std::array<double, 2> MapToMesh(const Mesh& mesh, const Face& face, LocalPoint at);

/// The element's own coordinates of the point (x, y): the mapping solved by
/// Newton's method from the element's centre. None when it does not
/// converge (a point far outside, or an element folded over itself).
std::optional<LocalPoint> InverseMap(const Mesh& mesh, const Face& face, double x, double y);

/// A point found in an element: the element's nodes (indexes from 0), the
/// weight of each in a value there, and the node nearest the point.
struct PointWeights {
  int32_t element = 0;  ///< index of the element in the mesh, from 0
  int count = 0;        ///< nodes used
  std::array<int32_t, 8> nodes{};
  std::array<double, 8> weights{};
  int32_t nearest = 0;  ///< the element's node nearest the point
  LocalPoint local;

  /// The value at the point of a field given at every node.
  double Value(std::span<const float> field) const {
    double sum = 0.0;
    for (int i = 0; i < count; ++i) sum += weights[i] * field[static_cast<size_t>(nodes[i])];
    return sum;
  }
};

/// Finds points in the elements of a mesh. Memory grows with the elements.
class PointLocator {
 public:
  /// Both outlive the locator.
  PointLocator(const Mesh& mesh, const ElementMap& map);

  /// The element that holds (x, y) and the weights of its nodes there; none
  /// for a point outside every element. A point on an edge or at a node is
  /// found in one of the elements it touches, which all give it one value.
  std::optional<PointWeights> Find(double x, double y) const;

  /// The mesh node nearest (x, y), from 0, and its distance; -1 when no
  /// node has finite coordinates.
  std::pair<int32_t, double> Nearest(double x, double y) const;

 private:
  struct Box {
    double x0, y0, x1, y1;
    double size;  // the length of its diagonal
  };
  std::optional<PointWeights> Weights(const Face& face, LocalPoint at, double x, double y) const;
  std::optional<LocalPoint> OnEdge(const Face& face, double x, double y, double size) const;

  const Mesh& mesh_;
  const ElementMap& map_;
  std::vector<Box> boxes_;  // of each face, its edges' bulge included
};

}  // namespace korvant
