// Whole-run transcripts of the session driver: answers in, every console line
// out, exit status, stderr and the files left in the working directory.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "family_transcripts.h"
#include "harness.h"
#include "model_files.h"

namespace korvant {
namespace {

constexpr std::string_view kMerge2 = " Do you need to merge together QMX-2 files? ";
constexpr std::string_view kMerge4 = " Do you need to merge together QMX-4 files? ";
constexpr std::string_view kMerge10 = " Do you need to merge together QMX-10 files? ";
constexpr std::string_view kVeltoQuestion = " Do you want to read VELTO binary file";
constexpr std::string_view kVeltoName = " Enter VELTO Binary file name";
constexpr std::string_view kNoVelto = " Sorry ... no such VELTO file name ... try again";
constexpr std::string_view kDatum = " ENTER DATUM (Make it 0.0 for WSELEV array to be OK)";
constexpr std::string_view kVeltoAok = " --> VELTO geometry file read AOK";
constexpr std::string_view kVeltoEof = " --> Unexpected end-of-file on VELTO read";
constexpr std::string_view kVeltoError = " --> ERROR during read of VELTO binary file";
constexpr std::string_view kAverage2 = " Do you want to average (INTEGRATE) the QMX-2 data?";
constexpr std::string_view kAverage10 = " Do you want to average (INTEGRATE) the QMX-10 data?";
constexpr std::string_view kAverage4 = " Do you want to average (INTEGRATE) the QMX-4 data?";
constexpr std::string_view kOutput2 = " Enter QMX2 integrated file name to be created";
constexpr std::string_view kOutput10 = " Enter QMX10 integrated file name to be created";
constexpr std::string_view kOutput4 = " Enter QMX4 averaged file name to be created";
constexpr std::string_view kInput2 = " Enter name of QMX2 file to read from";
constexpr std::string_view kInput10 = " Enter name of QMX10 file to read from";
constexpr std::string_view kInput4 = " Enter name of QMX4 file to read from";
constexpr std::string_view kOverwrite = " That file name already exists   OverWrite? ";
constexpr std::string_view kNoFile = " Sorry ... no such file name ... try again";
constexpr std::string_view kInUse = " Sorry ... that file is in use ... try again";
constexpr std::string_view kFinished = " ****** Program Finished ******";

constexpr std::string_view kSummary = "sum.txt";
constexpr std::string_view kStdinEof = "korvant: end-of-file during read, unit 5, file stdin\n";

// The answers a run is given and the console lines it must write, built side
// by side so that each test reads as the dialogue it checks.
class Script {
 public:
  Script& Show(std::string_view line) {
    screen_.emplace_back(line);
    return *this;
  }
  Script& Type(std::string_view answer) {
    input_.append(answer);
    input_.push_back('\n');
    return *this;
  }
  Script& Ask(std::string_view prompt, std::string_view answer) {
    return Show(prompt).Type(answer);
  }

  // Greeting, then the summary file named `summary`.
  Script& Start(std::string_view summary = kSummary) {
    for (const std::string& line : kGreeting) Show(line);
    return Ask(" Enter Printed Output Summary File Name ", summary);
  }
  Script& NoMerges() { return Ask(kMerge2, "N").Ask(kMerge4, "N").Ask(kMerge10, "N"); }
  Script& NoAverages() { return Ask(kAverage2, "N").Ask(kAverage10, "N").Ask(kAverage4, "N"); }
  // The two report lines and the empty line between them.
  Script& Report(std::string_view title77, std::string_view counts) {
    return Show(kVeltoAok).Show("").Show(std::string(" VELTO=").append(title77)).Show(counts);
  }

  const std::string& input() const { return input_; }
  std::string screen() const { return JoinLines(screen_); }

