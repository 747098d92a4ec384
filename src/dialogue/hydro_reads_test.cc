#include "dialogue/family_reads.h"

#include "dialogue/block_views.h"
#include "dialogue/session.h"
#include "formats/qmx2.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>

#include "io/run_aborted.h"
#include "io/test_bytes.h"

namespace korvant {
namespace {

namespace fs = std::filesystem;

// The reads and writes as the dialogue makes them, with the record layer's status.
ReadStatus ReadStep(Session& s, RecordFile& in, bool long_step, float* elevations,
                    const StepFilter& filter = {}, bool* passed = nullptr) {
  return ReadHydroStep(s, in, long_step, elevations, filter, passed).status();
}
ReadStatus ReadTime(RecordFile& in, float* time) { return ReadQmx2Time(in, time).status(); }
void WriteStep(RecordFile& out, float time, int32_t np, const float* vel, const int32_t* ndry,
               int32_t ne, const int32_t* imat, bool long_step, const float* elevations) {
  auto span_of = [](const auto* p, int64_t n) {
    using T = std::remove_const_t<std::remove_pointer_t<decltype(p)>>;
    return std::span<T>(const_cast<T*>(p), n > 0 ? static_cast<size_t>(n) : 0);
  };
  WriteQmx2Step(out,
                Qmx2Step{time, np, ne, span_of(vel, 3 * int64_t{np}), span_of(ndry, np),
                         span_of(imat, ne), span_of(elevations, long_step ? np : 0)},
                long_step);
}

using test_bytes::Record;
constexpr auto Ints = test_bytes::Ints;
constexpr auto Reals = test_bytes::Reals;

// Two nodes and one element: time, NP2, (u, v, depth) x 2, NDRY x 2, NE2, IMAT,
// and in a long step the two elevations.
const std::string kShortData = Reals({6.5f}) + Ints({2}) +
                               Reals({0.5f, -0.25f, 3.0f, 1.5f, 2.5f, 4.0f}) + Ints({1, 2}) +
                               Ints({1}) + Ints({7});
const std::string kLongData = kShortData + Reals({98.5f, 99.25f});

class HydroFileTest : public ::testing::Test {
 protected:
  HydroFileTest() : s_(in_, out_) {
    std::string pattern = (fs::temp_directory_path() / "korvant_hydro_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
  }
  ~HydroFileTest() override {
    s_.unit(50).Close();
    s_.unit(60).Close();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  RecordFile& Input(const std::string& bytes) {
    const std::string path = (fs::path(dir_) / "in.bin").string();
    std::ofstream(path, std::ios::binary) << bytes;
    s_.unit(50).OpenExisting(50, path);
    return s_.unit(50);
  }
  RecordFile& Output() {
    s_.unit(60).OpenForWriting(60, (fs::path(dir_) / "out.bin").string());
    return s_.unit(60);
  }
  std::string Written() {
    s_.unit(60).Close();
    std::ifstream f(fs::path(dir_) / "out.bin", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  std::string Console() {
    s_.out().Flush();
    return out_.str();
  }

  std::istringstream in_;
  std::ostringstream out_;
  Session s_;
  std::string dir_;
  float elevations_[MAXNODE] = {};
};

TEST_F(HydroFileTest, WritesShortAndLongSteps) {
  const float vel[6] = {0.5f, -0.25f, 3.0f, 1.5f, 2.5f, 4.0f};
  const int32_t ndry[2] = {1, 2};
  const int32_t imat[1] = {7};
  const float wsel[2] = {98.5f, 99.25f};
  RecordFile& out = Output();
  WriteStep(out, 6.5f, 2, vel, ndry, 1, imat, /*long_step=*/false, wsel);
  WriteStep(out, 6.5f, 2, vel, ndry, 1, imat, /*long_step=*/true, wsel);
  ASSERT_EQ(48u, kShortData.size());
  ASSERT_EQ(56u, kLongData.size());
  EXPECT_EQ(Record(kShortData) + Record(kLongData), Written());
}

TEST_F(HydroFileTest, WritesEmptyArraysForZeroCounts) {
  RecordFile& out = Output();
  WriteStep(out, -99.0f, 0, nullptr, nullptr, 0, nullptr, true, nullptr);
  EXPECT_EQ(Record(Reals({-99.0f}) + Ints({0}) + Ints({0})), Written());
}

TEST_F(HydroFileTest, ReadsEachRecordWithItsOwnCounts) {
  const std::string one_node =
      Reals({7.0f}) + Ints({1}) + Reals({9.0f, 8.0f, 7.0f}) + Ints({0}) + Ints({2}) + Ints({3, 4});
  RecordFile& in = Input(Record(kShortData) + Record(one_node));
  const BLKR2& b = s_.blkr2;
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, false, elevations_));
  EXPECT_EQ(6.5f, b.TIME2);
  EXPECT_EQ(2, b.NP2);
  EXPECT_EQ(4.0f, b.VEL[5]);
  EXPECT_EQ(2, b.NDRY[1]);
  EXPECT_EQ(1, b.NE2);
  EXPECT_EQ(7, b.IMAT[0]);
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, false, elevations_));
  EXPECT_EQ(7.0f, b.TIME2);
  EXPECT_EQ(1, b.NP2);
  EXPECT_EQ(9.0f, b.VEL[0]);
  EXPECT_EQ(2, b.NE2);
  EXPECT_EQ(4, b.IMAT[1]);
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadStep(s_, in, false, elevations_));
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadStep(s_, in, false, elevations_));
}

