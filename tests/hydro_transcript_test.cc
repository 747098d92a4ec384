// Whole-run transcripts of the QMX2 merge and the QMX2 averaging: answers in,
// every console line, the summary file's bytes and the written file's bytes
// out. Expected lines are built from the line layouts item by item (Iw, Fw.d,
// Aw, nX, /), never taken from what the program printed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "family_transcripts.h"
#include "fields.h"
#include "harness.h"
#include "model_files.h"

namespace korvant {
namespace {

// ---------------------------------------------------------------------------
// Texts of the driver around the two operations.

constexpr std::string_view kMerge2 = " Do you need to merge together QMX-2 files? ";
constexpr std::string_view kMerge4 = " Do you need to merge together QMX-4 files? ";
constexpr std::string_view kMerge10 = " Do you need to merge together QMX-10 files? ";
constexpr std::string_view kVeltoQuestion = " Do you want to read VELTO binary file";
constexpr std::string_view kVeltoName = " Enter VELTO Binary file name";
constexpr std::string_view kDatum = " ENTER DATUM (Make it 0.0 for WSELEV array to be OK)";
constexpr std::string_view kAverage2 = " Do you want to average (INTEGRATE) the QMX-2 data?";
constexpr std::string_view kAverage10 = " Do you want to average (INTEGRATE) the QMX-10 data?";
constexpr std::string_view kAverage4 = " Do you want to average (INTEGRATE) the QMX-4 data?";
constexpr std::string_view kOutput2 = " Enter QMX2 integrated file name to be created";
constexpr std::string_view kInput2 = " Enter name of QMX2 file to read from";
constexpr std::string_view kOverwrite = " That file name already exists   OverWrite? ";
constexpr std::string_view kInUse = " Sorry ... that file is in use ... try again";
constexpr std::string_view kFinished = " ****** Program Finished ******";
constexpr std::string_view kStdinEof = "korvant: end-of-file during read, unit 5, file stdin\n";

// The merge.
constexpr std::string_view kPurpose = "  PURPOSE -->  MERGE together - MULTIPLE QMX2 files";
constexpr std::string_view kMergedPrompt = " Enter name of QMX2 MERGED file to be created";
constexpr std::string_view kFlagPrompt = " Enter flag identifier or (?) for menu";
constexpr std::string_view kNamePrompts[5] = {
    " Enter name of 1st QMX2 binary file", " Enter name of 2ND QMX2 binary file",
    " Enter name of 3rd QMX2 binary file", " Enter name of 4th QMX2 binary file",
    " Enter name of 5th QMX2 binary file"};
constexpr std::string_view kHoursPrompt = " Enter starting and ending decimal hour";
constexpr std::string_view kWriteChar = " --> WRITE CHARACTER BANNERS TO UNIT=50";
constexpr std::string_view kWriteCoded = " --> WRITE INTEGER/CHAR BANNERS TO UNIT=50";
constexpr std::string_view kClosingLine = " ========= Closing active files from R2MERGE =========";
const std::vector<std::string> kMenu = {" VALID FLAG OPTIONS FOR QMX2 MERGE ARE:",
                                        "   To read first file enter     -->  1ST QMX2",
                                        "   To read second file enter    -->  2ND QMX2",
                                        "   To read third file enter     -->  3RD QMX2",
                                        "   To read fourth file enter    -->  4TH QMX2",
                                        "   To read fifth file enter     -->  5TH QMX2",
                                        "   To leave this routine enter  -->  EXIT    ",
                                        ""};

// The averaging.
constexpr std::string_view kAverageBanner = " ************** HYDRODYNAMIC AVERAGE ***************";
constexpr std::string_view kStartPrompt = " Enter the QMX2 decimal time to start in HOURS";
constexpr std::string_view kStartDefault = "                Default=last time minus 25 TIME STEPS";
constexpr std::string_view kStopPrompt = " Enter the QMX2 decimal time to stop in HOURS";
constexpr std::string_view kStopDefault = "                Default=last time";
constexpr std::string_view kDatumPrompt = " Enter the datum reference in feet";
constexpr std::string_view kDatumDefault = "                Default=   100.0000    ";
constexpr std::string_view kFullPrompt = " DO you want to turn full prints on? (Enter 1 if yes)";
constexpr std::string_view kWeightPrompt = " Do you want to weight the average current by depth?";
constexpr std::string_view kWeightNote = "     (ie. suitable for FLUX computation  DEFAULT=NO)";
constexpr std::string_view kInside = " INSIDE R2INT, rewinding unit=50 to read QMX2 binary";
constexpr std::string_view kBannersRead = " Just read QMX-2 Banners successfully";
constexpr std::string_view kReopen = " Required to CLOSE/RE-OPEN file to avoid CRAY EOF flag";
constexpr std::string_view kWriting = " --> Writing integrated data to unit=60";

constexpr std::string_view kSummary = "sum.txt";
constexpr int32_t kFourBlanks = 538976288;  // a banner that starts with four blanks, as ITEST

// ---------------------------------------------------------------------------
// Expected text (the layout fields are those of fields.h).

std::string Crlf(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

void Append(std::vector<std::string>* to, const std::vector<std::string>& lines) {
  to->insert(to->end(), lines.begin(), lines.end());
}

// ---------------------------------------------------------------------------
// QMX2 files.

// 15 banner lines of 80 characters; the first four characters are blanks.
std::string Banner(std::string_view tag) {
  std::string banner;
  for (int line = 1; line <= 15; ++line) {
    banner += Pad("    " + std::string(tag) + " BANNER LINE " + std::to_string(line), 80);
  }
  return banner;
}

CharHeader Char(std::string_view tag, int32_t irec1) {
  CharHeader h;
  h.banner = Banner(tag);
  h.irec = {irec1, 11, 12};
  h.frec = {1.5f, -2.25f};
  h.title = std::string(tag) + " TITLE";
  return h;
}

CodedHeader Coded(int32_t irec1, int32_t mflg = 2, int32_t ivers = 7) {
  CodedHeader h;
  h.mflg = mflg;
  h.ivers = ivers;
  h.np = 7;  // the header's own counts, unlike those of its steps
  h.ne = 9;
  h.iban = Codes("CODED BANNER OF A QMX2 RUN");
  h.irec = {irec1, 4};
  h.frec = {0.5f};
  h.ititl = Codes("CODED QMX2 TITLE");
  return h;
}

// A QMX2 file kept as its pieces, so that a test can name the bytes that must
// reappear in the merged file.
using Qmx2Input = Pieces;

Qmx2Input Input(const FileBuilder& header, const std::vector<Qmx2StepData>& steps,
                bool long_steps) {
  Qmx2Input in;
  in.header = header.bytes();
  for (const Qmx2StepData& step : steps)
    in.steps.push_back(Framed(Qmx2StepRecord(step, long_steps)));
  return in;
}

// Two nodes and one element; every value carries the hour and the file's tag
// so that each copied step can be told apart.
Qmx2StepData MergeStep(float hour, float tag) {
  Qmx2StepData step;
  step.time = hour;
  step.vel = FillReals({}, 6, tag * 100.0f + hour, 0.125f);
  step.ndry = {1, 2};
  step.imat = {static_cast<int32_t>(tag)};
  step.wsel = {90.0f + hour, 91.0f + hour};
  return step;
}

std::vector<Qmx2StepData> MergeSteps(int first_hour, int last_hour, float tag) {
  std::vector<Qmx2StepData> steps;
  for (int hour = first_hour; hour <= last_hour; ++hour)
    steps.push_back(MergeStep(static_cast<float>(hour), tag));
  return steps;
}

// ---------------------------------------------------------------------------
// Answers in, console lines out.

class Script {
 public:
  Script& Show(std::string_view line) {
    screen_.emplace_back(line);
    return *this;
  }
  Script& Show(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) Show(line);
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

  Script& Start() {
    for (const std::string& line : kGreeting) Show(line);
    return Ask(" Enter Printed Output Summary File Name ", kSummary);
  }

  const std::string& input() const { return input_; }
  std::string screen() const { return JoinLines(screen_); }

 private:
  std::string input_;
  std::vector<std::string> screen_;
};

class HydroTest : public ::testing::Test {
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

  // The whole console, the exit status and stderr.
  void ExpectRun(const Script& script, const RunResult& result, int status,
                 std::string_view err = "") {
    ExpectScreen(script, result);
    EXPECT_EQ(status, result.status);
    EXPECT_EQ(err, result.err);
  }

  void ExpectSummary(const std::vector<std::string>& lines) {
    const std::string want = Crlf(lines);
    const std::string got = box_.Read(kSummary);
    EXPECT_EQ(want, got) << FirstDifference(want, got);
  }

  void ExpectFile(std::string_view name, const std::string& bytes) {
    ASSERT_TRUE(box_.Exists(name)) << name;
    const std::string got = box_.Read(name);
    EXPECT_EQ(bytes.size(), got.size()) << name;
    EXPECT_TRUE(bytes == got)
        << name << ": first differing byte at "
        << std::mismatch(bytes.begin(), bytes.end(), got.begin(), got.end()).first - bytes.begin();
  }

  void Put(std::string_view name, const Qmx2Input& input) { box_.Write(name, input.bytes()); }

  Sandbox box_;
};

// ===========================================================================
// The merge.

class MergeTest : public HydroTest {
 protected:
  // Up to and including the merged file's name.
  static Script MergeStart(std::string_view merged = "merged.bin") {
    Script s;
    s.Start().Ask(kMerge2, "Y").Show(kPurpose).Show(" ").Ask(kMergedPrompt, merged);
    return s;
  }

  // A flag, the slot's file name and its hours.
  static void Choose(Script& s, std::string_view flag, int slot, std::string_view name,
                     std::string_view hours) {
    s.Ask(kFlagPrompt, flag).Ask(kNamePrompts[slot - 1], name).Ask(kHoursPrompt, hours);
  }

  // The console lines of reading one input's header.
  static void ReadLines(Script& s, int32_t itest, std::string_view write_line, int32_t ivers) {
    s.Show(FreeInt(" -->  1st integer on QMX2 binary=", itest));
    if (!write_line.empty()) s.Show(write_line);
    s.Show(FreeInt(" --> Your QMX2 has a version # of ", ivers));
  }

  static void Closing(Script& s, std::string_view fname50, int32_t total) {
    s.Show(kClosingLine)
        .Show("  ==== MERGED QMX2 file named -->" + std::string(fname50))
        .Show("  ==== Closed with" + I(total, 6) + " time steps")
        .Show("");
  }

  // The rest of the run after the merge, every answer no.
  static void ToTheEnd(Script& s) {
    s.Ask(kMerge4, "N").Ask(kMerge10, "N").Ask(kVeltoQuestion, "N");
    s.Ask(kAverage2, "N").Ask(kAverage10, "N").Ask(kAverage4, "N").Show(kFinished);
  }

  static std::vector<std::string> Title() {
    return {"1", "  MERGE TOGETHER - MULTIPLE QMX2 FILES"};
  }

  // The banner listing of one input and its extraction line.
  static std::vector<std::string> Listing(std::string_view name, int unit, std::string_view banner,
                                          int32_t irec1, float tbeg, float tend) {
    auto line = [&](int i) { return std::string(banner.substr((i - 1) * 80, 80)); };
    std::vector<std::string> lines = {" FILE=" + Pad(name, 50) + " UNIT =" + I(unit, 2) +
                                      " BANNERS"};
    for (int block = 0; block < 3; ++block) {
      lines.push_back("  " + std::to_string(block + 1) + ")" + line(block * 5 + 1));
      for (int j = 2; j <= 5; ++j) lines.push_back(Blanks(5) + line(block * 5 + j));
      lines.push_back("");
    }
    lines.push_back("");
    lines.push_back("");
    lines.push_back(Blanks(9) + "IREC(1)=" + I(irec1, 3) + Blanks(5) + "EXTRACT HRS" +
                    F(tbeg, 12, 6) + " TO" + F(tend, 12, 6));
    lines.push_back("");
    return lines;
  }

  static const std::string kMerged50;

  friend class Qmx2Runs;
};

const std::string MergeTest::kMerged50 = Pad("merged.bin", 50);

// ---------------------------------------------------------------------------
// Flags in order.

TEST_F(MergeTest, FiveFlagsInOrderCopyEachWindowUnderTheFirstHeader) {
  // File k holds hours 10k+1 to 10k+3.
  const char* names[5] = {"a.bin", "b.bin", "c.bin", "d.bin", "e.bin"};
  const char* flags[5] = {"1st", "2ND", "3rd", "4TH", "5th"};
  const char* hours[5] = {"11 12", "22,23", "30 31.5", "0 100", "13 13"};
  const float tbeg[5] = {11, 22, 30, 0, 13};
  const float tend[5] = {12, 23, 31.5f, 100, 13};
  // Copied: 11 and 12 (both ends), 22 and 23, 31, all three, none (13 is not in e.bin).
  const std::vector<std::vector<int>> copied = {{0, 1}, {1, 2}, {0}, {0, 1, 2}, {}};
  std::vector<Qmx2Input> inputs;
  for (int k = 0; k < 5; ++k) {
    const std::string tag = std::string("RUN ") + static_cast<char>('A' + k);
    inputs.push_back(
        Input(CharHeaderFile(Char(tag, 42)),
              MergeSteps(10 * (k + 1) + 1, 10 * (k + 1) + 3, static_cast<float>(k + 1)), true));
    Put(names[k], inputs.back());
  }

  Script s = MergeStart();
  std::vector<std::string> summary = Title();
  std::string merged = inputs[0].header;
  for (int k = 0; k < 5; ++k) {
    Choose(s, flags[k], k + 1, names[k], hours[k]);
    ReadLines(s, kFourBlanks, k == 0 ? kWriteChar : "", 0);
    Append(&summary, Listing(names[k], 11 + k, Char(std::string("RUN ") + char('A' + k), 42).banner,
                             42, tbeg[k], tend[k]));
    for (int i : copied[k]) merged += inputs[k].steps[i];
  }
  s.Ask(kFlagPrompt, "EXIT");
  Closing(s, kMerged50, 8);
  ToTheEnd(s);

  ExpectRun(s, Run(s), 0);
  ExpectSummary(summary);
  ExpectFile("merged.bin", merged);
  for (int k = 0; k < 5; ++k) ExpectFile(names[k], inputs[k].bytes());
}

TEST_F(MergeTest, MenuThenAFlagTypedInFull) {
  const Qmx2Input a = Input(CharHeaderFile(Char("RUN A", 42)), MergeSteps(1, 3, 1), true);
  Put("a.bin", a);
  Script s = MergeStart();
  s.Ask(kFlagPrompt, "?").Show(kMenu).Type("1ST QMX2");
  s.Ask(kNamePrompts[0], "a.bin").Ask(kHoursPrompt, "2 3");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  s.Ask(kFlagPrompt, "exit");
  Closing(s, kMerged50, 2);
  ToTheEnd(s);

  ExpectRun(s, Run(s), 0);
  std::vector<std::string> summary = Title();
  Append(&summary, Listing("a.bin", 11, Char("RUN A", 42).banner, 42, 2, 3));
  ExpectSummary(summary);
  ExpectFile("merged.bin", a.header + a.steps[1] + a.steps[2]);
}

// Anything but the ten listed flags closes the merge at once, without the
// closing summary; the merged file is left empty.
class MergeEndFlagTest : public MergeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MergeEndFlagTest, ClosesWithNothingCopied) {
  Script s = MergeStart();
  s.Ask(kFlagPrompt, GetParam());
  Closing(s, kMerged50, 0);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);
  ExpectSummary(Title());
  ExpectFile("merged.bin", "");
}

INSTANTIATE_TEST_SUITE_P(MergeTest, MergeEndFlagTest,
                         ::testing::Values("EXIT", "", "1St", "1sT", "2Nd", " 1ST", "6TH", "1",
                                           "ST1"));

TEST_F(MergeTest, SecondQuestionMarkAfterTheMenuCloses) {
  Script s = MergeStart();
  s.Ask(kFlagPrompt, "?").Show(kMenu).Type("?");
  Closing(s, kMerged50, 0);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);
  ExpectSummary(Title());
}

