#include "engine/file_report.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/harness.h"
#include "tests/model_files.h"

namespace korvant {
namespace {

// One family's file of steps at `times`, the step at `wide` with 3 nodes
// instead of 2 (none when -1).
struct Family {
  const char* name;
  FileKind kind;
  int header_records;
  std::function<FileBuilder(const std::vector<float>& times, int wide)> make;
};

template <typename Step, typename SetNodes>
std::vector<Step> Steps(const std::vector<float>& times, int wide, Step base, SetNodes set) {
  std::vector<Step> steps;
  for (size_t i = 0; i < times.size(); ++i) {
    Step step = base;
    step.time = times[i];
    if (static_cast<int>(i) == wide) set(step);
    steps.push_back(step);
  }
  return steps;
}

std::vector<Qmx2StepData> Hydro(const std::vector<float>& times, int wide) {
  return Steps(times, wide, Qmx2StepData{}, [](Qmx2StepData& s) { s.np2 = 3; });
}
std::vector<Qmx4StepData> Transport(const std::vector<float>& times, int wide) {
  Qmx4StepData base;
  base.nqal = 2;
  return Steps(times, wide, base, [](Qmx4StepData& s) { s.np4 = 3; });
}
std::vector<Qmx10StepData> Threed(const std::vector<float>& times, int wide) {
  return Steps(times, wide, Qmx10StepData{}, [](Qmx10StepData& s) {
    s.np = 3;
    s.icnt[0] = 3;
  });
}

CharHeader Version(int32_t irec1) {
  CharHeader h;
  h.irec = {irec1};
  return h;
}

std::vector<Family> Families() {
  return {
      {"Qmx2CharacterShort", FileKind::kQmx2, 3,
       [](auto& t, int w) { return Qmx2File(Version(41), Hydro(t, w), false); }},
      {"Qmx2IntegerCodedLong", FileKind::kQmx2, 4,
       [](auto& t, int w) { return Qmx2File(CodedHeader{}, Hydro(t, w), true); }},
      {"Qmx4Character", FileKind::kQmx4, 3,
       [](auto& t, int w) { return Qmx4File(CharHeader{}, Transport(t, w)); }},
      {"Qmx4IntegerCoded", FileKind::kQmx4, 4,
       [](auto& t, int w) { return Qmx4File(CodedHeader{}, Transport(t, w)); }},
      {"Qmx10", FileKind::kQmx10, 0, [](auto& t, int w) { return Qmx10File(Threed(t, w)); }},
  };
}

class FileReportTest : public ::testing::Test {
 protected:
  FileReport Report(const FileBuilder& file) {
    box_.Write("f.bin", file.bytes());
    RecordFile f;
    f.OpenExisting(1, box_.Path("f.bin"));
    return ReportFile(f);
  }
  Sandbox box_;
};

class FamilyReportTest : public FileReportTest, public ::testing::WithParamInterface<size_t> {
 protected:
  const Family family_ = Families()[GetParam()];
};

TEST_P(FamilyReportTest, ARestartThatRepeatsHoursIsFoundWithItsRecord) {
  // Hours 1, 2, 3, then a restart from 2.5; the fifth step has a node more.
  const FileReport r = Report(family_.make({1, 2, 3, 2.5f, 3, 4}, 4));
  const int64_t h = family_.header_records;
  ASSERT_EQ(family_.kind, r.identity.kind) << r.identity.why;
  EXPECT_TRUE(r.sound());
  EXPECT_FALSE(r.damage);
  EXPECT_EQ(h + 6, r.records);
  EXPECT_EQ(6, r.steps);
  EXPECT_EQ(1.0f, r.first_time);
  EXPECT_EQ(4.0f, r.last_time);
  EXPECT_EQ(-0.5f, r.min_step);
  EXPECT_EQ(1.0f, r.max_step);
  ASSERT_EQ(1, r.time_back_count);
  EXPECT_EQ(h + 4, r.time_back[0].record);
  EXPECT_EQ(2.5f, r.time_back[0].time);
  EXPECT_EQ(3.0f, r.time_back[0].previous);
  ASSERT_EQ(2, r.count_change_count);
  EXPECT_EQ(h + 5, r.count_changes[0].record);
  EXPECT_EQ(3, r.count_changes[0].counts.nodes);
  EXPECT_EQ(2, r.count_changes[0].previous.nodes);
  EXPECT_EQ(h + 6, r.count_changes[1].record);
  EXPECT_EQ(2, r.count_changes[1].counts.nodes);
  EXPECT_EQ(2, r.counts->nodes);
  EXPECT_EQ(1, r.counts->elements);
  EXPECT_FALSE(r.over_step_limit());
}

TEST_P(FamilyReportTest, DamageIsTheFirstBadRecordWithTheStepsBeforeIt) {
  const int64_t h = family_.header_records;
  FileBuilder cut = family_.make({1, 2, 3}, -1);
  cut.TruncateBy(5);
  FileReport r = Report(cut);
  EXPECT_FALSE(r.sound());
  EXPECT_EQ(2, r.steps);
  ASSERT_TRUE(r.damage);
  EXPECT_EQ(h + 3, r.damage->record);
  EXPECT_EQ(static_cast<int64_t>(cut.record_start(h + 2)), r.damage->offset);

  FileBuilder stray = family_.make({1, 2}, -1);
  stray.AppendJunk("ab");
  r = Report(stray);
  EXPECT_EQ(2, r.steps);
  ASSERT_TRUE(r.damage);
  EXPECT_EQ(h + 3, r.damage->record);
  EXPECT_EQ(static_cast<int64_t>(stray.size() - 2), r.damage->offset);
  EXPECT_EQ("2 bytes after the last record, too few for a record's length", r.damage->what);
}

INSTANTIATE_TEST_SUITE_P(EveryStepFamily, FamilyReportTest,
                         ::testing::Range<size_t>(0, Families().size()), [](const auto& tested) {
                           return std::string(Families()[tested.param].name);
                         });

TEST_F(FileReportTest, HeaderNumbersAndTitleOfBothForms) {
  CodedHeader coded;
  coded.mflg = 7;
  coded.ivers = 3;
  coded.irec = {42};
  coded.ititl = Codes("RUN A  ");
  FileReport r = Report(Qmx2File(coded, Hydro({1}, -1), true));
  EXPECT_EQ(42, r.irec1);
  EXPECT_EQ(7, r.mflg);
  EXPECT_EQ(3, r.ivers);
  EXPECT_EQ("RUN A", r.title);
  coded.irec.clear();
  EXPECT_FALSE(Report(Qmx2File(coded, Hydro({1}, -1), true)).irec1);

  r = Report(Qmx4File(Version(12), Transport({1}, -1)));
  EXPECT_EQ(12, r.irec1);
  EXPECT_FALSE(r.mflg);
  EXPECT_EQ("TEST TITLE", r.title);
}

TEST_F(FileReportTest, VeltoMeshAndItsNodeExtensionRecord) {
  VeltoGeometry mesh;
  mesh.np = 4;
  mesh.ne = 2;
  FileReport r = Report(VeltoFile(Version(425), mesh));
  ASSERT_EQ(FileKind::kVelto, r.identity.kind);
  EXPECT_TRUE(r.sound());
  EXPECT_EQ(4, r.counts->nodes);
  EXPECT_EQ(2, r.counts->elements);
  EXPECT_EQ(5, r.records);  // C1, C2, C3, G1, G2
  EXPECT_EQ("TEST TITLE", r.title);
  EXPECT_EQ(0, r.steps);

  // Version 421 calls for G2 but has no title: G1 is the third record.
  FileBuilder no_g2;
  no_g2.Add(HeaderC1(Version(421))).Add(HeaderC2(Version(421))).Add(VeltoG1(mesh));
  r = Report(no_g2);
  ASSERT_EQ(FileKind::kVelto, r.identity.kind);
  EXPECT_FALSE(r.title);
  ASSERT_TRUE(r.damage);
  EXPECT_EQ(4, r.damage->record);
  EXPECT_EQ("the node extension record that IREC(1) = 421 calls for is missing", r.damage->what);

  FileBuilder short_g2 = FileBuilder(no_g2).Add(RecordBuilder().Reals({1, 2, 3}));
  r = Report(short_g2);
  ASSERT_TRUE(r.damage);
  EXPECT_EQ("NP = 4 needs 64 bytes of node extension values, the record holds 12", r.damage->what);
}

TEST_F(FileReportTest, AFileOfNoKindHasItsFramingFollowed) {
  FileBuilder junk;
  junk.Add(RecordBuilder().Ints({1, 2, 3})).Add(RecordBuilder().Ints({4}));
  FileReport r = Report(junk);
  EXPECT_FALSE(r.identified());
  EXPECT_FALSE(r.sound());
  EXPECT_FALSE(r.damage);
  EXPECT_EQ(2, r.records);
  junk.SetLength(1, 1000);
  r = Report(junk);
  ASSERT_TRUE(r.damage);
  EXPECT_EQ(2, r.damage->record);
  EXPECT_EQ(20, r.damage->offset);
}

TEST_F(FileReportTest, ListsStopAtTheirLimitWhileCountingGoesOn) {
  const std::vector<float> same(kMaxListed + 50, 6.0f);
  const FileReport r = Report(Qmx10File(Threed(same, -1)));
  EXPECT_EQ(int64_t{kMaxListed} + 49, r.time_back_count);
  EXPECT_EQ(kMaxListed, r.time_back.size());
  EXPECT_EQ(0.0f, r.min_step);
  EXPECT_EQ(0.0f, r.max_step);
}

TEST_F(FileReportTest, CountsBeyondTheArraysAreNoted) {
  std::vector<Qmx4StepData> steps = Transport({1, 2}, -1);
  steps[1].nqal = 7;
  const FileReport r = Report(Qmx4File(CharHeader{}, steps));
  EXPECT_TRUE(r.sound());
  ASSERT_TRUE(r.too_large);
  EXPECT_EQ("NQAL", r.too_large->count);
  EXPECT_EQ(7, r.too_large->value);
  EXPECT_EQ(6, r.too_large->limit);
}

}  // namespace
}  // namespace korvant
