#include "engine/node_arrays.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

namespace korvant {
namespace {

TEST(NodeArraysTest, GrowingKeepsTheValuesAndStartsTheNewSlots) {
  NodeArrays<double> arrays(2);
  const double starts[] = {1.5, -2.0};
  arrays.Grow(3, starts);
  arrays.array(0)[2] = 7.0;
  arrays.array(1)[0] = 8.0;
  arrays.Grow(2, starts);  // never shrinks: slot 2 keeps its 7 through the next growth
  arrays.Grow(70000, starts);
  EXPECT_EQ(arrays.array(0)[0], 1.5);
  EXPECT_EQ(arrays.array(0)[2], 7.0);
  EXPECT_EQ(arrays.array(0)[69999], 1.5);
  EXPECT_EQ(arrays.array(1)[0], 8.0);
  EXPECT_EQ(arrays.array(1)[1], -2.0);
  EXPECT_EQ(arrays.array(1)[69999], -2.0);
}

// Before the first slot there is nothing to point into, whatever the array's
// place in its page would be.
TEST(NodeArraysTest, ArraysOfNoSlotsAreNull) {
  const NodeArrays<float> arrays(3, /*first=*/2);
  EXPECT_EQ(arrays.array(0), nullptr);
  EXPECT_EQ(arrays.array(2), nullptr);
}

// Sixty thousand floats fill whole pages but for a few bytes, 1024 and 65536
// fill them exactly: the arrays must still start at different page offsets.
TEST(NodeArraysTest, ArraysStartAtDifferentPageOffsets) {
  NodeArrays<float> arrays(10);
  const float starts[10] = {};
  for (int64_t nodes : {1024, 60000, 65536}) {
    arrays.Grow(nodes, starts);
    std::set<uintptr_t> offsets;
    for (int i = 0; i < 10; ++i)
      offsets.insert(reinterpret_cast<uintptr_t>(arrays.array(i)) % 4096);
    EXPECT_EQ(offsets.size(), 10u) << nodes << " nodes";
  }
}

}  // namespace
}  // namespace korvant
