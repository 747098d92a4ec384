// Every example of examples/ run as its comments tell a user to run it, on
// the files korvant_make_example writes, and its outputs checked.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "harness.h"

namespace korvant {
namespace {

std::string Example(std::string_view name) {
  std::ifstream in(std::string(KORVANT_EXAMPLES_DIR) + "/" + std::string(name), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The data of each framed record (little-endian length, data, length).
std::vector<std::string_view> Records(std::string_view bytes) {
  std::vector<std::string_view> records;
  while (bytes.size() >= 8) {
    uint32_t length;
    std::memcpy(&length, bytes.data(), 4);
    if (bytes.size() < 8 + static_cast<size_t>(length)) break;
    records.push_back(bytes.substr(4, length));
    bytes.remove_prefix(8 + length);
  }
  EXPECT_TRUE(bytes.empty()) << "bytes after the last whole record";
  return records;
}

template <typename T>
T At(std::string_view record, size_t word) {
  T value;
  std::memcpy(&value, record.data() + 4 * word, 4);
  return value;
}

// A long QMX2 step: time, NP2, (u, v, depth) per node, NDRY, NE2, IMAT, WSEL.
struct Step {
  float time;
  int32_t np, ne;
  std::string_view record;
  float u(int k) const { return At<float>(record, 2 + 3 * k); }
  float v(int k) const { return At<float>(record, 3 + 3 * k); }
  float depth(int k) const { return At<float>(record, 4 + 3 * k); }
  int32_t ndry(int k) const { return At<int32_t>(record, 2 + 3 * np + k); }
  int32_t imat(int e) const { return At<int32_t>(record, 3 + 4 * np + e); }
  float wsel(int k) const { return At<float>(record, 3 + 4 * np + ne + k); }
};

// The steps of a QMX2 file with a character-form header (three records).
std::vector<Step> Steps(std::string_view bytes) {
  std::vector<Step> steps;
  const std::vector<std::string_view> records = Records(bytes);
  for (size_t i = 3; i < records.size(); ++i) {
    const std::string_view r = records[i];
    const int32_t np = At<int32_t>(r, 1);
    steps.push_back({At<float>(r, 0), np, At<int32_t>(r, 2 + 4 * np), r});
    EXPECT_EQ(r.size(), 4u * (3 + 5 * np + steps.back().ne)) << "step " << i - 2;
  }
  return steps;
}

std::string_view Header(std::string_view bytes) {
  const std::vector<std::string_view> records = Records(bytes);
  return bytes.substr(0, records.at(3).data() - 4 - bytes.data());
}

class ExamplesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const RunResult made = box_.RunProgram(ProgramPath("korvant_make_example"), {"."});
    ASSERT_EQ(made.status, 0) << made.err;
    whole_ = box_.Read("bay.qmx2");
  }
  // A script of examples/ with the built programs first on PATH.
  RunResult RunScript(std::string_view name) {
    const std::string bin = ProgramPath("");
    const char* path = std::getenv("PATH");
    return box_.RunProgram("/usr/bin/env",
                           {"PATH=" + bin + ":" + (path ? path : "/usr/bin:/bin"), "sh",
                            std::string(KORVANT_EXAMPLES_DIR) + "/" + std::string(name)});
  }
  static void ExpectFinished(const RunResult& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string end = " ****** Program Finished ******\n";
    EXPECT_TRUE(run.out.size() >= end.size() &&
                run.out.compare(run.out.size() - end.size(), end.size(), end) == 0)
        << run.out.substr(run.out.size() > 400 ? run.out.size() - 400 : 0);
  }

  Sandbox box_;
  std::string whole_;
};

TEST_F(ExamplesTest, TheMadeRunIsThirtyHourlyStepsAndItsTwoPiecesOverlapAtTheRestart) {
  const auto hours = [](const std::vector<Step>& steps) {
    std::vector<float> h;
    for (const Step& s : steps) h.push_back(s.time);
    return h;
  };
  std::vector<float> all, first, second;
  for (int h = 1; h <= 30; ++h) all.push_back(static_cast<float>(h));
  first.assign(all.begin(), all.begin() + 18);
  second.assign(all.begin() + 12, all.end());
  EXPECT_EQ(hours(Steps(whole_)), all);
  EXPECT_EQ(hours(Steps(box_.Read("bay_part1.qmx2"))), first);
  EXPECT_EQ(hours(Steps(box_.Read("bay_part2.qmx2"))), second);
}

// Hours 1 to 12 of the first piece and 13 to 30 of the restart, with the
// dialogue; and the two pieces whole with korvant-merge, whose restart's
// steps replace those from hour 13 on. Both give the whole run back.
TEST_F(ExamplesTest, BothMergesOfThePiecesGiveTheWholeRunBack) {
  ExpectFinished(box_.Run(Example("merge_bay.txt")));
  EXPECT_TRUE(box_.Read("bay_merged.qmx2") == whole_);

#ifdef KORVANT_BATCH_PROGRAMS
  const RunResult cli = RunScript("merge_bay.sh");
  EXPECT_EQ(cli.status, 0) << cli.err;
  EXPECT_TRUE(box_.Read("bay_merged_cli.qmx2") == whole_);
#endif
}

// The automatic window is the last 26 steps, hours 5 to 30; the averaged
// file keeps the run's header and holds one step at hour -99 with each
// node's mean velocities and depth, and its mean surface above the datum of
// 100 feet.
TEST_F(ExamplesTest, BothAveragesWriteTheMeansOfTheLast26Hours) {
  ExpectFinished(box_.Run(Example("average_bay.txt")));
  const std::string averaged = box_.Read("bay_avg.qmx2");
  EXPECT_TRUE(Header(averaged) == Header(whole_));
  const std::vector<Step> out = Steps(averaged);
  ASSERT_EQ(out.size(), 1u);
  const Step& mean = out[0];
  EXPECT_EQ(mean.time, -99.0f);

  const std::vector<Step> steps = Steps(whole_);
  ASSERT_EQ(steps.size(), 30u);
  const std::vector<Step> window(steps.end() - 26, steps.end());
  ASSERT_EQ(mean.np, 325);
  ASSERT_EQ(mean.ne, 78);
  for (int k = 0; k < mean.np; ++k) {
    double u = 0, v = 0, depth = 0, surface = 0;
    for (const Step& s : window) {
      u += s.u(k);
      v += s.v(k);
      depth += s.depth(k);
      surface += s.wsel(k);
    }
    // The dialogue sums in 32 bits: a few units in the last place of the
    // largest value (depths near 90 feet).
    constexpr double kSlack = 1e-4;
    EXPECT_NEAR(mean.u(k), u / 26, kSlack) << "node " << k + 1;
    EXPECT_NEAR(mean.v(k), v / 26, kSlack) << "node " << k + 1;
    EXPECT_NEAR(mean.depth(k), depth / 26, kSlack) << "node " << k + 1;
    EXPECT_NEAR(mean.wsel(k), surface / 26 - 100, kSlack) << "node " << k + 1;
    EXPECT_EQ(mean.ndry(k), 1) << "node " << k + 1;
  }
  for (int e = 0; e < mean.ne; ++e) EXPECT_EQ(mean.imat(e), 1) << "element " << e + 1;

#ifdef KORVANT_BATCH_PROGRAMS
  // The same job with korvant-average, summing in 32 bits: the same bytes.
  const RunResult cli = RunScript("average_bay.sh");
  EXPECT_EQ(cli.status, 0) << cli.err;
  EXPECT_TRUE(box_.Read("bay_avg_cli.qmx2") == averaged);
  // The table is the summary file's listing, which comes first in it (the
  // summary file's lines end in CR LF).
  const std::string table = box_.Read("bay_avg_table.txt");
  std::string listing = box_.Read("average_summary.txt");
  std::erase(listing, '\r');
  EXPECT_EQ("", FirstDifference(listing.substr(0, table.size()), table));
  EXPECT_NE(std::string::npos, table.find("    250.00       0.00")) << "node 2 at x 250";
  std::istringstream csv(box_.Read("bay_avg.csv"));
  std::string line;
  int rows = 0;
  while (std::getline(csv, line)) ++rows;
  EXPECT_EQ(rows, 1 + 325);
#endif
}

#if defined(KORVANT_BATCH_PROGRAMS) && defined(KORVANT_EXPORT_PROGRAMS)
// The README's commands of the examples, as a user pastes them at the top of
// a checkout (here a folder whose build/ and examples/ lead to the real
// ones), twice: each run makes a folder of its own and ends well.
TEST(ReadmeExamplesTest, RunAgainInAFolderOfTheirOwn) {
  std::ifstream in(std::string(KORVANT_EXAMPLES_DIR) + "/../README.md");
  std::string line, commands;
  bool in_examples = false;
  while (std::getline(in, line)) {
    if (line.starts_with("## ")) in_examples = line == "## Examples";
    if (in_examples && line.starts_with("    ")) commands += line.substr(4) + "\n";
  }
  ASSERT_NE(commands.find("korvant_make_example"), std::string::npos) << commands;
  Sandbox box;
  box.Link("build", ProgramPath(""));
  box.Link("examples", KORVANT_EXAMPLES_DIR);
  box.Write("readme.sh", "set -e\nexport TMPDIR=\"$PWD/runs\"\nmkdir -p runs\n" + commands);
  for (int round = 1; round <= 2; ++round) {
    const RunResult run = box.RunProgram("/bin/sh", {"readme.sh"}, "", std::chrono::seconds(60));
    EXPECT_EQ(run.status, 0) << "round " << round << ": " << run.err;
  }
  // Two folders, each with the picture the last command draws.
  int pictures = 0;
  for (const std::string& name : box.List()) {
    if (name != "runs") continue;
    for (const auto& entry : std::filesystem::directory_iterator(box.Path("runs"))) {
      pictures += std::filesystem::exists(entry.path() / "bay_speed.png");
    }
  }
  EXPECT_EQ(pictures, 2);
}
#endif

}  // namespace
}  // namespace korvant