 private:
  std::string input_;
  std::vector<std::string> screen_;
};

std::string Padded77(std::string_view title) {
  std::string field(title);
  field.resize(77, ' ');
  return field;
}

const std::string kNoTitle(77, '\0');

class DriverTest : public ::testing::Test {
 protected:
  RunResult Run(const Script& script) {
    RunResult result = box_.Run(script.input());
    EXPECT_FALSE(result.timed_out) << "the run did not end";
    EXPECT_FALSE(result.too_much_output) << "the run wrote without end";
    return result;
  }

  void ExpectScreen(const Script& script, const RunResult& result) {
    const std::string want = script.screen();
    EXPECT_EQ(want, result.out) << FirstDifference(want, result.out);
  }

  // For runs that go on into an operation: only the dialogue up to it is ours.
  void ExpectScreenStartsWith(const Script& script, const RunResult& result) {
    const std::string want = script.screen();
    const std::string got = result.out.substr(0, want.size());
    EXPECT_EQ(want, got) << FirstDifference(want, got);
  }

  // The line written after the expected prefix, or "" when there is none.
  static std::string LineAfter(const Script& script, const RunResult& result) {
    const size_t from = script.screen().size();
    if (from >= result.out.size()) return "";
    return result.out.substr(from, result.out.find('\n', from) - from);
  }

  void ExpectFinished(const Script& script, const RunResult& result) {
    ExpectScreen(script, result);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", result.err);
  }

  void ExpectStdinEof(const Script& script, const RunResult& result) {
    ExpectScreen(script, result);
    EXPECT_EQ(2, result.status);
    EXPECT_EQ(kStdinEof, result.err);
  }

