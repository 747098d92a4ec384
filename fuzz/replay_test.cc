// Runs every fuzz target once on each committed seed and on each reproducer of
// an earlier finding, so that the suite (and its sanitizer build) keeps every
// fix without a fuzzer.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_support.h"

#ifndef KORVANT_FUZZ_DIR
#error "KORVANT_FUZZ_DIR must name the fuzz folder"
#endif

namespace korvant::fuzz {
namespace {

namespace fs = std::filesystem;

struct Case {
  const char* name;
  Target target;
};

const Case kTargets[] = {
    {"record_file", RecordFileTarget},
    {"geometry", GeometryTarget},
    {"qmx2", Qmx2Target},
    {"qmx4", Qmx4Target},
    {"qmx10", Qmx10Target},
    {"session", SessionTarget},
};

std::vector<fs::path> Inputs(const std::string& folder) {
  std::vector<fs::path> paths;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.is_regular_file()) paths.push_back(entry.path());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

class ReplayTest : public ::testing::TestWithParam<Case> {};

TEST_P(ReplayTest, SeedsAndReproducersKeepEveryPromise) {
  const std::string name = GetParam().name;
  const std::vector<fs::path> seeds = Inputs(std::string(KORVANT_FUZZ_DIR) + "/corpus/" + name);
  // A target whose seeds went missing would pass here without running.
  ASSERT_FALSE(seeds.empty()) << "no seeds for " << name;
  std::vector<fs::path> all = seeds;
  for (const fs::path& p : Inputs(std::string(KORVANT_FUZZ_DIR) + "/regressions/" + name)) {
    all.push_back(p);
  }
  ThrowFindings();
  for (const fs::path& path : all) {
    const std::string bytes = ReadWhole(path.string());
    try {
      GetParam().target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    } catch (const Finding& finding) {
      ADD_FAILURE() << path.string() << ": " << finding.what;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, ReplayTest, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<Case>& tested) {
                           return std::string(tested.param.name);
                         });

}  // namespace
}  // namespace korvant::fuzz
