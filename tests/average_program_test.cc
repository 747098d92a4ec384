// korvant-average run as a user runs it: the averaged file against the
// dialogue's, the table and CSV, the window, and what a failure leaves.

#ifdef KORVANT_BATCH_PROGRAMS

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "model_files.h"

namespace korvant {
namespace {

// A value that moves with the step and the node, so that sums, minima and
// maxima all differ from node to node.
float Wave(int hour, int node, int what) {
  return static_cast<float>((hour * 7 + node * 13 + what * 29) % 200 - 100) / 16.0f +
         0.3f * static_cast<float>(hour);
}

std::vector<float> Values(int hour, int count, int what) {
  std::vector<float> values;
  for (int k = 0; k < count; ++k) values.push_back(Wave(hour, k, what + k % 3));
  return values;
}

FileBuilder Hydro(int hours, bool integer_coded, int32_t irec1) {
  constexpr int32_t np = 5, ne = 3;
  std::vector<Qmx2StepData> steps;
  for (int h = 0; h < hours; ++h) {
    std::vector<float> vel = Values(h, 3 * np, 0);
    for (int k = 0; k < np; ++k) vel[3 * k + 2] = 4.0f + Wave(h, k, 5) / 8.0f;  // depth > 0
    std::vector<float> wsel = Values(h, np, 7);
    for (float& w : wsel) w += 100.0f;
    steps.push_back({.time = static_cast<float>(h),
                     .np2 = np,
                     .ne2 = ne,
                     .vel = vel,
                     .ndry = {1, 2, 0, 1, 2},
                     .imat = {h % 2, 2, -1},
                     .wsel = wsel});
  }
  const bool long_steps = irec1 >= 42;
  if (!integer_coded) {
    CharHeader header;
    header.irec = {irec1};
    return Qmx2File(header, steps, long_steps);
  }
  CodedHeader header;
  header.np = np;
  header.ne = ne;
  header.irec = {irec1};
  return Qmx2File(header, steps, long_steps);
}

FileBuilder Transport(int hours, int32_t nodes = 4) {
  std::vector<Qmx4StepData> steps;
  for (int h = 0; h < hours; ++h) {
    steps.push_back({.time = static_cast<float>(h),
                     .nqal = 3,
                     .np4 = nodes,
                     .ne4 = 2,
                     .conc = Values(h, 3 * nodes, 1),
                     .imat4 = {h, 7}});
  }
  return Qmx4File(CharHeader{}, steps);
}

FileBuilder Threed(int hours) {
  std::vector<Qmx10StepData> steps;
  for (int h = 0; h < hours; ++h) {
    Qmx10StepData step;
    step.time = static_cast<float>(h);
    step.np = 4;
    step.ndf = 3;
    step.ne = 2;
    step.icnt = {4, 4, 4, 0, 0, 0, 4, 0};
    step.vdof = {Values(h, 4, 0), Values(h, 4, 3), Values(h, 4, 6)};
    steps.push_back(step);
  }
  return Qmx10File(steps);
}

// The mesh of `nodes` nodes and `elements` elements, every node placed and
// with a bottom elevation of its own.
FileBuilder Mesh(int32_t nodes, int32_t elements) {
  VeltoGeometry g;
  g.np = nodes;
  g.ne = elements;
  for (int k = 0; k < nodes; ++k) {
    const float kf = static_cast<float>(k);
    g.nodes.push_back(
        {.x = 1000.0f + 37.5f * kf, .y = -250.25f + 12.0f * kf, .ao = 96.5f - 1.25f * kf});
  }
  return VeltoFile(CharHeader{}, g);
}

// A file, the dialogue's answers for its averaging and korvant-average's
// arguments for the same choices; with a mesh, the dialogue reads it as
// geo.bin and korvant-average takes it with --geometry.
struct Case {
  const char* name;
  FileBuilder file;
  std::string answers;  // after the summary file's name, from the first merge question on
  std::vector<std::string> args;
  std::optional<FileBuilder> mesh = std::nullopt;
};

std::vector<Case> Cases() {
  return {
      {"Qmx2LongWeightedGivenWindow",
       Hydro(30, false, 42),
       "N\nN\nN\nN\nY\nd.bin\nin.bin\n3\n17.5\n95\n0\nY\nN\nN\n",
       {"--from", "3", "--to", "17.5", "--datum", "95", "--weighted"}},
      {"Qmx2ShortCodedDefaultWindow",
       Hydro(30, true, 30),
       "N\nN\nN\nN\nY\nd.bin\nin.bin\n\n\n\n0\nN\nN\nN\n",
       {}},
      {"Qmx4TwoOfThreeConstituents",
       Transport(30),
       "N\nN\nN\nN\nN\nN\nY\nd.bin\nin.bin\n\n\n2\n0\n",
       {"--constituents", "2"}},
      {"Qmx10GivenWindow",
       Threed(30),
       "N\nN\nN\nN\nN\nY\nd.bin\nin.bin\n10\n20\n1\nN\n",
       {"--from", "10", "--to", "20"}},
      // Short steps take the mesh's bottom into the water surface (and a
      // character-form header gives the averaged file its elevations).
      {"Qmx2ShortWithMesh",
       Hydro(30, false, 41),
       "N\nN\nN\nY\ngeo.bin\n0\nY\nd.bin\nin.bin\n4\n20\n\n0\nN\nN\nN\n",
       {"--from", "4", "--to", "20"},
       Mesh(5, 3)},
      {"Qmx2LongCodedWithMesh",
       Hydro(30, true, 42),
       "N\nN\nN\nY\ngeo.bin\n0\nY\nd.bin\nin.bin\n\n\n\n0\nY\nN\nN\n",
       {"--weighted"},
       Mesh(5, 3)},
      {"Qmx10WithMesh",
       Threed(30),
       "N\nN\nN\nY\ngeo.bin\n0\nN\nY\nd.bin\nin.bin\n10\n20\n1\nN\n",
       {"--from", "10", "--to", "20"},
       Mesh(4, 2)},
  };
}

class AverageProgramTest : public ::testing::Test {
 protected:
  RunResult Average(std::vector<std::string> args) {
    return box_.RunProgram(ProgramPath("korvant-average"), args);
  }

