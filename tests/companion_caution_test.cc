// The cautions of korvant-merge, korvant-average and korvant-diff: what a successful run
// did that its user may not expect, told on stderr (with -q too) and in the
// JSON report; and korvant-average --later-wins, which keeps only the later
// step at an hour a restart repeats.

#ifdef KORVANT_BATCH_PROGRAMS

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "model_files.h"

namespace korvant {
namespace {

// QMX4 steps of two nodes and three constituents, one step an hour from
// `first` to `last`; the first constituent of node 1 is 100 * piece + hour,
// so that the mean tells which piece's step of a repeated hour was taken.
std::vector<Qmx4StepData> Piece(int first, int last, int piece) {
  std::vector<Qmx4StepData> steps;
  for (int h = first; h <= last; ++h) {
    const float hour = static_cast<float>(h);
    steps.push_back({.time = hour,
                     .nqal = 3,
                     .np4 = 2,
                     .ne4 = 1,
                     .conc = {100.0f * static_cast<float>(piece) + hour},
                     .imat4 = {}});
  }
  return steps;
}

FileBuilder Pieces(const std::vector<std::vector<Qmx4StepData>>& pieces) {
  std::vector<Qmx4StepData> steps;
  for (const auto& piece : pieces) steps.insert(steps.end(), piece.begin(), piece.end());
  return Qmx4File(CharHeader{}, steps);
}

struct Row {
  const char* name;
  const char* program;
  std::vector<std::pair<std::string, FileBuilder>> files;
  std::vector<std::string> args;
  std::vector<std::string> cautions;          // without the "korvant-NAME: caution: "
  std::optional<double> mean = std::nullopt;  // korvant-average: con1_avg of node 1
};

std::vector<Row> Rows() {
  // A restart: hours 1 to 60, then 50 to 70, then 20 to 25 (before any window
  // below, so it replaces nothing there).
  const FileBuilder restarted = Pieces({Piece(1, 60, 0), Piece(50, 70, 1), Piece(20, 25, 2)});
  const FileBuilder a = Pieces({Piece(1, 60, 0)});
  const FileBuilder b = Pieces({Piece(61, 90, 1)});
  const FileBuilder b_overlapping = Pieces({Piece(50, 70, 1)});
  const std::vector<std::string> average = {"r.bin", "-o", "out.bin", "--csv", "c.csv"};
  const auto with = [](std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  return {
      // Hours 40 to 60 of the first piece (40 + ... + 60 = 1050) and 50 to 60
      // of the second (605 + 11 * 100): 2755 over 32 steps.
      {"AverageOverRepeatedHours",
       "korvant-average",
       {{"r.bin", restarted}},
       with(average, {"--from", "40", "--to", "60"}),
       {"r.bin: 11 of the 32 steps averaged come at or before the hour of a step averaged "
        "before them, the first at hour 50; each counts in the mean as a step of its own "
        "(--later-wins keeps only the later)"},
       2755.0 / 32},
      // Hours 40 to 49 of the first piece (445), 50 to 60 of the second (1705).
      {"AverageLaterWins",
       "korvant-average",
       {{"r.bin", restarted}},
       with(average, {"--from", "40", "--to", "60", "--later-wins"}),
       {"r.bin: 11 steps of the window were left out, each replaced by a later step at or "
        "before its hour, the first at hour 50"},
       2150.0 / 21},
      // The times go back, but not inside the window: 1050 over 21 steps.
      {"AverageBackBeforeTheWindow",
       "korvant-average",
       {{"r.bin", Pieces({Piece(1, 60, 0), Piece(20, 25, 2)})}},
       with(average, {"--from", "40", "--to", "60", "--later-wins"}),
       {},
       1050.0 / 21},
      {"MergeWindowSelectsNone",
       "korvant-merge",
       {{"a.bin", a}, {"b.bin", b}},
       {"-o", "m.bin", "a.bin", "b.bin@100:200"},
       {"b.bin hours 100 to 200 gives no step: none of its 30 steps lies in its window"}},
      {"MergeOneStepOutsideTheWindow",
       "korvant-merge",
       {{"a.bin", a}, {"c.bin", Pieces({Piece(95, 95, 2)})}},
       {"-o", "m.bin", "--from", "1", "--to", "90", "a.bin", "c.bin"},
       {"c.bin hours 1 to 90 gives no step: its one step lies outside its window"}},
      // a.bin@30:45 replaces every kept step from hour 30 on: all of b.bin.
      {"MergeInputAllReplaced",
       "korvant-merge",
       {{"a.bin", a}, {"b.bin", b}},
       {"-o", "m.bin", "a.bin@1:60", "b.bin@61:90", "a.bin@30:45"},
       {"b.bin hours 61 to 90 gives no step: all 30 steps in its window, hours 61 to 90, are "
        "replaced by a later input, a.bin hours 30 to 45 (back to hour 30)"}},
      // b.bin replaces a.bin from hour 50 on, and a.bin still gives 1 to 49.
      {"MergeRestartChain",
       "korvant-merge",
       {{"a.bin", a}, {"b.bin", b_overlapping}},
       {"-o", "m.bin", "a.bin", "b.bin"},
       {}},
      // a.bin's hours 1 to 60 pair with b.bin's; its restart at hour 50 is
      // walked past, so the caution, and the 27 steps skipped, tell of it.
      {"DiffTimesGoBack",
       "korvant-diff",
       {{"a.bin", restarted}, {"b.bin", a}},
       {"a.bin", "b.bin", "-o", "d.bin"},
       {"a.bin goes back in time at hour 50; steps are paired walking forward, so merge its "
        "pieces with korvant-merge first"}},
      {"MergeKeepAllGoesBack",
       "korvant-merge",
       {{"a.bin", a}, {"b.bin", b_overlapping}},
       {"--keep-all", "-o", "m.bin", "a.bin", "b.bin"},
       {"m.bin goes back in time: its step of hour 50 (from b.bin) follows one of hour 60 (from "
        "a.bin); 11 steps in all come at or before the hour of a step before them"}},
  };
}

// The first constituent's mean at node 1, from the CSV's second line.
std::optional<double> MeanOfNodeOne(const std::string& csv) {
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);  // the column names
  if (!std::getline(lines, line) || line.rfind("1,", 0) != 0) return std::nullopt;
  return std::stod(line.substr(2, line.find(',', 2) - 2));
}

class CompanionCautionTest : public ::testing::TestWithParam<Row> {};

TEST_P(CompanionCautionTest, ToldOnStderrAndInTheJsonReport) {
  const Row& row = GetParam();
  std::string lines;
  for (const std::string& text : row.cautions) {
    lines += std::string(row.program) + ": caution: " + text + "\n";
  }
  for (const bool json : {false, true}) {
    Sandbox box;
    for (const auto& [name, file] : row.files) box.Write(name, file.bytes());
    std::vector<std::string> args = row.args;
    args.push_back(json ? "--json" : "-q");
    const RunResult run = box.RunProgram(ProgramPath(row.program), args);
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(lines, run.err);
    if (json) {
      EXPECT_EQ(nlohmann::json(row.cautions), nlohmann::json::parse(run.out).at("cautions"));
    } else {
      EXPECT_EQ("", run.out);  // -q silences the report, not the cautions
    }
    if (row.mean) {
      const std::optional<double> mean = MeanOfNodeOne(box.Read("c.csv"));
      ASSERT_TRUE(mean) << box.Read("c.csv");
      EXPECT_FLOAT_EQ(static_cast<float>(*row.mean), static_cast<float>(*mean));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CompanionCautionTest, ::testing::ValuesIn(Rows()),
                         [](const auto& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace korvant

#endif  // KORVANT_BATCH_PROGRAMS
