#include "formats/qmx10.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/limits.h"
#include "tests/model_files.h"
#include "tests/record_files.h"

namespace korvant {
namespace {

constexpr char kFewerValues[] = "it holds fewer values than its counts need";

// The record of a two-node step: NP 2, NDF 1, NE 1, eight counts (2, 0, ...).
RecordBuilder TwoNodeStep(float time) {
  RecordBuilder b;
  b.Real(time).Ints({2, 1, 1, 8}).Ints({2, 0, 0, 0, 0, 0, 0, 0});
  b.Reals({1.5f, 2.5f});    // VDOF row 1
  b.Int(7);                 // IMAT
  b.Ints({0, 1});           // NDRY
  b.Reals({0.25f, 0.75f});  // RNODE
  b.Real(9.5f);             // RELEM
  return b;
}

// A step whose arrays are sized as the dialogue's: MAXDOF rows of MAXNODE
// values, a node array each for RDAT3, RDAT7, RDAT8, NDRY and RNODE, an
// element array each for IMAT and RELEM.
class Qmx10Test : public ::testing::Test {
 protected:
  Qmx10Test()
      : vdof_(static_cast<size_t>(MAXDOF) * MAXNODE),
        rdat3_(MAXNODE),
        rdat7_(MAXNODE),
        rdat8_(MAXNODE),
        rnode_(MAXNODE),
        relem_(MAXELEM),
        imat_(MAXELEM),
        ndry_(MAXNODE) {
    step_.icnt = icnt_;
    step_.vdof = vdof_;
    step_.row = MAXNODE;
    step_.rdat3 = rdat3_;
    step_.rdat7 = rdat7_;
    step_.rdat8 = rdat8_;
    step_.imat = imat_;
    step_.ndry = ndry_;
    step_.rnode = rnode_;
    step_.relem = relem_;
  }
  ReadResult Read(RecordFile& in) { return ReadQmx10Step(in, step_); }
  float Vdof(int k, int n) { return vdof_[(k - 1) * MAXNODE + (n - 1)]; }

