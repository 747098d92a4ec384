// korvant-merge run as a user runs it: files and choices as arguments, the
// merged file's bytes, the report and the exit status checked.

#ifdef KORVANT_BATCH_PROGRAMS

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness.h"
#include "model_files.h"

namespace korvant {
namespace {

enum class Family { kQmx2, kQmx4, kQmx10 };

// Steps at `hours`; the first value of each step is 100 * piece + its hour,
// so that steps of the same hour from different pieces differ.
FileBuilder Piece(Family family, const std::vector<float>& hours, int piece, int32_t nodes = 3) {
  const auto first = [&](float hour) { return 100.0f * static_cast<float>(piece) + hour; };
  if (family == Family::kQmx2) {
    std::vector<Qmx2StepData> steps;
    for (float h : hours) {
      steps.push_back({.time = h,
                       .np2 = nodes,
                       .ne2 = 2,
                       .vel = {first(h)},
                       .ndry = {},
                       .imat = {},
                       .wsel = {}});
    }
    return Qmx2File(CharHeader{}, steps, /*long_steps=*/true);
  }
  if (family == Family::kQmx4) {
    CodedHeader header;
    header.np = nodes;
    header.ne = 2;
    std::vector<Qmx4StepData> steps;
    for (float h : hours) {
      // Three constituents: with two, these small steps would also fit the
      // layout of a QMX2 step.
      steps.push_back(
          {.time = h, .nqal = 3, .np4 = nodes, .ne4 = 2, .conc = {first(h)}, .imat4 = {}});
    }
    return Qmx4File(header, steps);
  }
  std::vector<Qmx10StepData> steps;
  for (float h : hours) {
    Qmx10StepData step;
    step.time = h;
    step.np = nodes;
    step.icnt = {nodes, nodes, 0, 0, 0, 0, 0, 0};
    step.ndf = 2;
    step.vdof = {{first(h)}, {}};
    steps.push_back(step);
  }
  return Qmx10File(steps);
}

std::vector<float> Hours(int first, int last) {
  std::vector<float> hours;
  for (int h = first; h <= last; ++h) hours.push_back(static_cast<float>(h));
  return hours;
}

class MergeProgramTest : public ::testing::Test {
 protected:
  RunResult Merge(const std::vector<std::string>& args) {
    return box_.RunProgram(ProgramPath("korvant-merge"), args);
  }

