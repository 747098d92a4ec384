#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "dialogue/family_reads.h"
#include "dialogue/session.h"
#include "io/run_aborted.h"
#include "tests/harness.h"
#include "tests/model_files.h"

namespace korvant {
namespace {

// The dialogue's answer to a QMX10 count beyond its blocks: one line naming
// the count and its limit, the stop, and nothing stored in the blocks.
class ThreedReadsTest : public ::testing::Test {
 protected:
  ThreedReadsTest() : s_(answers_, screen_) {}
  ~ThreedReadsTest() override { s_.unit(95).Close(); }

  RecordFile& Input(const std::string& bytes) {
    box_.Write("in.bin", bytes);
    s_.unit(95).OpenExisting(95, box_.Path("in.bin"));
    return s_.unit(95);
  }

  Sandbox box_;
  std::istringstream answers_;
  std::ostringstream screen_;
  Session s_;
  int32_t ncnt_ = -1;
};

struct Oversize {
  const char* name;
  std::vector<int32_t> head;  // NP, NDF, NE, NCNT
  std::vector<int32_t> icnt;
  const char* line;
};

class RefuseTest : public ThreedReadsTest, public ::testing::WithParamInterface<Oversize> {};

TEST_P(RefuseTest, CountBeyondItsArrayStopsBeforeAnyArrayIsFilled) {
  const Oversize& o = GetParam();
  RecordBuilder step;
  step.Real(1.0f).Ints(o.head).Ints(o.icnt);
  for (int i = 0; i < 64; ++i) step.Real(77.0f);  // values that must stay unread
  RecordFile& in = Input(Framed(step));
  s_.blkr10.VDOF[0] = -1.0f;
  s_.blkr2.IMAT[0] = -1;
  try {
    ReadThreedStep(s_, in, &ncnt_);
    FAIL() << "not refused";
  } catch (const RunAborted& abort) {
    EXPECT_EQ(1, abort.status);
    EXPECT_EQ("", abort.diagnostic);
  }
  s_.out().Flush();
  EXPECT_EQ(std::string(o.line) + "\n", screen_.str());
  EXPECT_EQ(-1.0f, s_.blkr10.VDOF[0]);
  EXPECT_EQ(-1, s_.blkr2.IMAT[0]);
}

INSTANTIATE_TEST_SUITE_P(
    ThreedReadsTest, RefuseTest,
    ::testing::Values(
        Oversize{"NP",
                 {60001, 1, 1, 8},
                 {1, 0, 0, 0, 0, 0, 0, 0},
                 " *** QMX10 file refused: NP = 60001 is more than this program's limit of 60000"},
        Oversize{"NDF",
                 {2, 7, 1, 8},
                 {2, 0, 0, 0, 0, 0, 0, 0},
                 " *** QMX10 file refused: NDF = 7 is more than this program's limit of 6"},
        Oversize{"NE",
                 {2, 1, 20001, 8},
                 {2, 0, 0, 0, 0, 0, 0, 0},
                 " *** QMX10 file refused: NE = 20001 is more than this program's limit of 20000"},
        Oversize{"NCNT",
                 {2, 1, 1, 9},
                 {2, 0, 0, 0, 0, 0, 0, 0, 0},
                 " *** QMX10 file refused: NCNT = 9 is more than this program's limit of 8"},
        Oversize{"ICNT5",
                 {2, 1, 1, 8},
                 {2, 0, 0, 0, 60001, 0, 0, 0},
                 " *** QMX10 file refused: ICNT(5) = 60001 is more than this program's limit of "
                 "60000"},
        Oversize{"ICNT1",
                 {2, 1, 1, 8},
                 {2147483647, 0, 0, 0, 0, 0, 0, 0},
                 " *** QMX10 file refused: ICNT(1) = 2147483647 is more than this program's "
                 "limit of 60000"}),
    [](const ::testing::TestParamInfo<Oversize>& tested) {
      return std::string(tested.param.name);
    });

}  // namespace
}  // namespace korvant
