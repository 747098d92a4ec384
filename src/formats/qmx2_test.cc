#include "formats/qmx2.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "formats/limits.h"
#include "tests/model_files.h"
#include "tests/record_files.h"

namespace korvant {
namespace {

// Two nodes and one element: time, NP2, (u, v, depth) x 2, NDRY x 2, NE2, IMAT,
// and in a long step the two elevations.
RecordBuilder ShortData() {
  return RecordBuilder()
      .Real(6.5f)
      .Int(2)
      .Reals({0.5f, -0.25f, 3.0f, 1.5f, 2.5f, 4.0f})
      .Ints({1, 2})
      .Int(1)
      .Int(7);
}
RecordBuilder LongData() { return ShortData().Reals({98.5f, 99.25f}); }

constexpr char kFewerValues[] = "it holds fewer values than its counts need";

// A step whose arrays hold as many nodes and elements as the dialogue's.
class Qmx2Test : public ::testing::Test {
 protected:
  Qmx2Test() : vel_(3 * MAXNODE), ndry_(MAXNODE), imat_(MAXELEM), elevations_(MAXNODE) {
    step_.vel = vel_;
    step_.ndry = ndry_;
    step_.imat = imat_;
    step_.elevations = elevations_;
  }
  ReadResult Read(RecordFile& in, bool long_step, const StepFilter& filter = {},
                  bool* passed = nullptr) {
    return ReadQmx2Step(in, long_step, step_, filter, passed);
  }