  RecordFiles files_;
  int32_t icnt_[kQmx10CountList] = {};
  std::vector<float> vdof_, rdat3_, rdat7_, rdat8_, rnode_, relem_;
  std::vector<int32_t> imat_, ndry_;
  Qmx10Step step_;
};

TEST_F(Qmx10Test, TwoNodeStepFillsEveryMemberAndIs84DataBytes) {
  const RecordBuilder step = TwoNodeStep(12.5f);
  ASSERT_EQ(84u, step.size());
  RecordFile& in = files_.Input(Framed(step));
  ASSERT_EQ(Outcome::kRead, Read(in).outcome);
  EXPECT_EQ(12.5f, step_.time);
  EXPECT_EQ(2, step_.np);
  EXPECT_EQ(1, step_.ndf);
  EXPECT_EQ(1, step_.ne);
  EXPECT_EQ(8, step_.ncnt);
  EXPECT_EQ(2, icnt_[0]);
  EXPECT_EQ(1.5f, Vdof(1, 1));
  EXPECT_EQ(2.5f, Vdof(1, 2));
  EXPECT_EQ(7, imat_[0]);
  EXPECT_EQ(0, ndry_[0]);
  EXPECT_EQ(1, ndry_[1]);
  EXPECT_EQ(0.25f, rnode_[0]);
  EXPECT_EQ(0.75f, rnode_[1]);
  EXPECT_EQ(9.5f, relem_[0]);
  EXPECT_EQ(Outcome::kEndOfFile, Read(in).outcome);

  WriteQmx10Step(files_.Output(), step_);
  EXPECT_EQ(Framed(step), files_.Written());
}

// Every item sized by its own count: six rows of three nodes, RDAT3 from the
// third count, RDAT7 and RDAT8 from the seventh and eighth.
TEST_F(Qmx10Test, SixDegreesOfFreedomAreStoredRowAfterRow) {
  RecordBuilder step;
  step.Real(3.0f).Ints({3, 6, 2, 8}).Ints({3, 3, 3, 3, 3, 3, 2, 1});
  for (int k = 1; k <= 6; ++k) {
    const float tens = static_cast<float>(10 * k);
    step.Reals({tens + 1, tens + 2, tens + 3});
  }
  step.Reals({-1.0f, -2.0f, -3.0f});  // RDAT3
  step.Ints({4, 5});                  // IMAT
  step.Ints({1, 2, 3});               // NDRY
  step.Reals({7.25f, 7.5f});          // RDAT7
  step.Real(8.125f);                  // RDAT8
  step.Reals({0.5f, 1.0f, 1.5f});     // RNODE
  step.Reals({2.0f, 4.0f});           // RELEM
  RecordFile& in = files_.Input(Framed(step));
  ASSERT_EQ(Outcome::kRead, Read(in).outcome);
  EXPECT_EQ(11.0f, Vdof(1, 1));
  EXPECT_EQ(13.0f, Vdof(1, 3));
  EXPECT_EQ(42.0f, Vdof(4, 2));
  EXPECT_EQ(63.0f, Vdof(6, 3));
  EXPECT_EQ(0.0f, Vdof(1, 4));
  EXPECT_EQ(-1.0f, rdat3_[0]);
  EXPECT_EQ(-3.0f, rdat3_[2]);
  EXPECT_EQ(5, imat_[1]);
  EXPECT_EQ(3, ndry_[2]);
  EXPECT_EQ(7.5f, rdat7_[1]);
  EXPECT_EQ(8.125f, rdat8_[0]);
  EXPECT_EQ(1.5f, rnode_[2]);
  EXPECT_EQ(4.0f, relem_[1]);
  WriteQmx10Step(files_.Output(), step_);
  EXPECT_EQ(Framed(step), files_.Written());
}

TEST_F(Qmx10Test, NegativeCountsSizeEmptyArrays) {
  RecordBuilder step;
  step.Real(1.0f).Ints({2, 2, -1, 8}).Ints({2, -5, 0, 0, 0, 0, 0, 0});
  step.Reals({1.0f, 2.0f});  // row 1 only: row 2 has -5 values
  step.Ints({6, 6});         // NDRY (no IMAT: NE is -1)
  step.Reals({3.0f, 4.0f});  // RNODE
  RecordFile& in = files_.Input(Framed(step));
  ASSERT_EQ(Outcome::kRead, Read(in).outcome);
  EXPECT_EQ(2.0f, Vdof(1, 2));
  EXPECT_EQ(0.0f, Vdof(2, 1));
  EXPECT_EQ(6, ndry_[1]);
  EXPECT_EQ(4.0f, rnode_[1]);
  WriteQmx10Step(files_.Output(), step_);
  EXPECT_EQ(Framed(step), files_.Written());
}

TEST_F(Qmx10Test, NegativeCountListTakesNoEntries) {
  RecordBuilder step;
  step.Real(1.0f).Ints({1, 1, 0, -3});  // no count list: ICNT(1) is still 0
  step.Int(2).Real(0.5f);               // NDRY, RNODE
  RecordFile& in = files_.Input(Framed(step));
  ASSERT_EQ(Outcome::kRead, Read(in).outcome);
  EXPECT_EQ(-3, step_.ncnt);
  EXPECT_EQ(2, ndry_[0]);
  EXPECT_EQ(0.5f, rnode_[0]);
  WriteQmx10Step(files_.Output(), step_);
  EXPECT_EQ(Framed(step), files_.Written());
}

// A shorter count list leaves the later entries of the step before in place,
// and they go on sizing RDAT3, RDAT7 and RDAT8.
TEST_F(Qmx10Test, ShortCountListKeepsEarlierEntries) {
  RecordBuilder first;
  first.Real(1.0f).Ints({1, 1, 0, 8}).Ints({1, 0, 2, 0, 0, 0, 1, 0});
  first.Real(1.0f).Reals({5.0f, 6.0f}).Int(0).Real(7.0f).Real(0.5f);
  RecordBuilder second;
  second.Real(2.0f).Ints({1, 1, 0, 2}).Ints({1, 0});
  second.Real(2.0f).Reals({15.0f, 16.0f}).Int(0).Real(17.0f).Real(1.5f);
  RecordFile& in = files_.Input(FileBuilder().Add(first).Add(second).bytes());
  ASSERT_EQ(Outcome::kRead, Read(in).outcome);
  ASSERT_EQ(Outcome::kRead, Read(in).outcome);
  EXPECT_EQ(2, step_.ncnt);
  EXPECT_EQ(16.0f, rdat3_[1]);
  EXPECT_EQ(17.0f, rdat7_[0]);
  EXPECT_EQ(1.5f, rnode_[0]);
  WriteQmx10Step(files_.Output(), step_);
  EXPECT_EQ(Framed(second), files_.Written());
}

TEST_F(Qmx10Test, RecordShorterThanItsCountsIsDamagedWithEarlierItemsKept) {
  RecordBuilder step;
  step.Real(4.0f).Ints({3, 1, 1, 8}).Ints({3, 0, 0, 0, 0, 0, 0, 0});
  step.Reals({1.0f, 2.0f, 3.0f}).Int(9);  // VDOF and IMAT, then the record ends
  RecordFile& in = files_.Input(FileBuilder().Add(step).Add(TwoNodeStep(5.0f)).bytes());
  const ReadResult result = Read(in);
  EXPECT_EQ(Outcome::kDamaged, result.outcome);
  EXPECT_EQ(1, result.damage.record);
  EXPECT_EQ(0, result.damage.offset);
  EXPECT_EQ(kFewerValues, result.damage.what);
  EXPECT_EQ(4.0f, step_.time);
  EXPECT_EQ(3.0f, Vdof(1, 3));
  EXPECT_EQ(9, imat_[0]);
  // The damaged record is consumed; the next one reads whole.
  EXPECT_EQ(Outcome::kRead, Read(in).outcome);
  EXPECT_EQ(5.0f, step_.time);
}

TEST_F(Qmx10Test, CutAndEmptyFiles) {
  EXPECT_EQ(Outcome::kEndOfFile, Read(files_.Input("")).outcome);
  std::string cut = Framed(TwoNodeStep(1.0f));
  cut.resize(cut.size() - 6);
  // 84 data bytes and a closing length claimed; 92 - 6 - 4 bytes follow the length.
  const std::string past_end =
      "its length of 84 bytes runs past the end of the file (82 bytes left)";
  const ReadResult step = Read(files_.Input(cut));
  EXPECT_EQ(Outcome::kDamaged, step.outcome);
  EXPECT_EQ(1, step.damage.record);
  EXPECT_EQ(0, step.damage.offset);
  EXPECT_EQ(past_end, step.damage.what);
  float time = 0;
  int32_t np = 0;
  const ReadResult time_only = ReadQmx10Time(files_.Input(cut), &time, &np);
  EXPECT_EQ(Outcome::kDamaged, time_only.outcome);
  EXPECT_EQ(past_end, time_only.damage.what);
}

TEST_F(Qmx10Test, AveragedRecordHasFixedTimeAndNoIntegerArrays) {
  RecordFile& in = files_.Input(Framed(TwoNodeStep(12.5f)));
  ASSERT_EQ(Outcome::kRead, Read(in).outcome);
  std::vector<float> dave(static_cast<size_t>(MAXDOF) * MAXNODE, 0.0f);
  dave[0] = 3.5f;
  dave[1] = -4.5f;
  dave[2] = 99.0f;  // beyond ICNT(1): not written
  WriteQmx10Average(files_.Output(), step_, dave.data());
  RecordBuilder want;
  want.Real(9999.0f).Ints({2, 1, 1, 8}).Ints({2, 0, 0, 0, 0, 0, 0, 0});
  want.Reals({3.5f, -4.5f}).Reals({0.25f, 0.75f}).Real(9.5f);
  EXPECT_EQ(84u - 4 * (1 + 2), want.size());
  EXPECT_EQ(Framed(want), files_.Written());
}

TEST_F(Qmx10Test, FullSizeStepReadsAndWritesBackUnchanged) {
  RecordBuilder step;
  step.Real(1.0f).Ints({MAXNODE, MAXDOF, MAXELEM, 8});
  step.Ints({MAXNODE, MAXNODE, MAXNODE, MAXNODE, MAXNODE, MAXNODE, MAXNODE, MAXNODE});
  for (int k = 1; k <= MAXDOF; ++k) {
    for (int n = 1; n <= MAXNODE; ++n) step.Real(static_cast<float>(k * 100000 + n));
  }
  for (int n = 0; n < MAXNODE; ++n) step.Real(-static_cast<float>(n));  // RDAT3
  for (int e = 0; e < MAXELEM; ++e) step.Int(e);                        // IMAT
  for (int n = 0; n < MAXNODE; ++n) step.Int(n % 3);                    // NDRY
  for (int n = 0; n < 3 * MAXNODE; ++n)
    step.Real(0.5f * static_cast<float>(n));  // RDAT7, RDAT8, RNODE
  for (int e = 0; e < MAXELEM; ++e) step.Real(0.25f * static_cast<float>(e));  // RELEM
  RecordFile& in = files_.Input(Framed(step));
  ASSERT_EQ(Outcome::kRead, Read(in).outcome);
  EXPECT_EQ(600001.0f, Vdof(6, 1));
  EXPECT_EQ(160000.0f, Vdof(1, MAXNODE));
  EXPECT_EQ(19999, imat_[MAXELEM - 1]);
  WriteQmx10Step(files_.Output(), step_);
  EXPECT_EQ(Framed(step), files_.Written());
}

// A count beyond its span is refused as soon as it is taken, before any array
// is filled from it, whether the step is read or passed outside the filter.
struct TooLargeCase {
  const char* name;
  std::vector<int32_t> head;  // NP, NDF, NE, NCNT
  std::vector<int32_t> icnt;
  const char* count;
  int64_t value, limit;
};

class Qmx10TooLargeTest : public ::testing::TestWithParam<std::tuple<TooLargeCase, bool>> {};

TEST_P(Qmx10TooLargeTest, CountBeyondItsSpanIsRefusedBeforeAnyArrayIsFilled) {
  const auto& [c, outside] = GetParam();
  // Two degrees of freedom of three nodes, two elements, and the eight entries.
  int32_t icnt[kQmx10CountList] = {};
  float vdof[6], rdat3[3], rdat7[3], rdat8[3], rnode[3], relem[2];
  int32_t imat[2], ndry[3];
  for (float* a : {vdof, rdat3, rdat7, rdat8, rnode}) a[0] = -1.0f;
  relem[0] = -1.0f;
  imat[0] = ndry[0] = -1;
  Qmx10Step step{.icnt = icnt,
                 .vdof = vdof,
                 .row = 3,
                 .rdat3 = rdat3,
                 .rdat7 = rdat7,
                 .rdat8 = rdat8,
                 .imat = imat,
                 .ndry = ndry,
                 .rnode = rnode,
                 .relem = relem};
  RecordBuilder record;
  record.Real(1.0f).Ints(c.head).Ints(c.icnt);
  for (int i = 0; i < 64; ++i) record.Real(77.0f);  // values that must stay unread
  RecordFiles files;
  RecordFile& in = files.Input(FileBuilder().Add(record).Add(TwoNodeStep(2.0f)).bytes());
  const ReadResult result = ReadQmx10Step(in, step, StepFilter{5.0f, 6.0f, /*all=*/!outside});
  EXPECT_EQ(Outcome::kTooLarge, result.outcome);
  EXPECT_EQ(c.count, result.too_large.count);
  EXPECT_EQ(c.value, result.too_large.value);
  EXPECT_EQ(c.limit, result.too_large.limit);
  for (const float* a : {vdof, rdat3, rdat7, rdat8, rnode, relem}) EXPECT_EQ(-1.0f, a[0]);
  EXPECT_EQ(-1, imat[0]);
  EXPECT_EQ(-1, ndry[0]);
  ASSERT_EQ(Outcome::kRead, ReadQmx10Step(in, step).outcome);
  EXPECT_EQ(2.0f, step.time);
}

INSTANTIATE_TEST_SUITE_P(
    Qmx10Test, Qmx10TooLargeTest,
    ::testing::Combine(
        ::testing::Values(
            TooLargeCase{"Nodes", {4, 1, 1, 8}, {1, 0, 0, 0, 0, 0, 0, 0}, "NP", 4, 3},
            TooLargeCase{"DegreesOfFreedom", {2, 3, 1, 8}, {2, 0, 0, 0, 0, 0, 0, 0}, "NDF", 3, 2},
            TooLargeCase{"Elements", {2, 1, 3, 8}, {2, 0, 0, 0, 0, 0, 0, 0}, "NE", 3, 2},
            TooLargeCase{"CountList", {2, 1, 1, 9}, {2, 0, 0, 0, 0, 0, 0, 0, 0}, "NCNT", 9, 8},
            TooLargeCase{"Entry5", {2, 1, 1, 8}, {2, 0, 0, 0, 4, 0, 0, 0}, "ICNT(5)", 4, 3},
            TooLargeCase{"Entry1",
                         {2, 1, 1, 8},
                         {2147483647, 0, 0, 0, 0, 0, 0, 0},
                         "ICNT(1)",
                         2147483647,
                         3}),
        ::testing::Bool()),
    [](const auto& tested) { return ReadOrPassedName(tested); });

}  // namespace
}  // namespace korvant
