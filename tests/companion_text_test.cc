// The companion programs' text as a user meets it: options taken exactly or
// refused, counts of one in the singular, and names and titles that are not
// UTF-8 shown with U+FFFD in place of their stray bytes, never a failure.

#if defined(KORVANT_BATCH_PROGRAMS) && defined(KORVANT_HAVE_INFO)

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness.h"
#include "model_files.h"

namespace korvant {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";
const std::string kStrayName = "b\xE9.bin";  // Latin-1, as an older system names files

// One node and one element: u, v, depth 1, 2, 3, the water surface 101.
FileBuilder OneNode(const std::vector<float>& hours, const std::string& title) {
  std::vector<Qmx2StepData> steps;
  for (float h : hours) {
    steps.push_back(
        {.time = h, .np2 = 1, .ne2 = 1, .vel = {1, 2, 3}, .ndry = {1}, .imat = {4}, .wsel = {101}});
  }
  CharHeader header;
  header.irec = {42};
  header.title = title;
  return Qmx2File(header, steps, /*long_steps=*/true);
}

class CompanionTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box_.Write("a.bin", OneNode({1, 2}, "A RUN").bytes());
    box_.Write(kStrayName, OneNode({2}, "BA\xE9 RUN").bytes());
  }
  Sandbox box_;
};

TEST_F(CompanionTextTest, TextReportsSayOneInTheSingularAndReplaceStrayBytes) {
  struct Case {
    const char* program;
    std::vector<std::string> args;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      // b's step at hour 2 replaces a's: a keeps hour 1.
      {"korvant-merge",
       {"-o", "out\xE9.bin", "a.bin", kStrayName},
       {"out" + kFffd +
            ".bin: 2 steps, hours 1 to 2 (QMX2, character header, long steps, "
            "1 node, 1 element)",
        "  a.bin: 2 steps, 2 in the window, 1 kept (hours 1 to 1)",
        "  b" + kFffd +
            ".bin: 1 step, 1 in the window, 1 kept (hours 2 to 2), replaced 1 "
            "earlier step"}},
      {"korvant-average",
       {kStrayName, "-o", "mean\xE9.bin", "--last", "1"},
       {"mean" + kFffd + ".bin: the mean of 1 step, hours 2 to 2 (QMX2, 1 node, 1 element)",
        "  b" + kFffd +
            ".bin: 1 step; window hours 2 to 2 (the last 1 step); sums in double precision"}},
      // Header records 1 to 3, the step record 4.
      {"korvant-info",
       {kStrayName},
       {"b" + kFffd + ".bin",
        "  kind:         QMX2, character header, long steps (with elevations)",
        "  version:      IREC(1) = 42", "  title:        BA" + kFffd + " RUN",
        "  mesh:         1 node, 1 element", "  time steps:   1, hours 2 to 2",
        "  500 limit:    within the 500 time steps the console program korvant looks at",
        "  records:      byte order: little-endian; record lengths: 4 bytes",
        "  framing:      sound to the end (4 records)"}},
  };
  for (const Case& c : cases) {
    const RunResult run = box_.RunProgram(ProgramPath(c.program), c.args);
    EXPECT_EQ(0, run.status) << c.program << ": " << run.err;
    EXPECT_EQ("", run.err);
    const std::string want = JoinLines(c.lines);
    EXPECT_EQ(want, run.out) << c.program << FirstDifference(want, run.out);
  }
}

TEST_F(CompanionTextTest, JsonReportsReplaceStrayBytesAndSucceed) {
  struct Case {
    const char* program;
    std::vector<std::string> args;
    const char* key;  // a name the report holds
    std::string value;
  };
  const Case cases[] = {
      {"korvant-merge", {"--json", "-o", "m\xE9.bin", kStrayName}, "output", "m" + kFffd + ".bin"},
      {"korvant-average",
       {"--json", kStrayName, "-o", "mean.bin", "--table", "t\xE9.txt"},
       "input",
       "b" + kFffd + ".bin"},
      {"korvant-info", {"--json", kStrayName}, "title", "BA" + kFffd + " RUN"},
  };
  for (const Case& c : cases) {
    const RunResult run = box_.RunProgram(ProgramPath(c.program), c.args);
    EXPECT_EQ(0, run.status) << c.program << ": " << run.err;
    EXPECT_EQ("", run.err);
    const auto report = nlohmann::json::parse(run.out, nullptr, /*allow_exceptions=*/false);
    ASSERT_TRUE(report.is_object()) << c.program << ": " << run.out;
    EXPECT_EQ(c.value, report[c.key]) << c.program;
  }
  EXPECT_TRUE(box_.Exists("m\xE9.bin"));
  EXPECT_TRUE(box_.Exists("t\xE9.txt"));
}

TEST_F(CompanionTextTest, NumbersAreTakenExactlyOrRefusedAsUsageErrors) {
  box_.Write("c.bin", OneNode({0, 1}, "C RUN").bytes());
  struct Case {
    const char* program;
    std::vector<std::string> args;
    int status;
    std::string out_part;  // of stdout, when the run succeeds
    std::string err;
  };
  const std::string largest = "9223372036854775807";  // 2^63 - 1
  const Case cases[] = {
      // 1e-40 is below the normal floats: taken as the nearest float, above hour 0.
      {"korvant-merge",
       {"-o", "m.bin", "--from", "1e-40", "c.bin"},
       0,
       ": 1 step, hours 1 to 1",
       ""},
      {"korvant-average",
       {"c.bin", "-o", "mean2.bin", "--from", "1e-40"},
       0,
       "window hours 1e-40 to 1;",
       ""},
      {"korvant-average",
       {"c.bin", "-o", "x.bin", "--datum", "nan"},
       2,
       "",
       "korvant-average: --datum nan: not a finite number of feet\n"},
      {"korvant-average",
       {"c.bin", "-o", "x.bin", "--datum", "-inf"},
       2,
       "",
       "korvant-average: --datum -inf: not a finite number of feet\n"},
      {"korvant-average",
       {"c.bin", "-o", "x.bin", "--datum", "1e39"},
       2,
       "",
       "korvant-average: --datum 1e39: not a finite number of feet\n"},
      {"korvant-average",
       {"c.bin", "-o", "x.bin", "--last", "99999999999999999999"},
       2,
       "",
       "korvant-average: --last 99999999999999999999: more than the largest count, " + largest +
           "\n"},
      {"korvant-average",
       {"c.bin", "-o", "x.bin", "--last", "2x"},
       2,
       "",
       "korvant-average: --last 2x: not a whole number\n"},
  };
  for (const Case& c : cases) {
    const RunResult run = box_.RunProgram(ProgramPath(c.program), c.args);
    EXPECT_EQ(c.status, run.status) << c.program << " " << c.args.back();
    EXPECT_EQ(UsageLine(c.err, c.status), run.err);
    EXPECT_NE(std::string::npos, run.out.find(c.out_part)) << run.out;
  }
  EXPECT_FALSE(box_.Exists("x.bin"));
}

}  // namespace
}  // namespace korvant

#endif  // KORVANT_BATCH_PROGRAMS && KORVANT_HAVE_INFO
