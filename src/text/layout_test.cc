#include "text/layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

namespace korvant {
namespace {

// The lines `values` make through `layout`, joined by '\n' (no line end after
// the last line).
std::string FormatLayout(std::string_view layout, std::initializer_list<Value> values) {
  std::ostringstream text;
  {
    TextSink sink(&text);
    WriteLayout(sink, layout, values);
    sink.Flush();
  }
  std::string lines = text.str();
  if (!lines.empty() && lines.back() == '\n') lines.pop_back();
  return lines;
}

std::string ParseError(std::string_view text) {
  Layout layout;
  std::string err;
  EXPECT_FALSE(ParseLayout(text, &layout, &err)) << text;
  return err;
}

std::string Fixed(float value, int width, int decimals) {
  std::string out;
  AppendFixed(&out, value, width, decimals);
  return out;
}

std::string Int(int32_t value, int width) {
  std::string out;
  AppendInt(&out, value, width);
  return out;
}

std::string Free(std::initializer_list<Value> values) {
  std::ostringstream screen;
  TextSink sink(&screen);
  WriteFree(sink, values);
  sink.Flush();
  return screen.str();
}

std::string Blanks(int n) { return std::string(static_cast<size_t>(n), ' '); }
std::string Stars(int n) { return std::string(static_cast<size_t>(n), '*'); }

TEST(LayoutTest, ItemsWriteTheirColumns) {
  EXPECT_EQ(" TIME STEP    17 AT HOUR   12.500000",
            FormatLayout("(' TIME STEP',I6,' AT HOUR',F12.6)", {17, 12.5f}));
  EXPECT_EQ(" -12   0", FormatLayout("(I4,I4)", {-12, 0}));
  EXPECT_EQ("***", FormatLayout("(I3)", {1000}));
  EXPECT_EQ("    0.500000", FormatLayout("(F12.6)", {0.5f}));
  EXPECT_EQ("************", FormatLayout("(F12.6)", {-1234567.0f}));
  EXPECT_EQ("   ab", FormatLayout("(A5)", {"ab"}));
  EXPECT_EQ("abcde", FormatLayout("(A5)", {"abcdefg"}));
  EXPECT_EQ("ab  |", FormatLayout("(A,'|')", {"ab  "}));
  const std::string name50 = "/data/runs/2024/north_basin/hydro_step_output1.bin";
  ASSERT_EQ(50u, name50.size());
  EXPECT_EQ(name50, FormatLayout("(A50)", {name50}));
  const std::string banner80 = std::string(40, 'B') + std::string(40, 'b');
  EXPECT_EQ(banner80, FormatLayout("(A80)", {banner80}));
}

TEST(LayoutTest, QuotesAndBlanks) {
  EXPECT_EQ("IT'S 5", FormatLayout("('IT''S',I2)", {5}));
  EXPECT_EQ("'", FormatLayout("('''')", {}));
  EXPECT_EQ("' X'", FormatLayout("(''' ',A,'''')", {"X"}));
  EXPECT_EQ(" A B ", FormatLayout("(' A B ')", {}));
  EXPECT_EQ("  7    1.25", FormatLayout("( I 3 , 2 X , F 6 . 2 )", {7, 1.25f}));
}

TEST(LayoutTest, RepeatCountsAndGroups) {
  EXPECT_EQ("   1  -2  30", FormatLayout("(3I4)", {1, -2, 30}));
  EXPECT_EQ("  1.5 -2.2 abcde", FormatLayout("(2F5.1,2A3)", {1.5f, -2.25f, "ab", "cdef"}));
  EXPECT_EQ(" 1| 2|", FormatLayout("(2(I2,'|'))", {1, 2}));
  EXPECT_EQ("[12][34]", FormatLayout("(2('[',2(I1),']'))", {1, 2, 3, 4}));
  EXPECT_EQ("\n 1\n 2\n 3", FormatLayout("(3(/,I2))", {1, 2, 3}));
  EXPECT_EQ(" 1\n\n 2", FormatLayout("(I2,/,/,I2)", {1, 2}));
  EXPECT_EQ(" A\n B", FormatLayout("(' A'/' B')", {}));
  EXPECT_EQ("5", FormatLayout("(1(1(1(1(1(1(1(I1))))))))", {5}));

  Layout layout;
  std::string err;
  ASSERT_TRUE(ParseLayout("(' A',2(I3,F6.2),/)", &layout, &err)) << err;
  ASSERT_EQ(6u, layout.items.size());
  EXPECT_EQ(" A", layout.items[0].text);
  EXPECT_EQ(LayoutItem::kGroupBegin, layout.items[1].kind);
  EXPECT_EQ(2, layout.items[1].repeat);
  EXPECT_EQ(4, layout.items[1].partner);
  EXPECT_EQ(LayoutItem::kFixed, layout.items[3].kind);
  EXPECT_EQ(6, layout.items[3].width);
  EXPECT_EQ(2, layout.items[3].decimals);
  EXPECT_EQ(1, layout.items[4].partner);
  EXPECT_EQ(LayoutItem::kNewLine, layout.items[5].kind);
}

TEST(LayoutTest, WritingStopsAtTheFirstValueItemWithoutAValue) {
  EXPECT_EQ(" N=", FormatLayout("(' N=',I3,' DONE')", {}));
  EXPECT_EQ("\n A", FormatLayout("(/,' A',I3,/,' B')", {}));
  EXPECT_EQ("", FormatLayout("(I3,' X')", {}));
  EXPECT_EQ(" 1|", FormatLayout("(2(I2,'|'),' END')", {1}));
  EXPECT_EQ("  1", FormatLayout("(I3)", {1, 2}));   // extra values are ignored
  EXPECT_EQ(" A\n", FormatLayout("(' A',/)", {}));  // a final / leaves an empty line
}

TEST(LayoutTest, SkipWritesBlanksOnlyBeforeLaterCharacters) {
  EXPECT_EQ(" A", FormatLayout("(' A',5X)", {}));
  EXPECT_EQ(" A      B", FormatLayout("(' A',5X,' B')", {}));
  EXPECT_EQ(" A\n\n B", FormatLayout("(' A',/,5X,/,' B')", {}));
  EXPECT_EQ("\n\n", FormatLayout("(/,5X,/)", {}));
  EXPECT_EQ("", FormatLayout("(5X,A)", {""}));
  EXPECT_EQ("        ", FormatLayout("(5X,A3)", {""}));  // a field's own blanks stay
  EXPECT_EQ("     7", FormatLayout("(3X,2X,I1)", {7}));
  EXPECT_EQ("", FormatLayout("(4X,I2)", {}));
}

TEST(LayoutTest, VeltoLine) {
  constexpr std::string_view kVelto = "(/,' VELTO=',A77,/,6X,2I8)";
  const std::string name77 = std::string(70, 'v') + "vel.dat";
  const std::string heading = "\n VELTO=" + name77 + "\n";
  EXPECT_EQ(heading + "            12      -3", FormatLayout(kVelto, {name77, 12, -3}));
  EXPECT_EQ(heading + "             5", FormatLayout(kVelto, {name77, 5}));
  EXPECT_EQ(heading, FormatLayout(kVelto, {name77}));
  EXPECT_EQ("\n VELTO=" + Blanks(70) + "vel.dat\n", FormatLayout(kVelto, {"vel.dat"}));
}

TEST(LayoutTest, MergeSummaryStopsAtTheFirstEmptyGroup) {
  constexpr std::string_view kMerged =
      "(/,' THE MERGED FILE IS NAMED=',A50,' AND THESE DATA FILES AND TIMES WERE USED TO "
      "CREATE IT',/,3X,10(A50,5X,2F12.6),/,/)";
  const std::string heading = "\n THE MERGED FILE IS NAMED=" + Blanks(40) +
                              "merged.bin AND THESE DATA FILES AND TIMES WERE USED TO CREATE IT\n";
  EXPECT_EQ(
      heading + "   " + Blanks(42) + "run1.bin" + "     " + "    0.000000   12.500000" +
          Blanks(42) + "run2.bin" + "     " + "   12.500000   24.000000",
      FormatLayout(kMerged, {"merged.bin", "run1.bin", 0.0f, 12.5f, "run2.bin", 12.5f, 24.0f}));
  EXPECT_EQ(heading, FormatLayout(kMerged, {"merged.bin"}));

  std::string groups = "   ";
  for (char i = '0'; i <= '9'; ++i) {
    groups +=
        Blanks(44) + "f" + i + ".bin" + "     " + "    " + i + ".000000" + "    " + i + ".500000";
  }
  EXPECT_EQ(heading + groups + "\n\n",
            FormatLayout(kMerged,
                         {"merged.bin", "f0.bin", 0.0f, 0.5f, "f1.bin", 1.0f, 1.5f, "f2.bin", 2.0f,
                          2.5f,         "f3.bin", 3.0f, 3.5f, "f4.bin", 4.0f, 4.5f, "f5.bin", 5.0f,
                          5.5f,         "f6.bin", 6.0f, 6.5f, "f7.bin", 7.0f, 7.5f, "f8.bin", 8.0f,
                          8.5f,         "f9.bin", 9.0f, 9.5f, "ignored"}));
}

TEST(LayoutTest, ParseErrorsSayWhere) {
  EXPECT_EQ("layout col 8: expected '.d' after F12", ParseError("(I6,F12)"));
  EXPECT_EQ("layout col 12: expected '.d' after F12", ParseError("( I6, F 12 )"));
  EXPECT_EQ("layout col 1: expected '('", ParseError("I6"));
  EXPECT_EQ("layout col 1: expected '('", ParseError(""));
  EXPECT_EQ("layout col 4: missing ')'", ParseError("(I6"));
  EXPECT_EQ("layout col 7: missing ')'", ParseError("(2(I6)"));
  EXPECT_EQ("layout col 5: expected an item after ','", ParseError("(I6,)"));
  EXPECT_EQ("layout col 2: expected an item before ','", ParseError("(,I6)"));
  EXPECT_EQ("layout col 5: expected ',' or ')'", ParseError("(I6 I6)"));
  EXPECT_EQ("layout col 3: expected a width after I", ParseError("(I)"));
  EXPECT_EQ("layout col 3: width must be at least 1", ParseError("(I0)"));
  EXPECT_EQ("layout col 3: width must be at least 1", ParseError("(A0)"));
  EXPECT_EQ("layout col 5: expected decimals after F6.", ParseError("(F6.)"));
  EXPECT_EQ("layout col 2: decimals must be below the width in F4.4", ParseError("(F4.4)"));
  EXPECT_EQ("layout col 5: unterminated text", ParseError("(I6,' AB)"));
  EXPECT_EQ("layout col 2: unknown item 'Q'", ParseError("(Q3)"));
  EXPECT_EQ("layout col 3: expected I, F, A, X or '(' after 2", ParseError("(2'AB')"));
  EXPECT_EQ("layout col 2: count must be at least 1", ParseError("(0X)"));
  EXPECT_EQ("layout col 4: empty group", ParseError("(2())"));
  EXPECT_EQ("layout col 5: text after the closing ')'", ParseError("(I6))"));
  EXPECT_EQ("layout col 3: number above 9999", ParseError("(I10000)"));
  EXPECT_EQ("layout col 16: groups nested too deeply", ParseError("(1(1(1(1(1(1(1(1(I1)))))))))"));
}

TEST(LayoutTest, CachedLayoutParsesOnceAndRejectsBadText) {
  const Layout& first = CachedLayout("(I6,2X,A)");
  const std::string copy = "(I6,2X,A)";
  EXPECT_EQ(&first, &CachedLayout(copy));
  EXPECT_EQ(3u, first.items.size());
  EXPECT_THROW(CachedLayout("(I6,F12)"), std::logic_error);
  EXPECT_THROW(FormatLayout("(I3)", {1.5f}), std::logic_error);
  EXPECT_THROW(FormatLayout("(F6.2)", {"x"}), std::logic_error);
  EXPECT_THROW(FormatLayout("(A3)", {3}), std::logic_error);
}

TEST(LayoutTest, IntEdgeCases) {
  EXPECT_EQ("*", Int(-1, 1));
  EXPECT_EQ("-1", Int(-1, 2));
  EXPECT_EQ("    0", Int(0, 5));
  EXPECT_EQ("-2147483648", Int(std::numeric_limits<int32_t>::min(), 11));
  EXPECT_EQ(Stars(10), Int(std::numeric_limits<int32_t>::min(), 10));
}

TEST(LayoutTest, FixedEdgeCases) {
  EXPECT_EQ("  1.0", Fixed(1.0f, 5, 1));
  EXPECT_EQ(Stars(12), Fixed(-9999.0f, 12, 8));
  EXPECT_EQ("-0.00", Fixed(-0.001f, 5, 2));
  EXPECT_EQ("-0.00", Fixed(-0.0f, 5, 2));
  EXPECT_EQ(" 0.00", Fixed(0.0f, 5, 2));
  EXPECT_EQ("-.50", Fixed(-0.5f, 4, 2));
  EXPECT_EQ(" 0.50", Fixed(0.5f, 5, 2));
  EXPECT_EQ(".50", Fixed(0.5f, 3, 2));
  EXPECT_EQ("0.", Fixed(0.4f, 2, 0));
  EXPECT_EQ("**", Fixed(-0.4f, 2, 0));
  EXPECT_EQ("-0.", Fixed(-0.4f, 3, 0));
  EXPECT_EQ("*", Fixed(0.0f, 1, 0));
  // Ties go to even; values that only look like ties round by their exact value.
  EXPECT_EQ("  2.", Fixed(2.5f, 4, 0));
  EXPECT_EQ("  4.", Fixed(3.5f, 4, 0));
  EXPECT_EQ(" -2.", Fixed(-2.5f, 4, 0));
  EXPECT_EQ(" 0.12", Fixed(0.125f, 5, 2));
  EXPECT_EQ(" 0.38", Fixed(0.375f, 5, 2));
  EXPECT_EQ(" 0.4", Fixed(0.45f, 4, 1));    // 0.449999988...
  EXPECT_EQ(" 0.2", Fixed(0.15f, 4, 1));    // 0.150000006...
  EXPECT_EQ(" 1.00", Fixed(1.005f, 5, 2));  // 1.00499999...
  EXPECT_EQ(" 0.100000001", Fixed(0.1f, 12, 9));
  EXPECT_EQ("***", Fixed(9.96f, 3, 1));
  EXPECT_EQ("10.0", Fixed(9.96f, 4, 1));
  EXPECT_EQ("100000.", Fixed(1e5f, 7, 0));
  EXPECT_EQ("******", Fixed(1e5f, 6, 0));
  EXPECT_EQ("     33554432.0", Fixed(33554432.0f, 15, 1));
  const float max = std::numeric_limits<float>::max();
  EXPECT_EQ("340282346638528859811704183484516925440.0", Fixed(max, 41, 1));
  EXPECT_EQ(Stars(40), Fixed(max, 40, 1));
  EXPECT_EQ(Stars(39), Fixed(max, 39, 0));
  const float tiny = std::numeric_limits<float>::denorm_min();  // 1.4012984643e-45
  EXPECT_EQ("0." + std::string(44, '0') + "1401", Fixed(tiny, 50, 48));
  EXPECT_EQ(" -0.00", Fixed(-tiny, 6, 2));
}

TEST(LayoutTest, FixedNonFinite) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ("Infinity", Fixed(inf, 8, 2));
  EXPECT_EQ("    Inf", Fixed(inf, 7, 2));
  EXPECT_EQ("-Infinity", Fixed(-inf, 9, 2));
  EXPECT_EQ("    -Inf", Fixed(-inf, 8, 2));
  EXPECT_EQ("***", Fixed(-inf, 3, 1));
  EXPECT_EQ("NaN", Fixed(nan, 3, 1));
  EXPECT_EQ("**", Fixed(nan, 2, 1));
}

// printf rounds the exact binary value too ("#" keeps the point of F5.0), so
// for every finite float and field width the two agree digit for digit.
void CheckAgainstPrintf(float value, int decimals) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%#.*f", decimals, static_cast<double>(value));
  const std::string s = buf;
  const int w = static_cast<int>(s.size());
  ASSERT_EQ(s, Fixed(value, w, decimals)) << value << " F" << w << "." << decimals;
  ASSERT_EQ("   " + s, Fixed(value, w + 3, decimals)) << value;
  std::string narrower = Stars(w - 1);
  const size_t zero = s[0] == '-' ? 1 : 0;
  if (decimals > 0 && s.compare(zero, 2, "0.") == 0) narrower = std::string(s).erase(zero, 1);
  ASSERT_EQ(narrower, Fixed(value, w - 1, decimals)) << value;
}