  Sandbox box_;
};

// ---------------------------------------------------------------------------
// The plain run and the summary file.

TEST_F(DriverTest, AllNoRunAsksEveryQuestionAndFinishes) {
  Script s;
  s.Start().NoMerges().Ask(kVeltoQuestion, "N").NoAverages().Show(kFinished);
  RunResult r = Run(s);
  ExpectFinished(s, r);
  EXPECT_EQ(std::vector<std::string>{"sum.txt"}, box_.List());
  EXPECT_EQ("", box_.Read(kSummary));
}

TEST_F(DriverTest, AnyAnswerBeginningWithNIsNo) {
  Script s;
  s.Start()
      .Ask(kMerge2, "n")
      .Ask(kMerge4, "NO")
      .Ask(kMerge10, "nope, not today")
      .Ask(kVeltoQuestion, "N   ")
      .Ask(kAverage2, "never")
      .Ask(kAverage10, "Nyes")
      .Ask(kAverage4, "n\t")
      .Show(kFinished);
  ExpectFinished(s, Run(s));
}

TEST_F(DriverTest, ExistingSummaryFileEndsTheRunUntouched) {
  box_.Write(kSummary, "an earlier summary\r\n");
  const uint64_t before = box_.Hash(kSummary);
  Script s;
  s.Start();
  s.Type("N").Type("N").Type("N").Type("N").Type("N").Type("N").Type("N");
  RunResult r = Run(s);
  ExpectScreen(s, r);
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("korvant: cannot overwrite existing file, unit 3, file sum.txt\n", r.err);
  EXPECT_EQ(before, box_.Hash(kSummary));
}

TEST_F(DriverTest, SummaryFileThatCannotBeCreatedEndsTheRun) {
  Script s;
  s.Start("no_such_folder/sum.txt");
  RunResult r = Run(s);
  ExpectScreen(s, r);
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("korvant: cannot create file, unit 3, file no_such_folder/sum.txt\n", r.err);
}

TEST_F(DriverTest, SummaryNameLosesOuterBlanks) {
  Script s;
  s.Start("   sum.txt   ").NoMerges().Ask(kVeltoQuestion, "N").NoAverages().Show(kFinished);
  ExpectFinished(s, Run(s));
  EXPECT_EQ(std::vector<std::string>{"sum.txt"}, box_.List());
}

TEST_F(DriverTest, SummaryNameIsTheFirst50Characters) {
  const std::string name50(50, 'a');
  Script s;
  s.Start(name50 + "bcdefghij").NoMerges().Ask(kVeltoQuestion, "N").NoAverages().Show(kFinished);
  ExpectFinished(s, Run(s));
  EXPECT_EQ(std::vector<std::string>{name50}, box_.List());
}

// ---------------------------------------------------------------------------
// Yes unless N.

class YesAnswerTest : public DriverTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(YesAnswerTest, OpensTheQmx2Average) {
  Script s;
  s.Start().NoMerges().Ask(kVeltoQuestion, "N").Ask(kAverage2, GetParam());
  // End of input at the output name goes back to the question, where it is fatal.
  s.Show(kOutput2).Show(kAverage2);
  ExpectStdinEof(s, Run(s));
}

INSTANTIATE_TEST_SUITE_P(DriverTest, YesAnswerTest,
                         ::testing::Values("", " n", " N", "Y", "x", "yes", "0"));

// ---------------------------------------------------------------------------
// End of console input.

TEST_F(DriverTest, EndOfInputAtVeltoQuestionGoesBackToQmx4Merge) {
  Script s;
  s.Start().NoMerges().Show(kVeltoQuestion).Show(kMerge4);
  ExpectStdinEof(s, Run(s));
  EXPECT_EQ("", box_.Read(kSummary));
}

TEST_F(DriverTest, EndOfInputAtQmx2OutputNameGoesBackToQuestion) {
  Script s;
  s.Start().NoMerges().Ask(kVeltoQuestion, "N").Ask(kAverage2, "Y");
  s.Show(kOutput2).Show(kAverage2);
  ExpectStdinEof(s, Run(s));
  EXPECT_EQ(std::vector<std::string>{"sum.txt"}, box_.List());
}

TEST_F(DriverTest, EndOfInputAtSummaryPromptIsFatal) {
  Script s;
  s.Start();  // the name typed there never reaches the program
  RunResult r = box_.Run("");
  ExpectStdinEof(s, r);
  EXPECT_TRUE(box_.List().empty());
}

// A console that cannot be read (closed, or a folder) has ended as an empty one.
TEST_F(DriverTest, UnreadableConsoleIsEndOfInputAtSummaryPrompt) {
  Script s;
  s.Start();
  box_.StdinFrom(".");  // the run's own folder
  ExpectStdinEof(s, box_.Run(""));
  box_.StdinFrom("");
  ExpectStdinEof(s, box_.RunProgram("/bin/sh", {"-c", "exec \"$0\" <&-", KORVANT_BINARY}));
  EXPECT_TRUE(box_.List().empty());
}

TEST_F(DriverTest, EndOfInputAtQmx2MergeQuestionIsFatal) {
  Script s;
  s.Start().Show(kMerge2);
  ExpectStdinEof(s, Run(s));
  EXPECT_EQ("", box_.Read(kSummary));
}

TEST_F(DriverTest, EndOfInputAtVeltoNameIsFatal) {
  Script s;
  s.Start().NoMerges().Ask(kVeltoQuestion, "Y").Show(kVeltoName);
  ExpectStdinEof(s, Run(s));
}

TEST_F(DriverTest, EndOfInputAtDatumIsFatal) {
  box_.Write("geo.bin", VeltoFile(CharHeader{}, VeltoGeometry{}).bytes());
  Script s;
  s.Start().NoMerges().Ask(kVeltoQuestion, "Y").Ask(kVeltoName, "geo.bin").Show(kDatum);
  ExpectStdinEof(s, Run(s));
}

TEST_F(DriverTest, EndOfInputAtOverwriteQuestionIsFatal) {
  box_.Write("old.bin", "old");
  Script s;
  s.Start().NoMerges().Ask(kVeltoQuestion, "N").Ask(kAverage2, "Y");
  s.Ask(kOutput2, "old.bin").Show(kOverwrite);
  ExpectStdinEof(s, Run(s));
  EXPECT_EQ("old", box_.Read("old.bin"));
}

TEST_F(DriverTest, EndOfInputAtQmx2InputNameAsksAgainButEnds) {
  Script s;
  s.Start().NoMerges().Ask(kVeltoQuestion, "N").Ask(kAverage2, "Y");
  s.Ask(kOutput2, "avg.bin").Show(kInput2).Show(kInput2);
  RunResult r = Run(s);
  ExpectScreenStartsWith(s, r);
  EXPECT_NE(0, r.status);
  EXPECT_TRUE(box_.Exists("avg.bin"));
}

// ---------------------------------------------------------------------------
// Output names of the averages.

TEST_F(DriverTest, ExistingQmx2OutputNotOverwrittenAsksAgain) {
  box_.Write("old.bin", "keep these bytes");
  const uint64_t before = box_.Hash("old.bin");
  Script s;
  s.Start().NoMerges().Ask(kVeltoQuestion, "N").Ask(kAverage2, "Y");
  s.Ask(kOutput2, "old.bin").Ask(kOverwrite, "N");
  s.Ask(kOutput2, "old.bin").Ask(kOverwrite, "");
  s.Ask(kOutput2, "old.bin").Ask(kOverwrite, "no way");
  s.Ask(kOutput2, "old.bin").Ask(kOverwrite, "n");
  s.Show(kOutput2).Show(kAverage2);
  ExpectStdinEof(s, Run(s));
  EXPECT_EQ(before, box_.Hash("old.bin"));
  EXPECT_EQ((std::vector<std::string>{"old.bin", "sum.txt"}), box_.List());
}

TEST_F(DriverTest, EmptyQmx2OutputNameIsAskedAgain) {
  Script s;
  s.Start().NoMerges().Ask(kVeltoQuestion, "N").Ask(kAverage2, "Y");
  s.Ask(kOutput2, "").Ask(kOutput2, "     ").Show(kOutput2).Show(kAverage2);
  ExpectStdinEof(s, Run(s));
  EXPECT_EQ(std::vector<std::string>{"sum.txt"}, box_.List());
}

TEST_F(DriverTest, SummaryFileAsQmx2OutputIsInUse) {
  Script s;
  s.Start().NoMerges().Ask(kVeltoQuestion, "N").Ask(kAverage2, "Y");
  s.Ask(kOutput2, "sum.txt").Ask(kOverwrite, "y").Show(kInUse);
  s.Show(kOutput2).Show(kAverage2);
  ExpectStdinEof(s, Run(s));
  EXPECT_EQ("", box_.Read(kSummary));
  EXPECT_EQ(std::vector<std::string>{"sum.txt"}, box_.List());
}

class OverwriteYesTest : public DriverTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(OverwriteYesTest, GoesOnToTheInputName) {
  box_.Write("old.bin", "old");
  Script s;
  s.Start().NoMerges().Ask(kVeltoQuestion, "N").Ask(kAverage2, "Y");
  s.Ask(kOutput2, "old.bin").Ask(kOverwrite, GetParam()).Show(kInput2);
  ExpectScreenStartsWith(s, Run(s));
}

INSTANTIATE_TEST_SUITE_P(DriverTest, OverwriteYesTest, ::testing::Values("y", "Y", "x", " y"));

// Only the QMX2 output name has a way back; those of the QMX10 and QMX4
// averagings are plain reads.
struct Averaging {
  const char* name;
  std::vector<std::string_view> before;  // the averaging questions before its own, answered no
  std::string_view question, output, input;
};

const Averaging kAveragings[] = {
    {"Qmx10", {kAverage2}, kAverage10, kOutput10, kInput10},
    {"Qmx4", {kAverage2, kAverage10}, kAverage4, kOutput4, kInput4},
};

class OutputNameTest : public DriverTest, public ::testing::WithParamInterface<Averaging> {
 protected:
  // Up to the output name of the averaging.
  static Script ToOutputName(const Averaging& a) {
    Script s;
    s.Start().NoMerges().Ask(kVeltoQuestion, "N");
    for (std::string_view question : a.before) s.Ask(question, "N");
    s.Ask(a.question, "Y");
    return s;
  }
};

TEST_P(OutputNameTest, EndOfInputAtTheOutputNameIsFatal) {
  Script s = ToOutputName(GetParam());
  s.Show(GetParam().output);
  ExpectStdinEof(s, Run(s));
}

TEST_P(OutputNameTest, ExistingOutputNotOverwrittenAsksAgain) {
  const Averaging& a = GetParam();
  box_.Write("old.bin", "keep");
  Script s = ToOutputName(a);
  for (const char* no : {"N", "", "no"}) s.Ask(a.output, "old.bin").Ask(kOverwrite, no);
  s.Ask(a.output, "new.bin").Show(a.input).Show(a.input);
  RunResult r = Run(s);
  ExpectScreenStartsWith(s, r);
  EXPECT_EQ("keep", box_.Read("old.bin"));
  EXPECT_TRUE(box_.Exists("new.bin"));
}

INSTANTIATE_TEST_SUITE_P(DriverTest, OutputNameTest, ::testing::ValuesIn(kAveragings),
                         [](const auto& tested) { return std::string(tested.param.name); });

// ---------------------------------------------------------------------------
// Input names of the averages. The averaging itself follows once the input is
// accepted; these tests stop there.

class QmxInputTest : public DriverTest {
 protected:
  void SetUp() override {
    CharHeader header;
    header.irec = {42};
    std::vector<Qmx2StepData> steps;
    for (int hour = 1; hour <= 3; ++hour) {
      Qmx2StepData step;
      step.time = static_cast<float>(hour);
      steps.push_back(step);
    }
    box_.Write("q2.bin", Qmx2File(header, steps, /*long_steps=*/true).bytes());
    q2_hash_ = box_.Hash("q2.bin");
  }

