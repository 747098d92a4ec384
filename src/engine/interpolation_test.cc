#include "engine/interpolation.h"

#include <gtest/gtest.h>

#include <cmath>

namespace korvant {
namespace {

struct Shape {
  const char* name;
  int corners;
  bool quadratic;
  std::vector<LocalPoint> nodes;  // each node's own coordinates, in the order of Face::nodes
};

const Shape kShapes[] = {
    {"triangle3", 3, false, {{0, 0}, {1, 0}, {0, 1}}},
    {"triangle6", 3, true, {{0, 0}, {1, 0}, {0, 1}, {0.5, 0}, {0.5, 0.5}, {0, 0.5}}},
    {"quad4", 4, false, {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}},
    {"quad8", 4, true, {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {0, -1}, {1, 0}, {0, 1}, {-1, 0}}},
};

// Each shape function is 1 at its own node and 0 at the others; they add up
// to 1 everywhere, and their slopes are those of their values.
TEST(ShapeFunctionsTest, NodesUnityAndSlopes) {
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE(shape.name);
    const size_t count = shape.nodes.size();
    std::array<double, 8> n{}, dxi{}, deta{}, ahead{}, above{};
    for (size_t i = 0; i < count; ++i) {
      ShapeFunctions(shape.corners, shape.quadratic, shape.nodes[i], n);
      for (size_t j = 0; j < count; ++j) EXPECT_NEAR(i == j ? 1.0 : 0.0, n[j], 1e-15) << i << j;
    }
    const LocalPoint at{0.21, 0.34};
    const double h = 1e-6;
    ShapeFunctions(shape.corners, shape.quadratic, at, n, dxi, deta);
    ShapeFunctions(shape.corners, shape.quadratic, {at.xi + h, at.eta}, ahead);
    ShapeFunctions(shape.corners, shape.quadratic, {at.xi, at.eta + h}, above);
    double sum = 0;
    for (size_t j = 0; j < count; ++j) {
      sum += n[j];
      EXPECT_NEAR((ahead[j] - n[j]) / h, dxi[j], 1e-5) << j;
      EXPECT_NEAR((above[j] - n[j]) / h, deta[j], 1e-5) << j;
    }
    EXPECT_NEAR(1.0, sum, 1e-15);
  }
}

// A quadrilateral with its bottom side bowed down (mid-side node (1, -0.4))
// and a triangle beside it with its bottom side bowed down too (mid-side
// node (2.5, -0.1)).
// Points mapped out from their own coordinates are mapped back to them, and
// a point outside is found in neither.
TEST(InverseMapTest, CurvedElementsRoundTrip) {
  Mesh mesh;
  mesh.x = {0, 2, 2, 0, 1, 2, 1, 0, 3, 3, 2.5f, 3, 2.5f};
  mesh.y = {0, 0, 2, 2, -0.4f, 1, 2, 1, 0, 1, -0.1f, 0.5f, 0.5f};
  mesh.np = 13;
  ElementMap map;
  map.faces = {Face{0, 4, true, {0, 1, 2, 3, 4, 5, 6, 7}},
               Face{1, 3, true, {1, 8, 9, 10, 11, 12, 0, 0}}};
  for (const Face& face : map.faces) {
    for (LocalPoint at : {LocalPoint{0.1, 0.2}, LocalPoint{-0.9, 0.95}, LocalPoint{0.5, -0.99}}) {
      if (face.corners == 3) at = {std::fabs(at.xi) / 2, std::fabs(at.eta) / 2};
      const std::array<double, 2> p = MapToMesh(mesh, face, at);
      const std::optional<LocalPoint> back = InverseMap(mesh, face, p[0], p[1]);
      ASSERT_TRUE(back.has_value());
      EXPECT_NEAR(at.xi, back->xi, 1e-12);
      EXPECT_NEAR(at.eta, back->eta, 1e-12);
    }
  }
  const PointLocator locator(mesh, map);
  // Below the straight line from (0, 0) to (2, 0) but inside the bowed side.
  const std::optional<PointWeights> found = locator.Find(1.0, -0.2);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(0, found->element);
  EXPECT_FALSE(locator.Find(1.0, -0.5).has_value());
  EXPECT_EQ(4, locator.Nearest(1.0, -0.5).first);
  EXPECT_NEAR(0.1, locator.Nearest(1.0, -0.5).second, 1e-6);
}

}  // namespace
}  // namespace korvant
