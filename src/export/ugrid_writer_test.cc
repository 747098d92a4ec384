#include "export/ugrid_writer.h"

#include <gtest/gtest.h>

namespace korvant {
namespace {

TEST(HoursSinceTest, DatesAndDatesWithATime) {
  EXPECT_EQ("hours since 2024-02-29 00:00:00", HoursSince("2024-02-29"));
  EXPECT_EQ("hours since 1999-08-09 06:30:00", HoursSince("1999-08-09T06:30"));
  for (const char* bad : {"2023-02-29", "2024-13-01", "2024-1-01", "2024-01-01 06:30",
                          "2024-01-01T24:00", "2024-01-01T06:60", "0000-01-01", "yesterday"}) {
    EXPECT_FALSE(HoursSince(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace korvant