// ---------------------------------------------------------------------------
// Choosing a slot again.

TEST_F(MergeTest, SameSlotSameFileMeetsItsEnd) {
  const Qmx2Input a = Input(CharHeaderFile(Char("RUN A", 42)), MergeSteps(1, 3, 1), true);
  Put("a.bin", a);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  Choose(s, "1ST", 1, "a.bin", "0 10");  // read on where the first reading stopped
  Closing(s, kMerged50, 3);
  ToTheEnd(s);

  ExpectRun(s, Run(s), 0);
  std::vector<std::string> summary = Title();
  Append(&summary, Listing("a.bin", 11, Char("RUN A", 42).banner, 42, 0, 10));
  summary.push_back(" END OF FILE WHILE READING UNIT =11 SUB R2MERGE");
  ExpectSummary(summary);
  ExpectFile("merged.bin", a.bytes());
}

TEST_F(MergeTest, FinishingSlotOneRewindsSlotTwo) {
  const Qmx2Input a = Input(CharHeaderFile(Char("RUN A", 42)), MergeSteps(1, 2, 1), true);
  const Qmx2Input b = Input(CharHeaderFile(Char("RUN B", 42)), MergeSteps(5, 6, 2), true);
  Put("a.bin", a);
  Put("b.bin", b);
  Script s = MergeStart();
  Choose(s, "2ND", 2, "b.bin", "0 10");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  Choose(s, "1ST", 1, "a.bin", "0 10");
  ReadLines(s, kFourBlanks, "", 0);
  Choose(s, "2ND", 2, "b.bin", "6 6");
  ReadLines(s, kFourBlanks, "", 0);
  s.Ask(kFlagPrompt, "EXIT");
  Closing(s, kMerged50, 5);
  ToTheEnd(s);

  // Slot 1's hour 1 follows slot 2's hour 6.
  ExpectRun(s, Run(s), 0,
            "korvant: caution: the merged file merged.bin has 1 time step whose time is not "
            "greater than the one written before it, the first at hour 1\n");
  std::vector<std::string> summary = Title();
  Append(&summary, Listing("b.bin", 12, Char("RUN B", 42).banner, 42, 0, 10));
  Append(&summary, Listing("a.bin", 11, Char("RUN A", 42).banner, 42, 0, 10));
  Append(&summary, Listing("b.bin", 12, Char("RUN B", 42).banner, 42, 6, 6));
  ExpectSummary(summary);
  // The header of the first file processed, which is b.bin.
  ExpectFile("merged.bin",
             b.header + b.steps[0] + b.steps[1] + a.steps[0] + a.steps[1] + b.steps[1]);
}

TEST_F(MergeTest, SameSlotOtherFileStartsThatFileFromItsStart) {
  const Qmx2Input a = Input(CharHeaderFile(Char("RUN A", 42)), MergeSteps(1, 2, 1), true);
  const Qmx2Input b = Input(CharHeaderFile(Char("RUN B", 42)), MergeSteps(5, 6, 2), true);
  Put("a.bin", a);
  Put("b.bin", b);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  Choose(s, "1st", 1, "b.bin", "0 10");
  ReadLines(s, kFourBlanks, "", 0);
  Choose(s, "1ST", 1, "a.bin", "2 2");
  ReadLines(s, kFourBlanks, "", 0);
  s.Ask(kFlagPrompt, "EXIT");
  Closing(s, kMerged50, 5);
  ToTheEnd(s);
  // The second reading of a.bin writes hour 2 after b.bin's hour 6.
  ExpectRun(s, Run(s), 0,
            "korvant: caution: the merged file merged.bin has 1 time step whose time is not "
            "greater than the one written before it, the first at hour 2\n");
  ExpectFile("merged.bin", a.bytes() + b.steps[0] + b.steps[1] + a.steps[1]);
}

// ---------------------------------------------------------------------------
// End of console input.

TEST_F(MergeTest, EndOfInputAtTheMergedNameCloses) {
  Script s;
  s.Start().Ask(kMerge2, "Y").Show(kPurpose).Show(" ").Show(kMergedPrompt);
  Closing(s, Pad("NULL", 50), 0);
  s.Show(kMerge4);  // the driver's next question meets the end of input too
  ExpectRun(s, Run(s), 2, kStdinEof);
  std::vector<std::string> summary = Title();
  summary.push_back(" END OF FILE UNIT  5 INPUT");
  ExpectSummary(summary);
  EXPECT_EQ(std::vector<std::string>{"sum.txt"}, box_.List());
}

// Stdin ends at the flag: the merge closes with what was copied.
TEST_F(MergeTest, EndOfInputAtTheFlagClosesWithWhatWasCopied) {
  const Qmx2Input a = Input(CharHeaderFile(Char("RUN A", 42)), MergeSteps(1, 2, 1), true);
  Put("a.bin", a);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  s.Show(kFlagPrompt);
  Closing(s, kMerged50, 2);
  s.Show(kMerge4);
  ExpectRun(s, Run(s), 2, kStdinEof);
  std::vector<std::string> summary = Title();
  Append(&summary, Listing("a.bin", 11, Char("RUN A", 42).banner, 42, 0, 10));
  summary.push_back(" END OF FILE UNIT  5 INPUT");
  ExpectSummary(summary);
  ExpectFile("merged.bin", a.bytes());
}

TEST_F(MergeTest, EndOfInputAtTheMenuAnswerIsFatal) {
  Script s = MergeStart();
  s.Ask(kFlagPrompt, "?").Show(kMenu);
  ExpectRun(s, Run(s), 2, kStdinEof);
  ExpectSummary(Title());
  ExpectFile("merged.bin", "");
}

// ---------------------------------------------------------------------------
// Ten readings reach the closing summary.

