#include "text/char_codes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korvant {
namespace {

TEST(CharCodesTest, CodesBecomeCharacters) {
  char text[2] = {' ', ' '};
  const int32_t codes[2] = {72, 105};
  CodesToText(codes, text, 1, 2);
  EXPECT_EQ("Hi", std::string(text, 2));
}

TEST(CharCodesTest, OnlyTheLowestEightBitsOfACodeCount) {
  char text[4] = {};
  const int32_t codes[4] = {328, 72 + 256 * 1000, -184, 255};  // -184 is 0x...FF48
  CodesToText(codes, text, 1, 4);
  EXPECT_EQ('H', text[0]);
  EXPECT_EQ('H', text[1]);
  EXPECT_EQ('H', text[2]);
  EXPECT_EQ(255, static_cast<unsigned char>(text[3]));
}

TEST(CharCodesTest, LinesKeepTheirPitchOfEightyAndCodesRunWithoutGaps) {
  std::string text(2 * 80, '.');
  const int32_t codes[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
  CodesToText(codes, text.data(), 2, 3);
  std::string expected(2 * 80, '.');
  expected.replace(0, 3, "abc");
  expected.replace(80, 3, "def");
  EXPECT_EQ(expected, text);
}

TEST(CharCodesTest, ShortLengthLeavesTheRestOfTheLineUntouched) {
  std::string field(80, '#');
  const std::vector<int32_t> codes(77, 'T');
  CodesToText(codes.data(), field.data(), 1, 77);
  EXPECT_EQ(std::string(77, 'T') + "###", field);
}

TEST(CharCodesTest, NoLinesOrNoLengthConvertsNothing) {
  char text[2] = {'a', 'b'};
  const int32_t codes[2] = {72, 105};
  CodesToText(codes, text, 0, 2);
  CodesToText(codes, text, 1, 0);
  CodesToText(codes, text, -3, 2);
  CodesToText(codes, text, 1, -3);
  EXPECT_EQ("ab", std::string(text, 2));
}

}  // namespace
}  // namespace korvant
