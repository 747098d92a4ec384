#include "text/convrt.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "io/run_aborted.h"

namespace korvant {
namespace {

constexpr int kDirectionToCodes = 1;
constexpr int kDirectionToText = 2;

// Runs CONVRT against a console on a string; keeps what was written and how
// the run ended.
class ConvrtTest : public ::testing::Test {
 protected:
  ConvrtTest() : sink_(&screen_) {}

  void Run(char* text, int32_t lines, int32_t* codes, int32_t length, int32_t direction) {
    stopped_ = false;
    try {
      CONVRT(text, lines, codes, length, direction, sink_);
    } catch (const RunAborted& e) {
      stopped_ = true;
      status_ = e.status;
      diagnostic_ = e.diagnostic;
    }
    sink_.Flush();
  }
  std::string Screen() const { return screen_.str(); }

  std::ostringstream screen_;
  TextSink sink_;
  bool stopped_ = false;
  int status_ = 0;
  std::string diagnostic_;
};

std::string Lines(std::initializer_list<const char*> lines) {
  std::string all;
  for (const char* line : lines) all += std::string(line) + "\n";
  return all;
}

TEST_F(ConvrtTest, FifteenLinesOfEightyPassTheSizeCheck) {
  std::string text(15 * 80, ' ');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('A' + i % 26);
  std::vector<int32_t> codes(1200, -1);
  Run(text.data(), 15, codes.data(), 80, kDirectionToCodes);
  EXPECT_FALSE(stopped_);
  EXPECT_EQ("", Screen());
  EXPECT_EQ('A', codes[0]);
  EXPECT_EQ('A' + 1199 % 26, codes[1199]);
}

TEST_F(ConvrtTest, SixteenLinesOfEightyStopWithTheSizeMessages) {
  std::string text(16 * 80, 'x');
  std::vector<int32_t> codes(16 * 80, 65);
  Run(text.data(), 16, codes.data(), 80, kDirectionToText);
  EXPECT_TRUE(stopped_);
  EXPECT_EQ(1, status_);
  EXPECT_EQ("", diagnostic_);
  EXPECT_EQ(Lines({" Error in CONVRT ... LENGTH & SIZE are inconsistant",
                   "          with dimension capabilities", "CONVRT"}),
            Screen());
  EXPECT_EQ(std::string(16 * 80, 'x'), text);  // stopped before converting
}

TEST_F(ConvrtTest, LengthAbove1200GivesAllThreeMessagesBeforeTheStop) {
  std::string text(1201, 'x');
  std::vector<int32_t> codes(1201, 65);
  Run(text.data(), 1, codes.data(), 1201, kDirectionToText);
  EXPECT_TRUE(stopped_);
  EXPECT_EQ(1, status_);
  EXPECT_EQ(Lines({" Error in CONVRT ... LENGTH & SIZE are inconsistant",
                   "          with dimension capabilities",
                   " Error in CONVRT ... size larger than 1200", "CONVRT"}),
            Screen());
}

TEST_F(ConvrtTest, LengthAbove1200StopsEvenWithNoLines) {
  int32_t code = 65;
  char c = 'x';
  Run(&c, 0, &code, 1201, kDirectionToText);
  EXPECT_TRUE(stopped_);
  EXPECT_EQ(Lines({" Error in CONVRT ... size larger than 1200", "CONVRT"}), Screen());
}

TEST_F(ConvrtTest, SizeProductDoesNotWrapAround) {
  // 65536 x 65536 wraps to 0 in 32 bits.
  int32_t code = 65;
  char c = 'x';
  Run(&c, 65536, &code, 65536, kDirectionToText);
  EXPECT_TRUE(stopped_);
  EXPECT_EQ(Lines({" Error in CONVRT ... LENGTH & SIZE are inconsistant",
                   "          with dimension capabilities",
                   " Error in CONVRT ... size larger than 1200", "CONVRT"}),
            Screen());
  EXPECT_EQ('x', c);
}

TEST_F(ConvrtTest, CodesBecomeCharacters) {
  char text[2] = {' ', ' '};
  int32_t codes[2] = {72, 105};
  Run(text, 1, codes, 2, kDirectionToText);
  EXPECT_FALSE(stopped_);
  EXPECT_EQ("Hi", std::string(text, 2));
  EXPECT_EQ("", Screen());
}

TEST_F(ConvrtTest, OnlyTheLowestEightBitsOfACodeCount) {
  char text[4] = {};
  int32_t codes[4] = {328, 72 + 256 * 1000, -184, 255};  // -184 is 0x...FF48
  Run(text, 1, codes, 4, kDirectionToText);
  EXPECT_EQ('H', text[0]);
  EXPECT_EQ('H', text[1]);
  EXPECT_EQ('H', text[2]);
  EXPECT_EQ(255, static_cast<unsigned char>(text[3]));
}

TEST_F(ConvrtTest, CharactersBecomeByteValuesNeverNegative) {
  const char text[4] = {'H', 'i', '\xE9', '\xFF'};
  std::string field(text, 4);
  int32_t codes[4] = {-1, -1, -1, -1};
  Run(field.data(), 1, codes, 4, kDirectionToCodes);
  EXPECT_EQ(72, codes[0]);
  EXPECT_EQ(105, codes[1]);
  EXPECT_EQ(233, codes[2]);
  EXPECT_EQ(255, codes[3]);
  EXPECT_EQ(std::string(text, 4), field);
}

TEST_F(ConvrtTest, LinesKeepTheirPitchOfEightyAndCodesRunWithoutGaps) {
  std::string text(2 * 80, '.');
  int32_t codes[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
  Run(text.data(), 2, codes, 3, kDirectionToText);
  std::string expected(2 * 80, '.');
  expected.replace(0, 3, "abc");
  expected.replace(80, 3, "def");
  EXPECT_EQ(expected, text);
}

TEST_F(ConvrtTest, ToCodesAndBackLeavesTheTextUnchanged) {
  std::string text(15 * 80, ' ');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>((i * 7 + 3) % 256);
  const std::string original = text;
  std::vector<int32_t> codes(1200, 0);
  Run(text.data(), 15, codes.data(), 80, kDirectionToCodes);
  std::string scrambled(text.size(), '?');
  Run(scrambled.data(), 15, codes.data(), 80, kDirectionToText);
  EXPECT_EQ(original, scrambled);
  EXPECT_EQ("", Screen());
}

TEST_F(ConvrtTest, ShortLengthLeavesTheRestOfTheLineUntouched) {
  std::string field(80, '#');
  std::vector<int32_t> codes(77, 'T');
  Run(field.data(), 1, codes.data(), 77, kDirectionToText);
  EXPECT_EQ(std::string(77, 'T') + "###", field);

  std::vector<int32_t> back(80, -5);
  Run(field.data(), 1, back.data(), 77, kDirectionToCodes);
  EXPECT_EQ('T', back[76]);
  EXPECT_EQ(-5, back[77]);
}

TEST_F(ConvrtTest, InvalidDirectionWritesTheMessageAndChangesNothing) {
  for (int32_t direction : {3, 0, -1}) {
    SCOPED_TRACE(direction);
    screen_.str("");
    char text[2] = {'a', 'b'};
    int32_t codes[2] = {72, 105};
    Run(text, 1, codes, 2, direction);
    EXPECT_FALSE(stopped_);
    EXPECT_EQ(Lines({" --> Value of ISWTCH invalid in CONVRT"}), Screen());
    EXPECT_EQ("ab", std::string(text, 2));
    EXPECT_EQ(72, codes[0]);
    EXPECT_EQ(105, codes[1]);
  }
}

TEST_F(ConvrtTest, NoLinesOrNoLengthConvertsNothing) {
  char text[2] = {'a', 'b'};
  int32_t codes[2] = {72, 105};
  Run(text, 0, codes, 2, kDirectionToText);
  Run(text, 1, codes, 0, kDirectionToText);
  Run(text, -3, codes, 2, kDirectionToCodes);
  Run(text, 1, codes, -3, kDirectionToCodes);
  EXPECT_FALSE(stopped_);
  EXPECT_EQ("", Screen());
  EXPECT_EQ("ab", std::string(text, 2));
  EXPECT_EQ(72, codes[0]);
  EXPECT_EQ(105, codes[1]);
}

}  // namespace
}  // namespace korvant
