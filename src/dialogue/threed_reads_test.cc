#include "dialogue/family_reads.h"

#include "dialogue/block_views.h"
#include "dialogue/session.h"
#include "formats/qmx10.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "io/run_aborted.h"

namespace korvant {
namespace {

// The reads and writes as the dialogue makes them, with the record layer's status.
ReadStatus ReadStep(Session& s, RecordFile& in, int32_t* ncnt) {
  return ReadThreedStep(s, in, ncnt).status();
}
ReadStatus ReadTime(RecordFile& in, float* time, int32_t* np) {
  return ReadQmx10Time(in, time, np).status();
}
void WriteStep(Session& s, RecordFile& out, int32_t ncnt) {
  WriteQmx10Step(out, ThreedStepOf(s, ncnt));
}
void WriteAverage(Session& s, RecordFile& out, int32_t ncnt, const float* dave) {
  WriteQmx10Average(out, ThreedStepOf(s, ncnt), dave);
}

// Record bytes stated value by value, little-endian, without the program's writer.
class Bytes {
 public:
  Bytes& I(int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) data_.push_back(static_cast<char>(u >> (8 * i)));
    return *this;
  }
  Bytes& R(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return I(static_cast<int32_t>(u));
  }
  Bytes& Is(std::initializer_list<int32_t> vs) {
    for (int32_t v : vs) I(v);
    return *this;
  }
  Bytes& Rs(std::initializer_list<float> vs) {
    for (float v : vs) R(v);
    return *this;
  }
  // The data framed as one record.
  std::string Framed() const {
    Bytes framed;
    framed.I(static_cast<int32_t>(data_.size()));
    framed.data_ += data_;
    framed.I(static_cast<int32_t>(data_.size()));
    return framed.data_;
  }
  const std::string& data() const { return data_; }

