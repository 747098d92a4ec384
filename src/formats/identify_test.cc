#include "formats/identify.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/model_files.h"
#include "tests/record_files.h"

namespace korvant {
namespace {

struct Case {
  const char* name;
  FileBuilder file;
  FileKind kind;
  bool integer_coded;
  bool long_steps;
  int header_records;
  bool averaged = false;
};

Qmx2StepData Hydro(float time, int32_t np2 = 2, int32_t ne2 = 1) {
  Qmx2StepData step;
  step.time = time;
  step.np2 = np2;
  step.ne2 = ne2;
  return step;
}

Qmx4StepData Transport(float time, int32_t nqal, int32_t np4, int32_t ne4) {
  Qmx4StepData step;
  step.time = time;
  step.nqal = nqal;
  step.np4 = np4;
  step.ne4 = ne4;
  return step;
}

Qmx10StepData Threed(float time) {
  Qmx10StepData step;
  step.time = time;
  return step;
}

CharHeader Version(int32_t irec1) {
  CharHeader h;
  h.irec = {irec1};
  return h;
}

// A header, then a first step that is both a short QMX2 step (NP2 1, NE2 0)
// and a QMX4 step (NQAL 1, NP4 1, NE4 2), then `next`: the family whose
// steps read further is the file's.
FileBuilder EitherFirst(const RecordBuilder& next) {
  FileBuilder file = CharHeaderFile(Version(41));
  file.Add(RecordBuilder().Real(1.0f).Ints({1, 1, 0, 2, 0, 0}));
  return file.Add(next);
}

std::vector<Case> Cases() {
  const std::vector<Qmx2StepData> hydro = {Hydro(1.0f), Hydro(2.0f)};
  const std::vector<Qmx4StepData> transport = {Transport(1.0f, 2, 3, 1)};
  return {
      {"EitherThenQmx2", EitherFirst(Qmx2StepRecord(Hydro(2.0f, 1, 0), false)), FileKind::kQmx2,
       false, false, 3},
      {"EitherThenQmx4", EitherFirst(Qmx4StepRecord(Transport(2.0f, 2, 1, 0))), FileKind::kQmx4,
       false, false, 3},
      {"VeltoCharacterWithTitle", VeltoFile(Version(425), {}), FileKind::kVelto, false, false, 3},
      {"VeltoCharacterWithoutTitle", VeltoFile(Version(420), {}), FileKind::kVelto, false, false,
       2},
      {"VeltoIntegerCoded", VeltoFile(CodedHeader{}, {}), FileKind::kVelto, true, false, 4},
      {"Qmx2CharacterShort", Qmx2File(Version(41), hydro, false), FileKind::kQmx2, false, false, 3},
      {"Qmx2CharacterLong", Qmx2File(Version(42), hydro, true), FileKind::kQmx2, false, true, 3},
      {"Qmx2IntegerCoded", Qmx2File(CodedHeader{}, hydro, true), FileKind::kQmx2, true, true, 4},
      {"Qmx4Character", Qmx4File(CharHeader{}, transport), FileKind::kQmx4, false, false, 3},
      {"Qmx4IntegerCoded", Qmx4File(CodedHeader{}, transport), FileKind::kQmx4, true, false, 4},
      {"Qmx10", Qmx10File({Threed(1.0f), Threed(2.0f)}), FileKind::kQmx10, false, false, 0},
      // The averaged files: a QMX4 step without its header, and the QMX10
      // averaged record (time 9999, NP 2, NDF 1, NE 1, the count list, the
      // two averages, RNODE and RELEM; no IMAT, no NDRY).
      {"Qmx4WithoutHeader", FileBuilder().Add(Qmx4StepRecord(Transport(0.0f, 2, 3, 1))),
       FileKind::kQmx4, false, false, 0},
      {"Qmx10Averaged",
       FileBuilder().Add(RecordBuilder()
                             .Real(9999.0f)
                             .Ints({2, 1, 1, 8, 2, 0, 0, 0, 0, 0, 0, 0})
                             .Reals({0.5f, 0.75f, 7, 8, 9})),
       FileKind::kQmx10, false, false, 0, true},
  };
}

class IdentifyTest : public ::testing::TestWithParam<size_t> {
 protected:
  RecordFile& Open(const FileBuilder& file) { return files_.Input(file.bytes()); }
  RecordFiles files_;
};

TEST_P(IdentifyTest, TellsKindFormAndStepLengthFromTheRecords) {
  const Case c = Cases()[GetParam()];
  RecordFile& f = Open(c.file);
  const Identity id = Identify(f);
  EXPECT_EQ(c.kind, id.kind) << id.why;
  EXPECT_EQ(c.integer_coded, id.integer_coded);
  EXPECT_EQ(c.long_steps, id.long_steps);
  EXPECT_EQ(c.header_records, id.header_records);
  EXPECT_EQ(c.averaged, id.averaged);
  // The file is left at its start.
  EXPECT_EQ(0, f.Tell().position);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, IdentifyTest, ::testing::Range<size_t>(0, Cases().size()),
                         [](const auto& tested) {
                           return std::string(Cases()[tested.param].name);
                         });

class IdentifyUnknownTest : public IdentifyTest {};

TEST_F(IdentifyUnknownTest, CountsNearTheLargestIntegerDoNotOverflow) {
  // A QMX10 head of NP = 2^31 - 1 and NE = 1 in a record far too short for them.
  FileBuilder huge;
  huge.Add(RecordBuilder().Real(1).Ints({INT32_MAX, 1, 1, 0}));
  EXPECT_EQ(FileKind::kUnknown, Identify(Open(huge)).kind);
}

TEST_F(IdentifyUnknownTest, SaysWhyAFileIsNoneOfTheKinds) {
  EXPECT_EQ("the file is empty", Identify(Open(FileBuilder())).why);
  FileBuilder junk;
  junk.Add(RecordBuilder().Ints({1, 2, 3}));
  EXPECT_EQ("its first record (12 bytes) begins no header and is no QMX10 or QMX4 time step",
            Identify(Open(junk)).why);
  EXPECT_EQ("a header and no time step or mesh after it",
            Identify(Open(CharHeaderFile(CharHeader{}))).why);
  FileBuilder cut = Qmx10File({Threed(1.0f)});
  cut.TruncateBy(1);
  EXPECT_EQ(FileKind::kUnknown, Identify(Open(cut)).kind);
}

TEST_F(IdentifyUnknownTest, StepHeadsGiveTimesAndCountsAndCatchCountsThatDoNotFit) {
  // QMX2, long steps: the second step claims one element more than it holds.
  FileBuilder file = Qmx2File(Version(42), {Hydro(1.5f)}, true);
  file.Add(Qmx2StepRecord(Hydro(2.5f), true));
  RecordFile& f = Open(file);
  const Identity id = Identify(f);
  ASSERT_EQ(FileKind::kQmx2, id.kind);
  for (int i = 0; i < id.header_records; ++i) f.SkipRecord();
  StepHead head;
  int32_t icnt[8] = {};
  ASSERT_TRUE(ReadStepHead(f, id, &head, icnt).ok());
  EXPECT_EQ(1.5f, head.time);
  EXPECT_EQ(2, head.np);
  EXPECT_EQ(1, head.ne);
  // 12 + 20 bytes a node + 4 an element.
  EXPECT_EQ(56u, head.length);
  EXPECT_EQ(file.record_start(3), static_cast<size_t>(head.at.position));
  ASSERT_TRUE(ReadStepHead(f, id, &head, icnt).ok());
  EXPECT_EQ(2.5f, head.time);
  EXPECT_EQ(Outcome::kEndOfFile, ReadStepHead(f, id, &head, icnt).outcome);
}

TEST_F(IdentifyUnknownTest, AStepWhoseCountsDoNotFillItsRecordIsDamage) {
  FileBuilder file = Qmx4File(CharHeader{}, {Transport(1.0f, 1, 2, 1)});
  // NQAL 2 by NP4 2 needs 4 concentrations; the record ends after 4 values.
  file.Add(RecordBuilder().Real(2.0f).Ints({2, 2}).Reals({1, 2}).Ints({1, 7}));
  // One element code more than NE4 says.
  file.Add(RecordBuilder().Real(3.0f).Ints({1, 2}).Reals({1, 2}).Ints({1, 7, 8}));
  RecordFile& f = Open(file);
  const Identity id = Identify(f);
  ASSERT_EQ(FileKind::kQmx4, id.kind);
  for (int i = 0; i < id.header_records; ++i) f.SkipRecord();
  StepHead head;
  int32_t icnt[8] = {};
  ASSERT_TRUE(ReadStepHead(f, id, &head, icnt).ok());
  const ReadResult damaged = ReadStepHead(f, id, &head, icnt);
  ASSERT_EQ(Outcome::kDamaged, damaged.outcome);
  EXPECT_EQ(5, damaged.damage.record);
  EXPECT_EQ(static_cast<int64_t>(file.record_start(4)), damaged.damage.offset);
  EXPECT_EQ("NQAL = 2, NP4 = 2 need more bytes than the record holds 28", damaged.damage.what);
  const ReadResult longer = ReadStepHead(f, id, &head, icnt);
  ASSERT_EQ(Outcome::kDamaged, longer.outcome);
  EXPECT_EQ(6, longer.damage.record);
  EXPECT_EQ("NQAL = 1, NP4 = 2 and NE4 = 1 need 28 bytes, the record holds 32", longer.damage.what);
}

}  // namespace
}  // namespace korvant
