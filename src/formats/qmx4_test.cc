#include "formats/qmx4.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "formats/limits.h"
#include "tests/model_files.h"
#include "tests/record_files.h"

namespace korvant {
namespace {

constexpr char kFewerValues[] = "it holds fewer values than its counts need";

// A step whose arrays hold as many constituents, nodes and elements as the
// dialogue's: constituent k of node j at conc_[k * MAXNODE + j].
class Qmx4Test : public ::testing::Test {
 protected:
  Qmx4Test() : conc_(static_cast<size_t>(MAXCON) * MAXNODE), imat_(MAXELEM) {
    step_.conc = conc_;
    step_.row = MAXNODE;
    step_.imat = imat_;
  }
  ReadResult Read(RecordFile& in) { return ReadQmx4Step(in, step_); }
  void Write(float time, int32_t nqal, int32_t np4, int32_t ne4) {
    step_.time = time;
    step_.nqal = nqal;
    step_.np = np4;
    step_.ne = ne4;
    WriteQmx4Step(files_.Output(), step_);
  }

  RecordFiles files_;
  std::vector<float> conc_;
  std::vector<int32_t> imat_;
  Qmx4Step step_;
};

TEST_F(Qmx4Test, StepOfTwoConstituentsIs44DataBytes) {
  conc_[0] = 1.5f, conc_[1] = 2.5f, conc_[2] = 3.5f;
  conc_[MAXNODE] = -1.0f, conc_[MAXNODE + 1] = -2.0f, conc_[MAXNODE + 2] = -3.0f;
  conc_[3] = 99.0f;  // beyond NP4: not written
  imat_[0] = 17;
  imat_[1] = 18;
  Write(6.25f, 2, 3, 1);
  const std::string want = Framed(RecordBuilder()
                                      .Real(6.25f)
                                      .Ints({2, 3})
                                      .Reals({1.5f, 2.5f, 3.5f, -1.0f, -2.0f, -3.0f})
                                      .Ints({1, 17}));
  EXPECT_EQ(44u + 8u, want.size());
  EXPECT_EQ(want, files_.Written());
}

TEST_F(Qmx4Test, CountsOfZeroOrLessWriteNoValues) {
  std::fill(conc_.begin(), conc_.end(), 7.0f);
  imat_[0] = 5;
  Write(1.0f, -2, 3, 0);
  EXPECT_EQ(Framed(RecordBuilder().Real(1.0f).Ints({-2, 3, 0})), files_.Written());
}

TEST_F(Qmx4Test, ConstituentsGoToTheirOwnSlots) {
  RecordFile& in = files_.Input(
      Framed(RecordBuilder().Real(3.0f).Ints({2, 3}).Reals({1, 2, 3, 4, 5, 6}).Ints({2, 8, 9})));
  ASSERT_EQ(Outcome::kRead, Read(in).outcome);
  EXPECT_EQ(3.0f, step_.time);
  EXPECT_EQ(2, step_.nqal);
  EXPECT_EQ(3, step_.np);
  EXPECT_EQ(2, step_.ne);
  EXPECT_EQ(1.0f, conc_[0]);
  EXPECT_EQ(3.0f, conc_[2]);
  EXPECT_EQ(0.0f, conc_[3]);
  EXPECT_EQ(4.0f, conc_[MAXNODE]);
  EXPECT_EQ(6.0f, conc_[MAXNODE + 2]);
  EXPECT_EQ(8, imat_[0]);
  EXPECT_EQ(9, imat_[1]);
  EXPECT_EQ(Outcome::kEndOfFile, Read(in).outcome);
}

TEST_F(Qmx4Test, NegativeCountsTakeNoConcentrations) {
  // Two negative counts must not multiply into six values.
  RecordFile& in = files_.Input(Framed(RecordBuilder().Real(1.0f).Ints({-2, -3, 1, 44})));
  ASSERT_EQ(Outcome::kRead, Read(in).outcome);
  EXPECT_EQ(1, step_.ne);
  EXPECT_EQ(44, imat_[0]);
}

TEST_F(Qmx4Test, ShortRecordKeepsWhatWasTaken) {
  RecordFile& in = files_.Input(FileBuilder()
                                    .Add(RecordBuilder().Real(2.0f).Ints({1, 4}).Reals({1, 2}))
                                    .Add(RecordBuilder().Real(3.0f).Ints({0, 0, 0}))
                                    .bytes());
  const ReadResult result = Read(in);
  EXPECT_EQ(Outcome::kDamaged, result.outcome);
  EXPECT_EQ(1, result.damage.record);
  EXPECT_EQ(0, result.damage.offset);
  EXPECT_EQ(kFewerValues, result.damage.what);
  EXPECT_EQ(2.0f, step_.time);
  EXPECT_EQ(4, step_.np);
  EXPECT_EQ(2.0f, conc_[1]);
  // The damaged record is consumed: the next read starts at the next one.
  EXPECT_EQ(Outcome::kRead, Read(in).outcome);
  EXPECT_EQ(3.0f, step_.time);
}

TEST_F(Qmx4Test, LimitsAreInclusive) {
  RecordFile& in =
      files_.Input(FileBuilder()
                       .Add(RecordBuilder()
                                .Real(1.0f)
                                .Ints({1, MAXNODE})
                                .Raw(std::string(4 * static_cast<size_t>(MAXNODE), '\0'))
                                .Int(MAXELEM)
                                .Raw(std::string(4 * static_cast<size_t>(MAXELEM), '\0')))
                       .Add(RecordBuilder().Real(2.0f).Ints({MAXCON, 0, 0}))
                       .bytes());
  EXPECT_EQ(Outcome::kRead, Read(in).outcome);
  EXPECT_EQ(Outcome::kRead, Read(in).outcome);
  EXPECT_EQ(MAXCON, step_.nqal);
}

// A count beyond its span is refused before any value is stored, whether the
// step is read or passed outside the filter; the element count behind the
// concentrations is taken for the report, and the record is consumed.
struct TooLargeCase {
  const char* name;
  int32_t nqal, np4, ne4;
  const char* count;
  int64_t value, limit;
};

class Qmx4TooLargeTest : public ::testing::TestWithParam<std::tuple<TooLargeCase, bool>> {};

TEST_P(Qmx4TooLargeTest, CountBeyondItsSpanIsRefusedBeforeAnythingIsStored) {
  const auto& [c, outside] = GetParam();
  // Two constituents of two nodes, one element.
  float conc[4] = {-1, -1, -1, -1};
  int32_t imat[1] = {-1};
  Qmx4Step step{0.0f, 0, 0, 0, conc, 2, imat};
  RecordFiles files;
  RecordFile& in = files.Input(FileBuilder()
                                   .Add(Qmx4StepRecord({3.0f, c.nqal, c.np4, c.ne4, {}, {}}))
                                   .Add(RecordBuilder().Real(4.0f).Ints({0, 0, 0}))
                                   .bytes());
  const ReadResult result = ReadQmx4Step(in, step, StepFilter{0.0f, 1.0f, /*all=*/!outside});
  EXPECT_EQ(Outcome::kTooLarge, result.outcome);
  EXPECT_EQ(c.count, result.too_large.count);
  EXPECT_EQ(c.value, result.too_large.value);
  EXPECT_EQ(c.limit, result.too_large.limit);
  EXPECT_EQ(c.np4, step.np);
  EXPECT_EQ(c.ne4, step.ne);
  if (c.nqal > 2 || c.np4 > 2) {  // the concentrations stand before the element count
    for (float v : conc) EXPECT_EQ(-1.0f, v);
  }
  EXPECT_EQ(-1, imat[0]);
  ASSERT_EQ(Outcome::kRead, ReadQmx4Step(in, step).outcome);
  EXPECT_EQ(4.0f, step.time);
}

INSTANTIATE_TEST_SUITE_P(
    Qmx4Test, Qmx4TooLargeTest,
    ::testing::Combine(::testing::Values(TooLargeCase{"Constituents", 3, 1, 1, "NQAL", 3, 2},
                                         TooLargeCase{"Nodes", 1, 3, 1, "NP4", 3, 2},
                                         TooLargeCase{"Elements", 1, 2, 2, "NE4", 2, 1}),
                       ::testing::Bool()),
    [](const auto& tested) { return ReadOrPassedName(tested); });

}  // namespace
}  // namespace korvant