  Sandbox box_;
};

class Float32SumsTest : public AverageProgramTest, public ::testing::WithParamInterface<Case> {};

TEST_P(Float32SumsTest, AveragedFileAndTableAreTheDialogues) {
  const Case& c = GetParam();
  box_.Write("in.bin", c.file.bytes());
  if (c.mesh) box_.Write("geo.bin", c.mesh->bytes());
  const RunResult dialogue = box_.Run("summary.txt\n" + c.answers);
  ASSERT_EQ(0, dialogue.status) << dialogue.out;
  std::vector<std::string> args = {"in.bin", "-o",      "out.bin",  "--float32-sums",
                                   "-q",     "--table", "table.txt"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  if (c.mesh) args.insert(args.end(), {"--geometry", "geo.bin"});
  const RunResult run = Average(args);
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("", run.out + run.err);
  EXPECT_EQ(box_.Read("d.bin"), box_.Read("out.bin"));
  // The table is the listing of the dialogue's summary file, line for line.
  std::string summary = box_.Read("summary.txt");
  std::erase(summary, '\r');
  const std::string table = box_.Read("table.txt");
  EXPECT_GT(std::count(table.begin(), table.end(), '\n'), 5);
  EXPECT_NE(std::string::npos, summary.find(table)) << table;
}

INSTANTIATE_TEST_SUITE_P(Families, Float32SumsTest, ::testing::ValuesIn(Cases()),
                         [](const auto& tested) { return std::string(tested.param.name); });

// The CSV's lines, each split at its commas.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string>& row = rows.emplace_back();
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) row.push_back(cell);
  }
  return rows;
}

