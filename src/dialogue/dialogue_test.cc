#include "dialogue/dialogue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "io/run_aborted.h"
#include "tests/harness.h"
#include "tests/model_files.h"

namespace korvant {
namespace {

namespace fs = std::filesystem;
using std::string_literals::operator""s;

template <typename Fn>
RunAborted AbortOf(Fn&& fn) {
  try {
    fn();
  } catch (const RunAborted& e) {
    return e;
  }
  ADD_FAILURE() << "the run went on";
  return RunAborted{0, ""};
}

const char kConsoleEndOfFile[] = "end-of-file during read, unit 5, file stdin";

// ---- TRMLEN

TEST(TrmlenTest, TrailingBlanksDoNotCount) {
  EXPECT_EQ(3, TRMLEN("abc       "));
  EXPECT_EQ(3, TRMLEN("a b       "));
  EXPECT_EQ(10, TRMLEN("0123456789"));
  EXPECT_EQ(1, TRMLEN("!"));   // code 33
  EXPECT_EQ(1, TRMLEN("~ "));  // code 126
}

TEST(TrmlenTest, FieldWithNothingPrintableIsItsFullLength) {
  EXPECT_EQ(10, TRMLEN("          "));
  EXPECT_EQ(3, TRMLEN("\t\x01\x7F"));
  EXPECT_EQ(0, TRMLEN(""));
}

TEST(TrmlenTest, TabsControlsAndCodesFrom127CountAsBlanks) {
  EXPECT_EQ(1, TRMLEN("a\t"));
  EXPECT_EQ(2, TRMLEN("ab\x7F"));
  EXPECT_EQ(2, TRMLEN("ab\xC3\xA9  "));
  EXPECT_EQ(2, TRMLEN("ab\r\n\x00"s));
  EXPECT_EQ(5, TRMLEN("\tab\xFF"
                      "z\x7F\t"));
}

// ---- DCODE

// DCODE on one scripted answer; `start` is both the number and the default.
float Dcode(const std::string& input, float start) {
  std::istringstream answers(input);
  std::ostringstream screen;
  Console console(answers, screen);
  float number = start;
  DCODE(console, &number, number);
  return number;
}

RunAborted DcodeAbort(const std::string& input) {
  return AbortOf([&] { Dcode(input, 1.0f); });
}

TEST(DcodeTest, BlankAnswerKeepsTheDefault) {
  EXPECT_EQ(42.5f, Dcode("\n", 42.5f));
  EXPECT_EQ(42.5f, Dcode("                    \n", 42.5f));
  EXPECT_EQ(-7.0f, Dcode("   ", -7.0f));  // no line end before the input ends
  // Only the first 20 characters are looked at.
  EXPECT_EQ(3.0f, Dcode(std::string(20, ' ') + "99\n", 3.0f));
}

TEST(DcodeTest, WholeNumbersReadAsWritten) {
  EXPECT_EQ(12.0f, Dcode("12\n", 0.0f));
  EXPECT_EQ(-3.0f, Dcode("-3\n", 0.0f));
  EXPECT_EQ(7.0f, Dcode("+7\n", 0.0f));
  EXPECT_EQ(0.0f, Dcode("0\n", 5.0f));
  EXPECT_EQ(25.0f, Dcode("   25   \n", 0.0f));
  EXPECT_EQ(12.0f, Dcode("12\t\n", 0.0f));  // the tab is a trailing blank
}

TEST(DcodeTest, NumbersWithAPointTakeThePointAsWritten) {
  EXPECT_EQ(12.5f, Dcode("12.5\n", 0.0f));
  EXPECT_EQ(0.5f, Dcode(" .5\n", 0.0f));
  EXPECT_EQ(-0.5f, Dcode("-.5\n", 0.0f));
  EXPECT_EQ(12.0f, Dcode("12.\n", 0.0f));
  EXPECT_EQ(744.25f, Dcode("744.25\r\n", 0.0f));
}

TEST(DcodeTest, BlanksInsideTheAnswerAreNotDigits) {
  EXPECT_EQ(12.0f, Dcode("1 2\n", 0.0f));
  EXPECT_EQ(1.25f, Dcode("1. 25\n", 0.0f));
}

TEST(DcodeTest, TwentyDigitsWithoutAPointTakeTheLastTenAsDecimals) {
  EXPECT_EQ(3.1415926535f, Dcode("00000000031415926535\n", 0.0f));
  EXPECT_EQ(1234567890.123456789f, Dcode("12345678901234567890\n", 0.0f));
  // Characters past the 20th are dropped first.
  EXPECT_EQ(3.1415926535f, Dcode("0000000003141592653599999\n", 0.0f));
}

TEST(DcodeTest, NineteenDigitsGetOnlyThePoint) {
  EXPECT_EQ(1234567890123456789.0f, Dcode("1234567890123456789\n", 0.0f));
  EXPECT_EQ(31.0f, Dcode("0000000000000000031\n", 0.0f));
}

TEST(DcodeTest, ExponentWithoutAPointIsAConversionError) {
  RunAborted a = DcodeAbort("1E3\n");
  EXPECT_EQ(2, a.status);
  EXPECT_FALSE(a.diagnostic.empty());
}

TEST(DcodeTest, LettersAreAConversionError) {
  for (const char* answer : {"abc\n", "12x\n", "1.2.3\n", "1-2\n", "1E3\n", "--1\n"}) {
    SCOPED_TRACE(answer);
    RunAborted a = DcodeAbort(answer);
    EXPECT_EQ(2, a.status);
    EXPECT_FALSE(a.diagnostic.empty());
  }
}

TEST(DcodeTest, EndOfInputIsFatal) {
  RunAborted a = DcodeAbort("");
  EXPECT_EQ(2, a.status);
  EXPECT_EQ(kConsoleEndOfFile, a.diagnostic);
}

TEST(DcodeTest, FieldWithoutAPointHasTenImpliedDecimals) {
  float x = -1.0f;
  EXPECT_TRUE(DecodeFixedField("5                   ", &x));
  EXPECT_EQ(5e-10f, x);
  EXPECT_TRUE(DecodeFixedField("  -1.25             ", &x));
  EXPECT_EQ(-1.25f, x);
  EXPECT_FALSE(DecodeFixedField("1E3.0               ", &x));
  EXPECT_FALSE(DecodeFixedField("one                 ", &x));
}

// ---- free-form numbers

TEST(FreeFormTest, OneValueWithBlanksBefore) {
  int32_t i = -1;
  EXPECT_TRUE(ParseFreeInt("   42", &i));
  EXPECT_EQ(42, i);
  EXPECT_TRUE(ParseFreeInt("-1", &i));
  EXPECT_EQ(-1, i);
  EXPECT_TRUE(ParseFreeInt("-2147483648", &i));
  EXPECT_EQ(INT32_MIN, i);
  float r = -1.0f;
  EXPECT_TRUE(ParseFreeReals("  3.5", &r, 1));
  EXPECT_EQ(3.5f, r);
  EXPECT_TRUE(ParseFreeReals("7", &r, 1));
  EXPECT_EQ(7.0f, r);
  EXPECT_TRUE(ParseFreeReals("-.25", &r, 1));
  EXPECT_EQ(-0.25f, r);
}

TEST(FreeFormTest, HourWindowSeparatedByBlanksOrAComma) {
  for (const char* line : {"10 20.5", "10,20.5", "  10 ,  20.5  ", "10, 20.5", "10\t20.5"}) {
    SCOPED_TRACE(line);
    float hours[2] = {-1.0f, -1.0f};
    EXPECT_TRUE(ParseFreeReals(line, hours, 2));
    EXPECT_EQ(10.0f, hours[0]);
    EXPECT_EQ(20.5f, hours[1]);
  }
}

TEST(FreeFormTest, ValuesNotOnTheLineLeaveTheirDestinations) {
  for (const char* line : {"", "    ", "/", "  / 5 6"}) {
    SCOPED_TRACE(line);
    float hours[2] = {3.0f, 4.0f};
    EXPECT_TRUE(ParseFreeReals(line, hours, 2));
    EXPECT_EQ(3.0f, hours[0]);
    EXPECT_EQ(4.0f, hours[1]);
    int32_t i = 9;
    EXPECT_TRUE(ParseFreeInt(line, &i));
    EXPECT_EQ(9, i);
  }
  float hours[2] = {3.0f, 4.0f};
  EXPECT_TRUE(ParseFreeReals("5", hours, 2));
  EXPECT_EQ(5.0f, hours[0]);
  EXPECT_EQ(4.0f, hours[1]);
  hours[0] = 3.0f;
  EXPECT_TRUE(ParseFreeReals("5 / 6", hours, 2));
  EXPECT_EQ(5.0f, hours[0]);
  EXPECT_EQ(4.0f, hours[1]);
  EXPECT_TRUE(ParseFreeReals("1,", hours, 2));
  EXPECT_EQ(1.0f, hours[0]);
  EXPECT_EQ(4.0f, hours[1]);
  EXPECT_TRUE(ParseFreeReals(",8", hours, 2));
  EXPECT_EQ(1.0f, hours[0]);
  EXPECT_EQ(8.0f, hours[1]);
}

TEST(FreeFormTest, ValuesBeyondThoseAskedForAreIgnored) {
  float hours[2] = {};
  EXPECT_TRUE(ParseFreeReals("1 2 3", hours, 2));
  EXPECT_EQ(1.0f, hours[0]);
  EXPECT_EQ(2.0f, hours[1]);
  EXPECT_TRUE(ParseFreeReals("5 6 junk", hours, 2));
  EXPECT_EQ(6.0f, hours[1]);
  int32_t i = 0;
  EXPECT_TRUE(ParseFreeInt("1 2", &i));
  EXPECT_EQ(1, i);
}

TEST(FreeFormTest, ExponentsAreAcceptedForReals) {
  float r = 0.0f;
  EXPECT_TRUE(ParseFreeReals("1E3", &r, 1));
  EXPECT_EQ(1000.0f, r);
  EXPECT_TRUE(ParseFreeReals("1.5D2", &r, 1));
  EXPECT_EQ(150.0f, r);
  EXPECT_TRUE(ParseFreeReals("1.5d2", &r, 1));
  EXPECT_EQ(150.0f, r);
  EXPECT_TRUE(ParseFreeReals("2.5e-1", &r, 1));
  EXPECT_EQ(0.25f, r);
  EXPECT_TRUE(ParseFreeReals("-4E+1", &r, 1));
  EXPECT_EQ(-40.0f, r);
  // Below the normal floats: the nearest float, subnormal or zero.
  EXPECT_TRUE(ParseFreeReals("1.0e-40", &r, 1));
  EXPECT_EQ(1.0e-40f, r);
  EXPECT_TRUE(ParseFreeReals("-1.0e-50", &r, 1));
  EXPECT_EQ(0.0f, r);
}

TEST(FreeFormTest, AValueNotOfTheDestinationTypeIsAnError) {
  int32_t i = 5;
  for (const char* line :
       {"1.5", "1E3", "abc", "12abc", "-", "2147483648", "99999999999999999999"}) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(ParseFreeInt(line, &i));
  }
  float r = 5.0f;
  for (const char* line : {"abc", "1.2.3", "E3", ".", "1E", "1e39"}) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(ParseFreeReals(line, &r, 1));
  }
  float hours[2] = {0.0f, 0.0f};
  EXPECT_FALSE(ParseFreeReals("10 x", hours, 2));
}

