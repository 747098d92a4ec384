#include "engine/stream_average.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/harness.h"
#include "tests/model_files.h"

namespace korvant {
namespace {

// Counts that no bytes of their record back are refused before anything is
// sized from them.
TEST(StreamAverageTest, CountsTheRecordDoesNotBackAreRefused) {
  Sandbox box;
  Qmx10StepData threed;                             // two nodes, one degree of freedom
  threed.icnt = {2, 0, 0, 0, 2147483647, 0, 0, 0};  // ICNT(5) sizes nothing here
  box.Write("threed.bin", Qmx10File({threed, threed}).bytes());
  Qmx4StepData transport;
  transport.nqal = 2147483647;  // of no nodes: no values follow
  transport.np4 = 0;
  box.Write("transport.bin", Qmx4File(CharHeader{}, {transport, transport}).bytes());
  const struct {
    const char* file;
    const char* error;
  } cases[] = {
      {"threed.bin", ": ICNT(5) = 2147483647 is more than the counts of its own record allow (2)"},
      {"transport.bin", ": NQAL = 2147483647 is more than the counts of its own record allow (0)"},
  };
  for (const auto& c : cases) {
    StreamAverage average(box.Path(c.file), AverageChoices{});
    EXPECT_FALSE(average.Run());
    EXPECT_EQ(box.Path(c.file) + c.error, average.report().error);
  }
}

}  // namespace
}  // namespace korvant