class TenReadingsTest : public MergeTest {
 protected:
  // a.bin holds hours 1-3, b.bin 10-12, c.bin 20-22. Readings 1 to 9 alternate
  // a.bin and b.bin on slot 1, reading 10 is c.bin on slot 3; slot 2 is never
  // chosen. `hours` are the ten windows, `want` the copied (file, step) pairs.
  void RunTen(const std::vector<std::pair<float, float>>& hours,
              const std::vector<std::pair<int, int>>& want, float first, float last,
              std::string_view err) {
    const Qmx2Input files[3] = {
        Input(CharHeaderFile(Char("RUN A", 42)), MergeSteps(1, 3, 1), true),
        Input(CharHeaderFile(Char("RUN B", 42)), MergeSteps(10, 12, 2), true),
        Input(CharHeaderFile(Char("RUN C", 42)), MergeSteps(20, 22, 3), true)};
    const char* names[3] = {"a.bin", "b.bin", "c.bin"};
    const char* tags[3] = {"RUN A", "RUN B", "RUN C"};
    for (int f = 0; f < 3; ++f) Put(names[f], files[f]);

    Script s = MergeStart();
    std::vector<std::string> summary = Title();
    for (int reading = 0; reading < 10; ++reading) {
      const int f = reading == 9 ? 2 : reading % 2;
      const int slot = reading == 9 ? 3 : 1;
      char answer[64];
      std::snprintf(answer, sizeof answer, "%g %g", hours[reading].first, hours[reading].second);
      Choose(s, slot == 3 ? "3RD" : "1ST", slot, names[f], answer);
      ReadLines(s, kFourBlanks, reading == 0 ? kWriteChar : "", 0);
      Append(&summary, Listing(names[f], 10 + slot, Char(tags[f], 42).banner, 42,
                               hours[reading].first, hours[reading].second));
    }
    // No further flag prompt after the tenth reading.
    Closing(s, kMerged50, static_cast<int32_t>(want.size()));
    ToTheEnd(s);

    summary.push_back("");
    summary.push_back(" THE MERGED FILE IS NAMED=" + kMerged50 +
                      " AND THESE DATA FILES AND TIMES WERE USED TO CREATE IT");
    summary.push_back(Blanks(3) + Pad("a.bin", 50) + Blanks(5) + F(hours[8].first, 12, 6) +
                      F(hours[8].second, 12, 6) + std::string(50, '\0') + Blanks(5) +
                      "    0.000000    0.000000" + Pad("c.bin", 50) + Blanks(5) +
                      F(hours[9].first, 12, 6) + F(hours[9].second, 12, 6));
    summary.push_back("");
    summary.push_back(I(static_cast<int32_t>(want.size()), 5) +
                      " TIME STEPS MERGED TO UNIT 50 ... FIRST=" + F(first, 12, 6));
    summary.push_back(Blanks(39) + "LAST=" + F(last, 12, 6));
    summary.push_back("");

    ExpectRun(s, Run(s), 0, err);
    ExpectSummary(summary);
    std::string merged = files[0].header;
    for (auto [f, step] : want) merged += files[f].steps[step];
    ExpectFile("merged.bin", merged);
  }
};

TEST_F(TenReadingsTest, SummaryListsSlotsUpToTheLastOne) {
  RunTen(
      {{1, 1}, {12, 12}, {2, 3}, {0, 0}, {3, 3}, {10, 11}, {100, 200}, {11, 12}, {1, 3}, {21, 21}},
      {{0, 0},
       {1, 2},
       {0, 1},
       {0, 2},
       {0, 2},
       {1, 0},
       {1, 1},
       {1, 1},
       {1, 2},
       {0, 0},
       {0, 1},
       {0, 2},
       {2, 1}},
      1.0f, 21.0f,
      // Written hours 1 12 2 3 3 10 11 11 12 1 2 3 21: 2, 3, 11 and 1 do not go forward.
      "korvant: caution: the merged file merged.bin has 4 time steps whose time is not greater "
      "than the one written before it, the first at hour 2\n");
}

TEST_F(TenReadingsTest, NothingCopiedShowsMinus99) {
  std::vector<std::pair<float, float>> hours(10, {100.0f, 200.0f});
  hours[1] = {-5.0f, 0.5f};
  RunTen(hours, {}, -99.0f, -99.0f, "");
}

// An hour too small for a normal float is the nearest float there is, not a
// conversion error: 1.0e-40 is a subnormal one, so the first window takes the
// step at that hour and not the one at 0; 1.0e-50 is 0, so the second window
// takes the step at 0 and not the one at 1.0e-40.
TEST_F(MergeTest, HoursBelowTheNormalFloatsAreTheNearestFloat) {
  const Qmx2Input a = Input(CharHeaderFile(Char("RUN A", 42)),
                            {MergeStep(0.0f, 1), MergeStep(1.0e-40f, 1), MergeStep(1.0f, 1)}, true);
  Put("a.bin", a);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "1.0e-40 0.5");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  Choose(s, "2ND", 2, "a.bin", "-1 1.0e-50");
  ReadLines(s, kFourBlanks, "", 0);
  s.Ask(kFlagPrompt, "EXIT");
  Closing(s, kMerged50, 2);
  ToTheEnd(s);
  // Hour 0 is written after hour 1.0e-40.
  ExpectRun(s, Run(s), 0,
            "korvant: caution: the merged file merged.bin has 1 time step whose time is not "
            "greater than the one written before it, the first at hour 0\n");
  std::vector<std::string> summary = Title();
  Append(&summary, Listing("a.bin", 11, Char("RUN A", 42).banner, 42, 1.0e-40f, 0.5f));
  Append(&summary, Listing("a.bin", 12, Char("RUN A", 42).banner, 42, -1, 0));
  ExpectSummary(summary);
  ExpectFile("merged.bin", a.header + a.steps[1] + a.steps[0]);
}

// Every record counts towards the 500 a file is read for, copied or not.
TEST_F(MergeTest, OnlyTheFirst500RecordsOfAFileAreRead) {
  std::vector<Qmx2StepData> steps;
  for (int hour = 1; hour <= 502; ++hour) {
    Qmx2StepData step;
    step.time = static_cast<float>(hour);
    step.np2 = 1;
    step.ne2 = 0;
    step.vel = {static_cast<float>(hour), 0.5f, 2.0f};
    steps.push_back(step);
  }
  // IREC(1) below 40: short steps.
  const Qmx2Input a = Input(CharHeaderFile(Char("LONG RUN", 30)), steps, false);
  const Qmx2Input b = Input(CharHeaderFile(Char("RUN B", 42)), MergeSteps(1, 1, 2), true);
  Put("a.bin", a);
  Put("b.bin", b);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "499 1000");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  Choose(s, "2ND", 2, "b.bin", "0 10");
  ReadLines(s, kFourBlanks, "", 0);
  s.Ask(kFlagPrompt, "EXIT");
  Closing(s, kMerged50, 3);
  ToTheEnd(s);
  // a.bin is looked at for 500 of its 502 steps; b.bin's 2 nodes and 1 element
  // differ from a.bin's 1 node and no element; its hour 1 follows hour 500.
  ExpectRun(s, Run(s), 0,
            "korvant: caution: a merge looked at only the first 500 time-step records of a.bin; "
            "more records "
            "follow\n"
            "korvant: caution: b.bin has 2 nodes and 1 element, the first input of this merge "
            "(a.bin) 1 node "
            "and 0 elements\n"
            "korvant: caution: the merged file merged.bin has 1 time step whose time is not "
            "greater than the one written before it, the first at hour 1\n");
  ExpectFile("merged.bin", a.header + a.steps[498] + a.steps[499] + b.steps[0]);
}

// ---------------------------------------------------------------------------
// Long and short steps, header forms.

struct LongShortCase {
  int32_t irec1;
  bool file_long;    // the records as the model wrote them
  bool merged_long;  // the records the merge writes
};

void PrintTo(const LongShortCase& c, std::ostream* os) {
  *os << "IREC(1)=" << c.irec1 << (c.file_long ? " long records" : " short records");
}

class MergeLongShortTest : public MergeTest, public ::testing::WithParamInterface<LongShortCase> {};

// From a version code of 40 the merge reads and writes the elevations; below
// it, elevations in the records are passed over and not written.
TEST_P(MergeLongShortTest, VersionCodeDecides) {
  const LongShortCase c = GetParam();
  const std::vector<Qmx2StepData> steps = MergeSteps(1, 3, 1);
  const Qmx2Input a = Input(CharHeaderFile(Char("RUN A", c.irec1)), steps, c.file_long);
  Put("a.bin", a);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "1 3");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  s.Ask(kFlagPrompt, "EXIT");
  Closing(s, kMerged50, 3);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);
  std::vector<std::string> summary = Title();
  Append(&summary, Listing("a.bin", 11, Char("RUN A", c.irec1).banner, c.irec1, 1, 3));
  ExpectSummary(summary);
  ExpectFile("merged.bin",
             Input(CharHeaderFile(Char("RUN A", c.irec1)), steps, c.merged_long).bytes());
}

INSTANTIATE_TEST_SUITE_P(
    MergeTest, MergeLongShortTest,
    ::testing::Values(LongShortCase{39, false, false}, LongShortCase{40, true, true},
                      LongShortCase{41, true, true}, LongShortCase{42, true, true},
                      LongShortCase{39, true, false}, LongShortCase{-5, true, false}));

// The second file keeps its own form and long/short rule under the first
// file's header; a character-form header shows the version of the last
// integer-coded one.
TEST_F(MergeTest, SecondFileOfTheOtherFormKeepsItsOwnLayout) {
  const Qmx2Input a = Input(CharHeaderFile(Char("RUN A", 42)), MergeSteps(1, 2, 1), true);
  const Qmx2Input b = Input(CodedHeaderFile(Coded(30, 2, 7)), MergeSteps(5, 6, 2), false);
  const Qmx2Input c = Input(CharHeaderFile(Char("RUN C", 40)), MergeSteps(8, 8, 3), true);
  Put("a.bin", a);
  Put("b.bin", b);
  Put("c.bin", c);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  Choose(s, "2ND", 2, "b.bin", "0 10");
  ReadLines(s, 2, "", 7);
  Choose(s, "3RD", 3, "c.bin", "0 10");
  ReadLines(s, kFourBlanks, "", 7);
  s.Ask(kFlagPrompt, "EXIT");
  Closing(s, kMerged50, 5);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);

  // The coded banner fills the first codes; the rest of the 1200 were never
  // set in this run and are code 0.
  std::string coded_banner = "CODED BANNER OF A QMX2 RUN";
  coded_banner.resize(1200, '\0');
  std::vector<std::string> summary = Title();
  Append(&summary, Listing("a.bin", 11, Char("RUN A", 42).banner, 42, 0, 10));
  Append(&summary, Listing("b.bin", 12, coded_banner, 30, 0, 10));
  Append(&summary, Listing("c.bin", 13, Char("RUN C", 40).banner, 40, 0, 10));
  ExpectSummary(summary);
  ExpectFile("merged.bin", a.bytes() + b.steps[0] + b.steps[1] + c.steps[0]);
}

// An integer-coded header is copied as read: its own counts in H1, every
// count with its entries, negative counts with none.
TEST_F(MergeTest, CodedHeaderIsCopiedByteForByte) {
  CodedHeader h = Coded(42, 150, 3);
  h.np = -4;
  h.ne = 123;
  h.iban.clear();
  h.nban = -3;
  h.frec.clear();
  h.nfrec = 0;
  const Qmx2Input a = Input(CodedHeaderFile(h), MergeSteps(1, 2, 1), true);
  const Qmx2Input b = Input(CharHeaderFile(Char("RUN B", 41)), MergeSteps(3, 3, 2), true);
  Put("a.bin", a);
  Put("b.bin", b);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  ReadLines(s, 150, kWriteCoded, 3);
  Choose(s, "2ND", 2, "b.bin", "0 10");
  ReadLines(s, kFourBlanks, "", 3);
  s.Ask(kFlagPrompt, "EXIT");
  Closing(s, kMerged50, 3);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);
  ExpectFile("merged.bin", a.bytes() + b.steps[0]);
}

// The largest header the arrays hold passes.
TEST_F(MergeTest, CodedHeaderAtEveryLimitIsAccepted) {
  CodedHeader h = Coded(42);
  h.np = 60000;
  h.ne = 20000;
  h.iban.assign(1200, 'B');
  h.irec.resize(40, 9);
  h.frec.assign(40, 0.75f);
  h.ititl.assign(77, 'T');
  const Qmx2Input a = Input(CodedHeaderFile(h), MergeSteps(1, 1, 1), true);
  Put("a.bin", a);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  ReadLines(s, 2, kWriteCoded, 7);
  s.Ask(kFlagPrompt, "EXIT");
  Closing(s, kMerged50, 1);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);
  ExpectFile("merged.bin", a.bytes());
}

