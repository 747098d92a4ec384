#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "dialogue/family_reads.h"
#include "dialogue/session.h"
#include "io/run_aborted.h"
#include "tests/harness.h"
#include "tests/model_files.h"

namespace korvant {
namespace {

// The dialogue's answer to a QMX2 step beyond its blocks: the over-run report
// and the stop, with nothing stored beyond the blocks.
class HydroReadsTest : public ::testing::Test {
 protected:
  HydroReadsTest() : s_(in_, out_) {}
  ~HydroReadsTest() override { s_.unit(50).Close(); }

  RecordFile& Input(const std::string& bytes) {
    box_.Write("in.bin", bytes);
    s_.unit(50).OpenExisting(50, box_.Path("in.bin"));
    return s_.unit(50);
  }
  std::string Console() {
    s_.out().Flush();
    return out_.str();
  }

  Sandbox box_;
  std::istringstream in_;
  std::ostringstream out_;
  Session s_;
  float elevations_[MAXNODE] = {};
};

TEST_F(HydroReadsTest, TooManyNodesStopBeforeAnyNodeValueIsStored) {
  RecordBuilder data;
  data.Real(1.0f).Int(MAXNODE + 1);
  data.Raw(std::string(16 * static_cast<size_t>(MAXNODE + 1), '\x01'));
  data.Int(5);
  RecordFile& in = Input(Framed(data));
  try {
    ReadHydroStep(s_, in, false, elevations_);
    ADD_FAILURE() << "the run went on";
  } catch (const RunAborted& stop) {
    EXPECT_EQ(1, stop.status);
    EXPECT_EQ("", stop.diagnostic);
  }
  EXPECT_EQ(0.0f, s_.blkr2.VEL[0]);
  EXPECT_EQ(0, s_.blkr2.NDRY[0]);
  EXPECT_EQ(
      " ========== ARRAY OVER-RUN OCCURING ============\n"
      " ==== JUST read QMX2 with=           5       60001 Elem-Nodes\n"
      " ==== Code dimensions are=       20000       60000  FIX IT!\n"
      " ========== Array over-Run STOP Now ============\n",
      Console());
}

TEST_F(HydroReadsTest, TooManyElementsStopBeforeAnyElementValueIsStored) {
  RecordBuilder data;
  data.Real(1.0f).Int(1).Reals({1.0f, 2.0f, 3.0f}).Int(1).Int(MAXELEM + 1);
  data.Raw(std::string(4 * static_cast<size_t>(MAXELEM + 1), '\x01'));
  RecordFile& in = Input(Framed(data));
  EXPECT_THROW(ReadHydroStep(s_, in, false, elevations_), RunAborted);
  EXPECT_EQ(0, s_.blkr2.IMAT[0]);
  EXPECT_NE(std::string::npos,
            Console().find(" ==== JUST read QMX2 with=       20001           1 Elem-Nodes\n"));
}

}  // namespace
}  // namespace korvant
