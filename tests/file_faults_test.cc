// What the companion programs make of files that are sound, or damaged where
// only their framing shows: each program run as a user runs it, the files
// made byte by byte, the values expected worked out from the bytes.

#if defined(KORVANT_BATCH_PROGRAMS) && defined(KORVANT_HAVE_INFO)

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness.h"
#include "model_files.h"

namespace korvant {
namespace {

using Json = nlohmann::json;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();

// Three constituents of four nodes: first + 0, first + 1, ..., then `last`.
std::vector<float> Concentrations(float first, float last) {
  std::vector<float> conc;
  for (int i = 0; i < 11; ++i) conc.push_back(first + static_cast<float>(i));
  conc.push_back(last);
  return conc;
}

Qmx4StepData Transport(float time, std::vector<float> conc) {
  return {.time = time, .nqal = 3, .np4 = 4, .ne4 = 2, .conc = std::move(conc), .imat4 = {7, 8}};
}

// Long QMX2 steps of three nodes and one element, at `hours`.
FileBuilder Hydro(const std::vector<float>& hours) {
  std::vector<Qmx2StepData> steps;
  for (float h : hours) {
    Qmx2StepData step;
    step.time = h;
    step.np2 = 3;
    steps.push_back(step);
  }
  return Qmx2File(CharHeader{}, steps, /*long_steps=*/true);
}

class FileFaultsTest : public ::testing::Test {
 protected:
  RunResult Run(const std::string& program, const std::vector<std::string>& args) {
    RunResult r = box_.RunProgram(ProgramPath(program), args);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(0, r.signal) << program << ": " << r.err;
    return r;
  }
  // korvant-export and korvant-plot are built only with their libraries.
  static bool Built(const std::string& program) {
    return std::filesystem::exists(ProgramPath(program));
  }
  Sandbox box_;
};

TEST_F(FileFaultsTest, AFirstStepThatFitsTwoFamiliesIsToldByTheStepsAfterIt) {
  // Time, 3, 4, eleven values and a last 0: also a long QMX2 step of NP2 = 3
  // and NE2 = 0 (72 bytes either way). The second step, ending in 5, is not.
  box_.Write("t.bin", Qmx4File(CharHeader{}, {Transport(1, Concentrations(1, 0)),
                                              Transport(2, Concentrations(3, 5))})
                          .bytes());
  const RunResult info = Run("korvant-info", {"--json", "t.bin"});
  EXPECT_EQ(0, info.status) << info.out;
  const Json j = Json::parse(info.out);
  EXPECT_EQ("qmx4", j["kind"]);
  EXPECT_EQ(2, j["steps"]);
  EXPECT_EQ(3, j["constituents"]);
  EXPECT_EQ(nullptr, j["damage"]);

  const RunResult merge = Run("korvant-merge", {"-o", "m.bin", "t.bin"});
  EXPECT_EQ(0, merge.status) << merge.err;
  EXPECT_EQ(box_.Read("t.bin"), box_.Read("m.bin"));

  // The means of 1..11 and 3..13 are 2..12; of 0 and 5, 2.5.
  const RunResult average = Run("korvant-average", {"t.bin", "-o", "a.bin"});
  EXPECT_EQ(0, average.status) << average.err;
  const std::string step = Framed(Qmx4StepRecord(Transport(0, Concentrations(2, 2.5f))));
  const std::string averaged = box_.Read("a.bin");
  EXPECT_EQ(step, averaged.substr(averaged.size() - std::min(averaged.size(), step.size())));
}

TEST_F(FileFaultsTest, EveryProgramChecksEveryClosingLengthHeaderRecordsIncluded) {
  box_.Write("mesh.velto", VeltoFile(CharHeader{}, VeltoGeometry{}).bytes());
  Qmx2StepData three;
  three.np2 = 3;
  const size_t step_bytes = Qmx2StepRecord(three, true).size();
  FileBuilder last = Hydro({1, 2});
  last.SetLength(4, 7, /*trailing=*/true);
  FileBuilder banner = Hydro({1, 2});
  banner.SetLength(0, 7, /*trailing=*/true);
  box_.Write("last.bin", last.bytes());
  box_.Write("banner.bin", banner.bytes());
  struct File {
    std::string name, record, what;
  } files[] = {
      {"last.bin", "record 5 (",
       "its closing length 7 differs from its opening length " + std::to_string(step_bytes)},
      {"banner.bin", "record 1 (", "its closing length 7 differs from its opening length 1200"},
  };
  for (const File& f : files) {
    std::vector<std::pair<std::string, std::vector<std::string>>> runs = {
        {"korvant-info", {f.name}},
        {"korvant-merge", {"-o", "out", f.name}},
        {"korvant-average", {f.name, "-o", "out"}},
        {"korvant-export", {"mesh.velto", f.name, "--step", "2", "-o", "out.vtu"}},
        {"korvant-plot",
         {"mesh.velto", f.name, "--step", "2", "--field", "depth", "-o", "out.png"}}};
    for (const auto& [program, args] : runs) {
      if (!Built(program)) continue;
      SCOPED_TRACE(program + " " + f.name);
      const RunResult r = Run(program, args);
      EXPECT_EQ(1, r.status);
      const std::string said = r.out + r.err;
      EXPECT_NE(std::string::npos, said.find(f.record)) << said;
      EXPECT_NE(std::string::npos, said.find(f.what)) << said;
      EXPECT_FALSE(box_.Exists("out") || box_.Exists("out.vtu") || box_.Exists("out.png"));
    }
  }
}

TEST_F(FileFaultsTest, AMergeOfAQmx10RunAndAnAveragedFileIsRefused) {
  Qmx10StepData run;
  run.time = 1;
  box_.Write("run.bin", Qmx10File({run}).bytes());
  // The averaged record: the run's step without IMAT (1) and NDRY (2 values).
  FileBuilder averaged;
  averaged.Add(RecordBuilder()
                   .Real(9999)
                   .Ints({2, 1, 1, 8, 2, 0, 0, 0, 0, 0, 0, 0})
                   .Reals({0.5f, 1.5f, 3, 4, 5}));
  box_.Write("avg.bin", averaged.bytes());
  const RunResult r = Run("korvant-merge", {"-o", "out", "run.bin", "avg.bin"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(
      "korvant-merge: avg.bin: a QMX10 averaged file (one step of means, without IMAT and NDRY), "
      "but run.bin is a QMX10 file\n",
      r.err);
  EXPECT_FALSE(box_.Exists("out"));
}

TEST_F(FileFaultsTest, AStepAtInfinityIsKeptByTheRestartAwareMerge) {
  box_.Write("a.bin", Hydro({0, 1, kInf}).bytes());
  const RunResult r = Run("korvant-merge", {"--json", "-o", "m.bin", "a.bin"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(box_.Read("a.bin"), box_.Read("m.bin"));
  EXPECT_EQ(0, Json::parse(r.out)["inputs"][0]["replaced"]) << r.out;
}

TEST_F(FileFaultsTest, MessagesSayWhatTheFileIs) {
  box_.Write("mesh.velto", VeltoFile(CharHeader{}, VeltoGeometry{}).bytes());
  box_.Write("run.bin", Hydro({1, 2}).bytes());
  CharHeader old;
  old.irec = {42};  // before the title record of geometry files
  box_.Write("header.bin", CharHeaderFile(old).bytes());
  const std::string not_mesh = "run.bin: a QMX2 result file, not a VELTO geometry file";
  const std::string no_step = "header.bin: it holds a header and no time step";
  struct Case {
    std::string program;
    std::vector<std::string> args;
    std::string said;
  } cases[] = {
      {"korvant-export", {"run.bin", "run.bin", "-o", "out.vtu"}, not_mesh},
      {"korvant-plot", {"run.bin", "run.bin", "--field", "depth", "-o", "out.png"}, not_mesh},
      {"korvant-average", {"run.bin", "-o", "out", "--geometry", "run.bin"}, not_mesh},
      {"korvant-merge", {"-o", "out", "header.bin"}, no_step},
      {"korvant-average", {"header.bin", "-o", "out"}, no_step},
      {"korvant-export", {"mesh.velto", "header.bin", "-o", "out.vtu"}, no_step},
      {"korvant-info",
       {"header.bin"},
       "  kind:         not identified: a header and no time step or mesh after it\n"},
  };
  for (const Case& c : cases) {
    if (!Built(c.program)) continue;
    SCOPED_TRACE(c.program + " " + c.args.back());
    const RunResult r = Run(c.program, c.args);
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, (r.out + r.err).find(c.said)) << r.out << r.err;
  }
}

TEST_F(FileFaultsTest, InfoShowsTimesThatAreNotFinite) {
  box_.Write("a.bin", Hydro({-kInf, 0, 1, 3, kInf}).bytes());
  const RunResult text = Run("korvant-info", {"a.bin"});
  EXPECT_NE(std::string::npos, text.out.find("  time steps:   5, hours -inf to inf\n"
                                             "  step length:  1 to 2 hours\n"))
      << text.out;
  const Json j = Json::parse(Run("korvant-info", {"--json", "a.bin"}).out);
  EXPECT_EQ("-inf", j["first_time"]);
  EXPECT_EQ("inf", j["last_time"]);
  EXPECT_EQ(1.0, j["min_step"]);
  EXPECT_EQ(2.0, j["max_step"]);
}

TEST_F(FileFaultsTest, AverageShowsNoExtremesWhereNoValueWasSeen) {
  // Two nodes, two degrees of freedom; node 2 of the first is never a number.
  std::vector<Qmx10StepData> steps(2);
  for (int i = 0; i < 2; ++i) {
    steps[i].time = static_cast<float>(i);
    steps[i].ndf = 2;
    steps[i].icnt = {2, 2, 0, 0, 0, 0, 0, 0};
    const float twice = static_cast<float>(2 * i);
    steps[i].vdof = {{1.0f + twice, kNan}, {-1, -3.0f - twice}};
  }
  box_.Write("t.bin", Qmx10File(steps).bytes());
  const RunResult r = Run("korvant-average", {"t.bin", "-o", "a.bin", "--csv", "a.csv", "--json"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(
      "node,x_velocity_mean [ft s-1],x_velocity_min [ft s-1],x_velocity_max [ft s-1],"
      "y_velocity_mean [ft s-1],y_velocity_min [ft s-1],y_velocity_max [ft s-1]\n"
      "1,2,1,3,-1,-1,-1\n"
      "2,nan,nan,nan,-4,-5,-3\n",
      box_.Read("a.csv"));
  EXPECT_EQ(Json::parse(R"([{"field": "x_velocity", "units": "ft s-1",
                             "max": 3, "max_node": 1, "min": 1, "min_node": 1},
                            {"field": "y_velocity", "units": "ft s-1",
                             "max": -1, "max_node": 1, "min": -5, "min_node": 2}])"),
            Json::parse(r.out)["extremes"]);
}

TEST_F(FileFaultsTest, AverageMemoryIsNotSizedByEntriesThatSizeNoRow) {
  // One node and one degree of freedom; ICNT(3) sizes five million RDAT3
  // values (20 MB), which no row of values takes. Six rows of that length
  // and their averages would take 240 MB more than a file without them.
  Qmx10StepData step;
  step.np = 1;
  step.icnt = {1, 0, 5'000'000, 0, 0, 0, 0, 0};
  box_.Write("big.bin", Qmx10File({step}).bytes());
  step.icnt[2] = 0;
  box_.Write("small.bin", Qmx10File({step}).bytes());
  // A run's peak counts the test's own memory at its start: both runs come
  // after both files are made.
  const RunResult small = Run("korvant-average", {"small.bin", "-o", "s.bin"});
  const RunResult big = Run("korvant-average", {"big.bin", "-o", "b.bin"});
  EXPECT_EQ(0, small.status) << small.err;
  EXPECT_EQ(0, big.status) << big.err;
  EXPECT_LT(big.max_rss_kb, small.max_rss_kb + 64 * 1024) << "against " << small.max_rss_kb;
}

}  // namespace
}  // namespace korvant

#endif