TEST_F(AverageProgramTest, WindowsReportAndCsv) {
  // Concentration k of node j at hour h: 100 (k + 1) + j + h.
  std::vector<Qmx4StepData> steps;
  for (int h = 0; h < 10; ++h) {
    std::vector<float> conc;
    for (int k = 0; k < 3; ++k) {
      for (int j = 0; j < 2; ++j) conc.push_back(static_cast<float>(100 * (k + 1) + j + h));
    }
    steps.push_back(
        {.time = static_cast<float>(h), .nqal = 3, .np4 = 2, .ne4 = 1, .conc = conc, .imat4 = {}});
  }
  box_.Write("in.bin", Qmx4File(CharHeader{}, steps).bytes());
  RunResult run =
      Average({"in.bin", "-o", "out.bin", "--from", "2", "--to", "5", "--csv", "c.csv"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(JoinLines({"out.bin: the mean of 4 steps, hours 2 to 5 (QMX4, 2 nodes, 1 element, "
                       "3 constituents)",
                       "  in.bin: 10 steps; window hours 2 to 5; sums in double precision",
                       "  c.csv: the per-node table as CSV"}),
            run.out);
  // Hours 2 to 5: the means lie 3.5 above the base value, the extremes 2 and 5.
  const std::vector<std::vector<std::string>> expected = {
      {"node", "constituent_1_mean", "constituent_1_min", "constituent_1_max", "constituent_2_mean",
       "constituent_2_min", "constituent_2_max", "constituent_3_mean", "constituent_3_min",
       "constituent_3_max"},
      {"1", "103.5", "102", "105", "203.5", "202", "205", "303.5", "302", "305"},
      {"2", "104.5", "103", "106", "204.5", "203", "206", "304.5", "303", "306"}};
  EXPECT_EQ(expected, ReadCsv(box_.Read("c.csv")));

  // "-" puts the CSV on stdout, and leaves the report out.
  box_.ExpectOutput("out.bin");
  run = Average({"in.bin", "-o", "out.bin", "-f", "--from", "2", "--to", "5", "--csv", "-"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(expected, ReadCsv(run.out));

  run = Average({"in.bin", "-o", "out.bin", "-f", "--last", "3", "--json"});
  ASSERT_EQ(0, run.status) << run.err;
  const auto report = nlohmann::json::parse(run.out);
  EXPECT_EQ(7.0, report["window"]["from"]);
  EXPECT_EQ(9.0, report["window"]["to"]);
  EXPECT_EQ(3, report["averaged"]);
  EXPECT_EQ(3, report["constituents"]);
  EXPECT_EQ("double", report["sums"]);
}

TEST_F(AverageProgramTest, StatisticsWorkedOutByHand) {
  // Constituent 1 of node j at hour h (0 to 9): 100 + j + h.
  std::vector<Qmx4StepData> steps;
  for (int h = 0; h < 10; ++h) {
    steps.push_back({.time = static_cast<float>(h),
                     .nqal = 1,
                     .np4 = 2,
                     .ne4 = 1,
                     .conc = {static_cast<float>(100 + h), static_cast<float>(101 + h)},
                     .imat4 = {}});
  }
  box_.Write("in.bin", Qmx4File(CharHeader{}, steps).bytes());
  const RunResult run = Average({"in.bin", "-o", "out.bin", "--from", "2", "--to", "5", "--stats",
                                 "std,hour-of-max,hour-of-min", "--above", "constituent_1=103.5",
                                 "--below", "constituent_1=103.5", "--csv", "-"});
  ASSERT_EQ(0, run.status) << run.err;
  const std::vector<std::vector<std::string>> rows = ReadCsv(run.out);
  ASSERT_EQ(3u, rows.size()) << run.out;
  const std::vector<std::string> added(rows[0].end() - 5, rows[0].end());
  EXPECT_EQ(
      (std::vector<std::string>{
          "constituent_1_std", "constituent_1_hour_of_max [h]", "constituent_1_hour_of_min [h]",
          "constituent_1_hours_above_103.5 [h]", "constituent_1_hours_below_103.5 [h]"}),
      added);
  // Hours 2 to 5 stand for 0.5, 1, 1 and 0.5 hours (half the gap to each
  // neighbour). Node 1 holds 102 to 105: a deviation of sqrt(5/4) about the
  // mean, above 103.5 at hours 4 and 5 (1.5 hours), below it at 2 and 3
  // (1.5); node 2 holds 103 to 106: above at 3, 4, 5 (2.5), below at 2 (0.5).
  const float deviation = std::sqrt(1.25f);
  for (size_t node = 1; node <= 2; ++node) {
    const std::vector<std::string>& row = rows[node];
    EXPECT_FLOAT_EQ(deviation, std::stof(row[row.size() - 5]));
    EXPECT_EQ("5", row[row.size() - 4]);
    EXPECT_EQ("2", row[row.size() - 3]);
  }
  EXPECT_EQ((std::vector<std::string>{"1.5", "1.5"}),
            std::vector<std::string>(rows[1].end() - 2, rows[1].end()));
  EXPECT_EQ((std::vector<std::string>{"2.5", "0.5"}),
            std::vector<std::string>(rows[2].end() - 2, rows[2].end()));
}

TEST_F(AverageProgramTest, MeshGivesCoordinatesAndTheBottomOfShortSteps) {
  // Short steps of two nodes; bottoms 90 and 95.5, depths 2, 4, 9 and 1,
  // 1.5, 2. Node 1's water surface above the datum of 100 is 92, 94, 99 less
  // 100: -8, -6, -1, mean -5; node 2's -3.5, -3, -2.5, mean -3.
  const float depths[3][2] = {{2, 1}, {4, 1.5f}, {9, 2}};
  std::vector<Qmx2StepData> steps;
  for (int h = 0; h < 3; ++h) {
    steps.push_back({.time = static_cast<float>(h),
                     .vel = {1, 0.5f, depths[h][0], 1, 0.5f, depths[h][1]},
                     .ndry = {1, 1},
                     .imat = {1},
                     .wsel = {}});
  }
  CharHeader header;
  header.irec = {30};
  box_.Write("in.bin", Qmx2File(header, steps, false).bytes());
  VeltoGeometry g;
  g.np = 2;
  g.ne = 1;
  g.nodes = {{.x = 1000.5f, .y = 2000.25f, .ao = 90}, {.x = -12, .y = 7, .ao = 95.5f}};
  g.elements = {VeltoElement{.nop = {1, 2, 0, 0, 0, 0, 0, 0}}};
  box_.Write("geo.bin", VeltoFile(CharHeader{}, g).bytes());

  RunResult run = Average({"in.bin", "-o", "out.bin", "--geometry", "geo.bin", "--csv", "c.csv"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(JoinLines({"out.bin: the mean of 3 steps, hours 0 to 2 (QMX2, 2 nodes, 1 element)",
                       "  in.bin: 3 steps; window hours 0 to 2 (the last 26 steps); sums in "
                       "double precision",
                       "  geo.bin: the mesh, for each node's x, y and bottom",
                       "  c.csv: the per-node table as CSV"}),
            run.out);
  const std::vector<std::vector<std::string>> csv = ReadCsv(box_.Read("c.csv"));
  ASSERT_EQ(3u, csv.size());
  // The columns of the listing's row, in its order: the averaged file holds
  // the water surface above the datum.
  EXPECT_EQ((std::vector<std::string>{
                "node", "wet_dry", "x_velocity_mean [ft s-1]", "x_velocity_min [ft s-1]",
                "x_velocity_max [ft s-1]", "y_velocity_mean [ft s-1]", "y_velocity_min [ft s-1]",
                "y_velocity_max [ft s-1]", "water_surface_above_datum_mean [ft]",
                "water_surface_above_datum_min [ft]", "water_surface_above_datum_max [ft]",
                "x [ft]", "y [ft]", "depth_mean [ft]"}),
            csv[0]);
  EXPECT_EQ((std::vector<std::string>{"1", "1", "1", "1", "1", "0.5", "0.5", "0.5", "-5", "-8",
                                      "-1", "1000.5", "2000.25", "5"}),
            csv[1]);
  EXPECT_EQ((std::vector<std::string>{"2", "1", "1", "1", "1", "0.5", "0.5", "0.5", "-3", "-3.5",
                                      "-2.5", "-12", "7", "1.5"}),
            csv[2]);

  box_.ExpectOutput("out.bin");
  run = Average({"in.bin", "-o", "out.bin", "-f", "--geometry", "geo.bin", "--json"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("geo.bin", nlohmann::json::parse(run.out)["geometry"]);
}

TEST_F(AverageProgramTest, DoubleSumsDoNotDriftOverLongWindows) {
  // 20000 steps (the dialogue looks at 500) of one node whose value is 0.1.
  std::vector<Qmx10StepData> steps(20000);
  for (size_t h = 0; h < steps.size(); ++h) {
    steps[h].time = static_cast<float>(h);
    steps[h].np = 1;
    steps[h].icnt = {1, 0, 0, 0, 0, 0, 0, 0};
    steps[h].vdof = {{0.1f}};
  }
  box_.Write("in.bin", Qmx10File(steps).bytes());
  float sum = 0.0f;
  for (size_t h = 0; h < steps.size(); ++h) sum += 0.1f;
  const float drifted = sum / 20000.0f;
  ASSERT_NE(0.1f, drifted);  // a 32-bit sum drifts
  for (const bool float32 : {false, true}) {
    std::vector<std::string> args = {"in.bin", "-o",    "out.bin", "-f",   "-q",
                                     "--last", "20000", "--csv",   "c.csv"};
    if (float32) args.push_back("--float32-sums");
    box_.ExpectOutput("out.bin");
    box_.ExpectOutput("c.csv");
    const RunResult run = Average(args);
    ASSERT_EQ(0, run.status) << run.err;
    const std::vector<std::vector<std::string>> csv = ReadCsv(box_.Read("c.csv"));
    ASSERT_EQ(2u, csv.size());
    EXPECT_EQ((std::vector<std::string>{"node", "x_velocity_mean [ft s-1]",
                                        "x_velocity_min [ft s-1]", "x_velocity_max [ft s-1]"}),
              csv[0]);
    EXPECT_EQ("0.1", csv[1][2]);
    if (float32) {
      EXPECT_EQ(drifted, std::stof(csv[1][1]));
    } else {
      EXPECT_EQ("0.1", csv[1][1]);
    }
  }
}

TEST_F(AverageProgramTest, FailuresLeaveEveryOutputAsItWas) {
  FileBuilder cut = Transport(5);
  box_.Write("cut.bin", cut.TruncateBy(2).bytes());
  box_.Write("in.bin", Transport(5).bytes());
  box_.Write("geo3.bin", Mesh(3, 2).bytes());  // in.bin has 4 nodes
  // The last record, G2, of 4 x 4 values, is 2 bytes short.
  FileBuilder cut_mesh = Mesh(4, 2);
  box_.Write("cut_geo.bin", cut_mesh.TruncateBy(2).bytes());
  box_.Write("old_table.txt", "old table");
  struct Failure {
    std::vector<std::string> args;
    int status;
    std::string error;
  } failures[] = {
      {{"cut.bin", "-o", "out.bin", "--table", "t.txt"},
       1,
       "cut.bin: record 8 (byte " + std::to_string(cut.record_start(7)) +
           "): its length of 72 bytes runs past the end of the file (74 bytes left)"},
      {{"in.bin", "-o", "out.bin", "--table", "old_table.txt"},
       1,
       "old_table.txt exists; give --force to replace it"},
      {{"in.bin", "-o", "out.bin", "--weighted"},
       2,
       "--weighted does not apply to in.bin, a QMX4 file"},
      {{"in.bin", "-o", "out.bin", "--above", "depth"}, 2, "--above depth: not FIELD=VALUE"},
      {{"in.bin", "-o", "out.bin", "--below", "depth=1"},
       1,
       "--below depth: in.bin holds no such field; it holds constituent_1, constituent_2, "
       "constituent_3"},
      {{"in.bin", "-o", "out.bin", "--stats", "std", "--later-wins"},
       2,
       "--later-wins does not go with --stats, --above or --below"},
      {{"in.bin", "-o", "out.bin", "--from", "50", "--to", "60"},
       1,
       "in.bin: no time step lies in the window, hours 50 to 60"},
      {{"in.bin", "-o", "out.bin", "--geometry", "geo3.bin"},
       1,
       "geo3.bin has 3 nodes, but the averaged file has 4 (the last step of in.bin)"},
      {{"in.bin", "-o", "out.bin", "--geometry", "cut_geo.bin"},
       1,
       "cut_geo.bin: record 5 (byte " + std::to_string(cut_mesh.record_start(4)) +
           "): its length of 64 bytes runs past the end of the file (66 bytes left)"},
      {{"in.bin", "-o", "out.bin", "--geometry", "cut.bin"},
       1,
       "cut.bin: a QMX4 result file, not a VELTO geometry file"},
      {{"in.bin", "-o", "out.bin", "--last", "0"}, 2, ""},
      {{"in.bin", "-o", "out.bin", "--last", "3", "--from", "1"}, 2, ""},
  };
  const std::vector<std::string> before = box_.List();
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.args.back());
    const RunResult run = Average(f.args);
    EXPECT_EQ(f.status, run.status);
    if (!f.error.empty()) {
      EXPECT_EQ(UsageLine("korvant-average: " + f.error + "\n", f.status), run.err);
    }
    EXPECT_EQ(0u, run.err.rfind("korvant-average: ", 0)) << run.err;
    EXPECT_EQ(before, box_.List());
  }

  // A write cut off by a file-size limit leaves the old outputs in place.
  box_.Write("out.bin", "old average");
  const std::vector<std::string> with_old = box_.List();
  box_.Write("big.bin", Transport(3, 400).bytes());
  box_.LimitFileSize(1000);  // the averaged file is over 6000 bytes
  const RunResult run = Average({"big.bin", "-f", "-o", "out.bin", "--table", "old_table.txt"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("korvant-average: cannot write out.bin: File too large\n", run.err);
  EXPECT_EQ("old average", box_.Read("out.bin"));
  EXPECT_EQ("old table", box_.Read("old_table.txt"));
  std::vector<std::string> after = box_.List();
  std::erase(after, "big.bin");
  EXPECT_EQ(with_old, after);
}

}  // namespace
}  // namespace korvant

#endif  // KORVANT_BATCH_PROGRAMS