struct Scripted {
  explicit Scripted(std::string input) : answers(std::move(input)), console(answers, screen) {}
  std::istringstream answers;
  std::ostringstream screen;
  Console console;
};

TEST(FreeFormTest, ConsoleReadsTakeOneLineEach) {
  Scripted c("  10 , 20\n3\n2.5\n");
  float start = 0.0f, end = 0.0f;
  EXPECT_TRUE(ReadFreeHours(c.console, &start, &end));
  EXPECT_EQ(10.0f, start);
  EXPECT_EQ(20.0f, end);
  int32_t i = 0;
  EXPECT_TRUE(ReadFreeInt(c.console, &i));
  EXPECT_EQ(3, i);
  float r = 0.0f;
  EXPECT_TRUE(ReadFreeReal(c.console, &r));
  EXPECT_EQ(2.5f, r);
  EXPECT_FALSE(ReadFreeReal(c.console, &r));
  EXPECT_EQ(2.5f, r);
}

TEST(FreeFormTest, EmptyLineKeepsTheHourWindow) {
  Scripted c("\n");
  float start = 1.0f, end = 2.0f;
  EXPECT_TRUE(ReadFreeHours(c.console, &start, &end));
  EXPECT_EQ(1.0f, start);
  EXPECT_EQ(2.0f, end);
}