// A long step's elevations go to the caller's array; read as short, they are
// passed over and the next read starts at the next record.
TEST_F(HydroFileTest, ElevationsOnlyWhenLong) {
  RecordFile& in = Input(Record(kLongData) + Record(kLongData));
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, false, elevations_));
  EXPECT_EQ(0.0f, elevations_[0]);
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, true, elevations_));
  EXPECT_EQ(98.5f, elevations_[0]);
  EXPECT_EQ(99.25f, elevations_[1]);
  EXPECT_EQ(0.0f, elevations_[2]);
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadStep(s_, in, true, elevations_));
}

TEST_F(HydroFileTest, ShortRecordReadAsLongIsAnError) {
  RecordFile& in = Input(Record(kShortData) + Record(kShortData));
  EXPECT_EQ(ReadStatus::kError, ReadStep(s_, in, true, elevations_));
  EXPECT_EQ(7, s_.blkr2.IMAT[0]);  // the values before the elevations are in
}

TEST_F(HydroFileTest, TimeOnlyPassesTheRestOfTheRecord) {
  const std::string second = Reals({8.25f}) + Ints({0, 0});
  RecordFile& in = Input(Record(kLongData) + Record(second));
  float time = 0.0f;
  ASSERT_EQ(ReadStatus::kOk, ReadTime(in, &time));
  EXPECT_EQ(6.5f, time);
  EXPECT_EQ(0, s_.blkr2.NP2);
  ASSERT_EQ(ReadStatus::kOk, ReadTime(in, &time));
  EXPECT_EQ(8.25f, time);
  EXPECT_EQ(ReadStatus::kEndOfFile, ReadTime(in, &time));
}

// A step the filter does not want gives its time and counts, nothing else.
TEST_F(HydroFileTest, StepOutsideTheFilterGivesTimeAndCountsOnly) {
  RecordFile& in = Input(Record(kLongData));
  const StepFilter window{10.0f, 20.0f, false};
  bool passed = false;
  ASSERT_EQ(ReadStatus::kOk, ReadStep(s_, in, true, elevations_, window, &passed));
  EXPECT_TRUE(passed);
  EXPECT_EQ(6.5f, s_.blkr2.TIME2);
  EXPECT_EQ(2, s_.blkr2.NP2);
  EXPECT_EQ(1, s_.blkr2.NE2);
  EXPECT_EQ(0.0f, s_.blkr2.VEL[0]);
  EXPECT_EQ(0, s_.blkr2.IMAT[0]);
  EXPECT_EQ(0.0f, elevations_[0]);
}

// Passing a step checks it as reading it would: a negative element count
// means no element codes, and the elevations behind them must be there.
TEST_F(HydroFileTest, StepOutsideTheFilterIsCheckedLikeARead) {
  const std::string no_elevations = Reals({6.5f}) + Ints({2}) +
                                    Reals({0.5f, -0.25f, 3.0f, 1.5f, 2.5f, 4.0f}) + Ints({1, 2}) +
                                    Ints({-2});
  const StepFilter window{10.0f, 20.0f, false};
  bool passed = false;
  RecordFile& in = Input(Record(no_elevations) + Record(no_elevations));
  EXPECT_EQ(ReadStatus::kError, ReadStep(s_, in, true, elevations_));
  EXPECT_EQ(ReadStatus::kError, ReadStep(s_, in, true, elevations_, window, &passed));
}

TEST_F(HydroFileTest, TooManyNodesStopBeforeAnyNodeValueIsStored) {
  std::string data = Reals({1.0f}) + Ints({MAXNODE + 1});
  data += std::string(16 * static_cast<size_t>(MAXNODE + 1), '\x01');
  data += Ints({5});
  RecordFile& in = Input(Record(data));
  try {
    ReadStep(s_, in, false, elevations_);
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

TEST_F(HydroFileTest, TooManyElementsStopBeforeAnyElementValueIsStored) {
  std::string data = Reals({1.0f}) + Ints({1}) + Reals({1.0f, 2.0f, 3.0f}) + Ints({1}) +
                     Ints({MAXELEM + 1}) +
                     std::string(4 * static_cast<size_t>(MAXELEM + 1), '\x01');
  RecordFile& in = Input(Record(data));
  EXPECT_THROW(ReadStep(s_, in, false, elevations_), RunAborted);
  EXPECT_EQ(0, s_.blkr2.IMAT[0]);
  EXPECT_NE(std::string::npos,
            Console().find(" ==== JUST read QMX2 with=       20001           1 Elem-Nodes\n"));
}

}  // namespace
}  // namespace korvant
