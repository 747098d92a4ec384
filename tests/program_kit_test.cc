// What every companion program says and does alike: its version line, its
// help, its usage errors, its refusals of inputs, its outputs, its quiet and
// JSON reports, and a mesh of any size. One table of the companion programs; each
// rule is run through each of them.

#if defined(KORVANT_BATCH_PROGRAMS) && defined(KORVANT_EXPORT_PROGRAMS) && \
    defined(KORVANT_HAVE_INFO)

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/program_fixtures.h"

namespace korvant {
namespace {

struct Program {
  const char* name;
  const char* ext;  // what its output's name ends in; "" for none
  // Its arguments, reading `result` over `mesh` and writing `out`.
  std::vector<std::string> (*args)(const std::string& mesh, const std::string& result,
                                   const std::string& out);
};

const Program kPrograms[] = {
    {"korvant-info", "",
     [](const std::string&, const std::string& in, const std::string&) {
       return std::vector<std::string>{in};
     }},
    {"korvant-merge", ".qmx2",
     [](const std::string&, const std::string& in, const std::string& out) {
       return std::vector<std::string>{"-o", out, in};
     }},
    {"korvant-average", ".qmx2",
     [](const std::string& mesh, const std::string& in, const std::string& out) {
       return std::vector<std::string>{in, "-o", out, "--geometry", mesh};
     }},
    {"korvant-export", ".nc",
     [](const std::string& mesh, const std::string& in, const std::string& out) {
       return std::vector<std::string>{mesh, in, "-o", out};
     }},
    {"korvant-plot", ".png",
     [](const std::string& mesh, const std::string& in, const std::string& out) {
       return std::vector<std::string>{mesh, in, "--field", "depth", "-o", out};
     }},
    {"korvant-diff", ".qmx2",
     [](const std::string&, const std::string& in, const std::string& out) {
       return std::vector<std::string>{in, in, "-o", out};
     }},
    {"korvant-series", ".csv",
     [](const std::string& mesh, const std::string& in, const std::string& out) {
       return std::vector<std::string>{mesh, in, "--node", "1", "-o", out};
     }},
    {"korvant-convert", ".qmx2",
     [](const std::string&, const std::string& in, const std::string& out) {
       return std::vector<std::string>{in, "-o", out};
     }},
};

void PrintTo(const Program& program, std::ostream* os) { *os << program.name; }

class ProgramKitTest : public ::testing::TestWithParam<Program> {
 protected:
  ProgramKitTest() {
    box_.Write("mesh.velto", TwoElementMesh().bytes());
    box_.Write("run.qmx2", HydroResult().bytes());
  }
  bool Writes() const { return *GetParam().ext != '\0'; }
  std::string Out() const { return std::string("out") + GetParam().ext; }
  RunResult Run(const std::vector<std::string>& args) {
    return box_.RunProgram(ProgramPath(GetParam().name), args);
  }
  RunResult Run(const std::string& mesh, const std::string& result,
                std::vector<std::string> more = {}) {
    std::vector<std::string> args = GetParam().args(mesh, result, Out());
    args.insert(args.end(), more.begin(), more.end());
    return Run(args);
  }
  // The program's one line on stderr.
  std::string Said(const std::string& message) const {
    return std::string(GetParam().name) + ": " + message + "\n";
  }