TEST(FreeFormTest, ConsoleReadsEndOfInputLeavesTheDestination) {
  Scripted c("");
  float start = 1.0f, end = 2.0f;
  int32_t i = 4;
  EXPECT_FALSE(ReadFreeHours(c.console, &start, &end));
  EXPECT_FALSE(ReadFreeInt(c.console, &i));
  EXPECT_EQ(1.0f, start);
  EXPECT_EQ(2.0f, end);
  EXPECT_EQ(4, i);
}

TEST(FreeFormTest, ConsoleAnswerThatIsNotANumberIsFatal) {
  Scripted ints("1.5\n");
  int32_t i = 0;
  EXPECT_EQ(2, AbortOf([&] { ReadFreeInt(ints.console, &i); }).status);
  Scripted hours("10 later\n");
  float start = 0.0f, end = 0.0f;
  EXPECT_EQ(2, AbortOf([&] { ReadFreeHours(hours.console, &start, &end); }).status);
}

// ---- yes/no answers

struct Answered {
  explicit Answered(std::string input) : answers(std::move(input)), s(answers, screen) {}
  std::string Ans() const { return std::string(s.dms.ANS, kAnswerChars); }
  std::istringstream answers;
  std::ostringstream screen;
  Session s;
};

TEST(YesNoTest, YesUnlessNIsNoOnlyForALeadingNOrN) {
  Answered a("N\nn\nno thanks\nNEVER\n n\n\nY\nx\n\t\n");
  EXPECT_EQ(std::optional<bool>(false), AskYesUnlessN(a.s));
  EXPECT_EQ("N         ", a.Ans());
  EXPECT_EQ(std::optional<bool>(false), AskYesUnlessN(a.s));
  EXPECT_EQ(std::optional<bool>(false), AskYesUnlessN(a.s));
  EXPECT_EQ("no thanks ", a.Ans());
  EXPECT_EQ(std::optional<bool>(false), AskYesUnlessN(a.s));
  EXPECT_EQ(std::optional<bool>(true), AskYesUnlessN(a.s));  // blank, then n
  EXPECT_EQ(" n        ", a.Ans());
  EXPECT_EQ(std::optional<bool>(true), AskYesUnlessN(a.s));  // empty line
  EXPECT_EQ("          ", a.Ans());
  EXPECT_EQ(std::optional<bool>(true), AskYesUnlessN(a.s));
  EXPECT_EQ(std::optional<bool>(true), AskYesUnlessN(a.s));
  EXPECT_EQ(std::optional<bool>(true), AskYesUnlessN(a.s));
  EXPECT_EQ(std::nullopt, AskYesUnlessN(a.s));
}