  // Through the QMX2 output name "avg.bin", up to the first input prompt.
  Script ToInput() {
    Script s;
    s.Start().NoMerges().Ask(kVeltoQuestion, "N").Ask(kAverage2, "Y").Ask(kOutput2, "avg.bin");
    return s;
  }

  void ExpectAccepted(const Script& s, const RunResult& r) {
    ExpectScreenStartsWith(s, r);
    const std::string next = LineAfter(s, r);
    EXPECT_NE(kNoFile, next);
    EXPECT_NE(kInUse, next);
    EXPECT_NE(kInput2, next);
    EXPECT_TRUE(box_.Exists("avg.bin"));
    EXPECT_EQ(q2_hash_, box_.Hash("q2.bin"));
  }

  uint64_t q2_hash_ = 0;
};

TEST_F(QmxInputTest, MissingInputIsAskedAgain) {
  Script s = ToInput();
  s.Ask(kInput2, "nothere.bin").Show(kNoFile);
  s.Ask(kInput2, "").Show(kNoFile);
  s.Ask(kInput2, "   ").Show(kNoFile);
  s.Ask(kInput2, "  q2.bin  ");
  ExpectAccepted(s, Run(s));
}

TEST_F(QmxInputTest, FilesInUseAreRefusedAsInput) {
  Script s = ToInput();
  s.Ask(kInput2, "sum.txt").Show(kInUse);
  s.Ask(kInput2, "avg.bin").Show(kInUse);
  s.Ask(kInput2, "q2.bin");
  RunResult r = Run(s);
  ExpectAccepted(s, r);
}

// ---------------------------------------------------------------------------
// The geometry file.

class GeometryTest : public DriverTest {
 protected:
  // Up to the datum prompt, the file given as geo.bin.
  Script ToDatum() {
    Script s;
    s.Start().NoMerges().Ask(kVeltoQuestion, "Y").Ask(kVeltoName, "geo.bin").Show(kDatum);
    return s;
  }

