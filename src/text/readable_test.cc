#include "text/readable.h"

#include <gtest/gtest.h>

namespace korvant {
namespace {

TEST(ValidUtf8Test, EachIllFormedPartBecomesOneReplacementCharacter) {
  const std::string r = "\xEF\xBF\xBD";
  const struct {
    std::string_view bytes;
    std::string want;
  } cases[] = {
      {"plain ascii", "plain ascii"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8C\x8A", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8C\x8A"},
      {"caf\xE9.bin", "caf" + r + ".bin"},  // Latin-1
      {"\xE2\x82", r},                      // cut short at the end
      {"\xE2\x82x", r + "x"},               // cut short before ASCII
      {"\xC0\xAF", r + r},                  // overlong: no lead, then a lone continuation
      {"\xED\xA0\x80", r + r + r},          // a surrogate
      {"\xF4\x90\x80\x80", r + r + r + r},  // past U+10FFFF
      {"\x80\xFF", r + r},
      {std::string_view("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, ValidUtf8(c.bytes)) << c.bytes;
}

TEST(CountedTest, SingularOnlyForOne) {
  EXPECT_EQ("1 step", Counted(1, "step", "steps"));
  EXPECT_EQ("0 steps", Counted(0, "step", "steps"));
  EXPECT_EQ("2 degrees of freedom", Counted(2, "degree of freedom", "degrees of freedom"));
}

}  // namespace
}  // namespace korvant