  Sandbox box_;
};

TEST_P(ProgramKitTest, VersionLine) {
  const RunResult run = Run({"--version"});
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(std::string(GetParam().name) + " 1.2.0\n", run.out);
  EXPECT_EQ("", run.err);
}

TEST_P(ProgramKitTest, HelpLaysOutItsPartsInOneOrder) {
  const RunResult run = Run({"--help"});
  EXPECT_EQ(0, run.status);
  const std::string& help = run.out;
  EXPECT_TRUE(help.starts_with(std::string(GetParam().name) + " - ")) << help;
  size_t at = 0;
  for (const char* option : {"  -h,--help ", "  --version ", "  -q,--quiet ", "  --json "}) {
    EXPECT_NE(std::string::npos, help.find(option)) << option << " in\n" << help;
  }
  for (const std::string& part : std::vector<std::string>{
           "\nUsage: ", "\nOptions:\n", "\nDESCRIPTION\n  ",
           "\nEXIT STATUS\n  0 success; 1 a refused or damaged input, or a failed write; 2 a usage "
           "error.\n\nEXAMPLES\n  " +
               std::string(GetParam().name) + " "}) {
    const size_t found = help.find(part, at);
    ASSERT_NE(std::string::npos, found) << part << " after byte " << at << " of\n" << help;
    at = found;
  }
  if (Writes()) {
    EXPECT_NE(std::string::npos, help.find("  -o,--output OUT ")) << help;
    EXPECT_NE(std::string::npos, help.find("  -f,--force ")) << help;
  }
}

TEST_P(ProgramKitTest, AUsageErrorIsOneLineAndStatusTwo) {
  const RunResult run = Run("mesh.velto", "run.qmx2", {"--colour"});
  EXPECT_EQ(2, run.status);
  EXPECT_EQ("", run.out);
  EXPECT_TRUE(run.err.starts_with(std::string(GetParam().name) + ": ")) << run.err;
  EXPECT_TRUE(run.err.ends_with(" --colour (see --help)\n")) << run.err;
  EXPECT_EQ(1, std::count(run.err.begin(), run.err.end(), '\n')) << run.err;
}

TEST_P(ProgramKitTest, AnInputThatCannotBeReadIsNamedWithItsReason) {
  ::mkdir(box_.Path("folder").c_str(), 0755);
  struct Case {
    std::string mesh, result, said;
  };
  std::vector<Case> cases = {
      {"mesh.velto", "none.qmx2", "cannot read none.qmx2: no such file"},
      {"mesh.velto", "folder", "cannot read folder: a folder, not a regular file"},
      // A name in another encoding is shown as UTF-8, U+FFFD for the stray byte.
      {"mesh.velto", "r\xE9.qmx2", "cannot read r\xEF\xBF\xBD.qmx2: no such file"},
  };
  if (GetParam().args("M", "R", "O") != GetParam().args("X", "R", "O")) {  // it reads a mesh
    cases.push_back({"none.velto", "run.qmx2", "cannot read none.velto: no such file"});
    cases.push_back({"run.qmx2", "run.qmx2",
                     "run.qmx2: a QMX2 result file, not a VELTO "
                     "geometry file"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    const RunResult run = Run(c.mesh, c.result);
    EXPECT_EQ(1, run.status);
    EXPECT_TRUE(run.err.ends_with(Said(c.said))) << run.err;
    EXPECT_FALSE(box_.Exists(Out()));
  }
}

TEST_P(ProgramKitTest, AnExistingOutputIsLeftAloneWithoutForce) {
  if (!Writes()) GTEST_SKIP() << "writes no file";
  box_.Write(Out(), "keep me");
  RunResult run = Run("mesh.velto", "run.qmx2");
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(Said(Out() + " exists; give --force to replace it"), run.err);
  EXPECT_EQ("keep me", box_.Read(Out()));
  box_.ExpectOutput(Out());
  run = Run("mesh.velto", "run.qmx2", {"-f"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_NE("keep me", box_.Read(Out()));
}

TEST_P(ProgramKitTest, StandardOutputTakesNoFileOutput) {
  if (!Writes()) GTEST_SKIP() << "writes no file";
  std::vector<std::string> args = GetParam().args("mesh.velto", "run.qmx2", "-");
  const RunResult run = Run(args);
  EXPECT_EQ(2, run.status);
  EXPECT_NE(std::string::npos, run.err.find("standard output (-) takes only text outputs"))
      << run.err;
  EXPECT_FALSE(box_.Exists("-"));
}

TEST_P(ProgramKitTest, QuietSaysNothingAndJsonIsOneObject) {
  RunResult run = Run("mesh.velto", "run.qmx2", {"-q"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("", run.out);
  EXPECT_EQ("", run.err);
  EXPECT_EQ(Writes(), box_.Exists(Out()));
  std::remove(box_.Path(Out()).c_str());
  run = Run("mesh.velto", "run.qmx2", {"--json"});
  EXPECT_EQ(0, run.status) << run.err;
  ASSERT_EQ(1, std::count(run.out.begin(), run.out.end(), '\n')) << run.out;
  const nlohmann::json report = nlohmann::json::parse(run.out);
  EXPECT_TRUE(report.is_object());
  if (Writes()) {
    EXPECT_EQ(GetParam().name, report["program"]);
    EXPECT_EQ(Out(), report["output"]);
  }
}

TEST_P(ProgramKitTest, NoNodeLimit) {
  box_.Write("large.velto", LargeMesh().bytes());
  box_.Write("large_run.qmx2", HydroResult(90000).bytes());
  const RunResult run = Run("large.velto", "large_run.qmx2");
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(Writes(), box_.Exists(Out()));
}

// A QMX2 file whose character header leaves its title record out is read
// as the same file with an empty title (77 NULs): the same report and the
// same output, but for merge and convert, which copy the header as it stands.
TEST_P(ProgramKitTest, AResultWithoutItsTitleRecordReadsAsOneWithAnEmptyTitle) {
  const std::string empty = HydroResult(11, std::string(77, '\0')).bytes();
  // The title record C3 follows C1 (1200 bytes) and C2 (320): 77 bytes
  // and its two lengths.
  const std::string untitled = std::string(empty).erase(1208 + 328, 85);
  Sandbox other;
  other.Write("mesh.velto", TwoElementMesh().bytes());
  other.Write("run.qmx2", empty);
  const RunResult expected = other.RunProgram(ProgramPath(GetParam().name),
                                              GetParam().args("mesh.velto", "run.qmx2", Out()));
  ASSERT_EQ(0, expected.status) << expected.err;
  box_.Write("run.qmx2", untitled);
  const RunResult run = Run("mesh.velto", "run.qmx2");
  EXPECT_EQ(0, run.status) << run.err;
  const std::string name = GetParam().name;
  if (name == "korvant-info") {
    EXPECT_NE(std::string::npos, run.out.find("caution:      no title record")) << run.out;
    return;
  }
  EXPECT_EQ(expected.out, run.out);
  const bool copies = name == "korvant-merge" || name == "korvant-convert";
  if (Writes()) {
    EXPECT_EQ(copies ? untitled : other.Read(Out()), box_.Read(Out()));
  }
}

INSTANTIATE_TEST_SUITE_P(CompanionPrograms, ProgramKitTest, ::testing::ValuesIn(kPrograms),
                         [](const auto& tested) {
                           std::string name = tested.param.name + 8;  // after "korvant-"
                           return name;
                         });

}  // namespace
}  // namespace korvant

#endif
