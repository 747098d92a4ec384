// Damaged and hostile files through all seven companion programs: sound files
// of every family mutated (bytes flipped, counts and lengths set to extreme
// values, records cut, repeated or followed by junk), each run as a user
// would run it. Whatever the file, a run ends by itself with status 0 or 1,
// never by a signal or a sanitizer report, says why on its last stderr line
// when it refuses, leaves no temporary file, writes its outputs whole or not
// at all, and leaves its inputs as they were (the harness checks those).
//
// KORVANT_MUTATIONS=N in the environment runs N mutations of each file
// instead of the few the suite runs.

#if defined(KORVANT_BATCH_PROGRAMS) && defined(KORVANT_EXPORT_PROGRAMS) && \
    defined(KORVANT_HAVE_INFO)

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/program_fixtures.h"

namespace korvant {
namespace {

constexpr int kSuiteMutations = 12;
constexpr long kMemoryLimitKb = 500 * 1024;

struct Seed {
  const char* name;
  std::string (*bytes)();
};

std::string Qmx4Seed() {
  std::vector<Qmx4StepData> steps(3);
  for (int i = 0; i < 3; ++i) {
    steps[i].time = 1.0f + static_cast<float>(i);
    steps[i].nqal = 2;
    steps[i].np4 = 11;
    steps[i].ne4 = 2;
  }
  return Qmx4File(CharHeader(), steps).bytes();
}

std::string Qmx10Seed() {
  std::vector<Qmx10StepData> steps(3);
  for (int i = 0; i < 3; ++i) {
    steps[i].time = 1.0f + static_cast<float>(i);
    steps[i].np = 11;
    steps[i].ndf = 3;
    steps[i].ne = 2;
    steps[i].icnt = {11, 11, 11, 0, 0, 0, 11, 11};
  }
  return Qmx10File(steps).bytes();
}

std::string ShortQmx2Seed() {
  Qmx2StepData step;
  step.time = 4.0f;
  step.np2 = 11;
  step.ne2 = 2;
  CodedHeader header;
  header.np = 11;
  header.ne = 2;
  return Qmx2File(header, {step, step}, /*long_steps=*/false).bytes();
}

const Seed kSeeds[] = {
    {"qmx2", [] { return HydroResult().bytes(); }},
    {"short_qmx2", ShortQmx2Seed},
    {"qmx4", Qmx4Seed},
    {"qmx10", Qmx10Seed},
    {"mesh", [] { return TwoElementMesh().bytes(); }},
};

// One mutation of `bytes`, picked by `random`.
std::string Mutate(std::string bytes, std::mt19937& random) {
  auto at = [&](size_t size) {
    return size == 0 ? 0 : std::uniform_int_distribution<size_t>(0, size - 1)(random);
  };
  const int32_t extremes[] = {0,
                              -1,
                              1,
                              60001,
                              1 << 24,
                              std::numeric_limits<int32_t>::max(),
                              std::numeric_limits<int32_t>::min(),
                              0x7f800000,   // +Inf as a float
                              0x7fc00000};  // NaN as a float
  const int changes = 1 + static_cast<int>(random() % 3);
  for (int c = 0; c < changes && !bytes.empty(); ++c) {
    switch (random() % 5) {
      case 0:  // a flipped bit
        bytes[at(bytes.size())] ^= static_cast<char>(1 << (random() % 8));
        break;
      case 1: {  // a word, aligned as the records' values are, set to an extreme
        const size_t word = at(bytes.size() / 4) * 4;
        const int32_t value = extremes[random() % std::size(extremes)];
        if (word + 4 <= bytes.size()) std::memcpy(&bytes[word], &value, 4);
        break;
      }
      case 2:  // cut short
        bytes.resize(at(bytes.size()));
        break;
      case 3: {  // a stretch repeated
        const size_t from = at(bytes.size());
        bytes.insert(from, bytes.substr(from, at(bytes.size() - from) + 1));
        break;
      }
      default:  // junk after the end
        bytes.append(std::string(1 + random() % 7, static_cast<char>(random())));
        break;
    }
  }
  return bytes;
}

struct ProgramRun {
  const char* program;
  std::vector<std::string> args;
  std::vector<std::string> outputs;
};

// The runs over a result file r.bin and a mesh m.velto.
std::vector<ProgramRun> Runs(std::mt19937& random) {
  const char* fields[] = {"depth", "x_velocity", "speed", "bottom_elevation", "salinity"};
  const char* windows[] = {"r.bin", "r.bin@1:2", "r.bin@:1.5", "r.bin@2:"};
  return {
      {"korvant-info", {"r.bin", "m.velto"}, {}},
      {"korvant-info", {"--json", "r.bin"}, {}},
      {"korvant-merge", {"-o", "merged.bin", "r.bin", windows[random() % 4]}, {"merged.bin"}},
      {"korvant-merge",
       {"--keep-all", "--json", "-o", "all.bin", windows[random() % 4]},
       {"all.bin"}},
      {"korvant-average",
       {"r.bin", "-o", "mean.bin", "--table", "mean.txt", "--csv", "mean.csv", "--geometry",
        "m.velto"},
       {"mean.bin", "mean.txt", "mean.csv"}},
      {"korvant-average",
       {"r.bin", "-o", "window.bin", "--from", "1", "--to", "2", "--json"},
       {"window.bin"}},
      {"korvant-export", {"m.velto", "r.bin", "-o", "all.nc"}, {"all.nc"}},
      {"korvant-export", {"m.velto", "r.bin", "--step", "2", "-o", "two.vtu"}, {"two.vtu"}},
      {"korvant-plot",
       {"m.velto", "r.bin", "--field", fields[random() % 5], "--arrows", "-o", "p.png"},
       {"p.png"}},
      {"korvant-series",
       {"m.velto", "r.bin", "--node", "2", "--at", "1,1", "-o", "s.csv"},
       {"s.csv"}},
      {"korvant-diff", {"s.bin", "r.bin", "-o", "d.bin"}, {"d.bin"}},
  };
}

class MutationTest : public ::testing::TestWithParam<Seed> {};

TEST_P(MutationTest, EveryRunEndsByItselfAndSaysWhyItRefuses) {
  const char* wanted = std::getenv("KORVANT_MUTATIONS");
  const int mutations = wanted != nullptr ? std::atoi(wanted) : kSuiteMutations;
  const std::string mesh = TwoElementMesh().bytes(), sound = GetParam().bytes();
  const bool mesh_mutated = std::string(GetParam().name) == "mesh";
  for (int m = 0; m < mutations; ++m) {
    std::mt19937 random(static_cast<unsigned>(m));
    Sandbox box;
    const std::string mutated = Mutate(sound, random);
    box.Write("r.bin", mesh_mutated ? HydroResult().bytes() : mutated);
    box.Write("m.velto", mesh_mutated ? mutated : mesh);
    box.Write("s.bin", mesh_mutated ? HydroResult().bytes() : sound);  // korvant-diff's A
    for (const ProgramRun& run : Runs(random)) {
      const RunResult result = box.RunProgram(ProgramPath(run.program), run.args);
      const std::string what = std::string(GetParam().name) + " mutation " + std::to_string(m) +
                               ", " + run.program + " " + run.args[0] + ":\n" + result.err;
      ASSERT_FALSE(result.timed_out) << what;
      ASSERT_EQ(0, result.signal) << what;
      ASSERT_TRUE(result.status == 0 || result.status == 1) << result.status << " " << what;
      EXPECT_EQ(std::string::npos, result.err.find("runtime error")) << what;
      EXPECT_EQ(std::string::npos, result.err.find("internal error")) << what;
      EXPECT_LT(result.max_rss_kb, kMemoryLimitKb) << what;
      if (result.status == 1 && result.err.empty()) {
        // korvant-info tells damage in its report.
        EXPECT_EQ("korvant-info", std::string(run.program)) << what;
        EXPECT_FALSE(result.out.empty()) << what;
      } else if (result.status == 1) {
        const size_t last = result.err.rfind('\n', result.err.size() - 2);
        const std::string line = result.err.substr(last == std::string::npos ? 0 : last + 1);
        EXPECT_TRUE(line.starts_with(std::string(run.program) + ": ")) << what;
      }
      for (const std::string& name : box.List()) EXPECT_FALSE(name.ends_with(".tmp")) << what;
      for (const std::string& out : run.outputs) {
        // korvant-info sets status 1 for a damaged file, and writes nothing.
        EXPECT_EQ(result.status == 0, box.Exists(out)) << out << ": " << what;
        if (box.Exists(out)) std::remove(box.Path(out).c_str());
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(CompanionPrograms, MutationTest, ::testing::ValuesIn(kSeeds),
                         [](const auto& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace korvant

#endif