// ---------------------------------------------------------------------------
// Damaged and oversized inputs.

struct BadHeaderCase {
  const char* what;
  std::string bytes;
  bool detected;  // the first record gave ITEST
};

void PrintTo(const BadHeaderCase& c, std::ostream* os) { *os << c.what; }

std::vector<BadHeaderCase> BadHeaders() {
  std::string four_bytes;
  PutInt32(&four_bytes, kFourBlanks);
  FileBuilder cut = CharHeaderFile(Char("CUT", 42));
  cut.TruncateBy(cut.size() - 100);
  FileBuilder h1_short;
  h1_short.Add(RecordBuilder().Ints({2, 7}));
  FileBuilder c1_short;
  c1_short.Add(RecordBuilder().Raw("    ")).Add(HeaderC2(Char("X", 42)));
  return {{"empty", "", false},
          {"torn length", std::string("\x10\0\0", 3), false},
          {"first record cut short", cut.bytes(), false},
          {"banner record of 4 bytes", c1_short.bytes(), true},
          {"H1 of two integers", h1_short.bytes(), true}};
}

class MergeBadHeaderTest : public MergeTest, public ::testing::WithParamInterface<BadHeaderCase> {};

// End of file or an error in the first header record closes the merge with a
// line naming the unit; what was copied before stays.
TEST_P(MergeBadHeaderTest, SummaryNamesTheUnitAndTheMergeCloses) {
  const BadHeaderCase c = GetParam();
  const Qmx2Input a = Input(CharHeaderFile(Char("RUN A", 42)), MergeSteps(1, 2, 1), true);
  Put("a.bin", a);
  box_.Write("bad.bin", c.bytes);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  Choose(s, "2ND", 2, "bad.bin", "0 10");
  if (c.detected) {
    int32_t itest = 0;
    for (int i = 0; i < 4; ++i) itest |= (static_cast<unsigned char>(c.bytes[4 + i]) << (8 * i));
    s.Show(FreeInt(" -->  1st integer on QMX2 binary=", itest));
  }
  Closing(s, kMerged50, 2);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);
  std::vector<std::string> summary = Title();
  Append(&summary, Listing("a.bin", 11, Char("RUN A", 42).banner, 42, 0, 10));
  summary.push_back(" END OF FILE WHILE READING UNIT =12 SUB R2MERGE");
  ExpectSummary(summary);
  ExpectFile("merged.bin", a.bytes());
}

INSTANTIATE_TEST_SUITE_P(MergeTest, MergeBadHeaderTest, ::testing::ValuesIn(BadHeaders()),
                         [](const auto& tested) { return "Case" + std::to_string(tested.index); });

TEST_F(MergeTest, HeaderFailureOfTheFirstFileLeavesTheMergedFileEmpty) {
  box_.Write("bad.bin", "");
  Script s = MergeStart();
  Choose(s, "1ST", 1, "bad.bin", "0 10");
  Closing(s, kMerged50, 0);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);
  std::vector<std::string> summary = Title();
  summary.push_back(" END OF FILE WHILE READING UNIT =11 SUB R2MERGE");
  ExpectSummary(summary);
  ExpectFile("merged.bin", "");
}

// Header records after the first have no handling: the run ends with the
// record layer's diagnostic.
TEST_F(MergeTest, MissingHeaderNumbersAreFatal) {
  FileBuilder f;
  f.Add(HeaderC1(Char("RUN A", 42)));
  box_.Write("a.bin", f.bytes());
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  s.Show(FreeInt(" -->  1st integer on QMX2 binary=", kFourBlanks));
  ExpectRun(s, Run(s), 2, "korvant: end-of-file during read, unit 11, file a.bin\n");
  ExpectSummary(Title());
  ExpectFile("merged.bin", "");
}

TEST_F(MergeTest, BannerCodesShorterThanTheirCountAreFatal) {
  FileBuilder f;
  CodedHeader h = Coded(42);
  h.nban = 30;  // 26 codes follow
  f.Add(HeaderI1(h)).Add(HeaderI2(h)).Add(HeaderI3(h)).Add(HeaderI4(h));
  box_.Write("a.bin", f.bytes());
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  s.Show(FreeInt(" -->  1st integer on QMX2 binary=", 2));
  ExpectRun(s, Run(s), 2, "korvant: input statement requires too much data, unit 11, file a.bin\n");
}

// Header counts beyond the arrays: the dimension report with the header's
// node and element counts, and the stop "DIM".
struct DimCase {
  const char* what;
  void (*spoil)(CodedHeader*);
};

void PrintTo(const DimCase& c, std::ostream* os) { *os << c.what; }

class MergeDimTest : public MergeTest, public ::testing::WithParamInterface<DimCase> {};

TEST_P(MergeDimTest, StopsWithDimKeepingWhatWasCopied) {
  CodedHeader h = Coded(42);
  h.np = 3;
  h.ne = 1;
  GetParam().spoil(&h);
  const Qmx2Input a = Input(CharHeaderFile(Char("RUN A", 42)), MergeSteps(1, 2, 1), true);
  Put("a.bin", a);
  box_.Write("big.bin", Input(CodedHeaderFile(h), MergeSteps(1, 1, 2), true).bytes());
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  Choose(s, "2ND", 2, "big.bin", "0 10");
  s.Show(FreeInt(" -->  1st integer on QMX2 binary=", 2));
  s.Show(" *** Array dimension over-run problem *** ")
      .Show(FreeInt(" --> Maximum allowed # of nodes =", 60000))
      .Show(FreeInt(" --> Your file has ", h.np) + " nodes")
      .Show(FreeInt(" --> Maximum allowed # of elements =", 20000))
      .Show(FreeInt(" --> Your file has ", h.ne) + " elements")
      .Show("DIM");
  ExpectRun(s, Run(s), 1);
  std::vector<std::string> summary = Title();
  Append(&summary, Listing("a.bin", 11, Char("RUN A", 42).banner, 42, 0, 10));
  ExpectSummary(summary);
  ExpectFile("merged.bin", a.bytes());
}

INSTANTIATE_TEST_SUITE_P(
    MergeTest, MergeDimTest,
    ::testing::Values(DimCase{"nodes", [](CodedHeader* h) { h->np = 60001; }},
                      DimCase{"elements", [](CodedHeader* h) { h->ne = 20001; }},
                      DimCase{"banner codes", [](CodedHeader* h) { h->iban.assign(1201, 66); }},
                      DimCase{"header integers", [](CodedHeader* h) { h->irec.resize(41, 42); }},
                      DimCase{"header reals", [](CodedHeader* h) { h->frec.assign(41, 1.0f); }},
                      DimCase{"title codes", [](CodedHeader* h) { h->ititl.assign(78, 84); }}),
    [](const auto& tested) { return "Case" + std::to_string(tested.index); });

// A time step beyond the arrays: the over-run report and the stop.
struct OverRunCase {
  int32_t np2, ne2;
};

void PrintTo(const OverRunCase& c, std::ostream* os) { *os << "NP2=" << c.np2 << " NE2=" << c.ne2; }

class MergeOverRunTest : public MergeTest, public ::testing::WithParamInterface<OverRunCase> {};

TEST_P(MergeOverRunTest, StopsKeepingTheStepsBefore) {
  const OverRunCase c = GetParam();
  Qmx2StepData big;
  big.time = 2.0f;
  big.np2 = c.np2;
  big.ne2 = c.ne2;
  const Qmx2Input a = Input(CharHeaderFile(Char("RUN A", 42)), {MergeStep(1, 1), big}, true);
  Put("a.bin", a);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  s.Show(" ========== ARRAY OVER-RUN OCCURING ============")
      .Show(FreeInt(" ==== JUST read QMX2 with=", c.ne2) + I(c.np2, 12) + " Elem-Nodes")
      .Show(FreeInt(" ==== Code dimensions are=", 20000) + I(60000, 12) + "  FIX IT!")
      .Show(" ========== Array over-Run STOP Now ============");
  ExpectRun(s, Run(s), 1);
  ExpectFile("merged.bin", a.header + a.steps[0]);
}

INSTANTIATE_TEST_SUITE_P(MergeTest, MergeOverRunTest,
                         ::testing::Values(OverRunCase{60001, 1}, OverRunCase{2, 20001}));

// A time step that cannot be read ends the run with the record layer's
// diagnostic; the steps copied before it stay in the merged file.
TEST_F(MergeTest, StepCutShortIsFatalKeepingWhatWasCopied) {
  Qmx2Input a = Input(CharHeaderFile(Char("RUN A", 42)), MergeSteps(1, 3, 1), true);
  a.steps[2].resize(a.steps[2].size() - 6);
  Put("a.bin", a);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  ExpectRun(s, Run(s), 2, "korvant: error during read, unit 11, file a.bin\n");
  std::vector<std::string> summary = Title();
  Append(&summary, Listing("a.bin", 11, Char("RUN A", 42).banner, 42, 0, 10));
  ExpectSummary(summary);
  ExpectFile("merged.bin", a.header + a.steps[0] + a.steps[1]);
}

TEST_F(MergeTest, StepShorterThanItsCountsIsFatal) {
  Qmx2Input a = Input(CharHeaderFile(Char("RUN A", 42)), MergeSteps(1, 2, 1), true);
  std::string data = Qmx2StepRecord(MergeStep(2, 1), true).data();
  std::string three;
  PutInt32(&three, 3);
  data.replace(4, 4, three);  // claims 3 nodes, holds 2
  a.steps[1] = Framed(RecordBuilder().Raw(data));
  Put("a.bin", a);
  Script s = MergeStart();
  Choose(s, "1ST", 1, "a.bin", "0 10");
  ReadLines(s, kFourBlanks, kWriteChar, 0);
  ExpectRun(s, Run(s), 2, "korvant: input statement requires too much data, unit 11, file a.bin\n");
  ExpectFile("merged.bin", a.header + a.steps[0]);
}

// ===========================================================================
// The averaging.

// The averaging's five answers; blank ones take the defaults.
struct Answers {
  std::string start, stop, datum;
  std::string full = "0";
  std::string weight = "N";

  Answers& Datum(std::string_view v) {
    datum = v;
    return *this;
  }
  Answers& Full(std::string_view v) {
    full = v;
    return *this;
  }
  Answers& Weight(std::string_view v) {
    weight = v;
    return *this;
  }
};

Answers Window(std::string_view start, std::string_view stop = "") {
  Answers a;
  a.start = start;
  a.stop = stop;
  return a;
}

// One line of the per-node table, value by value.
struct Row {
  int32_t node, ndry;
  float uavg, umin, umax, vavg, vmin, vmax, wavg, wmin, wmax, x, y, davg;
};

// (5X,2I5,9F7.2,2F11.2,F8.2)
std::string RowLine(const Row& r) {
  std::string line = Blanks(5) + I(r.node, 5) + I(r.ndry, 5);
  for (float v : {r.uavg, r.umin, r.umax, r.vavg, r.vmin, r.vmax, r.wavg, r.wmin, r.wmax})
    line += F(v, 7, 2);
  return line + F(r.x, 11, 2) + F(r.y, 11, 2) + F(r.davg, 8, 2);
}

