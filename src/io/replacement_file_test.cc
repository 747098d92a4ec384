#include "io/replacement_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace korvant {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

class ReplacementFileTest : public ::testing::Test {
 protected:
  ReplacementFileTest()
      : dir_(fs::temp_directory_path() /
             ("korvant_replace_" +
              std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()))) {
    fs::create_directories(dir_);
    std::ofstream(dir_ / "out.bin") << "old";
  }
  ~ReplacementFileTest() override { fs::remove_all(dir_); }
  size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }

  fs::path dir_;
};

TEST_F(ReplacementFileTest, CommitReplacesTheTargetWhole) {
  ReplacementFile out((dir_ / "out.bin").string());
  EXPECT_EQ(dir_, fs::path(out.temporary()).parent_path());
  std::ofstream(out.temporary()) << "new";
  EXPECT_EQ("old", Contents(dir_ / "out.bin"));
  std::string error;
  ASSERT_TRUE(out.Commit(&error)) << error;
  EXPECT_EQ("new", Contents(dir_ / "out.bin"));
  EXPECT_EQ(1u, Entries());
}

TEST_F(ReplacementFileTest, AnUncommittedReplacementLeavesTheOldFileAndNoTemporary) {
  {
    ReplacementFile out((dir_ / "out.bin").string());
    std::ofstream(out.temporary()) << "half";
  }
  EXPECT_EQ("old", Contents(dir_ / "out.bin"));
  EXPECT_EQ(1u, Entries());
}

TEST_F(ReplacementFileTest, CommitWithoutATemporaryFailsAndKeepsTheTarget) {
  ReplacementFile out((dir_ / "out.bin").string());
  std::string error;
  EXPECT_FALSE(out.Commit(&error));
  EXPECT_NE(std::string::npos, error.find("out.bin")) << error;
  EXPECT_EQ("old", Contents(dir_ / "out.bin"));
}

}  // namespace
}  // namespace korvant