TEST(LayoutTest, FixedMatchesPrintfOnRandomFloats) {
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<uint32_t> bits;
  for (int i = 0; i < 100000; ++i) {
    float value;
    const uint32_t b = bits(rng);
    std::memcpy(&value, &b, sizeof value);
    if (!std::isfinite(value)) continue;
    CheckAgainstPrintf(value, static_cast<int>(b % 10));
    if (i % 8 == 0) CheckAgainstPrintf(value, 30 + static_cast<int>(b % 31));
  }
  // Short dyadic fractions land exactly on ties.
  std::uniform_int_distribution<int> numerator(-100000, 100000);
  std::uniform_int_distribution<int> power(0, 12);
  for (int i = 0; i < 50000; ++i) {
    const float value = std::ldexp(static_cast<float>(numerator(rng)), -power(rng));
    CheckAgainstPrintf(value, i % 7);
  }
}

TEST(LayoutTest, FreeFormLines) {
  EXPECT_EQ(" VALUE          12  0.5000000    \n", Free({" VALUE", 12, 0.5f}));
  EXPECT_EQ(" JUST wrote            3 steps to out.bin\n",
            Free({" JUST wrote ", 3, " steps to ", "out.bin"}));
  EXPECT_EQ("          -5\n", Free({-5}));
  EXPECT_EQ("\n", Free({}));
}

