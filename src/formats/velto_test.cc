#include "formats/velto.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "formats/limits.h"
#include "tests/model_files.h"
#include "tests/record_files.h"

namespace korvant {
namespace {

// A mesh of at most three nodes and two elements, its header arrays as large
// as the format allows.
class VeltoTest : public ::testing::Test {
 protected:
  static constexpr int kNodes = 3;
  static constexpr int kElements = 2;

  VeltoTest() {
    mesh_.header = HeaderText{banner_.data(), irec_.data(), frec_.data(),
                              title_.data(),  iban_.data(), ititl_.data()};
    mesh_.cord = cord_;
    mesh_.ao = ao_;
    mesh_.nodeext = nodeext_;
    mesh_.nop = nop_;
    mesh_.imat = imat_;
    mesh_.elemreal = elemreal_;
    mesh_.elemint2 = elemint2_;
  }
  ReadResult Read(const FileBuilder& file) { return ReadVelto(files_.Input(file.bytes()), mesh_); }

  // Three nodes and one element, every value its own.
  static VeltoGeometry Geometry() {
    VeltoGeometry g;
    g.np = 3;
    g.ne = 1;
    g.nodes = {{1.5f, 2.5f, 9.0f, -4.0f}, {3.5f, 4.5f, 9.0f, -5.0f}, {5.5f, 6.5f, 9.0f, -6.0f}};
    VeltoElement e;
    e.nop[3] = 4;
    e.imat = 12;
    e.real = 0.75f;
    e.int2 = -8;
    g.elements = {e};
    g.node_ext = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    return g;
  }