  // A whole run that reads `bytes` as geo.bin and expects its report.
  void ExpectRead(const std::string& bytes, std::string_view title77, std::string_view counts) {
    box_.Write("geo.bin", bytes);
    Script s = ToDatum();
    s.Type("0.0").Report(title77, counts).NoAverages().Show(kFinished);
    ExpectFinished(s, Run(s));
    EXPECT_EQ(Fnv1a64(bytes), box_.Hash("geo.bin"));
    EXPECT_EQ("", box_.Read(kSummary));
  }

  // The geometry reader stops the run of its own accord: no report.
  void ExpectStop(const std::string& bytes, std::string_view message) {
    box_.Write("geo.bin", bytes);
    Script s = ToDatum();
    s.Type("0.0").Show(message);
    RunResult r = Run(s);
    ExpectScreen(s, r);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.err);
  }

  void ExpectFatal(const std::string& bytes, std::string_view err) {
    box_.Write("geo.bin", bytes);
    Script s = ToDatum();
    s.Type("0.0");
    RunResult r = Run(s);
    ExpectScreen(s, r);
    EXPECT_EQ(2, r.status);
    EXPECT_EQ(err, r.err);
  }

  void ExpectRefused(const std::string& bytes) {
    box_.Write("geo.bin", bytes);
    Script s = ToDatum();
    s.Type("0.0").NoAverages();
    RunResult r = Run(s);
    ExpectScreenStartsWith(ToDatum(), r);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(std::string::npos, r.out.find(kVeltoAok));
    EXPECT_EQ(std::string::npos, r.out.find(" VELTO="));
  }

