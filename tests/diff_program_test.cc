// korvant-diff: B minus A on small files whose differences are worked out by
// hand, the difference file compared byte for byte with one built from
// those values; and the pairs it refuses before writing.

#ifdef KORVANT_BATCH_PROGRAMS

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness.h"
#include "model_files.h"

namespace korvant {
namespace {

CharHeader Titled(const char* title) {
  CharHeader header;
  header.irec = {42};  // long steps: elevations
  header.title = title;
  return header;
}

Qmx2StepData Hydro(float time, std::vector<float> vel, std::vector<float> wsel,
                   std::vector<int32_t> ndry, std::vector<int32_t> imat = {7}) {
  return {.time = time,
          .np2 = 3,
          .ne2 = 1,
          .vel = std::move(vel),
          .ndry = std::move(ndry),
          .imat = std::move(imat),
          .wsel = std::move(wsel)};
}

Qmx10StepData Threed(float time, std::vector<std::vector<float>> vdof, std::vector<float> rnode) {
  Qmx10StepData step;
  step.time = time;
  step.ndf = 2;
  step.icnt = {2, 2, 0, 0, 0, 0, 0, 0};
  step.vdof = std::move(vdof);
  step.rnode = std::move(rnode);
  step.ndry = {1, 1};
  return step;
}

struct Case {
  const char* name;
  FileBuilder a, b;
  FileBuilder expected;  // B's header and codes, its fields B minus A
  std::vector<std::string> report;
};

std::vector<Case> Cases() {
  // Three nodes, u, v, depth each; every A step holds (1, 0, 2) at each node
  // and a surface of 10. A holds hours 1 to 3, B hours 2 to 4: hours 2 and 3
  // are compared, A's hour 1 and B's hour 4 skipped.
  const std::vector<float> still = {1, 0, 2, 1, 0, 2, 1, 0, 2};
  const Qmx2StepData a1 = Hydro(1, still, {10, 10, 10}, {1, 1, 1});
  const Qmx2StepData a2 = Hydro(2, still, {10, 10, 10}, {1, 1, 1});
  const Qmx2StepData a3 = Hydro(3, still, {10, 10, 10}, {1, 1, 1});
  const Qmx2StepData b2 =
      Hydro(2, {1.5f, 0, 2, 1, 0, 1.5f, 1, 0.25f, 2}, {10, 10.5f, 10}, {2, 2, 2}, {9});
  const Qmx2StepData b3 = Hydro(3, {0.5f, 0, 2, 1, 0, 2, 1, 0, 3}, {9.75f, 10, 10}, {2, 0, 2}, {9});
  const Qmx2StepData b4 = Hydro(4, still, {10, 10, 10}, {2, 2, 2}, {9});
  // Hour 2: u +0.5 at node 1, v +0.25 at node 3, depth -0.5 at node 2,
  // surface +0.5 at node 2. Hour 3: u -0.5 at node 1, depth +1 at node 3,
  // surface -0.25 at node 1. B's wet/dry and element codes throughout.
  const Qmx2StepData d2 =
      Hydro(2, {0.5f, 0, 0, 0, 0, -0.5f, 0, 0.25f, 0}, {0, 0.5f, 0}, {2, 2, 2}, {9});
  const Qmx2StepData d3 = Hydro(3, {-0.5f, 0, 0, 0, 0, 0, 0, 0, 1}, {-0.25f, 0, 0}, {2, 0, 2}, {9});

  // Two one-step QMX4 files at different hours (two averages), compared as
  // they are: constituent 1 of node 1 up 0.5, constituent 2 of node 2 down
  // 0.5.
  const Qmx4StepData ta{
      .time = 5, .nqal = 2, .np4 = 2, .ne4 = 1, .conc = {1, 2, 3, 4}, .imat4 = {3}};
  const Qmx4StepData tb{
      .time = 7, .nqal = 2, .np4 = 2, .ne4 = 1, .conc = {1.5f, 2, 3, 3.5f}, .imat4 = {4}};
  Qmx4StepData td = tb;
  td.conc = {0.5f, 0, 0, -0.5f};

  // QMX10, two degrees of freedom over two nodes: x-velocity of node 2 up 2,
  // y-velocity of node 2 down 1; RNODE is B's.
  const Qmx10StepData ra = Threed(6, {{1, 1}, {2, 2}}, {5, 5});
  const Qmx10StepData rb = Threed(6, {{1, 3}, {2, 1}}, {6, 6});
  const Qmx10StepData rd = Threed(6, {{0, 2}, {0, -1}}, {6, 6});

  return {
      {"Qmx2Runs",
       Qmx2File(Titled("BASE"), {a1, a2, a3}, true),
       Qmx2File(Titled("SCENARIO"), {b2, b3, b4}, true),
       Qmx2File(Titled("SCENARIO"), {d2, d3}, true),
       {"d.bin: 2 steps, hours 2 to 3, b.bin minus a.bin (a QMX2 file with long steps "
        "(elevations), 3 nodes, 1 element)",
        "  a.bin: 3 steps, 1 skipped", "  b.bin: 3 steps, 1 skipped",
        "  x_velocity [ft s-1]: largest increase 0.5 at node 1, hour 2; largest decrease -0.5 at "
        "node 1, hour 3",
        "  y_velocity [ft s-1]: largest increase 0.25 at node 3, hour 2; no decrease",
        "  depth [ft]: largest increase 1 at node 3, hour 3; largest decrease -0.5 at node 2, "
        "hour 2",
        "  water_surface_elevation [ft]: largest increase 0.5 at node 2, hour 2; largest "
        "decrease -0.25 at node 1, hour 3"}},
      {"Qmx4Averages",
       Qmx4File(CharHeader{}, {ta}),
       Qmx4File(Titled("SCENARIO"), {tb}),
       Qmx4File(Titled("SCENARIO"), {td}),
       {"d.bin: 1 step (two one-step files), b.bin minus a.bin (a QMX4 file, 2 nodes, 1 element)",
        "  a.bin: 1 step, 0 skipped", "  b.bin: 1 step, 0 skipped",
        "  constituent_1: largest increase 0.5 at node 1, hour 7; no decrease",
        "  constituent_2: no increase; largest decrease -0.5 at node 2, hour 7"}},
      {"Qmx10",
       Qmx10File({ra}),
       Qmx10File({rb}),
       Qmx10File({rd}),
       {"d.bin: 1 step (two one-step files), b.bin minus a.bin (a QMX10 file, 2 nodes, 1 element)",
        "  a.bin: 1 step, 0 skipped", "  b.bin: 1 step, 0 skipped",
        "  x_velocity [ft s-1]: largest increase 2 at node 2, hour 6; no decrease",
        "  y_velocity [ft s-1]: no increase; largest decrease -1 at node 2, hour 6"}},
  };
}

class DiffTest : public ::testing::TestWithParam<Case> {};

TEST_P(DiffTest, WritesBMinusAAndReportsTheLargestChanges) {
  const Case& c = GetParam();
  Sandbox box;
  box.Write("a.bin", c.a.bytes());
  box.Write("b.bin", c.b.bytes());
  box.ExpectOutput("d.bin");
  const RunResult run =
      box.RunProgram(ProgramPath("korvant-diff"), {"a.bin", "b.bin", "-o", "d.bin"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("", run.err);
  std::string report;
  for (const std::string& line : c.report) report += line + "\n";
  EXPECT_EQ(report, run.out);
  EXPECT_EQ(c.expected.bytes(), box.Read("d.bin"));
}

INSTANTIATE_TEST_SUITE_P(Families, DiffTest, ::testing::ValuesIn(Cases()),
                         [](const auto& tested) { return std::string(tested.param.name); });

TEST(DiffJsonTest, GivesEachFieldsChangesWithNullForNone) {
  Sandbox box;
  const std::vector<Case> cases = Cases();
  box.Write("a.bin", cases[1].a.bytes());
  box.Write("b.bin", cases[1].b.bytes());
  box.ExpectOutput("d.bin");
  const RunResult run =
      box.RunProgram(ProgramPath("korvant-diff"), {"--json", "a.bin", "b.bin", "-o", "d.bin"});
  ASSERT_EQ(0, run.status) << run.err;
  const nlohmann::json r = nlohmann::json::parse(run.out);
  EXPECT_EQ("qmx4", r["family"]);
  EXPECT_EQ(2, r["constituents"]);
  EXPECT_EQ(1, r["steps"]);
  EXPECT_TRUE(r["one_step_each"].get<bool>());
  const nlohmann::json& second = r["fields"][1];
  EXPECT_EQ("constituent_2", second["name"]);
  EXPECT_TRUE(second["increase"].is_null());
  EXPECT_EQ(-0.5, second["decrease"]["value"]);
  EXPECT_EQ(2, second["decrease"]["node"]);
}

// Pairs that cannot be compared: refused, and nothing written.
TEST(DiffRefusalTest, NothingIsWritten) {
  const std::vector<float> vel(12, 1.0f);
  Qmx2StepData four = Hydro(2, vel, {10, 10, 10, 10}, {1, 1, 1, 1});
  four.np2 = 4;
  const Qmx2StepData three = Hydro(2, std::vector<float>(9, 1.0f), {10, 10, 10}, {1, 1, 1});
  const Qmx2StepData later = Hydro(8, std::vector<float>(9, 1.0f), {10, 10, 10}, {1, 1, 1});
  const Qmx2StepData later2 = Hydro(9, std::vector<float>(9, 1.0f), {10, 10, 10}, {1, 1, 1});
  const Qmx2StepData earlier2 = Hydro(3, std::vector<float>(9, 1.0f), {10, 10, 10}, {1, 1, 1});
  struct Refusal {
    FileBuilder a, b;
    std::string said;
  };
  const Refusal refusals[] = {
      {Qmx2File(Titled("A"), {three}, true), Qmx4File(CharHeader{}, {Qmx4StepData{}}),
       "a.bin and b.bin are not laid out alike: a.bin is a QMX2 file with long steps "
       "(elevations), b.bin a QMX4 file"},
      {Qmx2File(Titled("A"), {three}, true), Qmx2File(Titled("B"), {three}, false),
       "a.bin and b.bin are not laid out alike: a.bin is a QMX2 file with long steps "
       "(elevations), b.bin a QMX2 file with short steps (no elevations)"},
      {Qmx2File(Titled("A"), {three}, true), Qmx2File(Titled("B"), {four}, true),
       "a.bin and b.bin are not of one mesh: their steps differ: a.bin has 3 nodes, 1 element, "
       "b.bin 4 nodes, 1 element"},
      {Qmx2File(Titled("A"), {three, earlier2}, true), Qmx2File(Titled("B"), {later, later2}, true),
       "no hour of a.bin is an hour of b.bin"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.said);
    Sandbox box;
    box.Write("a.bin", r.a.bytes());
    box.Write("b.bin", r.b.bytes());
    const RunResult run =
        box.RunProgram(ProgramPath("korvant-diff"), {"a.bin", "b.bin", "-o", "d.bin"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("korvant-diff: " + r.said + "\n", run.err);
    EXPECT_EQ((std::vector<std::string>{"a.bin", "b.bin"}), box.List());
  }
}

}  // namespace
}  // namespace korvant

#endif  // KORVANT_BATCH_PROGRAMS
