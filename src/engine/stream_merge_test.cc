#include "engine/stream_merge.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/harness.h"
#include "tests/model_files.h"

namespace korvant {
namespace {

Qmx10StepData Step(float time) {
  Qmx10StepData step;
  step.time = time;
  step.vdof = {{time, -time}};
  return step;
}

FileBuilder Steps(const std::vector<float>& times) {
  std::vector<Qmx10StepData> steps;
  for (float t : times) steps.push_back(Step(t));
  return Qmx10File(steps);
}

class StreamMergeTest : public ::testing::Test {
 protected:
  MergeInput In(const std::string& name, const FileBuilder& file) {
    box_.Write(name, file.bytes());
    return MergeInput{box_.Path(name), std::nullopt, std::nullopt};
  }

  // Merges into "out" (opened with `flags`); the merged bytes, or the error.
  std::string Merge(std::vector<MergeInput> inputs, bool keep_all = false,
                    int flags = O_WRONLY | O_CREAT | O_TRUNC) {
    StreamMerge merge(std::move(inputs), keep_all);
    if (!merge.Check()) return "refused: " + merge.report().error;
    const int fd = ::open(box_.Path("out").c_str(), flags, 0644);
    const bool written = merge.Write(fd);
    ::close(fd);
    report_ = merge.report();
    return written ? box_.Read("out") : "failed: " + merge.report().error;
  }

  Sandbox box_;
  MergeReport report_;
};

TEST_F(StreamMergeTest, StepsOfAFileThatGoesBackReplaceItsOwnLaterSteps) {
  // A restart written into the same file: 3 and 4 give way to 2.5 and 3.5.
  const std::string merged = Merge({In("a", Steps({1, 2, 3, 4, 2.5f, 3.5f, 5}))});
  EXPECT_EQ(Steps({1, 2, 2.5f, 3.5f, 5}).bytes(), merged);
  EXPECT_EQ(7, report_.inputs[0].selected);
  EXPECT_EQ(5, report_.inputs[0].kept);
  EXPECT_EQ(2, report_.inputs[0].replaced);
}

TEST_F(StreamMergeTest, AReplacedStepCountsForTheFirstLaterInputThatReachesBackToIt) {
  // a 1..10; b from 8 replaces a's 8, 9, 10; c from 5 replaces a's 5, 6, 7
  // and all of b.
  const std::string merged = Merge({In("a", Steps({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})),
                                    In("b", Steps({8, 9, 10, 11, 12})), In("c", Steps({5, 6}))});
  EXPECT_EQ(Steps({1, 2, 3, 4, 5, 6}).bytes(), merged);
  ASSERT_EQ(3u, report_.inputs.size());
  EXPECT_EQ(4, report_.inputs[0].kept);
  EXPECT_EQ(0, report_.inputs[0].replaced);
  EXPECT_EQ(0, report_.inputs[1].kept);
  EXPECT_EQ(3, report_.inputs[1].replaced);
  EXPECT_EQ(2, report_.inputs[2].kept);
  EXPECT_EQ(8, report_.inputs[2].replaced);
  EXPECT_EQ(4.0f, report_.inputs[0].last_hour);
  EXPECT_FALSE(report_.inputs[1].first_hour);
  EXPECT_EQ(6, report_.steps);
  EXPECT_EQ(1.0f, report_.first_hour);
  EXPECT_EQ(6.0f, report_.last_hour);
}

TEST_F(StreamMergeTest, KeepAllCopiesEverySelectedStepInOrder) {
  MergeInput b = In("b", Steps({2, 3, 4}));
  b.to = 3.0f;
  EXPECT_EQ(Steps({1, 2, 3, 2, 3}).bytes(),
            Merge({In("a", Steps({1, 2, 3})), b}, /*keep_all=*/true));
  EXPECT_EQ(0, report_.inputs[1].replaced);
}

TEST_F(StreamMergeTest, AnOutputTheKernelWillNotCopyIntoIsWrittenThroughMemory) {
  // copy_file_range refuses an output opened for appending.
  const std::string merged = Merge({In("a", Steps({1, 2})), In("b", Steps({3}))}, false,
                                   O_WRONLY | O_CREAT | O_TRUNC | O_APPEND);
  EXPECT_EQ(Steps({1, 2, 3}).bytes(), merged);
  EXPECT_FALSE(report_.copied_in_kernel);
  EXPECT_EQ(static_cast<int64_t>(merged.size()), report_.bytes);
}

TEST_F(StreamMergeTest, RefusalsNameTheFileAndTheFault) {
  FileBuilder wrong_trailer = Steps({1, 2});
  wrong_trailer.SetLength(1, 4, /*trailing=*/true);
  FileBuilder cut = Steps({1, 2});
  cut.TruncateBy(6);
  Qmx10StepData big = Step(5);
  big.np = 3;
  big.icnt[0] = 3;
  big.vdof = {{1, 2, 3}};
  const std::string a = box_.Path("a");
  struct Case {
    const char* name;
    FileBuilder file;
    std::string error;
  } cases[] = {
      {"trailer", wrong_trailer,
       ": record 2 (byte 92): its closing length 4 differs from its opening length 84"},
      {"cut", cut,
       ": record 2 (byte 92): its length of 84 bytes runs past the end of the file (82 bytes "
       "left)"},
      {"mesh", Qmx10File({big}),
       ": the step at hour 5 has 3 nodes and 1 elements, but the steps of " + a +
           " have 2 nodes and 1 elements"},
      {"family", Qmx4File(CharHeader{}, {Qmx4StepData{}}),
       ": a QMX4 file, but " + a + " is a QMX10 file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ("refused: " + box_.Path(c.name) + c.error,
              Merge({In("a", Steps({1})), In(c.name, c.file)}));
  }
  MergeInput late = In("late", Steps({1}));
  late.from = 2.0f;
  EXPECT_EQ("refused: no time step lies in the windows given", Merge({late}));
}

}  // namespace
}  // namespace korvant
