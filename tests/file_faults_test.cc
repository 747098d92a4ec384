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

}  // namespace
}  // namespace korvant

#endif