// The averaged file's one step: time -99, the averages in place of the
// velocities and depths, the kept dry and element codes, and the mean
// elevations in a long step.
std::string AveragedStep(const std::vector<float>& triples, const std::vector<int32_t>& ndryk,
                         const std::vector<int32_t>& imatk, const std::vector<float>* wavg) {
  RecordBuilder r;
  r.Real(-99.0f).Int(static_cast<int32_t>(ndryk.size())).Reals(triples).Ints(ndryk);
  r.Int(static_cast<int32_t>(imatk.size())).Ints(imatk);
  if (wavg != nullptr) r.Reals(*wavg);
  return Framed(r);
}

// The mean of `values` as the averaging forms it: a 32-bit sum stored after
// every addition, divided by the count as a 32-bit float.
float Mean(std::initializer_list<float> values) {
  volatile float sum = 0.0f;
  float count = 0.0f;
  for (float v : values) {
    sum = sum + v;
    count += 1.0f;
  }
  return sum / count;
}

// n hourly steps at hours 1 to n, one node and no element: x-velocity the
// hour, y-velocity 0.5, depth 2, elevation 99 (1 below the default datum).
std::vector<Qmx2StepData> Hourly(int n) {
  std::vector<Qmx2StepData> steps;
  for (int hour = 1; hour <= n; ++hour) {
    Qmx2StepData step;
    step.time = static_cast<float>(hour);
    step.np2 = 1;
    step.ne2 = 0;
    step.vel = {static_cast<float>(hour), 0.5f, 2.0f};
    step.ndry = {1};
    step.wsel = {99.0f};
    steps.push_back(step);
  }
  return steps;
}

Qmx2Input HourlyInput(int n) { return Input(CharHeaderFile(Char("HOURLY", 42)), Hourly(n), true); }

class AverageTest : public HydroTest {
 protected:
  // Through the driver up to the averaging's first line, no geometry file.
  static Script ToAverage() {
    Script s;
    s.Start().Ask(kMerge2, "N").Ask(kMerge4, "N").Ask(kMerge10, "N").Ask(kVeltoQuestion, "N");
    s.Ask(kAverage2, "Y").Ask(kOutput2, "avg.bin").Ask(kInput2, "in.bin");
    return s;
  }

  // The same with geo.bin read first; its title is "BAY MESH".
  static Script ToAverageWithGeometry(int32_t np, int32_t ne) {
    Script s;
    s.Start().Ask(kMerge2, "N").Ask(kMerge4, "N").Ask(kMerge10, "N").Ask(kVeltoQuestion, "Y");
    s.Ask(kVeltoName, "geo.bin").Ask(kDatum, "0.0");
    s.Show(" --> VELTO geometry file read AOK").Show("").Show(" VELTO=" + Pad("BAY MESH", 77));
    s.Show(Blanks(6) + I(np, 8) + I(ne, 8));
    s.Ask(kAverage2, "Y").Ask(kOutput2, "avg.bin").Ask(kInput2, "in.bin");
    return s;
  }

  void PutGeometry(const VeltoGeometry& g) {
    CharHeader h;
    h.banner = Banner("MESH");
    h.irec = {425};
    h.title = "BAY MESH";
    box_.Write("geo.bin", VeltoFile(h, g).bytes());
  }

  static void Questions(Script& s, const Answers& a) {
    s.Show(kAverageBanner).Show(kStartPrompt).Ask(kStartDefault, a.start);
    s.Show(kStopPrompt).Ask(kStopDefault, a.stop);
    s.Show(kDatumPrompt).Ask(kDatumDefault, a.datum);
    s.Ask(kFullPrompt, a.full);
    s.Show(kWeightPrompt).Ask(kWeightNote, a.weight);
  }

  static void HeaderLines(Script& s, int32_t itest = kFourBlanks, int32_t ivers = 0) {
    s.Show(kInside)
        .Show(FreeInt(" -->  1st integer on QMX2 binary=", itest))
        .Show(FreeInt(" --> Your QMX2 has a version # of ", ivers));
  }

  // The first pass of the automatic window and its report.
  static void AutoLines(Script& s, float last, int32_t count, float start, float stop) {
    s.Show(" LAST TIME ON BINARY FILE=" + F(last, 12, 6))
        .Show(" TOTAL DATA RECORD COUNT [includes all banners]=" + I(count, 8))
        .Show("")
        .Show(kReopen)
        .Show(" ROUTINE self computes time to start and stop as=" + F(start, 12, 8) +
              F(stop, 12, 8));
  }

  static void Inconsistent(Script& s, int32_t np, int32_t ne, int32_t np2, int32_t ne2) {
    s.Show("")
        .Show(" WARNING inconsistant node/elem... QMX4 vs VELTO")
        .Show(" VELTO had node/elem =" + I(np, 8) + I(ne, 8))
        .Show(" QMX2  had node/elem =" + I(np2, 8) + I(ne2, 8))
        .Show("");
  }

  static void ToTheEnd(Script& s) { s.Ask(kAverage10, "N").Ask(kAverage4, "N").Show(kFinished); }

  static std::vector<std::string> Heading(int32_t iweight, float start, float stop) {
    const float cycle = stop - start;
    return {
        "1",
        Blanks(2) + " Switch setting for weighting average current by depth was=" + I(iweight, 3),
        "",
        Blanks(10) + "AVERAGE OF EACH NODE OVER A" + F(cycle, 12, 6) +
            " HR CYCLE, WITH START/STOP TIMES=" + F(start, 12, 6) + F(stop, 12, 6),
        Blanks(5) + " NODE  NDRY  XVEL  X-MIN  X-MAX" + Blanks(4) + "YVEL  Y-MIN  Y-MAX" +
            "   WSE  WE-MIN  WE-MAX" + Blanks(4) + "XCORD     YCORD  DEPTH",
        Blanks(18) + "AVG" + Blanks(20) + "AVG" + Blanks(17) + "AVG" + Blanks(20) + " AVG",
        ""};
  }

  static std::vector<std::string> Complete(float start, float stop, float avglen, int32_t navg,
                                           float dtlast, int32_t nzero, int32_t iweight) {
    return {" COMPLETE-",
            " UNIT 60 CONTAINS 1 TIME STEP OF VELOCITY AND DEPTH INTEGRATED FROM HRS" +
                F(start, 12, 6) + " TO " + F(stop, 12, 6),
            " LENGTH OF TIME OVER WHICH THE AVERAGE WAS COMPUTED=" + F(avglen, 12, 6),
            " TOTAL NUMBER OF TIME STEPS USED FOR THE AVERAGE   =" + I(navg, 8),
            " DELTA TIME STEP OF LAST 2 TIME STEPS USED WAS     =" + F(dtlast, 12, 6),
            " TOTAL NUMBER OF NODES WITH ZERO VALUES            =" + I(nzero, 8),
            " SWITCH FOR WEIGHTING THE AVERAGE CURRENT BY DEPTH WAS =" + I(iweight, 3),
            ""};
  }

  static std::vector<std::string> NoData(float recn, float start, float stop) {
    return {" WARNING --- RECN=" + F(recn, 5, 1),
            " Cannot find QMX2 unit IHYDRO time between =" + F(start, 12, 6) + F(stop, 12, 6), ""};
  }

  // The run ends with the results of averaging HourlyInput over the whole
  // hours first..last, under the window start..stop.
  void ExpectHourlyAverage(Script& s, const Qmx2Input& in, int first, int last, float start,
                           float stop, std::string_view err = "") {
    std::vector<std::string> summary;
    const std::string averaged = HourlyAverage(s, in, first, last, start, stop, &summary);
    ExpectRun(s, Run(s), 0, err);
    ExpectSummary(summary);
    ExpectFile("avg.bin", averaged);
  }

  // The end of the run, the summary lines and the averaged file of the same.
  static std::string HourlyAverage(Script& s, const Qmx2Input& in, int first, int last, float start,
                                   float stop, std::vector<std::string>* summary) {
    s.Show(kWriting);
    Inconsistent(s, 0, 0, 1, 0);
    ToTheEnd(s);
    const float mean = static_cast<float>(first + last) / 2.0f;
    *summary = Heading(0, start, stop);
    summary->push_back(RowLine({1, 1, mean, float(first), float(last), 0.5f, 0.5f, 0.5f, -1.0f,
                                -1.0f, -1.0f, 0.0f, 0.0f, 2.0f}));
    Append(summary, Complete(start, stop, float(last - first), last - first + 1, 1.0f, 0, 0));
    const std::vector<float> wavg = {-1.0f};
    return in.header + AveragedStep({mean, 0.5f, 2.0f}, {1}, {}, &wavg);
  }

  friend class Qmx2Runs;
};

// ---------------------------------------------------------------------------
// Windows.

// Defaults everywhere over 60 hourly steps: the window runs from hour 35 (25
// steps before the last) to hour 60.
TEST_F(AverageTest, DefaultWindowOnSixtyHourlySteps) {
  std::vector<Qmx2StepData> steps;
  for (int hour = 1; hour <= 60; ++hour) {
    const float h = static_cast<float>(hour);
    Qmx2StepData step;
    step.time = h;
    step.vel = {h, -0.5f * h, 2.0f, 0.25f, 0.0f, 4.0f};
    step.ndry = {hour == 60 ? 2 : 1, 2};
    step.imat = {hour <= 58 ? 5 : hour == 59 ? 7 : 0};
    step.wsel = {hour % 2 == 1 ? 98.5f : 99.5f, 101.25f};
    steps.push_back(step);
  }
  CharHeader header = Char("SIXTY", 42);
  const Qmx2Input in = Input(CharHeaderFile(header), steps, true);
  Put("in.bin", in);

  Script s = ToAverage();
  Questions(s, Answers());
  s.Show(kInside)
      .Show(" -->  1st integer on QMX2 binary=   538976288")
      .Show(" --> Your QMX2 has a version # of            0")
      .Show(" LAST TIME ON BINARY FILE=   60.000000")
      .Show(" TOTAL DATA RECORD COUNT [includes all banners]=      60")
      .Show("")
      .Show(" Required to CLOSE/RE-OPEN file to avoid CRAY EOF flag")
      .Show(" ROUTINE self computes time to start and stop as= 35.00000000 60.00000000")
      .Show(" --> Writing integrated data to unit=60")
      .Show("")
      .Show(" WARNING inconsistant node/elem... QMX4 vs VELTO")
      .Show(" VELTO had node/elem =       0       0")
      .Show(" QMX2  had node/elem =       2       1")
      .Show("");
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);

  ExpectSummary({
      "1",
      "   Switch setting for weighting average current by depth was=  0",
      "",
      "          AVERAGE OF EACH NODE OVER A   25.000000 HR CYCLE, WITH START/STOP TIMES="
      "   35.000000   60.000000",
      "      NODE  NDRY  XVEL  X-MIN  X-MAX    YVEL  Y-MIN  Y-MAX   WSE  WE-MIN  WE-MAX"
      "    XCORD     YCORD  DEPTH",
      "                  AVG                    AVG                 AVG"
      "                     AVG",
      "",
      //      node ndry   XVEL  X-MIN  X-MAX   YVEL  Y-MIN  Y-MAX    WSE WE-MIN WE-MAX
      "         1    1  47.50  35.00  60.00 -23.75 -30.00 -17.50  -1.00  -1.50  -0.50"
      "       0.00       0.00    2.00",
      "         2    2   0.25   0.25   0.25   0.00   0.00   0.00   1.25   1.25   1.25"
      "       0.00       0.00    4.00",
      " COMPLETE-",
      " UNIT 60 CONTAINS 1 TIME STEP OF VELOCITY AND DEPTH INTEGRATED FROM HRS   35.000000 TO "
      "   60.000000",
      " LENGTH OF TIME OVER WHICH THE AVERAGE WAS COMPUTED=   25.000000",
      " TOTAL NUMBER OF TIME STEPS USED FOR THE AVERAGE   =      26",
      " DELTA TIME STEP OF LAST 2 TIME STEPS USED WAS     =    1.000000",
      " TOTAL NUMBER OF NODES WITH ZERO VALUES            =       0",
      " SWITCH FOR WEIGHTING THE AVERAGE CURRENT BY DEPTH WAS =  0",
      "",
  });
  // Hours 35 to 60: x-velocity 47.5 on average, y-velocity -23.75; elevations
  // 98.5 and 99.5 alternate, -1.0 about the datum. The last dry code other than
  // 2 is that of hour 59; the last positive element code is 7.
  const std::vector<float> wavg = {-1.0f, 1.25f};
  ExpectFile("avg.bin", in.header + AveragedStep({47.5f, -23.75f, 2.0f, 0.25f, 0.0f, 4.0f}, {1, 2},
                                                 {7}, &wavg));
  ExpectFile("in.bin", in.bytes());
}

