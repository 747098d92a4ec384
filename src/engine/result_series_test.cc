#include "engine/result_series.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/harness.h"
#include "tests/model_files.h"

namespace korvant {
namespace {

// Two nodes with bottom elevations -5 and -6, one element.
Mesh SmallMesh() {
  Mesh mesh;
  mesh.np = 2;
  mesh.ne = 1;
  mesh.x = {0, 1};
  mesh.y = {0, 0};
  mesh.bottom = {-5, -6};
  mesh.nop = {1, 2, 0, 0, 0, 0, 0, 0};
  mesh.imat = {1};
  return mesh;
}

// The one-step averaged 3D record: no IMAT and no NDRY.
RecordBuilder Qmx10Averaged(float u1, float u2) {
  return RecordBuilder()
      .Real(9999.0f)
      .Ints({2, 1, 1, 8, 2, 0, 0, 0, 0, 0, 0, 0})
      .Reals({u1, u2})
      .Reals({7, 8})  // RNODE
      .Real(9);       // RELEM
}

// QMX10 steps at hours 1, 2 and 3 of two rows each. The first lists counts 2
// and 1 for its rows `first`; the second lists one count, 2, and carries the
// first step's second for its rows `second` (three values); the third lists
// the counts of its rows `third`.
FileBuilder CarryingQmx10File(std::vector<std::vector<float>> first, std::vector<float> second,
                              std::vector<std::vector<float>> third) {
  Qmx10StepData one;
  one.time = 1;
  one.ndf = 2;
  one.icnt = {2, 1};
  one.vdof = std::move(first);
  // Time 2, NP, NDF, NE, NCNT 1, ICNT(1) 2; the rows; IMAT, NDRY, RNODE, RELEM.
  const RecordBuilder two = RecordBuilder()
                                .Real(2)
                                .Ints({2, 2, 1, 1, 2})
                                .Reals(second)
                                .Ints({1, 1, 1})
                                .Reals({0.5f, 1, 0.75f});
  Qmx10StepData three = one;
  three.time = 3;
  three.icnt = {static_cast<int32_t>(third[0].size()), static_cast<int32_t>(third[1].size())};
  three.vdof = std::move(third);
  return FileBuilder(Qmx10File({one})).Add(two).Append(Qmx10File({three}));
}

class ResultSeriesTest : public ::testing::Test {
 protected:
  void Use(const FileBuilder& file) {
    box_.Write("result.bin", file.bytes());
    file_.OpenExisting(50, box_.Path("result.bin"));
  }
  std::vector<float> Values(const ResultSeries& series, const char* name) {
    const int i = series.FieldIndex(name);
    EXPECT_GE(i, 0) << name;
    if (i < 0) return {};
    const auto v = series.values(static_cast<size_t>(i));
    return std::vector<float>(v.begin(), v.end());
  }

