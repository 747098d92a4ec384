#include "io/replacement_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/harness.h"

namespace korvant {
namespace {

namespace fs = std::filesystem;

class ReplacementFileTest : public ::testing::Test {
 protected:
  ReplacementFileTest() { box_.Write("out.bin", "old"); }
  std::string Target() const { return box_.Path("out.bin"); }

  Sandbox box_;
};

TEST_F(ReplacementFileTest, CommitReplacesTheTargetWhole) {
  ReplacementFile out(Target());
  EXPECT_EQ(fs::path(box_.dir()), fs::path(out.temporary()).parent_path());
  std::ofstream(out.temporary()) << "new";
  EXPECT_EQ("old", box_.Read("out.bin"));
  std::string error;
  ASSERT_TRUE(out.Commit(&error)) << error;
  EXPECT_EQ("new", box_.Read("out.bin"));
  EXPECT_EQ(1u, box_.List().size());
}

TEST_F(ReplacementFileTest, AnUncommittedReplacementLeavesTheOldFileAndNoTemporary) {
  {
    ReplacementFile out(Target());
    std::ofstream(out.temporary()) << "half";
  }
  EXPECT_EQ("old", box_.Read("out.bin"));
  EXPECT_EQ(1u, box_.List().size());
}

TEST_F(ReplacementFileTest, CommitWithoutATemporaryFailsAndKeepsTheTarget) {
  ReplacementFile out(Target());
  std::string error;
  EXPECT_FALSE(out.Commit(&error));
  EXPECT_NE(std::string::npos, error.find("out.bin")) << error;
  EXPECT_EQ("old", box_.Read("out.bin"));
}

}  // namespace
}  // namespace korvant