// A given window takes both of its ends; an integer-coded header is written
// with the counts of the last step read and otherwise as read.
TEST_F(AverageTest, GivenWindowUnderAnIntegerCodedHeader) {
  const CodedHeader header = Coded(42, 3, 9);
  std::vector<Qmx2StepData> steps;
  const float node2_u[7] = {0, 9.0f, 0.5f, 0.7f, 0.6f, 9.0f, 9.0f};
  for (int hour = 1; hour <= 6; ++hour) {
    const float h = static_cast<float>(hour);
    Qmx2StepData step;
    step.time = h;
    step.vel = {0.5f * h, 1.0f, h, node2_u[hour], -2.0f, 1.0f};
    step.ndry = {hour == 3 ? 3 : hour == 4 ? 2 : 1, 1};
    step.imat = {hour};
    step.wsel = {10.0f + h, 5.0f};
    steps.push_back(step);
  }
  const Qmx2Input in = Input(CodedHeaderFile(header), steps, true);
  Put("in.bin", in);

  Script s = ToAverage();
  Questions(s, Window("2", "4").Datum("0"));
  HeaderLines(s, 3, 9);
  s.Show(kWriting);
  Inconsistent(s, 0, 0, 2, 1);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);

  std::vector<std::string> summary = Heading(0, 2.0f, 4.0f);
  // With a datum of 0 the elevations are taken as they are.
  summary.push_back(
      "         1    3   1.50   1.00   2.00   1.00   1.00   1.00  13.00  12.00  14.00"
      "       0.00       0.00    3.00");
  summary.push_back(
      "         2    1   0.60   0.50   0.70  -2.00  -2.00  -2.00   5.00   5.00   5.00"
      "       0.00       0.00    1.00");
  Append(&summary, Complete(2.0f, 4.0f, 2.0f, 3, 1.0f, 0, 0));
  ExpectSummary(summary);

  CodedHeader written = header;
  written.np = 2;
  written.ne = 1;
  const std::vector<float> wavg = {13.0f, 5.0f};
  ExpectFile("avg.bin", CodedHeaderFile(written).bytes() +
                            AveragedStep({1.5f, 1.0f, 3.0f, Mean({0.5f, 0.7f, 0.6f}), -2.0f, 1.0f},
                                         {3, 1}, {4}, &wavg));
}

// A start at or below -99 asks for the automatic window, whatever the stop.
struct ThresholdCase {
  const char* start;
  const char* stop;
};

void PrintTo(const ThresholdCase& c, std::ostream* os) {
  *os << "start \"" << c.start << "\" stop \"" << c.stop << "\"";
}

class ThresholdTest : public AverageTest, public ::testing::WithParamInterface<ThresholdCase> {};

TEST_P(ThresholdTest, StartAtOrBelowMinus99IsAutomatic) {
  const ThresholdCase c = GetParam();
  const Qmx2Input in = HourlyInput(30);
  Put("in.bin", in);
  Script s = ToAverage();
  Questions(s, Window(c.start, c.stop));
  HeaderLines(s);
  AutoLines(s, 30.0f, 30, 5.0f, 30.0f);
  ExpectHourlyAverage(s, in, 5, 30, 5.0f, 30.0f);
}

INSTANTIATE_TEST_SUITE_P(AverageTest, ThresholdTest,
                         ::testing::Values(ThresholdCase{"-99", "3"}, ThresholdCase{"-99.0", ""},
                                           ThresholdCase{"-150", "12"}));

TEST_F(AverageTest, StartJustAboveMinus99ShowsInTheHeading) {
  const Qmx2Input in = HourlyInput(6);
  Put("in.bin", in);
  Script s = ToAverage();
  Questions(s, Window("-98.9", "3"));
  HeaderLines(s);
  ExpectHourlyAverage(s, in, 1, 3, -98.9f, 3.0f);
  // -98.9 as a 32-bit float is -98.90000153; the cycle 3 - (-98.9) likewise.
  const std::string summary = box_.Read(kSummary);
  EXPECT_NE(std::string::npos,
            summary.find("OVER A  101.900002 HR CYCLE, WITH START/STOP TIMES=  -98.900002"
                         "    3.000000\r\n"));
}

TEST_F(AverageTest, OnlyTheFirst500RecordsAreLookedAtUnderAGivenWindow) {
  const Qmx2Input in = HourlyInput(501);
  Put("in.bin", in);
  Script s = ToAverage();
  Questions(s, Window("499", "600"));
  HeaderLines(s);
  ExpectHourlyAverage(s, in, 499, 500, 499.0f, 600.0f,
                      "korvant: caution: an averaging looked at only the first 500 time-step "
                      "records of in.bin; more records follow\n");
}

// The file being written cannot be the input, under any name; the driver asks
// again, and the averaging then writes over the old content.
TEST_F(AverageTest, OutputIsRefusedAsInput) {
  box_.Write("avg.bin", "OLD CONTENT");
  box_.ExpectOutput("avg.bin");
  const Qmx2Input in = HourlyInput(3);
  Put("in.bin", in);
  Script s;
  s.Start().Ask(kMerge2, "N").Ask(kMerge4, "N").Ask(kMerge10, "N").Ask(kVeltoQuestion, "N");
  s.Ask(kAverage2, "Y").Ask(kOutput2, "avg.bin").Ask(kOverwrite, "Y");
  s.Ask(kInput2, "avg.bin").Show(kInUse);
  s.Ask(kInput2, "./avg.bin").Show(kInUse);
  s.Ask(kInput2, "in.bin");
  Questions(s, Window("1", "3"));
  HeaderLines(s);
  ExpectHourlyAverage(s, in, 1, 3, 1.0f, 3.0f);
}

// ---------------------------------------------------------------------------
// Stops of the averaging: status 1, nothing in the averaged file.

struct NoDataCase {
  const char* what;
  int steps;  // hourly steps on the file
  Answers answers;
  bool automatic;  // the first pass reports before the warning
  float recn, start, stop;
};

void PrintTo(const NoDataCase& c, std::ostream* os) { *os << c.what; }

class NoDataTest : public AverageTest, public ::testing::WithParamInterface<NoDataCase> {};

TEST_P(NoDataTest, WarnsOnConsoleAndSummaryAndStops) {
  const NoDataCase c = GetParam();
  Put("in.bin", HourlyInput(c.steps));
  Script s = ToAverage();
  Questions(s, c.answers);
  HeaderLines(s);
  if (c.automatic) AutoLines(s, c.stop, c.steps, c.start, c.stop);
  s.Show(NoData(c.recn, c.start, c.stop));
  ExpectRun(s, Run(s), 1);
  ExpectSummary(NoData(c.recn, c.start, c.stop));
  ExpectFile("avg.bin", "");
}

INSTANTIATE_TEST_SUITE_P(
    AverageTest, NoDataTest,
    ::testing::Values(
        // A start with a blank stop leaves the stop at -9999.
        NoDataCase{"blank stop", 6, Window("2"), false, 0.0f, 2.0f, -9999.0f},
        NoDataCase{"one step in the window", 6, Window("3", "3"), false, 1.0f, 3.0f, 3.0f},
        NoDataCase{"window after the last step", 6, Window("7", "9"), false, 0.0f, 7.0f, 9.0f},
        NoDataCase{"one step on the file", 1, {}, true, 1.0f, 1.0f, 1.0f},
        NoDataCase{"no step, given window", 0, Window("1", "5"), false, 0.0f, 1.0f, 5.0f}),
    [](const auto& tested) { return "Case" + std::to_string(tested.index); });

class AverageOverRunTest : public AverageTest, public ::testing::WithParamInterface<OverRunCase> {};

TEST_P(AverageOverRunTest, StopsBeforeAnythingIsWritten) {
  const OverRunCase c = GetParam();
  std::vector<Qmx2StepData> steps = Hourly(1);
  Qmx2StepData big;
  big.time = 2.0f;
  big.np2 = c.np2;
  big.ne2 = c.ne2;
  steps.push_back(big);
  Put("in.bin", Input(CharHeaderFile(Char("BIG", 42)), steps, true));
  Script s = ToAverage();
  Questions(s, Window("0", "10"));
  HeaderLines(s);
  s.Show(" ========== ARRAY OVER-RUN OCCURING ============")
      .Show(FreeInt(" ==== JUST read QMX2 with=", c.ne2) + I(c.np2, 12) + " Elem-Nodes")
      .Show(FreeInt(" ==== Code dimensions are=", 20000) + I(60000, 12) + "  FIX IT!")
      .Show(" ========== Array over-Run STOP Now ============");
  ExpectRun(s, Run(s), 1);
  ExpectSummary({});
  ExpectFile("avg.bin", "");
}

INSTANTIATE_TEST_SUITE_P(AverageTest, AverageOverRunTest,
                         ::testing::Values(OverRunCase{60001, 0}, OverRunCase{1, 20001}));

class AverageBadHeaderTest : public AverageTest,
                             public ::testing::WithParamInterface<BadHeaderCase> {};

TEST_P(AverageBadHeaderTest, UnexpectedEndStops) {
  const BadHeaderCase c = GetParam();
  box_.Write("in.bin", c.bytes);
  Script s = ToAverage();
  Questions(s, Answers());
  s.Show(kInside);
  if (c.detected) {
    int32_t itest = 0;
    for (int i = 0; i < 4; ++i) itest |= (static_cast<unsigned char>(c.bytes[4 + i]) << (8 * i));
    s.Show(FreeInt(" -->  1st integer on QMX2 binary=", itest));
  }
  s.Show(" UNEXPECT E-O-F HIT during Banner read of QMX2 binary")
      .Show(FreeInt("          LAST successful record number read=", 0));
  ExpectRun(s, Run(s), 1);
  ExpectSummary({});
  ExpectFile("avg.bin", "");
}

INSTANTIATE_TEST_SUITE_P(AverageTest, AverageBadHeaderTest, ::testing::ValuesIn(BadHeaders()),
                         [](const auto& tested) { return "Case" + std::to_string(tested.index); });