  Sandbox box_;
};

TEST_F(MergeProgramTest, RestartChainKeepsTheLaterPieceFromEachRestartOn) {
  // a runs 0-10; b restarts at 8 and runs to 20; c restarts at 18 and runs
  // to 30, of which hours up to 28 are asked for. Kept: a 0-7, b 8-17, c 18-28.
  box_.Write("a.bin", Piece(Family::kQmx2, Hours(0, 10), 1).bytes());
  box_.Write("b.bin", Piece(Family::kQmx2, Hours(8, 20), 2).bytes());
  box_.Write("c.bin", Piece(Family::kQmx2, Hours(18, 30), 3).bytes());
  const RunResult run = Merge({"-o", "out.bin", "a.bin", "b.bin", "c.bin@:28"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("", run.err);
  EXPECT_EQ(JoinLines({
                "out.bin: 29 steps, hours 0 to 28 (QMX2, character header, long steps, 3 nodes, "
                "2 elements)",
                "  a.bin: 11 steps, 11 in the window, 8 kept (hours 0 to 7)",
                "  b.bin: 13 steps, 13 in the window, 10 kept (hours 8 to 17), replaced 3 "
                "earlier steps",
                "  c.bin hours first to 28: 13 steps, 11 in the window, 11 kept (hours 18 to 28), "
                "replaced 3 earlier steps",
            }),
            run.out);
  const FileBuilder b = Piece(Family::kQmx2, Hours(8, 17), 2);
  const FileBuilder c = Piece(Family::kQmx2, Hours(18, 28), 3);
  const size_t header = b.record_start(3);  // C1, C2 and C3 come first
  EXPECT_EQ(Piece(Family::kQmx2, Hours(0, 7), 1).bytes() + b.bytes().substr(header) +
                c.bytes().substr(header),
            box_.Read("out.bin"));

  box_.ExpectOutput("out.bin");
  const RunResult json = Merge({"--json", "-f", "-o", "out.bin", "a.bin", "b.bin", "c.bin@:28"});
  ASSERT_EQ(0, json.status) << json.err;
  const auto report = nlohmann::json::parse(json.out);
  EXPECT_EQ("qmx2", report["family"]);
  EXPECT_EQ(29, report["steps"]);
  EXPECT_EQ(28.0, report["last_hour"]);
  EXPECT_EQ(8, report["inputs"][0]["kept"]);
  EXPECT_EQ(3, report["inputs"][1]["replaced"]);
  EXPECT_TRUE(report["inputs"][2]["from"].is_null());
  EXPECT_EQ(28.0, report["inputs"][2]["to"]);
}

class KeepAllTest : public MergeProgramTest, public ::testing::WithParamInterface<Family> {};

TEST_P(KeepAllTest, IsByteIdenticalToTheDialoguesMerge) {
  box_.Write("a.bin", Piece(GetParam(), Hours(0, 5), 1).bytes());
  box_.Write("b.bin", Piece(GetParam(), Hours(3, 9), 2).bytes());
  // The driver's merge questions come in the order QMX2, QMX4, QMX10, then
  // the geometry question and the three averaging questions.
  const int family = static_cast<int>(GetParam());
  std::string answers = "summary.txt\n";
  for (int i = 0; i < family; ++i) answers += "N\n";
  answers += "Y\ndialogue.bin\n1ST\na.bin\n1 4\n2ND\nb.bin\n3 100000\nEXIT\n";
  for (int i = family; i < 2 + 4; ++i) answers += "N\n";
  const RunResult dialogue = box_.Run(answers);
  ASSERT_EQ(0, dialogue.status) << dialogue.out;

  const RunResult run = Merge({"--keep-all", "-q", "-o", "out.bin", "a.bin@1:4", "b.bin@3:"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("", run.out);
  ASSERT_EQ(box_.Read("dialogue.bin"), box_.Read("out.bin"));
  // a's header and its steps 1-4, then all of b's steps, 3-9.
  const int header_records[] = {3, 4, 0};
  const FileBuilder b = Piece(GetParam(), Hours(3, 9), 2);
  EXPECT_EQ(Piece(GetParam(), {1, 2, 3, 4}, 1).bytes() +
                b.bytes().substr(b.record_start(static_cast<size_t>(header_records[family]))),
            box_.Read("out.bin"));
}

INSTANTIATE_TEST_SUITE_P(Families, KeepAllTest,
                         ::testing::Values(Family::kQmx2, Family::kQmx4, Family::kQmx10));

TEST_F(MergeProgramTest, RefusalsLeaveNoOutputAndNoTemporaryFile) {
  box_.Write("a.bin", Piece(Family::kQmx4, Hours(0, 3), 1).bytes());
  box_.Write("hydro.bin", Piece(Family::kQmx2, Hours(4, 5), 2).bytes());
  box_.Write("mesh.bin", Piece(Family::kQmx4, Hours(4, 5), 2, /*nodes=*/4).bytes());
  FileBuilder cut = Piece(Family::kQmx4, Hours(4, 6), 2);
  box_.Write("cut.bin", cut.TruncateBy(1).bytes());
  box_.Write("old.bin", "old bytes");
  struct Case {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"-o", "out.bin", "a.bin", "hydro.bin"},
       "hydro.bin: a QMX2 file with long steps (elevations), but a.bin is a QMX4 file"},
      {{"-o", "out.bin", "a.bin", "mesh.bin"},
       "mesh.bin: the step at hour 4 has 4 nodes and 2 elements, but the steps of a.bin have "
       "3 nodes and 2 elements"},
      {{"-o", "out.bin", "a.bin", "cut.bin"},
       "cut.bin: record 7 (byte " + std::to_string(cut.record_start(6)) +
           "): its length of 60 bytes runs past the end of the file (63 bytes left)"},
      {{"-o", "old.bin", "a.bin"}, "old.bin exists; give --force to replace it"},
      {{"-f", "-o", "a.bin", "a.bin"}, "a.bin is also an input; an input is never replaced"},
      {{"-o", "out.bin", "none.bin"}, "cannot read none.bin: no such file"},
  };
  const std::vector<std::string> before = box_.List();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    const RunResult run = Merge(c.args);
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("korvant-merge: " + c.error + "\n", run.err);
    EXPECT_EQ("", run.out);
    EXPECT_EQ(before, box_.List());
  }
}

TEST_F(MergeProgramTest, AFailedWriteLeavesTheOldOutputUntouched) {
  box_.Write("a.bin", Piece(Family::kQmx10, Hours(0, 40), 1).bytes());
  box_.Write("out.bin", "the old merged file");
  box_.LimitFileSize(1000);  // the merged file would be 41 steps of 116 bytes
  const std::vector<std::string> before = box_.List();
  const RunResult run = Merge({"-f", "-o", "out.bin", "a.bin"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("korvant-merge: cannot write out.bin: File too large\n", run.err);
  EXPECT_EQ("the old merged file", box_.Read("out.bin"));
  EXPECT_EQ(before, box_.List());
}

TEST_F(MergeProgramTest, UsageErrorsEndWithStatusTwo) {
  box_.Write("a.bin", Piece(Family::kQmx10, Hours(0, 1), 1).bytes());
  const std::vector<std::vector<std::string>> cases = {
      {"a.bin"},
      {"-o", "out.bin"},
      {"-o", "out.bin", "a.bin@x:3"},
      {"-o", "out.bin", "a.bin@5:1"},
      {"-o", "out.bin", "--from", "5", "--to", "1", "a.bin"},
      {"-o", "out.bin", "--from", "nan", "a.bin"},
      {"-o", "out.bin", "--frob", "a.bin"},
  };
  for (const auto& args : cases) {
    const RunResult run = Merge(args);
    EXPECT_EQ(2, run.status) << args.back();
    EXPECT_EQ(0u, run.err.rfind("korvant-merge: ", 0)) << run.err;
    EXPECT_FALSE(box_.Exists("out.bin"));
  }
}

TEST_F(MergeProgramTest, MergesBeyondTheDialoguesLimits) {
  // 600 steps (the dialogue looks at 500 a file) and 60001 nodes (it holds 60000).
  box_.Write("long.bin", Piece(Family::kQmx10, Hours(1, 600), 1).bytes());
  box_.Write("wide_a.bin", Piece(Family::kQmx2, {1, 2}, 1, 60001).bytes());
  box_.Write("wide_b.bin", Piece(Family::kQmx2, {3}, 2, 60001).bytes());
  RunResult run = Merge({"-q", "-o", "long_out.bin", "long.bin@550:"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(Piece(Family::kQmx10, Hours(550, 600), 1).bytes(), box_.Read("long_out.bin"));
  run = Merge({"-q", "-o", "wide_out.bin", "wide_a.bin", "wide_b.bin"});
  ASSERT_EQ(0, run.status) << run.err;
  const FileBuilder b = Piece(Family::kQmx2, {3}, 2, 60001);
  EXPECT_EQ(Piece(Family::kQmx2, {1, 2}, 1, 60001).bytes() + b.bytes().substr(b.record_start(3)),
            box_.Read("wide_out.bin"));
}

// A QMX10 step whose count list gives only its first entry and carries the
// second from the step before: when the window leaves that step out, the
// merged file gives the kept step its whole list, so that it reads as it did;
// the step after it, whose list is whole, is copied as it stands. So does the
// first step of a piece that carries a zero after a piece that listed one.
TEST_F(MergeProgramTest, AQmx10StepWhoseCountsLeanOnAStepLeftOutGetsItsWholeList) {
  auto step = [](float time, std::vector<int32_t> icnt, std::vector<std::vector<float>> rows) {
    Qmx10StepData s;
    s.time = time;
    s.ndf = 2;
    s.icnt = std::move(icnt);
    s.vdof = std::move(rows);
    s.imat = {1};
    s.ndry = {1, 1};
    s.rnode = {0.5f, 1};
    s.relem = {0.75f};
    return s;
  };
  // Time 2, NP, NDF, NE, NCNT 1, ICNT(1) 2; rows of 2 and (carried) 1
  // values; IMAT, NDRY, RNODE, RELEM.
  const RecordBuilder leaning = RecordBuilder()
                                    .Real(2)
                                    .Ints({2, 2, 1, 1, 2})
                                    .Reals({4, 5, 6})
                                    .Ints({1, 1, 1})
                                    .Reals({0.5f, 1, 0.75f});
  const Qmx10StepData third = step(3, {2, 2}, {{7, 8}, {9, 10}});
  box_.Write("run.bin", FileBuilder(Qmx10File({step(1, {2, 1}, {{1, 2}, {3}})}))
                            .Add(leaning)
                            .Append(Qmx10File({third}))
                            .bytes());
  const RunResult run = Merge({"-q", "-o", "out.bin", "run.bin@1.5:3"});
  ASSERT_EQ(0, run.status) << run.err;
  const Qmx10StepData whole = step(2, {2, 1, 0, 0, 0, 0, 0, 0}, {{4, 5}, {6}});
  EXPECT_EQ(Qmx10File({whole, third}).bytes(), box_.Read("out.bin"));

  const Qmx10StepData first = step(1, {2, 1}, {{1, 2}, {3}});
  box_.Write("a.bin", Qmx10File({first}).bytes());
  // Time 4, NCNT 1, ICNT(1) 2: a row of 2 values and one of none.
  box_.Write("b.bin", FileBuilder()
                          .Add(RecordBuilder()
                                   .Real(4)
                                   .Ints({2, 2, 1, 1, 2})
                                   .Reals({4, 5})
                                   .Ints({1, 1, 1})
                                   .Reals({0.5f, 1, 0.75f}))
                          .bytes());
  ASSERT_EQ(0, Merge({"-q", "-o", "ab.bin", "a.bin", "b.bin"}).status);
  const Qmx10StepData listed = step(4, {2, 0, 0, 0, 0, 0, 0, 0}, {{4, 5}, {}});
  EXPECT_EQ(Qmx10File({first, listed}).bytes(), box_.Read("ab.bin"));
}

}  // namespace
}  // namespace korvant

#endif  // KORVANT_BATCH_PROGRAMS