 private:
  std::string data_;
};

// The record of a two-node step: NP 2, NDF 1, NE 1, eight counts (2, 0, ...).
Bytes TwoNodeStep(float time) {
  Bytes b;
  b.R(time).Is({2, 1, 1, 8}).Is({2, 0, 0, 0, 0, 0, 0, 0});
  b.Rs({1.5f, 2.5f});  // VDOF row 1
  b.I(7);              // IMAT
  b.Is({0, 1});        // NDRY
  b.Rs({0.25f, 0.75f});  // RNODE
  b.R(9.5f);             // RELEM
  return b;
}

class ThreedFileTest : public ::testing::Test {
 protected:
  ThreedFileTest() : s_(answers_, screen_) {
    char pattern[] = "/tmp/threed_file_test_XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  ~ThreedFileTest() override { std::filesystem::remove_all(dir_); }

  std::string Path(const char* name) { return dir_ + "/" + name; }

  RecordFile& Input(const std::string& bytes) {
    std::ofstream(Path("in.bin"), std::ios::binary) << bytes;
    s_.unit(95).OpenExisting(95, Path("in.bin"));
    return s_.unit(95);
  }
  RecordFile& Output() {
    s_.unit(90).OpenForWriting(90, Path("out.bin"));
    return s_.unit(90);
  }
  std::string Written() {
    s_.unit(90).Close();
    std::ifstream in(Path("out.bin"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  float Vdof(int k, int n) { return s_.blkr10.VDOF[(k - 1) * MAXNODE + (n - 1)]; }

  std::istringstream answers_;
  std::ostringstream screen_;
  Session s_;
  std::string dir_;
  int32_t ncnt_ = -1;
};

TEST_F(ThreedFileTest, TwoNodeStepFillsEveryMemberAndIs84DataBytes) {
  const Bytes step = TwoNodeStep(12.5f);
  ASSERT_EQ(84u, step.data().size());
  RecordFile& in = Input(step.Framed());
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, &ncnt_));
  EXPECT_EQ(12.5f, s_.blkr10.TIME);
  EXPECT_EQ(2, s_.blkr10.NP);
  EXPECT_EQ(1, s_.blkr10.NDF);
  EXPECT_EQ(1, s_.blkr10.NE);
  EXPECT_EQ(8, ncnt_);
  EXPECT_EQ(2, s_.blkr10_sed.ICNT[0]);
  EXPECT_EQ(1.5f, Vdof(1, 1));
  EXPECT_EQ(2.5f, Vdof(1, 2));
  EXPECT_EQ(7, s_.blkr2.IMAT[0]);
  EXPECT_EQ(0, s_.blkr2.NDRY[0]);
  EXPECT_EQ(1, s_.blkr2.NDRY[1]);
  EXPECT_EQ(0.25f, s_.blkr10.RNODE[0]);
  EXPECT_EQ(0.75f, s_.blkr10.RNODE[1]);
  EXPECT_EQ(9.5f, s_.blkr10_sed.RELEM[0]);
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadStep(s_, in, &ncnt_));

  WriteStep(s_, Output(), ncnt_);
  EXPECT_EQ(step.Framed(), Written());
}

// Every item sized by its own count: six rows of three nodes, RDAT3 from the
// third count into the elevations, RDAT7 and RDAT8 from the seventh and eighth.
TEST_F(ThreedFileTest, SixDegreesOfFreedomAreStoredRowAfterRow) {
  Bytes step;
  step.R(3.0f).Is({3, 6, 2, 8}).Is({3, 3, 3, 3, 3, 3, 2, 1});
  for (int k = 1; k <= 6; ++k) step.Rs({10.0f * k + 1, 10.0f * k + 2, 10.0f * k + 3});
  step.Rs({-1.0f, -2.0f, -3.0f});  // RDAT3
  step.Is({4, 5});                 // IMAT
  step.Is({1, 2, 3});              // NDRY
  step.Rs({7.25f, 7.5f});          // RDAT7
  step.R(8.125f);                  // RDAT8
  step.Rs({0.5f, 1.0f, 1.5f});     // RNODE
  step.Rs({2.0f, 4.0f});           // RELEM
  RecordFile& in = Input(step.Framed());
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, &ncnt_));
  EXPECT_EQ(11.0f, Vdof(1, 1));
  EXPECT_EQ(13.0f, Vdof(1, 3));
  EXPECT_EQ(42.0f, Vdof(4, 2));
  EXPECT_EQ(63.0f, Vdof(6, 3));
  EXPECT_EQ(0.0f, Vdof(1, 4));
  EXPECT_EQ(-1.0f, s_.blkr2.WSEL[0]);
  EXPECT_EQ(-3.0f, s_.blkr2.WSEL[2]);
  EXPECT_EQ(5, s_.blkr2.IMAT[1]);
  EXPECT_EQ(3, s_.blkr2.NDRY[2]);
  EXPECT_EQ(7.5f, s_.blkr10_sed.RDAT7[1]);
  EXPECT_EQ(8.125f, s_.blkr10_sed.RDAT8[0]);
  EXPECT_EQ(1.5f, s_.blkr10.RNODE[2]);
  EXPECT_EQ(4.0f, s_.blkr10_sed.RELEM[1]);
  WriteStep(s_, Output(), ncnt_);
  EXPECT_EQ(step.Framed(), Written());
}

TEST_F(ThreedFileTest, NegativeCountsSizeEmptyArrays) {
  Bytes step;
  step.R(1.0f).Is({2, 2, -1, 8}).Is({2, -5, 0, 0, 0, 0, 0, 0});
  step.Rs({1.0f, 2.0f});     // row 1 only: row 2 has -5 values
  step.Is({6, 6});           // NDRY (no IMAT: NE is -1)
  step.Rs({3.0f, 4.0f});     // RNODE
  RecordFile& in = Input(step.Framed());
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, &ncnt_));
  EXPECT_EQ(2.0f, Vdof(1, 2));
  EXPECT_EQ(0.0f, Vdof(2, 1));
  EXPECT_EQ(6, s_.blkr2.NDRY[1]);
  EXPECT_EQ(4.0f, s_.blkr10.RNODE[1]);
  WriteStep(s_, Output(), ncnt_);
  EXPECT_EQ(step.Framed(), Written());
}

TEST_F(ThreedFileTest, NegativeCountListTakesNoEntries) {
  Bytes step;
  step.R(1.0f).Is({1, 1, 0, -3});  // no count list: ICNT(1) is still 0
  step.I(2).R(0.5f);               // NDRY, RNODE
  RecordFile& in = Input(step.Framed());
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, &ncnt_));
  EXPECT_EQ(-3, ncnt_);
  EXPECT_EQ(2, s_.blkr2.NDRY[0]);
  EXPECT_EQ(0.5f, s_.blkr10.RNODE[0]);
  WriteStep(s_, Output(), ncnt_);
  EXPECT_EQ(step.Framed(), Written());
}