TEST(LayoutTest, FreeFormReals) {
  const auto real = [](float value) {
    std::string line = Free({value});
    EXPECT_EQ('\n', line.back());
    line.pop_back();
    return line;
  };
  EXPECT_EQ("   100.0000    ", real(100.0f));
  EXPECT_EQ("  0.5000000    ", real(0.5f));
  EXPECT_EQ("   12.50000    ", real(12.5f));
  EXPECT_EQ("  -12.50000    ", real(-12.5f));
  EXPECT_EQ("   0.000000    ", real(0.0f));
  EXPECT_EQ("  0.1000000    ", real(0.1f));
  EXPECT_EQ("   9999999.    ", real(9999999.0f));
  EXPECT_EQ("   1000000.    ", real(999999.96875f));  // rounds up to 7 digits first
  EXPECT_EQ("   999999.9    ", real(999999.9375f));
  EXPECT_EQ("  0.1000000E+08", real(1e7f));
  EXPECT_EQ(" -0.1000000E+09", real(-1e8f));
  EXPECT_EQ("  0.1000000E-01", real(0.01f));  // 0.00999999977... rounds up
  EXPECT_EQ(" -0.2500000E-19", real(-2.5e-20f));
  EXPECT_EQ("  0.3000000E+39", real(3e38f));
  EXPECT_EQ("            NaN", real(std::numeric_limits<float>::quiet_NaN()));
}

}  // namespace
}  // namespace korvant
