#include "engine/restart_runs.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace korvant {
namespace {

// Against the rule itself, on sequences of few distinct times so that ties
// and long and short runs all come: a step is replaced exactly when a later
// time is at or before its own.
TEST(RestartRunsTest, ReplacesExactlyTheStepsALaterTimeIsAtOrBefore) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 2000; ++trial) {
    std::vector<float> times(random() % 12);
    for (float& t : times) t = static_cast<float>(random() % 6);
    RestartRuns runs;
    for (float t : times) ASSERT_TRUE(runs.Note(t));
    for (size_t i = 0; i < times.size(); ++i) {
      bool later_at_or_before = false;
      for (size_t j = i + 1; j < times.size(); ++j) later_at_or_before |= times[j] <= times[i];
      EXPECT_EQ(later_at_or_before, runs.Replaced(times[i])) << "trial " << trial << ", step " << i;
    }
  }
}

// The notes are refused past the limit only when the runs they keep pass it:
// restarts that each go back below every earlier one keep one note.
TEST(RestartRunsTest, NotesGrowWithTheRestartsLaterRunsDoNotUndercut) {
  RestartRuns falling;
  for (int i = 0; i < 10000; ++i) ASSERT_TRUE(falling.Note(static_cast<float>(-i)));
  RestartRuns rising;  // high, 0, high, 1, high, 2, ...: every run from 0 on is kept
  for (size_t i = 0; i < RestartRuns::kMaxRestarts; ++i) {
    ASSERT_TRUE(rising.Note(static_cast<float>(i) + 1e5f));
    ASSERT_TRUE(rising.Note(static_cast<float>(i))) << i;
  }
  EXPECT_TRUE(rising.Note(1e6f));
  EXPECT_FALSE(rising.Note(1e5f));
}

}  // namespace
}  // namespace korvant
