// What the readers of the three step formats share, tested once for each.

#include <gtest/gtest.h>

#include <string>

#include "formats/qmx10.h"
#include "formats/qmx2.h"
#include "formats/qmx4.h"
#include "tests/model_files.h"
#include "tests/record_files.h"

namespace korvant {
namespace {

struct StepFormat {
  const char* name;
  RecordBuilder (*step)(float time);  // a whole step
  RecordBuilder (*head)(float time);  // only what a time read takes
  // The time read; *count is the count it takes with the time, if any.
  ReadResult (*read_time)(RecordFile& in, float* time, int32_t* count);
  int32_t count;  // that count in `step`
};

const StepFormat kFormats[] = {
    {"Qmx2",
     [](float time) {
       Qmx2StepData step;
       step.time = time;
       return Qmx2StepRecord(step, /*long_step=*/true);
     },
     [](float time) { return RecordBuilder().Real(time); },
     [](RecordFile& in, float* time, int32_t*) { return ReadQmx2Time(in, time); }, 0},
    {"Qmx4",
     [](float time) {
       return Qmx4StepRecord({time, 3, 2, 1, {}, {}});
     },
     [](float time) { return RecordBuilder().Real(time).Int(2); },
     [](RecordFile& in, float* time, int32_t* nqal) { return ReadQmx4Time(in, time, nqal); }, 3},
    {"Qmx10",
     [](float time) {
       Qmx10StepData step;
       step.time = time;
       return Qmx10StepRecord(step);
     },
     [](float time) { return RecordBuilder().Real(time).Int(2); },
     [](RecordFile& in, float* time, int32_t* np) { return ReadQmx10Time(in, time, np); }, 2},
};

class StepFormatTest : public ::testing::TestWithParam<StepFormat> {};

// A time read takes the time (and a count) and passes the rest of the
// record; a record that holds no more than that reads as well.
TEST_P(StepFormatTest, TimeOnlyReadTakesTheTimeAndPassesTheRest) {
  const StepFormat& f = GetParam();
  RecordFiles files;
  RecordFile& in = files.Input(FileBuilder().Add(f.step(6.5f)).Add(f.head(8.25f)).bytes());
  float time = 0.0f;
  int32_t count = 0;
  ASSERT_EQ(Outcome::kRead, f.read_time(in, &time, &count).outcome);
  EXPECT_EQ(6.5f, time);
  EXPECT_EQ(f.count, count);
  ASSERT_EQ(Outcome::kRead, f.read_time(in, &time, &count).outcome);
  EXPECT_EQ(8.25f, time);
  EXPECT_EQ(Outcome::kEndOfFile, f.read_time(in, &time, &count).outcome);
}

INSTANTIATE_TEST_SUITE_P(Formats, StepFormatTest, ::testing::ValuesIn(kFormats),
                         [](const auto& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace korvant
