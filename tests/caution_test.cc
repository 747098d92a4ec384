// The averagings' cautions on stderr: a window whose steps are out of time
// order, and a file looked at for only its first 500 steps. (The merges'
// cautions are in their transcripts.) The console never carries them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "model_files.h"

namespace korvant {
namespace {

constexpr std::string_view kMergesAndGeometry = "s.txt\nN\nN\nN\nN\n";

struct AverageFamily {
  const char* name;
  FileBuilder (*file)(const std::vector<float>& hours);
  std::string answers;  // from the first averaging question, window "0 1000"
};

// Default steps of a family at `hours`.
template <typename Step>
std::vector<Step> StepsAt(const std::vector<float>& hours) {
  std::vector<Step> steps(hours.size());
  for (size_t i = 0; i < hours.size(); ++i) steps[i].time = hours[i];
  return steps;
}

FileBuilder HydroFile(const std::vector<float>& hours) {
  CharHeader header;
  header.irec = {42};
  return Qmx2File(header, StepsAt<Qmx2StepData>(hours), true);
}

FileBuilder TransportFile(const std::vector<float>& hours) {
  return Qmx4File(CharHeader{}, StepsAt<Qmx4StepData>(hours));
}

FileBuilder ThreedFile(const std::vector<float>& hours) {
  return Qmx10File(StepsAt<Qmx10StepData>(hours));
}

std::vector<AverageFamily> Families() {
  return {
      // start, stop, datum, full prints, weighting; then no to the other two.
      {"Qmx2", HydroFile, "Y\navg.bin\nin.bin\n0\n1000\n100\n0\nN\nN\nN\n"},
      // start, stop, debug prints.
      {"Qmx10", ThreedFile, "N\nY\navg.bin\nin.bin\n0\n1000\n0\nN\n"},
      // start, stop, constituents, full prints.
      {"Qmx4", TransportFile, "N\nN\nY\navg.bin\nin.bin\n0\n1000\n1\n0\n"},
  };
}

class AverageCautionTest : public ::testing::TestWithParam<size_t> {
 protected:
  RunResult Average(const std::vector<float>& hours) {
    const AverageFamily f = Families()[GetParam()];
    Sandbox box;
    box.Write("in.bin", f.file(hours).bytes());
    RunResult r = box.Run(std::string(kMergesAndGeometry) + f.answers);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(r.out.ends_with(" ****** Program Finished ******\n"));
    EXPECT_EQ(std::string::npos, r.out.find("korvant:"));
    return r;
  }
};

TEST_P(AverageCautionTest, AWindowOutOfTimeOrderIsCautionedOnce) {
  // A restart from hour 2 within the window; hour 3 repeats later too.
  EXPECT_EQ(
      "korvant: caution: the averaging window of in.bin holds time steps out of time order "
      "(hour 2 after hour 3): the average is not over the hours its window suggests\n",
      Average({1, 2, 3, 2, 3, 3, 4}).err);
}

TEST_P(AverageCautionTest, StepsPastTheFirst500AreCautioned) {
  std::vector<float> hours;
  for (int h = 1; h <= 500; ++h) hours.push_back(static_cast<float>(h));
  EXPECT_EQ("", Average(hours).err);
  hours.push_back(501);
  EXPECT_EQ(
      "korvant: caution: an averaging looked at only the first 500 time-step records of in.bin; "
      "more records follow\n",
      Average(hours).err);
}

INSTANTIATE_TEST_SUITE_P(EveryAveraging, AverageCautionTest,
                         ::testing::Range<size_t>(0, Families().size()), [](const auto& tested) {
                           return std::string(Families()[tested.param].name);
                         });

}  // namespace
}  // namespace korvant
