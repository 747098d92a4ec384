#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "dialogue/family_reads.h"
#include "dialogue/session.h"
#include "io/run_aborted.h"
#include "tests/harness.h"
#include "tests/model_files.h"

namespace korvant {
namespace {

// The dialogue's reads of QMX4 files into its blocks: the stop on a step
// beyond them, and the header's counts, copy and report.
class TransportReadsTest : public ::testing::Test {
 protected:
  TransportReadsTest() : s_(in_, out_) {}
  ~TransportReadsTest() override {
    s_.unit(71).Close();
    s_.unit(70).Close();
  }

  RecordFile& Input(const std::string& bytes) {
    box_.Write("in.bin", bytes);
    s_.unit(71).OpenExisting(71, box_.Path("in.bin"));
    return s_.unit(71);
  }
  std::string Written() {
    s_.unit(70).Close();
    return box_.Read("out.bin");
  }
  RecordFile& Output() {
    s_.unit(70).OpenForWriting(70, box_.Path("out.bin"));
    return s_.unit(70);
  }
  std::string Console() {
    s_.out().Flush();
    return out_.str();
  }
  // Reads one step that must be refused; returns the exit status of the stop.
  int Refused(RecordFile& in) {
    try {
      ReadTransportStep(s_, in);
    } catch (const RunAborted& stop) {
      return stop.status;
    }
    return -1;
  }

  Sandbox box_;
  std::istringstream in_;
  std::ostringstream out_;
  Session s_;
};

TEST_F(TransportReadsTest, SevenConstituentsAreRefusedWithTheElementCountBehind) {
  s_.blkr4.CONC[0] = 42.0f;
  RecordFile& in = Input(Framed(
      RecordBuilder().Real(1.0f).Ints({7, 1}).Reals({1, 2, 3, 4, 5, 6, 7}).Ints({3, 1, 1, 1})));
  EXPECT_EQ(1, Refused(in));
  EXPECT_EQ(42.0f, s_.blkr4.CONC[0]);
  EXPECT_EQ(
      " *** Array dimension over-run problem *** \n"
      " --> Maximum allowed # of nodes =       60000\n"
      " --> Your file has            1 nodes\n"
      " --> Maximum allowed # of elements =       20000\n"
      " --> Your file has            3 elements\n"
      "DIM\n",
      Console());
}

TEST_F(TransportReadsTest, TooManyNodesAreRefusedEvenWhenTheRecordIsShort) {
  s_.blkr4.NE4 = 5;  // what the report can show when the record ends early
  RecordFile& in = Input(Framed(RecordBuilder().Real(1.0f).Ints({1, MAXNODE + 1}).Reals({1, 2})));
  EXPECT_EQ(1, Refused(in));
  EXPECT_NE(std::string::npos, Console().find(" --> Your file has        60001 nodes\n"
                                              " --> Maximum allowed # of elements =       20000\n"
                                              " --> Your file has            5 elements\n"));
}

TEST_F(TransportReadsTest, TooManyElementsAreRefusedBeforeStoringThem) {
  s_.blkr4.IMAT4[0] = 9;
  RecordFile& in =
      Input(Framed(RecordBuilder().Real(1.0f).Ints({1, 1}).Real(0.5f).Ints({MAXELEM + 1, 1, 2})));
  EXPECT_EQ(1, Refused(in));
  EXPECT_EQ(9, s_.blkr4.IMAT4[0]);
  EXPECT_NE(std::string::npos, Console().find(" --> Your file has        20001 elements\nDIM\n"));
}

TEST_F(TransportReadsTest, CodedHeaderSetsTheStepCountsAndCopiesByteForByte) {
  const std::string header = FileBuilder()
                                 .Add(RecordBuilder().Ints({200, 7, 12, 4}))
                                 .Add(RecordBuilder().Ints({2, 'H', 'i'}))
                                 .Add(RecordBuilder().Ints({1, 1, 425}).Real(2.5f))
                                 .Add(RecordBuilder().Int(-3))
                                 .bytes();
  RecordFile& in = Input(header + Framed(RecordBuilder().Real(0.0f).Ints({0, 0, 0})));
  HeaderValues h;
  ASSERT_EQ(ReadStatus::kOk, ReadTransportHeader(s_, in, &h).status());
  EXPECT_EQ(12, s_.blkr4.NP4);
  EXPECT_EQ(4, s_.blkr4.NE4);
  EXPECT_EQ(0, std::memcmp("Hi", s_.dms.BANNER, 2));
  CopyTransportHeader(s_, Output(), h);
  EXPECT_EQ(header, Written());
  ReportTransportHeader(s_, h, /*leading_empty_line=*/false);
  EXPECT_EQ(
      " Just processed QMX-4 Banners AOK. \n"
      " --> Model Flag (variable MFLG)=          200\n"
      " --> Your QMX4 has a version # of:          7\n"
      " --> Your QMX4 total nodes/elements:       12       4\n"
      " --> Integer, Real, Title Records:       1    1   -3\n"
      "\n",
      Console());
}

// A character-form header carries no counts: the report shows the values held
// before, and the step counts as they stand.
TEST_F(TransportReadsTest, CharacterHeaderReportShowsWhatWasHeld) {
  std::string banner(1200, ' ');
  std::string title(77, 'T');
  RecordFile& in = Input(FileBuilder()
                             .Add(RecordBuilder().Raw(banner))
                             .Add(RecordBuilder().Int(5).Raw(std::string(39 * 4 + 40 * 4, '\0')))
                             .Add(RecordBuilder().Raw(title))
                             .bytes());
  s_.blkr4.NP4 = 8;
  s_.blkr4.NE4 = 3;
  HeaderValues h;
  h.MFLG = 11;
  ASSERT_EQ(ReadStatus::kOk, ReadTransportHeader(s_, in, &h).status());
  EXPECT_EQ(538976288, h.ITEST);
  EXPECT_EQ(5, s_.dms.IREC[0]);
  EXPECT_EQ(0, std::memcmp(title.data(), s_.dms.TITLE4, 77));
  ReportTransportHeader(s_, h, /*leading_empty_line=*/true);
  EXPECT_EQ(
      "\n Just processed QMX-4 Banners AOK. \n"
      " --> Model Flag (variable MFLG)=           11\n"
      " --> Your QMX4 has a version # of:          0\n"
      " --> Your QMX4 total nodes/elements:        8       3\n"
      " --> Integer, Real, Title Records:       0    0    0\n"
      "\n",
      Console());
}

}  // namespace
}  // namespace korvant
