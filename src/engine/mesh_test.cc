#include "engine/mesh.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <vector>

#include "tests/harness.h"
#include "tests/model_files.h"

namespace korvant {
namespace {

using Nodes = std::array<int32_t, 8>;

// A square of four corners and four mid-side nodes, and a triangle beside it
// that shares the square's right side (nodes from 1):
//
//   7 D(0,2)   6 (1,2)   5 C(2,2)
//                                   11 (3,1.5)
//   8 (0,1)              4 (2,1)               10 E(4,1)
//                                    9 (3,0.5)
//   1 A(0,0)   2 (1,0)   3 B(2,0)
Mesh TwoElements(const Nodes& square, const Nodes& triangle) {
  Mesh mesh;
  mesh.x = {0, 1, 2, 2, 2, 1, 0, 0, 3, 4, 3};
  mesh.y = {0, 0, 0, 1, 2, 2, 2, 1, 0.5f, 1, 1.5f};
  mesh.np = 11;
  mesh.bottom.assign(11, 0.0f);
  mesh.ne = 2;
  mesh.nop.assign(square.begin(), square.end());
  mesh.nop.insert(mesh.nop.end(), triangle.begin(), triangle.end());
  mesh.imat = {1, 2};
  return mesh;
}

constexpr Nodes kSquareAlternate = {1, 2, 3, 4, 5, 6, 7, 8};
constexpr Nodes kSquareCornersFirst = {1, 3, 5, 7, 2, 4, 6, 8};
constexpr Nodes kTriangleAlternate = {3, 9, 10, 11, 5, 4, 0, 0};
constexpr Nodes kTriangleCornersFirst = {3, 10, 5, 9, 11, 4, 0, 0};

// The faces worked out by hand: corners anticlockwise from the first, then
// the mid-side node of each side, as node indexes from 0.
const Face kSquareFace{0, 4, true, {0, 2, 4, 6, 1, 3, 5, 7}};
const Face kTriangleFace{1, 3, true, {2, 9, 4, 8, 10, 3, 0, 0}};

void ExpectFace(const Face& expected, const Face& actual) {
  EXPECT_EQ(expected.element, actual.element);
  EXPECT_EQ(expected.corners, actual.corners);
  EXPECT_EQ(expected.quadratic, actual.quadratic);
  for (int i = 0; i < expected.node_count(); ++i) {
    EXPECT_EQ(expected.nodes[i], actual.nodes[i])
        << "element " << expected.element << " node " << i;
  }
}

ElementMap Mapped(const Mesh& mesh, std::optional<NodeOrder> forced = std::nullopt) {
  ElementMap map;
  std::string error;
  EXPECT_TRUE(MapElements(mesh, forced, &map, &error)) << error;
  return map;
}

TEST(ElementMapTest, EachListingFitsItsOwnOrderOnly) {
  const Mesh alternate = TwoElements(kSquareAlternate, kTriangleAlternate);
  const Mesh corners_first = TwoElements(kSquareCornersFirst, kTriangleCornersFirst);
  for (int e = 0; e < 2; ++e) {
    const int nodes = e == 0 ? 8 : 6;
    EXPECT_TRUE(FitsOrder(alternate, &alternate.nop[8 * e], nodes, NodeOrder::kAlternate));
    EXPECT_FALSE(FitsOrder(alternate, &alternate.nop[8 * e], nodes, NodeOrder::kCornersFirst));
    EXPECT_TRUE(
        FitsOrder(corners_first, &corners_first.nop[8 * e], nodes, NodeOrder::kCornersFirst));
    EXPECT_FALSE(FitsOrder(corners_first, &corners_first.nop[8 * e], nodes, NodeOrder::kAlternate));
  }
}

TEST(ElementMapTest, BothListingsGiveTheSameFaces) {
  for (bool alternate : {true, false}) {
    const Mesh mesh = alternate ? TwoElements(kSquareAlternate, kTriangleAlternate)
                                : TwoElements(kSquareCornersFirst, kTriangleCornersFirst);
    const ElementMap map = Mapped(mesh);
    EXPECT_EQ(alternate ? NodeOrder::kAlternate : NodeOrder::kCornersFirst, map.order);
    EXPECT_TRUE(map.detected);
    EXPECT_EQ(2, map.quadratic);
    EXPECT_EQ(alternate ? 2 : 0, map.fit_alternate);
    EXPECT_EQ(alternate ? 0 : 2, map.fit_corners_first);
    ASSERT_EQ(2u, map.faces.size());
    ExpectFace(kSquareFace, map.faces[0]);
    ExpectFace(kTriangleFace, map.faces[1]);
    EXPECT_TRUE(map.unfit.empty());
  }
}

TEST(ElementMapTest, ElementsThatFitNotTheOrderUsedAreLeftOutAndListed) {
  // One element of each listing: a tie, read as alternate.
  const ElementMap mixed = Mapped(TwoElements(kSquareAlternate, kTriangleCornersFirst));
  EXPECT_EQ(NodeOrder::kAlternate, mixed.order);
  ASSERT_EQ(1u, mixed.faces.size());
  ExpectFace(kSquareFace, mixed.faces[0]);
  EXPECT_EQ(std::vector<int32_t>{1}, mixed.unfit);

  const ElementMap forced =
      Mapped(TwoElements(kSquareAlternate, kTriangleAlternate), NodeOrder::kCornersFirst);
  EXPECT_FALSE(forced.detected);
  EXPECT_EQ(NodeOrder::kCornersFirst, forced.order);
  EXPECT_TRUE(forced.faces.empty());
  EXPECT_EQ((std::vector<int32_t>{0, 1}), forced.unfit);
}

TEST(ElementMapTest, ClockwiseElementsAreTurnedRound) {
  // A D C B with their mid-side nodes, alternating; and B C E corners first.
  const ElementMap map = Mapped(TwoElements({1, 8, 7, 6, 5, 4, 3, 2}, {3, 5, 10, 4, 11, 9, 0, 0}),
                                NodeOrder::kAlternate);
  ExpectFace(kSquareFace, map.faces[0]);
  EXPECT_EQ(std::vector<int32_t>{1}, map.unfit);
  const ElementMap turned = Mapped(
      TwoElements({1, 7, 5, 3, 8, 6, 4, 2}, {3, 5, 10, 4, 11, 9, 0, 0}), NodeOrder::kCornersFirst);
  ASSERT_EQ(2u, turned.faces.size());
  ExpectFace(kSquareFace, turned.faces[0]);
  ExpectFace(kTriangleFace, turned.faces[1]);
}

TEST(ElementMapTest, FewerNodesMakeAPolygonOfTheCornersAndOthersNone) {
  Mesh mesh = TwoElements({1, 3, 5, 7, 0, 0, 0, 0}, {3, 10, 5, 0, 0, 0, 0, 0});
  const ElementMap map = Mapped(mesh);
  EXPECT_EQ(0, map.quadratic);
  ASSERT_EQ(2u, map.faces.size());
  ExpectFace(Face{0, 4, false, {0, 2, 4, 6}}, map.faces[0]);
  ExpectFace(Face{1, 3, false, {2, 9, 4}}, map.faces[1]);

  mesh.x[9] = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(std::vector<int32_t>{1}, Mapped(mesh).shapeless);

  mesh = TwoElements({1, 2, 3, 4, 5, 0, 0, 0}, {3, 10, 0, 5, 0, 0, 0, 0});
  EXPECT_EQ((std::vector<int32_t>{0, 1}), Mapped(mesh).shapeless);
}

TEST(ElementMapTest, NodeOutsideTheMeshIsAnError) {
  const Mesh mesh = TwoElements(kSquareAlternate, {3, 9, 12, 11, 5, 4, 0, 0});
  ElementMap map;
  std::string error;
  EXPECT_FALSE(MapElements(mesh, std::nullopt, &map, &error));
  EXPECT_EQ("element 2 names node 12, but the mesh has nodes 1 to 11", error);
}

// LoadMesh reads a geometry file into arrays of its own size.
class LoadMeshTest : public ::testing::Test {
 protected:
  ReadResult Load(const FileBuilder& file, MeshLimits limits = {}) {
    box_.Write("mesh.bin", file.bytes());
    RecordFile f;
    f.OpenExisting(40, box_.Path("mesh.bin"));
    return LoadMesh(f, &mesh_, limits);
  }
  Sandbox box_;
  Mesh mesh_;
};

TEST_F(LoadMeshTest, ReadsNodesAndElements) {
  CodedHeader header;
  VeltoGeometry geometry;
  geometry.np = 3;
  geometry.ne = 1;
  geometry.nodes = {{1, 2, 0, -5}, {3, 4, 0, -6}, {5, 6, 0, -7}};
  geometry.elements = {VeltoElement{{1, 2, 3, 0, 0, 0, 0, 0}, 7, 0.5f, 0}};
  ASSERT_TRUE(Load(VeltoFile(header, geometry)).ok());
  EXPECT_EQ("CODED TITLE", mesh_.title);
  EXPECT_EQ(3, mesh_.np);
  EXPECT_EQ(1, mesh_.ne);
  EXPECT_EQ((std::vector<float>{1, 3, 5}), mesh_.x);
  EXPECT_EQ((std::vector<float>{2, 4, 6}), mesh_.y);
  EXPECT_EQ((std::vector<float>{-5, -6, -7}), mesh_.bottom);
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 0, 0, 0, 0, 0}), mesh_.nop);
  EXPECT_EQ(std::vector<int32_t>{7}, mesh_.imat);
}