TEST(YesNoTest, NoUnlessYIsYesOnlyForALeadingYOrY) {
  Answered a("Y\ny\nyes please\n\n y\nN\n1\n");
  EXPECT_EQ(std::optional<bool>(true), AskNoUnlessY(a.s));
  EXPECT_EQ(std::optional<bool>(true), AskNoUnlessY(a.s));
  EXPECT_EQ(std::optional<bool>(true), AskNoUnlessY(a.s));
  EXPECT_EQ("yes please", a.Ans());
  EXPECT_EQ(std::optional<bool>(false), AskNoUnlessY(a.s));  // empty line
  EXPECT_EQ("          ", a.Ans());
  EXPECT_EQ(std::optional<bool>(false), AskNoUnlessY(a.s));  // blank, then y
  EXPECT_EQ(std::optional<bool>(false), AskNoUnlessY(a.s));
  EXPECT_EQ(std::optional<bool>(false), AskNoUnlessY(a.s));
  EXPECT_EQ(std::nullopt, AskNoUnlessY(a.s));
}

TEST(YesNoTest, AnswerFieldKeepsTheFirstTenCharacters) {
  Answered a("YESYESYESYESYES\n");
  EXPECT_EQ(std::optional<bool>(true), AskNoUnlessY(a.s));
  EXPECT_EQ("YESYESYESY", a.Ans());
}

// ---- file names

TEST(TrimNameTest, LeadingAndTrailingBlanksAreNotPartOfTheName) {
  const std::string answer = std::string(30, 'f') + std::string(20, ' ');
  EXPECT_EQ(std::string(30, 'f'), TrimName(answer));
  EXPECT_EQ("run1.bin", TrimName("  run1.bin" + std::string(40, ' ')));
  EXPECT_EQ("my run.bin", TrimName(" my run.bin "));
  EXPECT_EQ("", TrimName(std::string(50, ' ')));
  EXPECT_EQ("", TrimName(""));
}

