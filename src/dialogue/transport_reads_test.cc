#include "dialogue/family_reads.h"

#include "dialogue/block_views.h"
#include "dialogue/session.h"
#include "formats/qmx4.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "io/run_aborted.h"
#include "io/test_bytes.h"

namespace korvant {
namespace {

namespace fs = std::filesystem;

// The reads and writes as the dialogue makes them, with the record layer's status.
ReadStatus ReadStep(Session& s, RecordFile& in) { return ReadTransportStep(s, in).status(); }
ReadStatus ReadTime(Session& s, RecordFile& in) {
  return ReadQmx4Time(in, &s.blkr4.TIME, &s.blkr4.NQAL).status();
}
void WriteStep(RecordFile& out, float time, int32_t nqal, int32_t np4, const float* conc,
               int32_t ne4, const int32_t* imat4) {
  Qmx4Step step{time, nqal, np4, ne4,
                std::span<float>(const_cast<float*>(conc), static_cast<size_t>(MAXCON) * MAXNODE),
                MAXNODE, std::span<int32_t>(const_cast<int32_t*>(imat4), MAXELEM)};
  WriteQmx4Step(out, step);
}

using test_bytes::Record;
constexpr auto I = test_bytes::Ints;
constexpr auto F = test_bytes::Reals;

class TransportFileTest : public ::testing::Test {
 protected:
  TransportFileTest() : s_(in_, out_) {
    dir_ =
        fs::temp_directory_path() /
        ("korvant_transport_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  ~TransportFileTest() override {
    s_.unit(71).Close();
    s_.unit(70).Close();
    fs::remove_all(dir_);
  }

  RecordFile& Input(const std::string& bytes) {
    const std::string path = (dir_ / "in.bin").string();
    std::ofstream(path, std::ios::binary) << bytes;
    s_.unit(71).OpenExisting(71, path);
    return s_.unit(71);
  }
  std::string Written() {
    s_.unit(70).Close();
    std::ifstream f(dir_ / "out.bin", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  RecordFile& Output() {
    s_.unit(70).OpenForWriting(70, (dir_ / "out.bin").string());
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

  std::istringstream in_;
  std::ostringstream out_;
  Session s_;
  fs::path dir_;
};

TEST_F(TransportFileTest, StepOfTwoConstituentsIs44DataBytes) {
  std::vector<float> conc(MAXCON * MAXNODE);
  conc[0] = 1.5f, conc[1] = 2.5f, conc[2] = 3.5f;
  conc[MAXNODE] = -1.0f, conc[MAXNODE + 1] = -2.0f, conc[MAXNODE + 2] = -3.0f;
  conc[3] = 99.0f;  // beyond NP4: not written
  const int32_t imat4[] = {17, 18};
  WriteStep(Output(), 6.25f, 2, 3, conc.data(), 1, imat4);
  const std::string want =
      Record(F({6.25f}) + I({2, 3}) + F({1.5f, 2.5f, 3.5f, -1.0f, -2.0f, -3.0f}) + I({1, 17}));
  EXPECT_EQ(44u + 8u, want.size());
  EXPECT_EQ(want, Written());
}

TEST_F(TransportFileTest, CountsOfZeroOrLessWriteNoValues) {
  std::vector<float> conc(MAXCON * MAXNODE, 7.0f);
  const int32_t imat4[] = {5};
  WriteStep(Output(), 1.0f, -2, 3, conc.data(), 0, imat4);
  EXPECT_EQ(Record(F({1.0f}) + I({-2, 3, 0})), Written());
}

TEST_F(TransportFileTest, ConstituentsGoToTheirOwnSlots) {
  RecordFile& in = Input(Record(F({3.0f}) + I({2, 3}) + F({1, 2, 3, 4, 5, 6}) + I({2, 8, 9})));
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in));
  const BLKR4& b = s_.blkr4;
  EXPECT_EQ(3.0f, b.TIME);
  EXPECT_EQ(2, b.NQAL);
  EXPECT_EQ(3, b.NP4);
  EXPECT_EQ(2, b.NE4);
  EXPECT_EQ(1.0f, b.CONC[0]);
  EXPECT_EQ(3.0f, b.CONC[2]);
  EXPECT_EQ(0.0f, b.CONC[3]);
  EXPECT_EQ(4.0f, b.CONC[MAXNODE]);
  EXPECT_EQ(6.0f, b.CONC[MAXNODE + 2]);
  EXPECT_EQ(8, b.IMAT4[0]);
  EXPECT_EQ(9, b.IMAT4[1]);
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadStep(s_, in));
}

TEST_F(TransportFileTest, NegativeCountsTakeNoConcentrations) {
  // Two negative counts must not multiply into six values.
  RecordFile& in = Input(Record(F({1.0f}) + I({-2, -3, 1, 44})));
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in));
  EXPECT_EQ(1, s_.blkr4.NE4);
  EXPECT_EQ(44, s_.blkr4.IMAT4[0]);
}

TEST_F(TransportFileTest, ShortRecordKeepsWhatWasTaken) {
  RecordFile& in =
      Input(Record(F({2.0f}) + I({1, 4}) + F({1, 2})) + Record(F({3.0f}) + I({0, 0, 0})));
  EXPECT_EQ(ReadStatus::kError, ReadStep(s_, in));
  EXPECT_EQ(2.0f, s_.blkr4.TIME);
  EXPECT_EQ(4, s_.blkr4.NP4);
  EXPECT_EQ(2.0f, s_.blkr4.CONC[1]);
  // The damaged record is consumed: the next read starts at the next one.
  EXPECT_EQ(ReadStatus::kOk, ReadStep(s_, in));
  EXPECT_EQ(3.0f, s_.blkr4.TIME);
}

TEST_F(TransportFileTest, LimitsAreInclusive) {
  std::string nodes(4 * static_cast<size_t>(MAXNODE), '\0');
  std::string elements(4 * static_cast<size_t>(MAXELEM), '\0');
  RecordFile& in = Input(Record(F({1.0f}) + I({1, MAXNODE}) + nodes + I({MAXELEM}) + elements) +
                         Record(F({2.0f}) + I({MAXCON, 0, 0})));
  EXPECT_EQ(ReadStatus::kOk, ReadStep(s_, in));
  EXPECT_EQ(ReadStatus::kOk, ReadStep(s_, in));
  EXPECT_EQ(MAXCON, s_.blkr4.NQAL);
}

TEST_F(TransportFileTest, SevenConstituentsAreRefusedWithTheElementCountBehind) {
  s_.blkr4.CONC[0] = 42.0f;
  RecordFile& in =
      Input(Record(F({1.0f}) + I({7, 1}) + F({1, 2, 3, 4, 5, 6, 7}) + I({3, 1, 1, 1})));
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

TEST_F(TransportFileTest, TooManyNodesAreRefusedEvenWhenTheRecordIsShort) {
  s_.blkr4.NE4 = 5;  // what the report can show when the record ends early
  RecordFile& in = Input(Record(F({1.0f}) + I({1, MAXNODE + 1}) + F({1, 2})));
  EXPECT_EQ(1, Refused(in));
  EXPECT_NE(std::string::npos, Console().find(" --> Your file has        60001 nodes\n"
                                              " --> Maximum allowed # of elements =       20000\n"
                                              " --> Your file has            5 elements\n"));
}

TEST_F(TransportFileTest, TooManyElementsAreRefusedBeforeStoringThem) {
  s_.blkr4.IMAT4[0] = 9;
  RecordFile& in = Input(Record(F({1.0f}) + I({1, 1}) + F({0.5f}) + I({MAXELEM + 1, 1, 2})));
  EXPECT_EQ(1, Refused(in));
  EXPECT_EQ(9, s_.blkr4.IMAT4[0]);
  EXPECT_NE(std::string::npos, Console().find(" --> Your file has        20001 elements\nDIM\n"));
}

TEST_F(TransportFileTest, TimeOnlyReadTakesTimeAndCountAndSkipsTheRest) {
  RecordFile& in = Input(Record(F({4.5f}) + I({3, 2}) + F({1, 2, 3, 4, 5, 6}) + I({0})) +
                         Record(F({5.5f}) + I({2})));
  ASSERT_EQ(ReadStatus::kOk, ReadTime(s_, in));
  EXPECT_EQ(4.5f, s_.blkr4.TIME);
  EXPECT_EQ(3, s_.blkr4.NQAL);
  EXPECT_EQ(0, s_.blkr4.NP4);
  EXPECT_EQ(0.0f, s_.blkr4.CONC[0]);
  ASSERT_EQ(ReadStatus::kOk, ReadTime(s_, in));
  EXPECT_EQ(5.5f, s_.blkr4.TIME);
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadTime(s_, in));
}

TEST_F(TransportFileTest, CodedHeaderSetsTheStepCountsAndCopiesByteForByte) {
  const std::string header = Record(I({200, 7, 12, 4})) + Record(I({2, 'H', 'i'})) +
                             Record(I({1, 1, 425}) + F({2.5f})) + Record(I({-3}));
  RecordFile& in = Input(header + Record(F({0.0f}) + I({0, 0, 0})));
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
TEST_F(TransportFileTest, CharacterHeaderReportShowsWhatWasHeld) {
  std::string banner(1200, ' ');
  std::string title(77, 'T');
  RecordFile& in =
      Input(Record(banner) + Record(I({5}) + std::string(39 * 4 + 40 * 4, '\0')) + Record(title));
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