TEST_F(AverageTest, OversizedHeaderStopsWithDim) {
  CodedHeader h = Coded(42);
  h.np = 60001;
  h.ne = 4;
  Put("in.bin", Input(CodedHeaderFile(h), Hourly(2), true));
  Script s = ToAverage();
  Questions(s, Answers());
  s.Show(kInside).Show(FreeInt(" -->  1st integer on QMX2 binary=", 2));
  s.Show(" *** Array dimension over-run problem *** ")
      .Show(FreeInt(" --> Maximum allowed # of nodes =", 60000))
      .Show(FreeInt(" --> Your file has ", 60001) + " nodes")
      .Show(FreeInt(" --> Maximum allowed # of elements =", 20000))
      .Show(FreeInt(" --> Your file has ", 4) + " elements")
      .Show("DIM");
  ExpectRun(s, Run(s), 1);
  ExpectFile("avg.bin", "");
}

// ---------------------------------------------------------------------------
// Damaged time steps: the record layer's diagnostic, status 2.

TEST_F(AverageTest, StepCutShortInTheMainPassIsFatal) {
  Qmx2Input in = HourlyInput(4);
  in.steps[2].resize(in.steps[2].size() - 3);
  Put("in.bin", in);
  Script s = ToAverage();
  Questions(s, Window("1", "4"));
  HeaderLines(s);
  ExpectRun(s, Run(s), 2, "korvant: error during read, unit 50, file in.bin\n");
  ExpectFile("avg.bin", "");
}

TEST_F(AverageTest, StepCutShortInTheFirstPassIsFatal) {
  Qmx2Input in = HourlyInput(4);
  in.steps[2].resize(in.steps[2].size() - 3);
  Put("in.bin", in);
  Script s = ToAverage();
  Questions(s, Answers());
  HeaderLines(s);
  ExpectRun(s, Run(s), 2, "korvant: error during read, unit 50, file in.bin\n");
}

TEST_F(AverageTest, StepShorterThanItsCountsIsFatal) {
  Qmx2Input in = HourlyInput(4);
  std::string data = Qmx2StepRecord(Hourly(2)[1], true).data();
  std::string two;
  PutInt32(&two, 2);
  data.replace(4, 4, two);  // claims 2 nodes, holds 1
  in.steps[1] = Framed(RecordBuilder().Raw(data));
  Put("in.bin", in);
  Script s = ToAverage();
  Questions(s, Window("1", "4"));
  HeaderLines(s);
  ExpectRun(s, Run(s), 2,
            "korvant: input statement requires too much data, unit 50, file in.bin\n");
}

// A record outside the window is read as closely as one inside it.
TEST_F(AverageTest, StepOutsideTheWindowShorterThanItsCountsIsFatal) {
  Qmx2Input in = HourlyInput(4);
  std::string data = Qmx2StepRecord(Hourly(2)[1], true).data();
  data.resize(data.size() - 4);  // its one elevation is missing
  in.steps[1] = Framed(RecordBuilder().Raw(data));
  Put("in.bin", in);
  Script s = ToAverage();
  Questions(s, Window("3", "4"));
  HeaderLines(s);
  ExpectRun(s, Run(s), 2,
            "korvant: input statement requires too much data, unit 50, file in.bin\n");
  ExpectFile("avg.bin", "");
}

// A negative element count stands for no element codes; the elevation that
// must follow them is still missing.
TEST_F(AverageTest, StepOutsideTheWindowWithNegativeElementCountIsStillChecked) {
  Qmx2Input in = HourlyInput(4);
  in.steps[1] =
      Framed(RecordBuilder().Real(2.0f).Int(1).Reals({2.0f, 0.5f, 2.0f}).Ints({1}).Int(-1));
  Put("in.bin", in);
  Script s = ToAverage();
  Questions(s, Window("3", "4"));
  HeaderLines(s);
  ExpectRun(s, Run(s), 2,
            "korvant: input statement requires too much data, unit 50, file in.bin\n");
  ExpectFile("avg.bin", "");
}

// ---------------------------------------------------------------------------
// Node values.

struct WeightCase {
  const char* answer;
  int32_t iweight;
};

void PrintTo(const WeightCase& c, std::ostream* os) { *os << "answer \"" << c.answer << "\""; }

class WeightTest : public AverageTest, public ::testing::WithParamInterface<WeightCase> {};

// Node 1: (u, depth) = (1, 1) and (3, 3): 2.5 weighted by depth, 2.0 plain.
// Node 2: depth 0 throughout, not zero by the zero-value test (its velocities
// and elevation are not about 0): weighted, its velocities are 0.
TEST_P(WeightTest, DepthWeightedCurrent) {
  const WeightCase c = GetParam();
  std::vector<Qmx2StepData> steps;
  for (int hour = 1; hour <= 2; ++hour) {
    const float d = hour == 1 ? 1.0f : 3.0f;
    Qmx2StepData step;
    step.time = static_cast<float>(hour);
    step.vel = {d, 0.5f, d, 1.0f, -1.0f, 0.0f};
    step.ndry = {1, 1};
    step.imat = {-3};
    step.wsel = {99.0f, 100.0f};
    steps.push_back(step);
  }
  const Qmx2Input in = Input(CharHeaderFile(Char("WEIGHT", 42)), steps, true);
  Put("in.bin", in);
  Script s = ToAverage();
  Questions(s, Window("1", "2").Weight(c.answer));
  HeaderLines(s);
  s.Show(kWriting);
  Inconsistent(s, 0, 0, 2, 1);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);

  std::vector<std::string> summary = Heading(c.iweight, 1.0f, 2.0f);
  if (c.iweight == 1) {
    summary.push_back(
        "         1    1   2.50   1.00   3.00   0.50   0.50   0.50  -1.00  -1.00  -1.00"
        "       0.00       0.00    2.00");
    summary.push_back(
        "         2    1   0.00   1.00   1.00   0.00  -1.00  -1.00   0.00   0.00   0.00"
        "       0.00       0.00    0.00");
  } else {
    summary.push_back(
        "         1    1   2.00   1.00   3.00   0.50   0.50   0.50  -1.00  -1.00  -1.00"
        "       0.00       0.00    2.00");
    summary.push_back(
        "         2    1   1.00   1.00   1.00  -1.00  -1.00  -1.00   0.00   0.00   0.00"
        "       0.00       0.00    0.00");
  }
  Append(&summary, Complete(1.0f, 2.0f, 1.0f, 2, 1.0f, 0, c.iweight));
  ExpectSummary(summary);
  const std::vector<float> wavg = {-1.0f, 0.0f};
  const std::vector<float> triples = c.iweight == 1
                                         ? std::vector<float>{2.5f, 0.5f, 2.0f, 0.0f, 0.0f, 0.0f}
                                         : std::vector<float>{2.0f, 0.5f, 2.0f, 1.0f, -1.0f, 0.0f};
  // No element code was ever positive: 0.
  ExpectFile("avg.bin", in.header + AveragedStep(triples, {1, 1}, {0}, &wavg));
}

INSTANTIATE_TEST_SUITE_P(AverageTest, WeightTest,
                         ::testing::Values(WeightCase{"Y", 1}, WeightCase{"yes", 1},
                                           WeightCase{"", 0}, WeightCase{" y", 0},
                                           WeightCase{"N", 0}, WeightCase{"x", 0}));

// Nodes whose average depth is about zero are tested on the last record read
// (here outside the window). Node 2 is dry there: zero count 6, skipped. Node
// 3 is wet there: averaged. Node 4 has depth, elevation and dry code about
// zero but not its velocities: count 4, skipped. Node 5 the same with its
// elevation at the datum: count 3, averaged.
TEST_F(AverageTest, ZeroValueNodesAreSkippedByTheLastRecordRead) {
  std::vector<Qmx2StepData> steps;
  for (int hour = 1; hour <= 5; ++hour) {
    Qmx2StepData step;
    step.time = static_cast<float>(hour);
    step.np2 = 5;
    const bool in_window = hour <= 3;
    const bool last = hour == 5;
    step.vel = {1.0f, 1.0f, 5.0f};
    if (in_window) {
      step.vel.insert(step.vel.end(), {0.004f, 0.003f, 0.002f});
    } else {
      step.vel.insert(step.vel.end(), {0.0f, 0.0f, 0.0f});
    }
    if (!last) {
      step.vel.insert(step.vel.end(), {0.002f, 0.002f, 0.0f});
    } else {
      step.vel.insert(step.vel.end(), {1.0f, 1.0f, 1.0f});
    }
    step.vel.insert(step.vel.end(), {1.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f});
    step.ndry = {1, 0, last ? 1 : 0, 0, 0};
    step.imat = {2};
    step.wsel = {100.5f, 0.0f, last ? 100.0f : 0.0f, 0.0f, 100.0f};
    steps.push_back(step);
  }
  const Qmx2Input in = Input(CharHeaderFile(Char("DRY", 42)), steps, true);
  Put("in.bin", in);
  Script s = ToAverage();
  Questions(s, Window("1", "3"));
  HeaderLines(s);
  s.Show(" *** Warning  6 ZERO Values detected for Node=     2 SKIP IT!");
  s.Show(" *** Warning  4 ZERO Values detected for Node=     4 SKIP IT!");
  s.Show(kWriting);
  Inconsistent(s, 0, 0, 5, 1);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);

  std::vector<std::string> summary = Heading(0, 1.0f, 3.0f);
  Append(&summary, {"         1    1   1.00   1.00   1.00   1.00   1.00   1.00   0.50   0.50   0.50"
                    "       0.00       0.00    5.00",
                    "         2    0   0.00   0.00   0.00   0.00   0.00   0.00   0.00-100.00-100.00"
                    "       0.00       0.00    0.00",
                    "         3    0   0.00   0.00   0.00   0.00   0.00   0.00-100.00-100.00-100.00"
                    "       0.00       0.00    0.00",
                    "         4    0   0.00   1.00   1.00   0.00   1.00   1.00   0.00-100.00-100.00"
                    "       0.00       0.00    0.00",
                    "         5    0   1.00   1.00   1.00   1.00   1.00   1.00   0.00   0.00   0.00"
                    "       0.00       0.00    0.00"});
  Append(&summary, Complete(1.0f, 3.0f, 2.0f, 3, 1.0f, 2, 0));
  ExpectSummary(summary);
  // Skipped nodes keep their small average depth; their velocities and
  // elevation are 0.
  const float small = Mean({0.002f, 0.002f, 0.002f});
  const std::vector<float> wavg = {0.5f, 0.0f, -100.0f, 0.0f, 0.0f};
  ExpectFile("avg.bin", in.header + AveragedStep({1.0f, 1.0f, 5.0f, 0.0f, 0.0f, small, small, small,
                                                  0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 0.0f},
                                                 {1, 0, 0, 0, 0}, {2}, &wavg));
}

// ---------------------------------------------------------------------------
// Elevations: from the file from version 42, else bottom elevation plus depth.

enum class Form { kCoded41, kCoded42, kChar41 };

void PrintTo(Form f, std::ostream* os) {
  *os << (f == Form::kCoded41   ? "integer-coded 41"
          : f == Form::kCoded42 ? "integer-coded 42"
                                : "character form 41");
}

class ElevationTest : public AverageTest, public ::testing::WithParamInterface<Form> {};