  RecordFiles files_;
  std::string banner_ = std::string(kBannerChars, '\0');
  std::vector<int32_t> irec_ = std::vector<int32_t>(kHeaderInts);
  std::vector<float> frec_ = std::vector<float>(kHeaderReals);
  std::string title_ = std::string(kTitleChars, '\0');
  std::vector<int32_t> iban_ = std::vector<int32_t>(kBannerChars);
  std::vector<int32_t> ititl_ = std::vector<int32_t>(kTitleChars);
  std::vector<float> cord_ = std::vector<float>(2 * kNodes);
  std::vector<float> ao_ = std::vector<float>(kNodes);
  std::vector<float> nodeext_ = std::vector<float>(kVeltoNodeValues * kNodes);
  std::vector<int32_t> nop_ = std::vector<int32_t>(kVeltoCorners * kElements);
  std::vector<int32_t> imat_ = std::vector<int32_t>(kElements);
  std::vector<float> elemreal_ = std::vector<float>(kElements);
  std::vector<int32_t> elemint2_ = std::vector<int32_t>(kElements);
  VeltoMesh mesh_;
};

// The node values are spread over their arrays: X and Y to CORD, the fourth
// to AO; the third is not kept.
TEST_F(VeltoTest, CharacterFormGivesHeaderMeshAndNodeExtension) {
  CharHeader header;
  header.banner = "MESH BANNER";
  header.irec = {425, 6};
  header.title = "MESH TITLE";
  ASSERT_EQ(Outcome::kRead, Read(VeltoFile(header, Geometry())).outcome);
  EXPECT_EQ("MESH BANNER ", banner_.substr(0, 12));
  EXPECT_EQ(6, irec_[1]);
  EXPECT_EQ("MESH TITLE ", title_.substr(0, 11));
  EXPECT_EQ(3, mesh_.np);
  EXPECT_EQ(1, mesh_.ne);
  EXPECT_EQ((std::vector<float>{1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f}), cord_);
  EXPECT_EQ((std::vector<float>{-4.0f, -5.0f, -6.0f}), ao_);
  EXPECT_EQ((std::vector<int32_t>{1, 2, 3, 4, 0, 0, 0, 0}),
            std::vector<int32_t>(nop_.begin(), nop_.begin() + 8));
  EXPECT_EQ(12, imat_[0]);
  EXPECT_EQ(0.75f, elemreal_[0]);
  EXPECT_EQ(-8, elemint2_[0]);
  EXPECT_EQ(12.0f, nodeext_[11]);
}

// The counts of an integer-coded header's first record are not the mesh's:
// G1 gives them.
TEST_F(VeltoTest, IntegerCodedFormTakesTheCountsFromTheMesh) {
  CodedHeader header;
  header.np = 40;
  header.ne = 50;
  header.iban = Codes("CODED");
  header.irec = {420};
  header.ititl = Codes("TITLE");
  ASSERT_EQ(Outcome::kRead, Read(VeltoFile(header, Geometry())).outcome);
  EXPECT_EQ("CODED", banner_.substr(0, 5));
  EXPECT_EQ("TITLE", title_.substr(0, 5));
  EXPECT_EQ(3, mesh_.np);
  EXPECT_EQ(1, mesh_.ne);
  EXPECT_EQ(-6.0f, ao_[2]);
  EXPECT_EQ(0.0f, nodeext_[0]);  // no G2 at version 420
}

// A count beyond its array is refused before anything is stored from it.
struct TooLargeCase {
  const char* name;
  std::function<void(CodedHeader*, VeltoGeometry*)> spoil;
  const char* count;
  int64_t value, limit;
};

class VeltoTooLargeTest : public VeltoTest, public ::testing::WithParamInterface<TooLargeCase> {};

TEST_P(VeltoTooLargeTest, CountBeyondItsArrayIsRefused) {
  const TooLargeCase& c = GetParam();
  CodedHeader header;
  VeltoGeometry geometry = Geometry();
  c.spoil(&header, &geometry);
  const ReadResult result = Read(VeltoFile(header, geometry));
  EXPECT_EQ(Outcome::kTooLarge, result.outcome);
  EXPECT_EQ(c.count, result.too_large.count);
  EXPECT_EQ(c.value, result.too_large.value);
  EXPECT_EQ(c.limit, result.too_large.limit);
  EXPECT_EQ(0.0f, cord_[0]);
  EXPECT_EQ(0, nop_[0]);
}

INSTANTIATE_TEST_SUITE_P(
    VeltoTest, VeltoTooLargeTest,
    ::testing::Values(
        TooLargeCase{"BannerCodes",
                     [](CodedHeader* h, VeltoGeometry*) { h->iban.assign(1201, 66); }, "N1", 1201,
                     1200},
        TooLargeCase{"Integers", [](CodedHeader* h, VeltoGeometry*) { h->irec.assign(41, 425); },
                     "N2", 41, 40},
        TooLargeCase{"Reals", [](CodedHeader* h, VeltoGeometry*) { h->frec.assign(41, 1.0f); },
                     "N3", 41, 40},
        TooLargeCase{"TitleCodes", [](CodedHeader* h, VeltoGeometry*) { h->ititl.assign(78, 84); },
                     "N4", 78, 77},
        TooLargeCase{"Nodes", [](CodedHeader*, VeltoGeometry* g) { g->np = 4; }, "NP", 4, 3},
        TooLargeCase{"Elements", [](CodedHeader*, VeltoGeometry* g) { g->ne = 3; }, "NE", 3, 2}),
    [](const auto& tested) { return std::string(tested.param.name); });

// A damaged record: the first one is told apart from the rest.
TEST_F(VeltoTest, DamagedRecordIsNamedByItsPart) {
  FileBuilder cut = VeltoFile(CharHeader{}, Geometry());
  cut.TruncateBy(cut.size() - 3);  // a torn first length
  ReadResult result = Read(cut);
  EXPECT_EQ(Outcome::kEndOfFile, result.outcome);
  EXPECT_EQ(1, result.part);

  // G1 claims three nodes and one element, and holds two nodes.
  FileBuilder file = CodedHeaderFile(CodedHeader{});
  file.Add(RecordBuilder().Ints({3, 1}).Reals({1, 2, 0, -4, 3, 4, 0, -5}));
  result = Read(file);
  EXPECT_EQ(Outcome::kDamaged, result.outcome);
  EXPECT_EQ(2, result.part);
  EXPECT_EQ(5, result.damage.record);
  EXPECT_EQ(static_cast<int64_t>(file.record_start(4)), result.damage.offset);
  EXPECT_EQ("it holds fewer values than its counts need", result.damage.what);
}

}  // namespace
}  // namespace korvant