  static CharHeader Char(int32_t irec1, std::string_view title = "LOWER BAY MESH") {
    CharHeader h;
    h.irec = {irec1, 7, 8};
    h.title = title;
    return h;
  }

  static CodedHeader Coded(int32_t irec1, std::string_view title = "CODED MESH TITLE") {
    CodedHeader h;
    h.mflg = 200;
    h.irec = {irec1, 7};
    h.frec = {1.5f};
    h.ititl = Codes(Padded77(title));
    return h;
  }

  static constexpr std::string_view kCounts31 = "             3       1";
  static constexpr std::string_view kFatalEof40 =
      "korvant: end-of-file during read, unit 40, file geo.bin\n";
};

TEST_F(GeometryTest, CharacterFormWithTitleIsReported) {
  ExpectRead(VeltoFile(Char(425), VeltoGeometry{}).bytes(), Padded77("LOWER BAY MESH"), kCounts31);
}

class CharThresholdTest : public GeometryTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(CharThresholdTest, TitleFrom425AndNodeExtensionAbove420) {
  const int32_t irec1 = GetParam();
  const std::string title = irec1 >= 425 ? Padded77("LOWER BAY MESH") : kNoTitle;
  ExpectRead(VeltoFile(Char(irec1), VeltoGeometry{}).bytes(), title, kCounts31);
}

INSTANTIATE_TEST_SUITE_P(GeometryTest, CharThresholdTest,
                         ::testing::Values(0, 420, 421, 424, 425, 500));

TEST_F(GeometryTest, Version421NeedsTheNodeExtension) {
  FileBuilder f;
  f.Add(HeaderC1(Char(421))).Add(HeaderC2(Char(421))).Add(VeltoG1(VeltoGeometry{}));
  ExpectFatal(f.bytes(), kFatalEof40);
}

TEST_F(GeometryTest, Version424NeedsTheNodeExtension) {
  FileBuilder f;
  f.Add(HeaderC1(Char(424))).Add(HeaderC2(Char(424))).Add(VeltoG1(VeltoGeometry{}));
  ExpectFatal(f.bytes(), kFatalEof40);
}

TEST_F(GeometryTest, Version425NeedsTheNodeExtension) {
  FileBuilder f;
  const CharHeader h = Char(425);
  f.Add(HeaderC1(h)).Add(HeaderC2(h)).Add(HeaderC3(h)).Add(VeltoG1(VeltoGeometry{}));
  ExpectFatal(f.bytes(), kFatalEof40);
}

TEST_F(GeometryTest, FirstInteger201IsCharacterForm) {
  CharHeader h = Char(425);
  h.banner = std::string("\xC9\0\0\0", 4) + "REST OF THE BANNER";
  ExpectRead(VeltoFile(h, VeltoGeometry{}).bytes(), Padded77("LOWER BAY MESH"), kCounts31);
}

TEST_F(GeometryTest, FirstInteger200IsIntegerCoded) {
  ExpectRead(VeltoFile(Coded(425), VeltoGeometry{}).bytes(), Padded77("CODED MESH TITLE"),
             kCounts31);
}

TEST_F(GeometryTest, IntegerCodedWith201IsReadAsCharacterForm) {
  // The 16-byte first record cannot hold the 1200 banner bytes.
  CodedHeader h = Coded(425);
  h.mflg = 201;
  ExpectStop(VeltoFile(h, VeltoGeometry{}).bytes(), kVeltoError);
}

class CodedThresholdTest : public GeometryTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(CodedThresholdTest, TitleAlwaysAndNodeExtensionAbove420) {
  ExpectRead(VeltoFile(Coded(GetParam()), VeltoGeometry{}).bytes(), Padded77("CODED MESH TITLE"),
             kCounts31);
}

INSTANTIATE_TEST_SUITE_P(GeometryTest, CodedThresholdTest, ::testing::Values(300, 420, 421, 425));

TEST_F(GeometryTest, IntegerCoded421NeedsTheNodeExtension) {
  FileBuilder f = CodedHeaderFile(Coded(421));
  f.Add(VeltoG1(VeltoGeometry{}));
  ExpectFatal(f.bytes(), kFatalEof40);
}

TEST_F(GeometryTest, IntegerCodedShortTitleKeepsZeroCodes) {
  CodedHeader h = Coded(420);
  h.ititl = Codes("SHORT");
  ExpectRead(VeltoFile(h, VeltoGeometry{}).bytes(), "SHORT" + std::string(72, '\0'), kCounts31);
}

TEST_F(GeometryTest, IntegerCodedNegativeCountsReadNothing) {
  CodedHeader h = Coded(420);
  h.iban.clear();
  h.nban = -3;
  h.ititl.clear();
  h.ntitl = -1;
  ExpectRead(VeltoFile(h, VeltoGeometry{}).bytes(), kNoTitle, kCounts31);
}

TEST_F(GeometryTest, CountsComeFromG1NotFromTheHeader) {
  CodedHeader h = Coded(420);
  h.np = 7;
  h.ne = 9;
  VeltoGeometry g;
  g.np = 2;
  g.ne = 0;
  ExpectRead(VeltoFile(h, g).bytes(), Padded77("CODED MESH TITLE"), "             2       0");
}

TEST_F(GeometryTest, LargestMeshIsAccepted) {
  VeltoGeometry g;
  g.np = 60000;
  g.ne = 20000;
  ExpectRead(VeltoFile(Char(420), g).bytes(), kNoTitle, "         60000   20000");
}

TEST_F(GeometryTest, TooManyNodesAreRefused) {
  VeltoGeometry g;
  g.np = 60001;
  ExpectRefused(VeltoFile(Char(420), g).bytes());
}

TEST_F(GeometryTest, TooManyElementsAreRefused) {
  VeltoGeometry g;
  g.ne = 20001;
  ExpectRefused(VeltoFile(Char(420), g).bytes());
}

// Each count one over the array it fills: banner codes, header integers,
// header reals, title codes.
class HeaderCountTest : public GeometryTest, public ::testing::WithParamInterface<int> {};

TEST_P(HeaderCountTest, OverTheArrayIsRefused) {
  CodedHeader h = Coded(420);
  switch (GetParam()) {
    case 0:
      h.iban.assign(1201, 'B');
      break;
    case 1:
      h.irec.resize(41, 420);
      break;
    case 2:
      h.frec.assign(41, 1.0f);
      break;
    case 3:
      h.ititl.assign(78, 'T');
      break;
  }
  ExpectRefused(VeltoFile(h, VeltoGeometry{}).bytes());
}

INSTANTIATE_TEST_SUITE_P(GeometryTest, HeaderCountTest, ::testing::Values(0, 1, 2, 3));

TEST_F(GeometryTest, HeaderCountsAtTheArraySizesAreAccepted) {
  CodedHeader h = Coded(420);
  h.iban.assign(1200, 'B');
  h.irec.resize(40, 420);
  h.frec.assign(40, 1.0f);
  ExpectRead(VeltoFile(h, VeltoGeometry{}).bytes(), Padded77("CODED MESH TITLE"), kCounts31);
}

TEST_F(GeometryTest, EmptyFileIsUnexpectedEnd) { ExpectStop("", kVeltoEof); }

// A writer that died inside the first length field left no record at all.
TEST_F(GeometryTest, TornLengthIsUnexpectedEnd) {
  ExpectStop(std::string("\x10\0\0", 3), kVeltoEof);
}

TEST_F(GeometryTest, FirstRecordCutShortIsReadError) {
  FileBuilder f = VeltoFile(Char(425), VeltoGeometry{});
  f.TruncateBy(f.size() - 100);
  ExpectStop(f.bytes(), kVeltoError);
}

TEST_F(GeometryTest, HeaderOnlyIsFatalEndOfFile) {
  const CharHeader h = Char(425);
  FileBuilder f;
  f.Add(HeaderC1(h)).Add(HeaderC2(h)).Add(HeaderC3(h));
  ExpectFatal(f.bytes(), kFatalEof40);
}

TEST_F(GeometryTest, G1CutShortIsFatalReadError) {
  FileBuilder f = VeltoFile(Char(420), VeltoGeometry{});
  f.TruncateBy(10);
  ExpectFatal(f.bytes(), "korvant: error during read, unit 40, file geo.bin\n");
}

TEST_F(GeometryTest, G1ShorterThanItsCountsIsFatal) {
  VeltoGeometry g;
  g.np = 3;
  std::string data = VeltoG1(g).data();
  std::string five;
  PutInt32(&five, 5);
  data.replace(0, 4, five);  // claims 5 nodes, holds 3
  FileBuilder f;
  f.Add(HeaderC1(Char(420))).Add(HeaderC2(Char(420))).Add(RecordBuilder().Raw(data));
  ExpectFatal(f.bytes(),
              "korvant: input statement requires too much data, unit 40, file geo.bin\n");
}

TEST_F(GeometryTest, MissingNameIsAskedAgain) {
  box_.Write("geo.bin", VeltoFile(Char(425), VeltoGeometry{}).bytes());
  Script s;
  s.Start().NoMerges().Ask(kVeltoQuestion, " n");
  s.Ask(kVeltoName, "nothere.bin").Show(kNoVelto);
  s.Ask(kVeltoName, "").Show(kNoVelto);
  s.Ask(kVeltoName, "geo.bin").Ask(kDatum, "0.0");
  s.Report(Padded77("LOWER BAY MESH"), kCounts31).NoAverages().Show(kFinished);
  ExpectFinished(s, Run(s));
}

class DatumTest : public GeometryTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DatumTest, ChangesNothing) {
  box_.Write("geo.bin", VeltoFile(Char(425), VeltoGeometry{}).bytes());
  Script s = ToDatum();
  s.Type(GetParam()).Report(Padded77("LOWER BAY MESH"), kCounts31).NoAverages().Show(kFinished);
  ExpectFinished(s, Run(s));
}

INSTANTIATE_TEST_SUITE_P(GeometryTest, DatumTest,
                         ::testing::Values("0.0", "0", "-12.5", "  7", "1.5E2", "100."));

TEST_F(GeometryTest, DatumThatIsNotANumberIsFatal) {
  box_.Write("geo.bin", VeltoFile(Char(425), VeltoGeometry{}).bytes());
  Script s = ToDatum();
  s.Type("abc");
  RunResult r = Run(s);
  ExpectScreen(s, r);
  EXPECT_EQ(2, r.status);
  EXPECT_EQ(0u, r.err.rfind("korvant: ", 0));
  EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n'));
}

}  // namespace
}  // namespace korvant