  RecordFiles files_;
  std::vector<float> vel_;
  std::vector<int32_t> ndry_, imat_;
  std::vector<float> elevations_;
  Qmx2Step step_;
};

TEST_F(Qmx2Test, WritesShortAndLongSteps) {
  float vel[6] = {0.5f, -0.25f, 3.0f, 1.5f, 2.5f, 4.0f};
  int32_t ndry[2] = {1, 2};
  int32_t imat[1] = {7};
  float wsel[2] = {98.5f, 99.25f};
  const Qmx2Step step{6.5f, 2, 1, vel, ndry, imat, wsel};
  RecordFile& out = files_.Output();
  WriteQmx2Step(out, step, /*long_step=*/false);
  WriteQmx2Step(out, step, /*long_step=*/true);
  ASSERT_EQ(48u, ShortData().size());
  ASSERT_EQ(56u, LongData().size());
  EXPECT_EQ(FileBuilder().Add(ShortData()).Add(LongData()).bytes(), files_.Written());
}

TEST_F(Qmx2Test, WritesEmptyArraysForZeroCounts) {
  WriteQmx2Step(files_.Output(), Qmx2Step{-99.0f, 0, 0, {}, {}, {}, {}}, true);
  EXPECT_EQ(Framed(RecordBuilder().Real(-99.0f).Int(0).Int(0)), files_.Written());
}

TEST_F(Qmx2Test, ReadsEachRecordWithItsOwnCounts) {
  const RecordBuilder one_node =
      RecordBuilder().Real(7.0f).Int(1).Reals({9.0f, 8.0f, 7.0f}).Int(0).Int(2).Ints({3, 4});
  RecordFile& in = files_.Input(FileBuilder().Add(ShortData()).Add(one_node).bytes());
  ASSERT_EQ(Outcome::kRead, Read(in, false).outcome);
  EXPECT_EQ(6.5f, step_.time);
  EXPECT_EQ(2, step_.np);
  EXPECT_EQ(4.0f, vel_[5]);
  EXPECT_EQ(2, ndry_[1]);
  EXPECT_EQ(1, step_.ne);
  EXPECT_EQ(7, imat_[0]);
  ASSERT_EQ(Outcome::kRead, Read(in, false).outcome);
  EXPECT_EQ(7.0f, step_.time);
  EXPECT_EQ(1, step_.np);
  EXPECT_EQ(9.0f, vel_[0]);
  EXPECT_EQ(2, step_.ne);
  EXPECT_EQ(4, imat_[1]);
  EXPECT_EQ(Outcome::kEndOfFile, Read(in, false).outcome);
  EXPECT_EQ(Outcome::kEndOfFile, Read(in, false).outcome);
}

// A long step's elevations go to the caller's array; read as short, they are
// passed over and the next read starts at the next record.
TEST_F(Qmx2Test, ElevationsOnlyWhenLong) {
  RecordFile& in = files_.Input(FileBuilder().Add(LongData()).Add(LongData()).bytes());
  ASSERT_EQ(Outcome::kRead, Read(in, false).outcome);
  EXPECT_EQ(0.0f, elevations_[0]);
  ASSERT_EQ(Outcome::kRead, Read(in, true).outcome);
  EXPECT_EQ(98.5f, elevations_[0]);
  EXPECT_EQ(99.25f, elevations_[1]);
  EXPECT_EQ(0.0f, elevations_[2]);
  EXPECT_EQ(Outcome::kEndOfFile, Read(in, true).outcome);
}

TEST_F(Qmx2Test, ShortRecordReadAsLongIsDamaged) {
  RecordFile& in = files_.Input(FileBuilder().Add(ShortData()).Add(ShortData()).bytes());
  const ReadResult result = Read(in, true);
  EXPECT_EQ(Outcome::kDamaged, result.outcome);
  EXPECT_EQ(1, result.damage.record);
  EXPECT_EQ(0, result.damage.offset);
  EXPECT_EQ(kFewerValues, result.damage.what);
  EXPECT_EQ(7, imat_[0]);  // the values before the elevations are in
}

// A step the filter does not want gives its time and counts, nothing else.
TEST_F(Qmx2Test, StepOutsideTheFilterGivesTimeAndCountsOnly) {
  RecordFile& in = files_.Input(Framed(LongData()));
  const StepFilter window{10.0f, 20.0f, false};
  bool passed = false;
  ASSERT_EQ(Outcome::kRead, Read(in, true, window, &passed).outcome);
  EXPECT_TRUE(passed);
  EXPECT_EQ(6.5f, step_.time);
  EXPECT_EQ(2, step_.np);
  EXPECT_EQ(1, step_.ne);
  EXPECT_EQ(0.0f, vel_[0]);
  EXPECT_EQ(0, imat_[0]);
  EXPECT_EQ(0.0f, elevations_[0]);
}

// Passing a step checks it as reading it would: a negative element count
// means no element codes, and the elevations behind them must be there.
TEST_F(Qmx2Test, StepOutsideTheFilterIsCheckedLikeARead) {
  const RecordBuilder no_elevations = RecordBuilder()
                                          .Real(6.5f)
                                          .Int(2)
                                          .Reals({0.5f, -0.25f, 3.0f, 1.5f, 2.5f, 4.0f})
                                          .Ints({1, 2})
                                          .Int(-2);
  const StepFilter window{10.0f, 20.0f, false};
  bool passed = false;
  RecordFile& in = files_.Input(FileBuilder().Add(no_elevations).Add(no_elevations).bytes());
  const ReadResult read = Read(in, true);
  EXPECT_EQ(Outcome::kDamaged, read.outcome);
  EXPECT_EQ(1, read.damage.record);
  EXPECT_EQ(0, read.damage.offset);
  EXPECT_EQ(kFewerValues, read.damage.what);
  const ReadResult pass = Read(in, true, window, &passed);
  EXPECT_EQ(Outcome::kDamaged, pass.outcome);
  EXPECT_EQ(2, pass.damage.record);
  EXPECT_EQ(44 + 8, pass.damage.offset);  // after the first record: 11 values and 2 lengths
  EXPECT_EQ(kFewerValues, pass.damage.what);
}

// A record cut by the end of the file: where it starts and why it cannot be read.
TEST_F(Qmx2Test, StepCutByTheEndOfTheFileIsDamaged) {
  FileBuilder file = FileBuilder().Add(ShortData()).Add(LongData());
  file.TruncateBy(6);
  RecordFile& in = files_.Input(file.bytes());
  ASSERT_EQ(Outcome::kRead, Read(in, false).outcome);
  const ReadResult result = Read(in, true);
  EXPECT_EQ(Outcome::kDamaged, result.outcome);
  EXPECT_EQ(2, result.damage.record);
  EXPECT_EQ(56, result.damage.offset);
  // 56 data bytes and a closing length of 4 claimed; 64 - 6 - 4 are left.
  EXPECT_EQ("its length of 56 bytes runs past the end of the file (54 bytes left)",
            result.damage.what);
}

// A count beyond its span is refused before any value is stored, whether the
// step is read or passed outside the filter; the record is consumed.
struct TooLargeCase {
  const char* name;
  int32_t np2, ne2;
  const char* count;
  int64_t value, limit;
};

class Qmx2TooLargeTest : public ::testing::TestWithParam<std::tuple<TooLargeCase, bool>> {};

TEST_P(Qmx2TooLargeTest, CountBeyondItsSpanIsRefusedBeforeAnythingIsStored) {
  const auto& [c, outside] = GetParam();
  float vel[6] = {-1, -1, -1, -1, -1, -1};
  int32_t ndry[2] = {-1, -1};
  int32_t imat[1] = {-1};
  float wsel[2] = {-1, -1};
  Qmx2Step step{0.0f, 0, 0, vel, ndry, imat, wsel};
  Qmx2StepData big;
  big.time = 3.0f;
  big.np2 = c.np2;
  big.ne2 = c.ne2;
  RecordFiles files;
  RecordFile& in = files.Input(FileBuilder()
                                   .Add(Qmx2StepRecord(big, true))
                                   .Add(RecordBuilder().Real(4.0f).Ints({0, 0}))
                                   .bytes());
  const StepFilter filter{0.0f, 1.0f, /*all=*/!outside};
  const ReadResult result = ReadQmx2Step(in, true, step, filter);
  EXPECT_EQ(Outcome::kTooLarge, result.outcome);
  EXPECT_EQ(c.count, result.too_large.count);
  EXPECT_EQ(c.value, result.too_large.value);
  EXPECT_EQ(c.limit, result.too_large.limit);
  EXPECT_EQ(c.np2, step.np);
  EXPECT_EQ(c.ne2, step.ne);
  if (c.np2 > 2) {  // the node values stand before the element count
    for (float v : vel) EXPECT_EQ(-1.0f, v);
    EXPECT_EQ(-1, ndry[0]);
  }
  EXPECT_EQ(-1, imat[0]);
  EXPECT_EQ(-1.0f, wsel[0]);
  ASSERT_EQ(Outcome::kRead, ReadQmx2Step(in, true, step).outcome);
  EXPECT_EQ(4.0f, step.time);
}

INSTANTIATE_TEST_SUITE_P(
    Qmx2Test, Qmx2TooLargeTest,
    ::testing::Combine(::testing::Values(TooLargeCase{"Nodes", 3, 1, "NP2", 3, 2},
                                         TooLargeCase{"NodesAndElements", 3, 2, "NP2", 3, 2},
                                         TooLargeCase{"Elements", 2, 2, "NE2", 2, 1}),
                       ::testing::Bool()),
    [](const auto& tested) { return ReadOrPassedName(tested); });

}  // namespace
}  // namespace korvant