// A shorter count list leaves the later entries of the step before in place,
// and they go on sizing RDAT3, RDAT7 and RDAT8.
TEST_F(ThreedFileTest, ShortCountListKeepsEarlierEntries) {
  Bytes first;
  first.R(1.0f).Is({1, 1, 0, 8}).Is({1, 0, 2, 0, 0, 0, 1, 0});
  first.R(1.0f).Rs({5.0f, 6.0f}).I(0).R(7.0f).R(0.5f);
  Bytes second;
  second.R(2.0f).Is({1, 1, 0, 2}).Is({1, 0});
  second.R(2.0f).Rs({15.0f, 16.0f}).I(0).R(17.0f).R(1.5f);
  RecordFile& in = Input(first.Framed() + second.Framed());
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, &ncnt_));
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, &ncnt_));
  EXPECT_EQ(2, ncnt_);
  EXPECT_EQ(16.0f, s_.blkr2.WSEL[1]);
  EXPECT_EQ(17.0f, s_.blkr10_sed.RDAT7[0]);
  EXPECT_EQ(1.5f, s_.blkr10.RNODE[0]);
  WriteStep(s_, Output(), ncnt_);
  EXPECT_EQ(second.Framed(), Written());
}

TEST_F(ThreedFileTest, RecordShorterThanItsCountsIsErrorWithEarlierItemsKept) {
  Bytes step;
  step.R(4.0f).Is({3, 1, 1, 8}).Is({3, 0, 0, 0, 0, 0, 0, 0});
  step.Rs({1.0f, 2.0f, 3.0f}).I(9);  // VDOF and IMAT, then the record ends
  RecordFile& in = Input(step.Framed() + TwoNodeStep(5.0f).Framed());
  EXPECT_EQ(ReadStatus::kError, ReadStep(s_, in, &ncnt_));
  EXPECT_EQ(4.0f, s_.blkr10.TIME);
  EXPECT_EQ(3.0f, Vdof(1, 3));
  EXPECT_EQ(9, s_.blkr2.IMAT[0]);
  // The damaged record is consumed; the next one reads whole.
  EXPECT_EQ(ReadStatus::kOk, ReadStep(s_, in, &ncnt_));
  EXPECT_EQ(5.0f, s_.blkr10.TIME);
}

TEST_F(ThreedFileTest, CutAndEmptyFiles) {
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadStep(s_, Input(""), &ncnt_));
  std::string cut = TwoNodeStep(1.0f).Framed();
  cut.resize(cut.size() - 6);
  EXPECT_EQ(ReadStatus::kError, ReadStep(s_, Input(cut), &ncnt_));
  float time = 0;
  int32_t np = 0;
  EXPECT_EQ(ReadStatus::kError, ReadTime(Input(cut), &time, &np));
}

TEST_F(ThreedFileTest, TimeOnlyReadTakesTimeAndNodesAndPassesTheRest) {
  RecordFile& in = Input(TwoNodeStep(1.25f).Framed() + TwoNodeStep(2.5f).Framed());
  float time = 0;
  int32_t np = 0;
  ASSERT_EQ(ReadStatus::kOk, ReadTime(in, &time, &np));
  EXPECT_EQ(1.25f, time);
  EXPECT_EQ(2, np);
  ASSERT_EQ(ReadStatus::kOk, ReadTime(in, &time, &np));
  EXPECT_EQ(2.5f, time);
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadTime(in, &time, &np));
  EXPECT_EQ(0.0f, Vdof(1, 1));  // nothing but the two values was stored
}

TEST_F(ThreedFileTest, AveragedRecordHasFixedTimeAndNoIntegerArrays) {
  RecordFile& in = Input(TwoNodeStep(12.5f).Framed());
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, &ncnt_));
  std::vector<float> dave(static_cast<size_t>(MAXDOF) * MAXNODE, 0.0f);
  dave[0] = 3.5f;
  dave[1] = -4.5f;
  dave[2] = 99.0f;  // beyond ICNT(1): not written
  WriteAverage(s_, Output(), ncnt_, dave.data());
  Bytes want;
  want.R(9999.0f).Is({2, 1, 1, 8}).Is({2, 0, 0, 0, 0, 0, 0, 0});
  want.Rs({3.5f, -4.5f}).Rs({0.25f, 0.75f}).R(9.5f);
  EXPECT_EQ(84u - 4 * (1 + 2), want.data().size());
  EXPECT_EQ(want.Framed(), Written());
}