TEST_P(ElevationTest, VersionCodeDecidesWhereElevationsComeFrom) {
  const Form form = GetParam();
  VeltoGeometry g;
  g.np = 2;
  g.ne = 1;
  g.nodes = {{1000.5f, 2000.25f, 0.0f, 95.0f}, {-12.75f, 0.5f, 0.0f, 90.0f}};
  PutGeometry(g);
  // Long records in every case, as a model of version 40 and up writes them.
  std::vector<Qmx2StepData> steps;
  for (int hour = 1; hour <= 2; ++hour) {
    Qmx2StepData step;
    step.time = static_cast<float>(hour);
    step.vel = {0.5f, 0.25f, hour == 1 ? 3.5f : 4.5f, -0.5f, 1.0f, 2.0f};
    step.ndry = {1, 1};
    step.imat = {4};
    step.wsel = {hour == 1 ? 97.0f : 98.0f, 91.0f};
    steps.push_back(step);
  }
  CodedHeader coded = Coded(form == Form::kCoded42 ? 42 : 41);
  const bool is_coded = form != Form::kChar41;
  const FileBuilder header = is_coded ? CodedHeaderFile(coded) : CharHeaderFile(Char("ELEV", 41));
  Put("in.bin", Input(header, steps, true));

  Script s = ToAverageWithGeometry(2, 1);
  Questions(s, Window("1", "2"));
  if (is_coded) {
    HeaderLines(s, 2, 7);
  } else {
    HeaderLines(s);
  }
  s.Show(kWriting);  // node and element counts agree with the geometry: no warning
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);

  // Version 42: the file's 97/98 and 91. Otherwise bottom plus depth:
  // 95 + 3.5 = 98.5, 95 + 4.5 = 99.5, and 90 + 2 = 92.
  const bool from_file = form == Form::kCoded42;
  std::vector<std::string> summary = Heading(0, 1.0f, 2.0f);
  if (from_file) {
    summary.push_back(
        "         1    1   0.50   0.50   0.50   0.25   0.25   0.25  -2.50  -3.00  -2.00"
        "    1000.50    2000.25    4.00");
    summary.push_back(
        "         2    1  -0.50  -0.50  -0.50   1.00   1.00   1.00  -9.00  -9.00  -9.00"
        "     -12.75       0.50    2.00");
  } else {
    summary.push_back(
        "         1    1   0.50   0.50   0.50   0.25   0.25   0.25  -1.00  -1.50  -0.50"
        "    1000.50    2000.25    4.00");
    summary.push_back(
        "         2    1  -0.50  -0.50  -0.50   1.00   1.00   1.00  -8.00  -8.00  -8.00"
        "     -12.75       0.50    2.00");
  }
  Append(&summary, Complete(1.0f, 2.0f, 1.0f, 2, 1.0f, 0, 0));
  ExpectSummary(summary);

  const std::vector<float> triples = {0.5f, 0.25f, 4.0f, -0.5f, 1.0f, 2.0f};
  const std::vector<float> wavg =
      from_file ? std::vector<float>{-2.5f, -9.0f} : std::vector<float>{-1.0f, -8.0f};
  std::string want;
  if (is_coded) {
    coded.np = 2;
    coded.ne = 1;
    // Version 41 stays 41 and its averaged step is short.
    want = CodedHeaderFile(coded).bytes() +
           AveragedStep(triples, {1, 1}, {4}, form == Form::kCoded42 ? &wavg : nullptr);
  } else {
    // A character-form header is written with version 42: a long step.
    CharHeader written = Char("ELEV", 41);
    written.irec[0] = 42;
    want = CharHeaderFile(written).bytes() + AveragedStep(triples, {1, 1}, {4}, &wavg);
  }
  ExpectFile("avg.bin", want);
}

INSTANTIATE_TEST_SUITE_P(AverageTest, ElevationTest,
                         ::testing::Values(Form::kCoded41, Form::kCoded42, Form::kChar41));

TEST_F(AverageTest, GeometryOfOtherCountsWarnsAndGivesCoordinates) {
  VeltoGeometry g;
  g.np = 3;
  g.ne = 2;
  g.nodes = {{100.0f, 200.0f, 0.0f, -10.0f}};
  PutGeometry(g);
  const Qmx2Input in = HourlyInput(3);
  Put("in.bin", in);
  Script s = ToAverageWithGeometry(3, 2);
  Questions(s, Window("1", "3"));
  HeaderLines(s);
  s.Show(kWriting);
  Inconsistent(s, 3, 2, 1, 0);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);
  std::vector<std::string> summary = Heading(0, 1.0f, 3.0f);
  summary.push_back(RowLine(
      {1, 1, 2.0f, 1.0f, 3.0f, 0.5f, 0.5f, 0.5f, -1.0f, -1.0f, -1.0f, 100.0f, 200.0f, 2.0f}));
  Append(&summary, Complete(1.0f, 3.0f, 2.0f, 3, 1.0f, 0, 0));
  ExpectSummary(summary);
}

// ---------------------------------------------------------------------------
// Full prints.

// The per-record debug line: the time, the elevations of nodes 1, 10 and 2000
// and their depths (nodes the file does not have read as 0).
std::string DebugLine(float time) {
  return " * Debug WSELV  Time=" + F(time, 6, 2) + " Nodes 1-10-2000=" + F(99.0f, 12, 6) +
         F(0.0f, 12, 6) + F(0.0f, 12, 6) + "   Now DEPTH=" + F(2.0f, 12, 6) + F(0.0f, 12, 6) +
         F(0.0f, 12, 6);
}

TEST_F(AverageTest, FullPrintsShowEveryRecordAndTheSkippedOnes) {
  const Qmx2Input in = HourlyInput(4);
  Put("in.bin", in);
  Script s = ToAverage();
  Questions(s, Window("2", "3").Full("1"));
  HeaderLines(s);
  s.Show(kBannersRead);
  for (int hour = 1; hour <= 4; ++hour) s.Show(DebugLine(float(hour)));
  s.Show(kWriting);
  Inconsistent(s, 0, 0, 1, 0);
  ToTheEnd(s);
  ExpectRun(s, Run(s), 0);
  std::vector<std::string> summary = {" Skipping QMX2 Time=      1.0000000",
                                      " Skipping QMX2 Time=      4.0000000"};
  Append(&summary, Heading(0, 2.0f, 3.0f));
  summary.push_back(
      RowLine({1, 1, 2.5f, 2.0f, 3.0f, 0.5f, 0.5f, 0.5f, -1.0f, -1.0f, -1.0f, 0.0f, 0.0f, 2.0f}));
  Append(&summary, Complete(2.0f, 3.0f, 1.0f, 2, 1.0f, 0, 0));
  ExpectSummary(summary);
}

// A negative switch gives the banner message only.
TEST_F(AverageTest, NegativeFullPrintsGiveTheBannerMessageOnly) {
  const Qmx2Input in = HourlyInput(4);
  Put("in.bin", in);
  Script s = ToAverage();
  Questions(s, Window("2", "3").Full("-1"));
  HeaderLines(s);
  s.Show(kBannersRead);
  ExpectHourlyAverage(s, in, 2, 3, 2.0f, 3.0f);
}

// The input ends at the full-prints question: the switch is 4 and the
// weighting stays off; the average is written, and the driver's next
// question meets the end of input.
TEST_F(AverageTest, EndOfInputAtFullPrintsTurnsThemOn) {
  const Qmx2Input in = HourlyInput(4);
  Put("in.bin", in);
  Script s = ToAverage();
  s.Show(kAverageBanner).Show(kStartPrompt).Ask(kStartDefault, "2");
  s.Show(kStopPrompt).Ask(kStopDefault, "3");
  s.Show(kDatumPrompt).Ask(kDatumDefault, "");
  s.Show(kFullPrompt).Show(kWeightPrompt).Show(kWeightNote);
  HeaderLines(s);
  s.Show(kBannersRead);
  for (int hour = 1; hour <= 4; ++hour) s.Show(DebugLine(float(hour)));
  s.Show(kWriting);
  Inconsistent(s, 0, 0, 1, 0);
  s.Show(kAverage10);
  ExpectRun(s, Run(s), 2, kStdinEof);
  std::vector<std::string> summary = {" Skipping QMX2 Time=      1.0000000",
                                      " Skipping QMX2 Time=      4.0000000"};
  Append(&summary, Heading(0, 2.0f, 3.0f));
  summary.push_back(
      RowLine({1, 1, 2.5f, 2.0f, 3.0f, 0.5f, 0.5f, 0.5f, -1.0f, -1.0f, -1.0f, 0.0f, 0.0f, 2.0f}));
  Append(&summary, Complete(2.0f, 3.0f, 1.0f, 2, 1.0f, 0, 0));
  ExpectSummary(summary);
  const std::vector<float> wavg = {-1.0f};
  ExpectFile("avg.bin", in.header + AveragedStep({2.5f, 0.5f, 2.0f}, {1}, {}, &wavg));
}

// ===========================================================================
// What the QMX2 runs differ in, for the cases the families share
// (family_transcript_test.cc).

class Qmx2Runs : public Family {
 public:
  std::string name() const override { return "Qmx2"; }

  Pieces MergeInput(std::string_view tag, int first, int last) const override {
    return Input(CharHeaderFile(Char(tag, 42)), MergeSteps(first, last, tag.back()), true);
  }
  Transcript ToMergedName() const override {
    Script s;
    s.Start().Ask(kMerge2, "Y").Show(kPurpose).Show(" ");
    return Of(s);
  }
  std::string_view MergedPrompt() const override { return kMergedPrompt; }
  std::string_view FlagPrompt() const override { return kFlagPrompt; }
  std::vector<std::string> Menu() const override { return kMenu; }
  std::string NamePrompt(int slot) const override { return std::string(kNamePrompts[slot - 1]); }
  bool HoursFirst() const override { return true; }
  Transcript Read(int, bool first, std::string_view) const override {
    Script s;
    MergeTest::ReadLines(s, kFourBlanks, first ? kWriteChar : "", 0);
    return Of(s);
  }
  Transcript Closing(int total, std::string_view merged) const override {
    Script s;
    MergeTest::Closing(s, Pad(merged, 50), total);
    return Of(s);
  }
  Transcript AfterMerge() const override {
    Script s;
    MergeTest::ToTheEnd(s);
    return Of(s);
  }
  Transcript AfterEndOfInput() const override { return Transcript().Show(kMerge4); }
  std::vector<std::string> MergeTitle() const override { return MergeTest::Title(); }
  std::vector<std::string> Listed(std::string_view name, int slot, std::string_view tag, float from,
                                  float to) const override {
    return MergeTest::Listing(name, 10 + slot, Char(tag, 42).banner, 42, from, to);
  }

  std::string HourlyFile(int n) const override { return HourlyInput(n).bytes(); }
  Transcript ToFirstPass(std::string_view start) const override {
    Script s = AverageTest::ToAverage();
    AverageTest::Questions(s, Window(start));
    AverageTest::HeaderLines(s);
    return Of(s);
  }
  Averaged HourlyAverage(int n) const override {
    const int first = FirstOfTheWindow(n);
    Script s;
    AverageTest::AutoLines(s, float(n), n, float(first), float(n));
    Averaged a;
    a.file =
        AverageTest::HourlyAverage(s, HourlyInput(n), first, n, float(first), float(n), &a.summary);
    a.rest = Of(s);
    return a;
  }
  std::string Caution() const override {
    return " CAUTION - NO END OF FILE HIT AFTER          500 TIME STEPS";
  }
  std::vector<std::string> NoData(float recn, float start, float stop) const override {
    return AverageTest::NoData(recn, start, stop);
  }
  std::string StoppedOutput() const override { return ""; }

 private:
  static Transcript Of(const Script& s) { return Transcript(s.input(), s.screen()); }
};

}  // namespace

const Family& Qmx2Family() {
  static const Qmx2Runs runs;
  return runs;
}

}  // namespace korvant