TEST_F(LoadMeshTest, CountsAreCheckedBeforeAnythingIsSized) {
  CodedHeader header;
  header.irec = {1};
  // 1000 nodes claimed, one node's values present.
  ReadResult result =
      Load(CodedHeaderFile(header).Add(RecordBuilder().Int(1000).Int(0).Reals({1, 2, 3, 4})));
  EXPECT_EQ(Outcome::kDamaged, result.outcome);
  EXPECT_EQ(5, result.damage.record);
  EXPECT_EQ("its counts of 1000 nodes and 0 elements need 16008 bytes, it holds 24",
            result.damage.what);

  result = Load(CodedHeaderFile(header).Add(RecordBuilder().Int(60001).Int(0)));
  EXPECT_EQ(Outcome::kTooLarge, result.outcome);
  EXPECT_EQ("NP", result.too_large.count);
  EXPECT_EQ(60000, result.too_large.limit);

  // Without the limits, the record's own length still bounds the counts.
  result = Load(CodedHeaderFile(header).Add(RecordBuilder().Int(60001).Int(0)),
                MeshLimits{INT64_MAX, INT64_MAX});
  EXPECT_EQ(Outcome::kDamaged, result.outcome);
  EXPECT_EQ("its counts of 60001 nodes and 0 elements need 960024 bytes, it holds 8",
            result.damage.what);
}

}  // namespace
}  // namespace korvant