// Name dialogues work on real files in a directory of their own.
class NameDialogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = fs::current_path();
    fs::current_path(box_.dir());
  }
  void TearDown() override { fs::current_path(old_cwd_); }
  void Put(const char* name, const std::string& bytes) { box_.Write(name, bytes); }
  std::string Get(const char* name) { return box_.Read(name); }

  Sandbox box_;
  fs::path old_cwd_;
};

constexpr char kNotFound[] = " Sorry ... no such file name ... try again";
constexpr char kOverwrite[] = " That file name already exists   OverWrite? ";

TEST_F(NameDialogueTest, MissingInputFileIsAskedForAgain) {
  Put("there.bin", "");
  fs::create_directory("folder");
  Answered a("missing.bin\nfolder\n\n  there.bin  \n");
  char field[kNameChars];
  ASSERT_TRUE(InputNameDialogue(a.s, " Enter input file name", kNotFound, field, 50));
  a.s.out().Flush();
  const std::string prompt = " Enter input file name\n";
  const std::string sorry = std::string(kNotFound) + "\n";
  EXPECT_EQ(prompt + sorry + prompt + sorry + prompt + sorry + prompt, a.screen.str());
  EXPECT_EQ("  there.bin" + std::string(39, ' '), std::string(field, kNameChars));
  EXPECT_TRUE(a.s.unit(50).is_open());
  EXPECT_FALSE(a.s.unit(50).writing());
  EXPECT_EQ("there.bin", a.s.unit(50).name());
}

TEST_F(NameDialogueTest, InputNameDialogueEndsWithTheInput) {
  Answered a("missing.bin\n");
  char field[kNameChars];
  EXPECT_FALSE(InputNameDialogue(a.s, " Enter input file name", kNotFound, field, 50));
  EXPECT_FALSE(a.s.unit(50).is_open());
}

TEST_F(NameDialogueTest, OverwriteRefusedByEmptyOrNAnswerAsksForTheNameAgain) {
  Put("old.bin", "keep");
  Answered a("old.bin\n\nold.bin\nno\nold.bin\n   \nnew.bin\n");
  char field[kNameChars];
  ASSERT_TRUE(OutputNameDialogue(a.s, " Enter output file name", field, 60));
  a.s.out().Flush();
  const std::string prompt = " Enter output file name\n";
  const std::string ask = std::string(kOverwrite) + "\n";
  EXPECT_EQ(prompt + ask + prompt + ask + prompt + ask + prompt, a.screen.str());
  EXPECT_EQ('N', a.s.dms.ANS[0]);
  EXPECT_EQ("new.bin", a.s.unit(60).name());
  EXPECT_TRUE(a.s.unit(60).writing());
  a.s.unit(60).Close();
  EXPECT_EQ("keep", Get("old.bin"));
  EXPECT_TRUE(fs::exists("new.bin"));
}

TEST_F(NameDialogueTest, OverwriteAgreedReplacesTheFile) {
  for (const char* reply : {"y", "x", " y", "YES"}) {
    SCOPED_TRACE(reply);
    Put("old.bin", std::string(100, 'o'));
    Answered a("old.bin\n"s + reply + "\n");
    char field[kNameChars];
    ASSERT_TRUE(OutputNameDialogue(a.s, " Enter output file name", field, 60));
    RecordFile& out = a.s.unit(60);
    EXPECT_EQ("old.bin", out.name());
    EXPECT_EQ(std::string(100, 'o'), Get("old.bin"));  // replaced only by a write
    const int32_t one = 1;
    out.Write({PieceOf(one)});
    out.Close();
    EXPECT_EQ(Framed(RecordBuilder().Int(1)), Get("old.bin"));
  }
}

TEST_F(NameDialogueTest, EndOfInputAtTheOverwriteQuestionIsFatal) {
  Put("old.bin", "keep");
  Answered a("old.bin\n");
  char field[kNameChars];
  RunAborted e = AbortOf([&] { OutputNameDialogue(a.s, " Enter output file name", field, 60); });
  EXPECT_EQ(2, e.status);
  EXPECT_EQ(kConsoleEndOfFile, e.diagnostic);
  EXPECT_EQ("keep", Get("old.bin"));
}

// ---- console lines