// ---------------------------------------------------------------------------
// Counts beyond the memory.

struct Oversize {
  const char* name;
  std::vector<int32_t> head;  // NP, NDF, NE, NCNT
  std::vector<int32_t> icnt;
  const char* line;
};

class RefuseTest : public ThreedFileTest, public ::testing::WithParamInterface<Oversize> {};

TEST_P(RefuseTest, CountBeyondItsArrayStopsBeforeAnyArrayIsFilled) {
  const Oversize& o = GetParam();
  Bytes step;
  step.R(1.0f);
  for (int32_t v : o.head) step.I(v);
  for (int32_t v : o.icnt) step.I(v);
  for (int i = 0; i < 64; ++i) step.R(77.0f);  // values that must stay unread
  RecordFile& in = Input(step.Framed());
  s_.blkr10.VDOF[0] = -1.0f;
  s_.blkr2.IMAT[0] = -1;
  try {
    ReadStep(s_, in, &ncnt_);
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
    ThreedFileTest, RefuseTest,
    ::testing::Values(
        Oversize{"NP", {60001, 1, 1, 8}, {1, 0, 0, 0, 0, 0, 0, 0},
                 " *** QMX10 file refused: NP = 60001 is more than this program's limit of 60000"},
        Oversize{"NDF", {2, 7, 1, 8}, {2, 0, 0, 0, 0, 0, 0, 0},
                 " *** QMX10 file refused: NDF = 7 is more than this program's limit of 6"},
        Oversize{"NE", {2, 1, 20001, 8}, {2, 0, 0, 0, 0, 0, 0, 0},
                 " *** QMX10 file refused: NE = 20001 is more than this program's limit of 20000"},
        Oversize{"NCNT", {2, 1, 1, 9}, {2, 0, 0, 0, 0, 0, 0, 0, 0},
                 " *** QMX10 file refused: NCNT = 9 is more than this program's limit of 8"},
        Oversize{"ICNT5", {2, 1, 1, 8}, {2, 0, 0, 0, 60001, 0, 0, 0},
                 " *** QMX10 file refused: ICNT(5) = 60001 is more than this program's limit of "
                 "60000"},
        Oversize{"ICNT1", {2, 1, 1, 8}, {2147483647, 0, 0, 0, 0, 0, 0, 0},
                 " *** QMX10 file refused: ICNT(1) = 2147483647 is more than this program's "
                 "limit of 60000"}),
    [](const ::testing::TestParamInfo<Oversize>& info) { return std::string(info.param.name); });

TEST_F(ThreedFileTest, FullSizeStepReadsAndWritesBackUnchanged) {
  Bytes step;
  step.R(1.0f).Is({MAXNODE, MAXDOF, MAXELEM, 8});
  step.Is({MAXNODE, MAXNODE, MAXNODE, MAXNODE, MAXNODE, MAXNODE, MAXNODE, MAXNODE});
  for (int k = 1; k <= MAXDOF; ++k) {
    for (int n = 1; n <= MAXNODE; ++n) step.R(static_cast<float>(k * 100000 + n));
  }
  for (int n = 0; n < MAXNODE; ++n) step.R(-static_cast<float>(n));  // RDAT3
  for (int e = 0; e < MAXELEM; ++e) step.I(e);                       // IMAT
  for (int n = 0; n < MAXNODE; ++n) step.I(n % 3);                   // NDRY
  for (int n = 0; n < 3 * MAXNODE; ++n) step.R(0.5f * n);             // RDAT7, RDAT8, RNODE
  for (int e = 0; e < MAXELEM; ++e) step.R(0.25f * e);               // RELEM
  RecordFile& in = Input(step.Framed());
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, &ncnt_));
  EXPECT_EQ(600001.0f, Vdof(6, 1));
  EXPECT_EQ(160000.0f, Vdof(1, MAXNODE));
  EXPECT_EQ(19999, s_.blkr2.IMAT[MAXELEM - 1]);
  WriteStep(s_, Output(), ncnt_);
  EXPECT_EQ(step.Framed(), Written());
}

}  // namespace
}  // namespace korvant