  Sandbox box_;
  RecordFile file_;
  Mesh mesh_ = SmallMesh();
};

TEST_F(ResultSeriesTest, Qmx2StepsGiveFiveFieldsEveryStep) {
  Qmx2StepData first;
  first.time = 1.5f;
  first.vel = {0.1f, 0.2f, 3, 0.4f, 0.5f, 4};
  first.ndry = {1, 2};
  Qmx2StepData second = first;
  second.time = 2.5f;
  second.vel[0] = 0.7f;
  Use(Qmx2File(CodedHeader{}, {first, second}, false));
  ResultSeries series(file_, mesh_);
  ASSERT_TRUE(series.Open().ok());
  EXPECT_EQ("CODED TITLE", series.title());
  ASSERT_EQ(5u, series.fields().size());
  EXPECT_TRUE(series.fields()[4].integer);
  ASSERT_TRUE(series.Next().ok());
  EXPECT_EQ(1.5f, series.time());
  EXPECT_EQ((std::vector<float>{0.1f, 0.4f}), Values(series, "x_velocity"));
  EXPECT_EQ((std::vector<float>{3, 4}), Values(series, "depth"));
  // Short steps: bottom plus depth.
  EXPECT_EQ((std::vector<float>{-2, -2}), Values(series, "water_surface_elevation"));
  EXPECT_EQ((std::vector<float>{1, 2}), Values(series, "wet_dry"));
  ASSERT_TRUE(series.Next().ok());
  EXPECT_EQ(2, series.step());
  EXPECT_EQ((std::vector<float>{0.7f, 0.4f}), Values(series, "x_velocity"));
  EXPECT_TRUE(series.Next().at_end());
}

TEST_F(ResultSeriesTest, Qmx2SurfaceIsNamedByWhatTheFileHolds) {
  // An averaged file (its step at hour -99) holds the water surface above
  // the datum in a long step; a short step holds none, and the bottom plus
  // the depth stands for the elevation.
  struct Case {
    float time;
    bool long_steps;
    const char* name;
    const char* long_name;
  };
  const Case cases[] = {
      {1.5f, true, "water_surface_elevation", "water-surface elevation"},
      {-99.0f, true, "water_surface_above_datum", "water surface above the datum"},
      {-99.0f, false, "water_surface_elevation", "water-surface elevation (bottom plus depth)"},
  };
  for (const Case& c : cases) {
    Qmx2StepData step;
    step.time = c.time;
    Use(Qmx2File(CodedHeader{}, {step}, c.long_steps));
    ResultSeries series(file_, mesh_);
    ASSERT_TRUE(series.Open().ok());
    ASSERT_EQ(5u, series.fields().size());
    EXPECT_EQ(c.name, series.fields()[3].name) << c.time;
    EXPECT_EQ(c.long_name, series.fields()[3].long_name) << c.time;
    EXPECT_EQ("ft", series.fields()[3].units);
    file_.Close();
  }
}

TEST_F(ResultSeriesTest, Qmx10RowsShorterThanTheMeshHoldNoValueBeyond) {
  Qmx10StepData step;
  step.ndf = 2;
  step.icnt = {2, 1, 0, 0, 0, 0, 0, 0};
  step.vdof = {{1, 2}, {3}};
  Use(Qmx10File({step}));
  ResultSeries series(file_, mesh_);
  ASSERT_TRUE(series.Open().ok());
  ASSERT_EQ(2u, series.fields().size());
  EXPECT_EQ("ft s-1", series.fields()[1].units);
  ASSERT_TRUE(series.Next().ok());
  EXPECT_EQ((std::vector<float>{1, 2}), Values(series, "x_velocity"));
  const std::vector<float> v = Values(series, "y_velocity");
  EXPECT_EQ(3.0f, v[0]);
  EXPECT_TRUE(std::isnan(v[1]));
}

// Steps read from their places in any order read as they do one after the
// other: the second step lists one count and carries the first one's second,
// which the third then changes.
TEST_F(ResultSeriesTest, StepsReadAtTheirPlacesInAnyOrder) {
  Use(CarryingQmx10File({{1, 2}, {3}}, {4, 5, 6}, {{1, 2}, {3, 9}}));
  ResultSeries series(file_, mesh_);
  ASSERT_TRUE(series.Open().ok());
  std::vector<StepPlace> places;
  ASSERT_TRUE(series.IndexSteps(&places).ok());
  ASSERT_EQ(3u, places.size());
  EXPECT_EQ(2.0f, places[1].time);
  EXPECT_EQ(1, places[2].carried[1]);
  // The index leaves the series where it was, after the first step.
  ASSERT_TRUE(series.Next().ok());
  ASSERT_TRUE(series.Next().ok());
  EXPECT_EQ(2.0f, series.time());
  for (int64_t k : {2, 1, 0, 1}) {
    ASSERT_TRUE(series.ReadAt(places[static_cast<size_t>(k)], k + 1).ok()) << k;
    EXPECT_EQ(k + 1, series.step());
    const std::vector<float> v = Values(series, "y_velocity");
    EXPECT_EQ(k == 1 ? 6.0f : 3.0f, v[0]) << k;
    EXPECT_EQ(k == 2, v[1] == 9.0f) << k;
    EXPECT_EQ(k != 2, std::isnan(v[1])) << k;
  }
}

// Steps at hours 1, 2 and 3, wanting from hour 2.5: the first was read by
// Open; the second is passed, its first field's values left as the first
// step's; the third, read after the pass, has its own. In QMX10 the second
// step carries a count of the first.
TEST_F(ResultSeriesTest, StepsOutsideTheWantedHoursArePassed) {
  auto qmx2 = [](float t, float u) {
    Qmx2StepData s;
    s.time = t;
    s.vel = {u, 0, 3, u + 1, 0, 4};
    s.ndry = {1, 1};
    return s;
  };
  auto qmx4 = [](float t, float c) {
    Qmx4StepData s;
    s.time = t;
    s.conc = {c, c + 1};
    return s;
  };
  const std::pair<FileBuilder, const char*> cases[] = {
      {Qmx2File(CodedHeader{}, {qmx2(1, 10), qmx2(2, 20), qmx2(3, 30)}, true), "x_velocity"},
      {Qmx4File(CodedHeader{}, {qmx4(1, 10), qmx4(2, 20), qmx4(3, 30)}), "constituent_1"},
      {CarryingQmx10File({{10, 11}, {3}}, {20, 21, 6}, {{30, 31}, {9}}), "x_velocity"},
  };
  for (const auto& [file, field] : cases) {
    Use(file);
    ResultSeries series(file_, mesh_);
    ASSERT_TRUE(series.Open().ok()) << field;
    series.WantOnly(StepFilter{2.5f, 9.0f, false});
    const float expected[3][2] = {{10, 11}, {10, 11}, {30, 31}};
    for (int k = 0; k < 3; ++k) {
      ASSERT_TRUE(series.Next().ok()) << field << k;
      EXPECT_EQ(static_cast<float>(k + 1), series.time()) << field;
      EXPECT_EQ(k == 1, series.passed()) << field << k;
      EXPECT_EQ((std::vector<float>{expected[k][0], expected[k][1]}), Values(series, field))
          << field << k;
    }
    EXPECT_TRUE(series.Next().at_end()) << field;
    file_.Close();
  }
}

TEST_F(ResultSeriesTest, IndexRefusesAStepOfAnotherMesh) {
  Qmx2StepData step;
  step.vel = {0.1f, 0.2f, 3, 0.4f, 0.5f, 4};
  step.ndry = {1, 2};
  Qmx2StepData wider = step;
  wider.np2 = 3;
  wider.vel.resize(9);
  wider.ndry.resize(3);
  Use(Qmx2File(CodedHeader{}, {step, wider}, false));
  ResultSeries series(file_, mesh_);
  ASSERT_TRUE(series.Open().ok());
  std::vector<StepPlace> places;
  EXPECT_EQ("time step 2 has 3 nodes and 1 element, but the mesh has 2 and 1",
            series.IndexSteps(&places).refusal);
}

TEST_F(ResultSeriesTest, Qmx10AveragedRecordIsRead) {
  Use(FileBuilder().Add(Qmx10Averaged(0.25f, 0.5f)));
  ResultSeries series(file_, mesh_);
  ASSERT_TRUE(series.Open().ok());
  ASSERT_TRUE(series.Next().ok());
  EXPECT_EQ(9999.0f, series.time());
  EXPECT_EQ((std::vector<float>{0.25f, 0.5f}), Values(series, "x_velocity"));
}

TEST_F(ResultSeriesTest, StepsThatDoNotFitTheMeshOrTheFirstStepAreRefused) {
  Qmx4StepData two;
  two.nqal = 2;
  Qmx4StepData one;
  Qmx4StepData more_nodes;
  more_nodes.nqal = 2;
  more_nodes.np4 = 3;
  Qmx4StepData more_elements;
  more_elements.nqal = 2;
  more_elements.ne4 = 2;
  Qmx2StepData big;
  big.np2 = 5;
  Qmx2StepData small;
  small.np2 = 1;
  const std::pair<FileBuilder, std::string> cases[] = {
      {FileBuilder(), "not a model result file: the file is empty"},
      {VeltoFile(CodedHeader{}, VeltoGeometry{}), "a VELTO geometry file, not a model result"},
      {Qmx4File(CodedHeader{}, {two, one}), "time step 2 holds 1 constituent, the first 2"},
      {Qmx4File(CodedHeader{}, {more_nodes}), "time step 1 has 3 nodes, but the mesh has 2"},
      {Qmx4File(CodedHeader{}, {more_elements}), "time step 1 has 2 elements, but the mesh has 1"},
      {Qmx2File(CodedHeader{}, {Qmx2StepData{}, big}, true),
       "time step 2 has 5 nodes, but the mesh has 2"},
      {Qmx2File(CodedHeader{}, {Qmx2StepData{}, small}, true),
       "time step 2 has 1 node, but the mesh has 2"},
  };
  for (const auto& [file, expected] : cases) {
    Use(file);
    ResultSeries series(file_, mesh_);
    SeriesResult result = series.Open();
    while (result.ok()) result = series.Next();
    EXPECT_EQ(expected, result.refusal);
  }
}

}  // namespace
}  // namespace korvant