TEST(ConsoleTest, LinesEndAtLineFeedWithACarriageReturnDropped) {
  Scripted c("abc\r\ndef\r\n\r\nghi\n");
  EXPECT_EQ("abc", c.console.ReadLine());
  EXPECT_EQ("def", c.console.ReadLine());
  EXPECT_EQ("", c.console.ReadLine());
  EXPECT_EQ("ghi", c.console.ReadLine());
  EXPECT_EQ(std::nullopt, c.console.ReadLine());
  EXPECT_EQ(std::nullopt, c.console.ReadLine());
}

TEST(ConsoleTest, LastLineWithoutALineEndIsStillALine) {
  Scripted c("first\nlast");
  EXPECT_EQ("first", c.console.ReadLine());
  EXPECT_EQ("last", c.console.ReadLine());
  EXPECT_EQ(std::nullopt, c.console.ReadLine());
}

TEST(ConsoleTest, EmptyLineIsAnAnswerButNoInputIsEndOfInput) {
  Scripted c("\n");
  EXPECT_EQ("", c.console.ReadLine());
  EXPECT_EQ(std::nullopt, c.console.ReadLine());
}

TEST(ConsoleTest, HugeLineKeepsItsHeadAndTheNextLineIsIntact) {
  std::string huge(100000, ' ');
  for (size_t i = 0; i < huge.size(); ++i) huge[i] = static_cast<char>('a' + i % 26);
  Scripted c(huge + "\nnext\n");
  std::optional<std::string> line = c.console.ReadLine();
  ASSERT_TRUE(line);
  EXPECT_EQ(huge.substr(0, 1024), *line);
  EXPECT_EQ("next", c.console.ReadLine());
}

TEST(ConsoleTest, NulBytesAreOrdinaryCharacters) {
  Scripted c("a\0b\nc\0\n"s);
  EXPECT_EQ("a\0b"s, c.console.ReadLine());
  std::optional<std::string> field = c.console.ReadField(5);
  EXPECT_EQ("c\0   "s, field);
}

TEST(ConsoleTest, FieldTakesTheFirstCharactersPaddedWithBlanks) {
  Scripted c("yes\n" + std::string(60, 'n') + "\n\n");
  EXPECT_EQ("yes       ", c.console.ReadField(10));
  EXPECT_EQ(std::string(50, 'n'), c.console.ReadField(50));
  EXPECT_EQ(std::string(20, ' '), c.console.ReadField(20));
  EXPECT_EQ(std::nullopt, c.console.ReadField(10));
  RunAborted a = AbortOf([&] { c.console.MustReadField(10); });
  EXPECT_EQ(2, a.status);
  EXPECT_EQ(kConsoleEndOfFile, a.diagnostic);
}

TEST(ConsoleTest, PromptIsOnScreenBeforeTheAnswerIsRead) {
  Scripted c("Y\n");
  c.console.out().Line(" Merge QMX2 files?");
  EXPECT_EQ("Y", c.console.ReadLine());
  EXPECT_EQ(" Merge QMX2 files?\n", c.screen.str());
}

// Lines typed at a terminal come through a line editor; the console takes
// them as it takes lines of an answer file, and tells the editor where a file
// is named.
class TypedLines : public LineEditor {
 public:
  explicit TypedLines(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  std::optional<std::string> ReadLine(Answer kind) override {
    kinds.push_back(kind);
    if (next_ == lines_.size()) return std::nullopt;
    return lines_[next_++];
  }
  std::vector<Answer> kinds;

 private:
  std::vector<std::string> lines_;
  size_t next_ = 0;
};

TEST(ConsoleTest, EditedLinesAreTakenLikeLinesOfAFile) {
  TypedLines typed({"abc\r", std::string(2000, 'x'), "N", "  a.bin  "});
  Answered a("from the stream\n");
  a.s.console.set_editor(&typed);
  EXPECT_EQ("abc", a.s.console.ReadLine());
  EXPECT_EQ(std::string(1024, 'x'), a.s.console.ReadLine());
  EXPECT_EQ(std::optional<bool>(false), AskYesUnlessN(a.s));
  char field[kNameChars];
  EXPECT_EQ("a.bin", AskName(a.s, " Enter a name", field));
  EXPECT_EQ(std::nullopt, AskName(a.s, " Enter a name", field));
  const std::vector<Answer> kinds = {Answer::kText, Answer::kText, Answer::kText, Answer::kFileName,
                                     Answer::kFileName};
  EXPECT_EQ(kinds, typed.kinds);
}

}  // namespace
}  // namespace korvant
