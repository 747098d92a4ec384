#include "export/plot_text.h"

#include <gtest/gtest.h>

namespace korvant {
namespace {

TEST(RoundTicksTest, StepsOfOneTwoOrFiveTimesAPowerOfTen) {
  struct Case {
    double lo, hi;
    int wanted;
    double step;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {0, 1, 6, 0.2, {"0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
      {3, 6, 4, 1, {"3", "4", "5", "6"}},
      {-0.37, 2.9, 5, 0.5, {"0", "0.5", "1.0", "1.5", "2.0", "2.5"}},  // 6 ticks; by 1, 3
      {0, 0.25, 9, 0.05, {"0", "0.05", "0.10", "0.15", "0.20", "0.25"}},
      {1234, 9876, 5, 2000, {"2000", "4000", "6000", "8000"}},  // by 1000, 9; by 5000, 1
      {-1e-3, 1e-3, 3, 1e-3, {"-0.001", "0", "0.001"}},
      {12.3, 12.3, 6, 1, {"12"}},  // no width: one tick at the value
  };
  for (const Case& c : cases) {
    const Ticks ticks = RoundTicks(c.lo, c.hi, c.wanted);
    EXPECT_DOUBLE_EQ(c.step, ticks.step) << c.lo << " to " << c.hi;
    std::vector<std::string> labels;
    for (double t : ticks.at) labels.push_back(ticks.Label(t));
    EXPECT_EQ(c.labels, labels) << c.lo << " to " << c.hi;
  }
  EXPECT_DOUBLE_EQ(0.5, RoundDown(0.73));
  EXPECT_DOUBLE_EQ(2.0, RoundDown(3.0));
  EXPECT_DOUBLE_EQ(10.0, RoundDown(10.0));
  EXPECT_DOUBLE_EQ(0.01, RoundDown(0.0123));
}

TEST(DateAfterTest, HoursFromAStartDate) {
  EXPECT_EQ("2024-02-29 12:00", DateAfter("2024-02-28", 36.0));
  EXPECT_EQ("2000-01-01 00:00", DateAfter("1999-12-31T23:30", 0.5));
  EXPECT_EQ("2024-02-29 22:30", DateAfter("2024-03-01", -1.5));
  for (const char* bad : {"2023-02-29", "2024-3-01", "2024-03-01T24:00", "2024-03-01 06:00",
                          "0000-01-01", "2024-13-01", ""}) {
    EXPECT_FALSE(DateAfter(bad, 0.0).has_value()) << bad;
  }
}

}  // namespace
}  // namespace korvant
