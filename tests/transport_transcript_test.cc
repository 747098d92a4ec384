// Whole-run transcripts of the QMX4 merge and averaging: answers in, every
// console line, the summary file's bytes and the written file's bytes out.
// Expected lines are written out field by field from the line layouts.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "family_transcripts.h"
#include "fields.h"
#include "harness.h"
#include "model_files.h"

namespace korvant {
namespace {

constexpr std::string_view kMerge2 = " Do you need to merge together QMX-2 files? ";
constexpr std::string_view kMerge4 = " Do you need to merge together QMX-4 files? ";
constexpr std::string_view kMerge10 = " Do you need to merge together QMX-10 files? ";
constexpr std::string_view kVeltoQuestion = " Do you want to read VELTO binary file";
constexpr std::string_view kAverage2 = " Do you want to average (INTEGRATE) the QMX-2 data?";
constexpr std::string_view kAverage10 = " Do you want to average (INTEGRATE) the QMX-10 data?";
constexpr std::string_view kAverage4 = " Do you want to average (INTEGRATE) the QMX-4 data?";
constexpr std::string_view kOutput4 = " Enter QMX4 averaged file name to be created";
constexpr std::string_view kInput4 = " Enter name of QMX4 file to read from";
constexpr std::string_view kInUse = " Sorry ... that file is in use ... try again";
constexpr std::string_view kFinished = " ****** Program Finished ******";
constexpr std::string_view kStdinEof = "korvant: end-of-file during read, unit 5, file stdin\n";

constexpr std::string_view kMergedName = " Enter name of QMX4 MERGED file to be created";
constexpr std::string_view kFlag = " ENTER FLAG IDENTIFIER OR (?) FOR MENU";
constexpr std::string_view kName1 = " Enter name of 1st QMX4 binary file";
constexpr std::string_view kName2 = " Enter name of 2ND QMX4 binary file";
constexpr std::string_view kHours = " Enter starting and ending decimal hour";
constexpr std::string_view kWrite70 = " --> Write INTEGER/CHAR Banners to unit=70";
constexpr std::string_view kClosing = " ========== Closing active files from R4MERGE =========";

// Fifteen distinct banner lines of 80 characters; their text is the banner.
std::vector<std::string> BannerLines(std::string_view tag) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 15; ++i) lines.push_back(Pad(std::string(tag) + std::to_string(i), 80));
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

// Answers and console lines side by side.
class Script {
 public:
  Script& Show(std::string_view line) {
    screen_.emplace_back(line);
    return *this;
  }
  Script& Type(std::string_view answer) {
    input_.append(answer).push_back('\n');
    return *this;
  }
  Script& Ask(std::string_view prompt, std::string_view answer) {
    return Show(prompt).Type(answer);
  }

  Script& Start() {
    for (const std::string& line : kGreeting) Show(line);
    return Ask(" Enter Printed Output Summary File Name ", "sum.txt");
  }

  // Into the QMX4 merge, the merged file named m.bin.
  Script& StartMerge() { return ToMergedName().Ask(kMergedName, "m.bin"); }
  Script& ToMergedName() {
    Start().Ask(kMerge2, "N").Ask(kMerge4, "Y");
    return Show("  PURPOSE -->  MERGE together - MULTIPLE QMX4 files").Show(" ");
  }
  Script& AfterMerge() {
    return Ask(kMerge10, "N")
        .Ask(kVeltoQuestion, "N")
        .Ask(kAverage2, "N")
        .Ask(kAverage10, "N")
        .Ask(kAverage4, "N")
        .Show(kFinished);
  }

  // Into the QMX4 averaging of q.bin into avg.bin, up to its questions.
  Script& StartAverage(std::string_view input = "q.bin") {
    Start().Ask(kMerge2, "N").Ask(kMerge4, "N").Ask(kMerge10, "N").Ask(kVeltoQuestion, "N");
    Ask(kAverage2, "N").Ask(kAverage10, "N").Ask(kAverage4, "Y").Ask(kOutput4, "avg.bin");
    return Ask(kInput4, input);
  }
  // The four questions; a `full` of nullopt leaves the last one unanswered
  // (the console input ends there). `cut_to_six` expects the line for an
  // answer above 6.
  Script& Questions(std::string_view start, std::string_view stop, std::string_view constituents,
                    std::optional<std::string_view> full, bool cut_to_six = false) {
    Show("  ").Show(" ************** CONCENTRATION AVERAGE ***************");
    Show(" Enter the QMX4 decimal time to start in HOURS");
    Ask("                Default=last time minus 25 time steps", start);
    Show(" Enter the QMX4 decimal time to stop in HOURS")
        .Ask("                Default=last time", stop);
    Show(" Enter the total number of constituents to consider")
        .Ask("                Default= 1", constituents);
    if (cut_to_six) Show(" No-No Maximum allowed total is =6,  Now its 6.");
    Show(" DO you want to turn FULL prints on? (Enter 1 if yes)");
    return full ? Type(*full) : *this;
  }

  // The header report; the numbers as their printed fields (I8, I8, 2I8, 3I5).
  Script& Report(bool merge, std::string_view mflg, std::string_view ivers, std::string_view counts,
                 std::string_view records) {
    if (merge) Show("");
    Show(" Just processed QMX-4 Banners AOK. ");
    Show(std::string(" --> Model Flag (variable MFLG)=     ").append(mflg));
    Show(std::string(" --> Your QMX4 has a version # of:   ").append(ivers));
    Show(std::string(" --> Your QMX4 total nodes/elements: ").append(counts));
    return Show(std::string(" --> Integer, Real, Title Records:   ").append(records)).Show("");
  }

  // The merge's closing lines for m.bin and `closed6` (I6) steps.
  Script& Closed(std::string_view closed6, std::string_view merged = "m.bin") {
    Show(kClosing).Show("  ==== MERGED QMX4 file named -->" + Pad(merged, 50));
    return Show(std::string("  ==== Closed with").append(closed6).append(" time steps")).Show("");
  }

  // The geometry warning with no geometry read; `counts` as 2I8.
  Script& Inconsistent(std::string_view counts) {
    Show("").Show(" WARNING inconsistant node/elem... QMX4 vs VELTO");
    Show(" VELTO had node/elem =       0       0");
    return Show(std::string(" QMX4  had node/elem =").append(counts)).Show("");
  }

  Script& DimensionReport(std::string_view nodes12, std::string_view elements12) {
    Show(" *** Array dimension over-run problem *** ");
    Show(" --> Maximum allowed # of nodes =       60000");
    Show(std::string(" --> Your file has ").append(nodes12).append(" nodes"));
    Show(" --> Maximum allowed # of elements =       20000");
    return Show(std::string(" --> Your file has ").append(elements12).append(" elements"))
        .Show("DIM");
  }

  const std::string& input() const { return input_; }
  std::string screen() const { return JoinLines(screen_); }

 private:
  std::string input_;
  std::vector<std::string> screen_;
};

// Summary-file lines, joined with CR LF.
class Summary {
 public:
  Summary& Line(std::string_view text) {
    lines_.emplace_back(text);
    return *this;
  }
  Summary& MergeTitle() { return Line("1").Line("  MERGE TOGETHER - MULTIPLE QMX4 FILES"); }
  // The banner listing and extraction line of one merge input.
  Summary& Listing(std::string_view name, std::string_view unit,
                   const std::vector<std::string>& banner, std::string_view extract) {
    Line(" FILE=" + Pad(name, 50) + " UNIT =" + std::string(unit) + " BANNERS");
    const char* heads[] = {"  1)", "  2)", "  3)"};
    for (int block = 0; block < 3; ++block) {
      Line(heads[block] + banner[5 * block]);
      for (int i = 1; i < 5; ++i) Line("     " + banner[5 * block + i]);
      Line("");
    }
    Line("").Line("");
    return Line(std::string("         IREC(1)=").append(extract)).Line("");
  }
  Summary& Complete(std::string_view hours, std::string_view nodes8, std::string_view elements8,
                    std::string_view constituents3) {
    Line("").Line(" COMPLETE-").Line(" UNIT 80 CONTAINS 1 TIME STEP OF AVERAGED CONCENTRATIONS");
    Line(std::string(" From Hrs").append(hours));
    Line(" Time on QMX4 binary solution is flagged as hr  =   0.000");
    Line(std::string(" Total nodes written on QMX4 binary solution    =").append(nodes8));
    Line(std::string(" Total elements written on QMX4 binary solution =").append(elements8));
    Line(std::string(" Total # of constituents written on QMX4 bin sol=").append(constituents3));
    return Line("");
  }
  // The table heading for a window of `length` ending at `last` (both F12.6).
  Summary& TableHead(std::string_view length, std::string_view last) {
    Line("1").Line(std::string(20, ' ') + "AVERAGE OF EACH NODE OVER A" + std::string(length) +
                   " HR CYCLE, WITH LAST HR=" + std::string(last));
    Line("").Line(std::string(20, ' ') + " ONLY FIRST 3 CONSTITUENTS CAN BE PRINTED");
    Line("  NODE    CON1-AVE-MIN-MAX    CON2-AVE-MIN-MAX    CON3-AVE-MIN-MAX  ");
    return Line("");
  }
  std::string bytes() const {
    std::string text;
    for (const std::string& line : lines_) text += line + "\r\n";
    return text;
  }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

// The console lines of Summary::Complete, for the console copy of the report.
Script& ShowAll(Script& s, const Summary& lines) {
  for (const std::string& line : lines.lines()) s.Show(line);
  return s;
}

// F15.6 of a whole hour from 0 to 99 in a "Skip" line.
std::string SkipLine(int hour, std::string_view nqal3, std::string_view nodes8,
                     std::string_view elements7) {
  std::string time = std::to_string(hour) + ".000000";
  return " Skip QMX4 Time=" + std::string(15 - time.size(), ' ') + time +
         "  NQAL=" + std::string(nqal3) + " Nodes=" + std::string(nodes8) +
         "Elem=" + std::string(elements7);
}

class TransportTest : public ::testing::Test {
 protected:
  RunResult Run(const Script& script) {
    RunResult result = box_.Run(script.input());
    EXPECT_FALSE(result.timed_out) << "the run did not end";
    return result;
  }
  void Expect(const Script& script, const RunResult& r, int status, std::string_view err = "") {
    const std::string want = script.screen();
    EXPECT_EQ(want, r.out) << FirstDifference(want, r.out);
    EXPECT_EQ(status, r.status);
    EXPECT_EQ(err, r.err);
  }
  void ExpectSummary(const Summary& summary) {
    const std::string got = box_.Read("sum.txt");
    EXPECT_EQ(summary.bytes(), got) << FirstDifference(summary.bytes(), got);
  }
  void ExpectFile(std::string_view name, const FileBuilder& want) {
    EXPECT_EQ(want.bytes(), box_.Read(name)) << name << " differs from the built bytes";
  }
  // Removes what a run leaves behind, for a second run in the same directory.
  void Reset() {
    for (const char* name : {"sum.txt", "m.bin", "avg.bin"})
      std::filesystem::remove(box_.Path(name));
  }

  Sandbox box_;
};

// ---------------------------------------------------------------------------
// The merge. Two inputs: a.bin (character form, steps at hours 0 to 2) and
// b.bin (integer-coded, steps at hours 4 to 7, two constituents).

class TransportMergeTest : public TransportTest {
 protected:
  void SetUp() override {
    a_header_.banner = Joined(a_banner_);
    a_header_.irec = {42};
    for (int h = 0; h <= 2; ++h) {
      const float f = static_cast<float>(h);
      a_steps_.push_back({f, 1, 3, 2, {f + 0.5f, f + 1.5f, f + 2.5f}, {10 + h, 20 + h}});
    }
    b_header_.mflg = 3;
    b_header_.ivers = 9;
    b_header_.np = 2;
    b_header_.ne = 1;
    b_header_.iban = Codes(Joined(b_banner_));
    b_header_.irec = {425};
    for (int h = 4; h <= 7; ++h) {
      const float f = static_cast<float>(h);
      b_steps_.push_back({f, 2, 2, 1, {f, f + 1, 2 * f, 2 * f + 1}, {h}});
    }
    box_.Write("a.bin", Qmx4File(a_header_, a_steps_).bytes());
    box_.Write("b.bin", Qmx4File(b_header_, b_steps_).bytes());
  }

  const std::vector<std::string> a_banner_ = BannerLines("CHARACTER BANNER LINE ");
  const std::vector<std::string> b_banner_ = BannerLines("CODED BANNER LINE ");
  CharHeader a_header_;
  CodedHeader b_header_;
  std::vector<Qmx4StepData> a_steps_, b_steps_;
};

TEST_F(TransportMergeTest, FirstFileThenExitCopiesItsHeaderAndWindow) {
  Script s;
  s.StartMerge().Ask(kFlag, "1st").Ask(kName1, "a.bin").Ask(kHours, "1 2");
  // A character-form header is copied without a line; the report shows what
  // the merge holds: nothing read yet.
  s.Report(true, "       0", "       0", "       0       0", "    0    0    0");
  s.Ask(kFlag, "EXIT").Closed("     2").Inconsistent("       3       2").AfterMerge();
  Expect(s, Run(s), 0);

  Summary sum;
  sum.MergeTitle().Listing("a.bin", "71", a_banner_,
                           " 42     EXTRACT HRS    1.000000 TO    2.000000");
  ExpectSummary(sum);
  FileBuilder merged = CharHeaderFile(a_header_);
  merged.Add(Qmx4StepRecord(a_steps_[1])).Add(Qmx4StepRecord(a_steps_[2]));
  ExpectFile("m.bin", merged);
}

// Ten entries end the dialogue with the merge summary. A flag entered again
// reads its file again from the start, with its new window.
TEST_F(TransportMergeTest, TenEntriesWriteTheMergeSummary) {
  Script s;
  s.StartMerge();
  Summary sum;
  sum.MergeTitle();
  FileBuilder merged = CodedHeaderFile(b_header_);
  for (int entry = 1; entry <= 10; ++entry) {
    if (entry == 1 || entry == 10) {
      s.Ask(kFlag, "2ND").Ask(kName2, "b.bin").Ask(kHours, "5 6");
      if (entry == 1) s.Show(kWrite70);
      s.Report(true, "       3", "       9", "       2       1", "    1    0   11");
      sum.Listing("b.bin", "72", b_banner_, "425     EXTRACT HRS    5.000000 TO    6.000000");
      merged.Add(Qmx4StepRecord(b_steps_[1])).Add(Qmx4StepRecord(b_steps_[2]));
    } else {
      s.Ask(kFlag, entry == 2 ? "1STFILE" : "1ST").Ask(kName1, "a.bin").Ask(kHours, "0,1");
      // The coded header's values stay; the counts are those of the step read last.
      s.Report(true, "       3", "       9", entry == 2 ? "       2       1" : "       3       2",
               "    1    0   11");
      sum.Listing("a.bin", "71", a_banner_, " 42     EXTRACT HRS    0.000000 TO    1.000000");
      merged.Add(Qmx4StepRecord(a_steps_[0])).Add(Qmx4StepRecord(a_steps_[1]));
    }
  }
  s.Closed("    20").Inconsistent("       2       1").AfterMerge();
  // a.bin's steps have 3 nodes and 2 elements, b.bin's 2 and 1; hours 5 6, then
  // 0 1 eight times, then 5 6: each 0 comes after a greater hour.
  Expect(s, Run(s), 0,
         "korvant: caution: a.bin has 3 nodes and 2 elements, the first input of this merge "
         "(b.bin) 2 nodes and 1 element\n"
         "korvant: caution: the merged file m.bin has 8 time steps whose time is not greater "
         "than the one written before it, the first at hour 0\n");

  sum.Line("");
  sum.Line(" THE MERGED FILE IS NAMED=" + Pad("m.bin", 50) +
           " AND THESE DATA FILES AND TIMES WERE USED TO CREATE IT");
  sum.Line("   " + Pad("a.bin", 50) + "         0.000000    1.000000" + Pad("b.bin", 50) +
           "         5.000000    6.000000");
  sum.Line("").Line("   20 TIME STEPS MERGED TO UNIT 70 ... FIRST=    5.000000");
  sum.Line(std::string(39, ' ') + "LAST=    6.000000").Line("");
  ExpectSummary(sum);
  ExpectFile("m.bin", merged);
}

TEST_F(TransportMergeTest, MergeEmBeforeAnyFileLeavesAnEmptyFile) {
  Script s;
  s.StartMerge().Ask(kFlag, "MERGE EM").Closed("     0").AfterMerge();
  Expect(s, Run(s), 0);
  ExpectSummary(Summary().MergeTitle());
  EXPECT_EQ("", box_.Read("m.bin"));
}

TEST_F(TransportMergeTest, EndOfInputAtTheFlagIsFatalAndKeepsTheCopiedSteps) {
  Script s;
  s.StartMerge().Ask(kFlag, "2ND").Ask(kName2, "b.bin").Ask(kHours, "0 100").Show(kWrite70);
  s.Report(true, "       3", "       9", "       2       1", "    1    0   11").Show(kFlag);
  Expect(s, Run(s), 2, kStdinEof);
  ExpectFile("m.bin", Qmx4File(b_header_, b_steps_));
}

TEST_F(TransportMergeTest, EmptyInputTakesTheFileReadExit) {
  box_.Write("empty.bin", "");
  Script s;
  s.StartMerge().Ask(kFlag, "1ST").Ask(kName1, "empty.bin").Ask(kHours, "0 1");
  s.Closed("     0").AfterMerge();
  Expect(s, Run(s), 0);
  ExpectSummary(Summary().MergeTitle().Line(" END OF FILE WHILE READING UNIT =71 SUB R4MERGE"));
  EXPECT_EQ("", box_.Read("m.bin"));
}

TEST_F(TransportMergeTest, DamagedStepIsFatal) {
  FileBuilder damaged = Qmx4File(a_header_, a_steps_);
  damaged.TruncateBy(3);
  box_.Write("a.bin", damaged.bytes());
  Script s;
  s.StartMerge().Ask(kFlag, "1ST").Ask(kName1, "a.bin").Ask(kHours, "0 9");
  s.Report(true, "       0", "       0", "       0       0", "    0    0    0");
  Expect(s, Run(s), 2, "korvant: error during read, unit 71, file a.bin\n");
  FileBuilder merged = CharHeaderFile(a_header_);
  merged.Add(Qmx4StepRecord(a_steps_[0])).Add(Qmx4StepRecord(a_steps_[1]));
  ExpectFile("m.bin", merged);
}

// A step of seven constituents is refused before its values are stored; the
// report finds the element count behind the concentrations.
TEST_F(TransportMergeTest, StepWithSevenConstituentsStopsWithDim) {
  b_header_.ne = 5;
  b_steps_[2].nqal = 7;
  b_steps_[2].conc = FillReals({}, 14, 1.0f, 1.0f);
  box_.Write("b.bin", Qmx4File(b_header_, b_steps_).bytes());
  Script s;
  s.StartMerge().Ask(kFlag, "2ND").Ask(kName2, "b.bin").Ask(kHours, "0 9").Show(kWrite70);
  s.Report(true, "       3", "       9", "       2       5", "    1    0   11");
  s.DimensionReport("           2", "           1");
  Expect(s, Run(s), 1);
  FileBuilder merged = CodedHeaderFile(b_header_);
  merged.Add(Qmx4StepRecord(b_steps_[0])).Add(Qmx4StepRecord(b_steps_[1]));
  ExpectFile("m.bin", merged);
}

TEST_F(TransportMergeTest, OversizedHeadersStopWithDimBeforeAnyCopy) {
  struct Case {
    int32_t np, ne;
    std::optional<int32_t> nban;
    const char* nodes12;
    const char* elements12;
  };
  for (const Case& c : {Case{60001, 1, std::nullopt, "       60001", "           1"},
                        Case{2, 20001, std::nullopt, "           2", "       20001"},
                        Case{2, 1, 1201, "           2", "           1"}}) {
    SCOPED_TRACE(c.nodes12);
    Reset();
    CodedHeader header = b_header_;
    header.np = c.np;
    header.ne = c.ne;
    header.nban = c.nban;
    box_.Write("b.bin", Qmx4File(header, b_steps_).bytes());
    Script s;
    s.StartMerge().Ask(kFlag, "2ND").Ask(kName2, "b.bin").Ask(kHours, "0 9");
    s.DimensionReport(c.nodes12, c.elements12);
    Expect(s, Run(s), 1);
    EXPECT_EQ("", box_.Read("m.bin"));
  }
}

// ---------------------------------------------------------------------------
// The averaging of q.bin into avg.bin.

class TransportAverageTest : public TransportTest {
 protected:
  // The integer-coded header of the averaging tests: 2 nodes, 1 element.
  static CodedHeader Coded() {
    CodedHeader h;
    h.np = 2;
    h.ne = 1;
    return h;
  }
  static constexpr std::string_view kCodedItest =
      " --> QMX4 binary 1st integer ITEST =           1";
  static constexpr std::string_view kWrite80 = " --> Write INTEGER/CHAR Banners to unit=80";
  static constexpr std::string_view kWriteStep = " Write QMX4 Binary integrated data on unit=80";
  static constexpr std::string_view kInside = " INSIDE R4INT, rewind nsal=70 to read qmx-4 binary";

  static Script& CodedOpening(Script& s) {
    s.Show(kInside).Show(kCodedItest).Show(kWrite80);
    return s.Report(false, "       1", "       1", "       2       1", "    1    0   11");
  }

  friend class Qmx4Runs;
};

// A character-form input: its header starts the averaged file too.
TEST_F(TransportAverageTest, TypedWindowOnCharacterFormFile) {
  CharHeader header;
  header.banner = "    CHARACTER BANNER";
  std::vector<Qmx4StepData> steps;
  for (int h = 0; h <= 48; ++h) {
    const float f = static_cast<float>(h);
    steps.push_back({f, 2, 2, 1, {f, 2 * f, 50 - f, 7}, {100 + h}});
  }
  box_.Write("q.bin", Qmx4File(header, steps).bytes());
  Script s;
  s.StartAverage().Questions("10", "20.0", "2", "1");
  s.Show(kInside).Show(" --> QMX4 binary 1st integer ITEST =   538976288");
  s.Report(false, "       0", "       0", "       0       0", "    0    0    0");
  s.Show(kWriteStep);
  Summary complete;
  complete.Complete("     10.0000000 to      20.0000000", "       2", "       1", "  2");
  ShowAll(s, complete).Inconsistent("       2       1").Show(kFinished);
  Expect(s, Run(s), 0);

  Summary sum;
  for (int h = 0; h <= 48; ++h) {
    if (h < 10 || h > 20) sum.Line(SkipLine(h, "  2", "       2", "      1"));
  }
  sum.TableHead("   10.000000", "   20.000000");
  sum.Line("      1  15.000 10.000 20.000 35.000 30.000 40.000");
  sum.Line("      2  30.000 20.000 40.000  7.000  7.000  7.000");
  for (const std::string& line : complete.lines()) sum.Line(line);
  ExpectSummary(sum);
  FileBuilder averaged = CharHeaderFile(header);
  averaged.Add(Qmx4StepRecord({0.0f, 2, 2, 1, {15, 30, 35, 7}, {148}}));
  ExpectFile("avg.bin", averaged);
}

// Constituents a step does not carry are never averaged: the count is cut to
// what every averaged step holds, and the console says so each time.
TEST_F(TransportAverageTest, MoreConstituentsThanOnFileAreCut) {
  const std::vector<Qmx4StepData> steps = {
      {0, 3, 1, 1, {1, 10, 100}, {5}}, {1, 2, 1, 1, {2, 20}, {6}}, {2, 3, 1, 1, {3, 30, 300}, {7}}};
  CodedHeader header = Coded();
  header.np = 1;
  box_.Write("q.bin", Qmx4File(header, steps).bytes());
  Script s;
  s.StartAverage().Questions("0", "2", "5", "0");
  s.Show(kInside).Show(kCodedItest).Show(kWrite80);
  s.Report(false, "       1", "       1", "       1       1", "    1    0   11");
  s.Show(" --> Fewer constituents on QMX4 binary than asked; NCON now =           3");
  s.Show(" --> Fewer constituents on QMX4 binary than asked; NCON now =           2");
  s.Show(kWriteStep);
  Summary complete;
  complete.Complete("      0.0000000 to       2.0000000", "       1", "       1", "  2");
  ShowAll(s, complete).Inconsistent("       1       1").Show(kFinished);
  Expect(s, Run(s), 0);

  Summary sum;
  sum.TableHead("    2.000000", "    2.000000")
      .Line("      1   2.000  1.000  3.000 20.000 10.000 30.000");
  for (const std::string& line : complete.lines()) sum.Line(line);
  ExpectSummary(sum);
  FileBuilder averaged = CodedHeaderFile(header);
  averaged.Add(Qmx4StepRecord({0.0f, 2, 1, 1, {2, 20}, {7}}));
  ExpectFile("avg.bin", averaged);
}

// Seven constituents are cut to six, of which the table shows three; 2.9 is 2.
TEST_F(TransportAverageTest, ConstituentAnswerIsCutToSixAndTowardsZero) {
  const std::vector<Qmx4StepData> steps = {{0, 6, 1, 1, {10, 20, 30, 40, 50, 60}, {1}},
                                           {1, 6, 1, 1, {11, 21, 31, 41, 51, 61}, {2}}};
  CodedHeader header = Coded();
  header.np = 1;
  box_.Write("q.bin", Qmx4File(header, steps).bytes());
  struct Case {
    const char* answer;
    int32_t ncon;
    const char* count3;
    const char* row;
  };
  for (const Case& c :
       {Case{"7", 6, "  6",
             "      1  10.500 10.000 11.000 20.500 20.000 21.000 30.500 30.000 31.000"},
        Case{"2.9", 2, "  2", "      1  10.500 10.000 11.000 20.500 20.000 21.000"}}) {
    SCOPED_TRACE(c.answer);
    Reset();
    Script s;
    s.StartAverage().Questions("0", "1", c.answer, "0", c.ncon == 6);
    s.Show(kInside).Show(kCodedItest).Show(kWrite80);
    s.Report(false, "       1", "       1", "       1       1", "    1    0   11");
    s.Show(kWriteStep);
    Summary complete;
    complete.Complete("      0.0000000 to       1.0000000", "       1", "       1", c.count3);
    ShowAll(s, complete).Inconsistent("       1       1").Show(kFinished);
    Expect(s, Run(s), 0);
    Summary sum;
    sum.TableHead("    1.000000", "    1.000000").Line(c.row);
    for (const std::string& line : complete.lines()) sum.Line(line);
    ExpectSummary(sum);
    const std::vector<float> averages = {10.5f, 20.5f, 30.5f, 40.5f, 50.5f, 60.5f};
    FileBuilder averaged = CodedHeaderFile(header);
    averaged.Add(Qmx4StepRecord({0.0f,
                                 c.ncon,
                                 1,
                                 1,
                                 std::vector<float>(averages.begin(), averages.begin() + c.ncon),
                                 {2}}));
    ExpectFile("avg.bin", averaged);
  }
}

// Fewer than 26 steps: the window starts at the first one. The averaged
// file's own name is refused as input, and the last answer may be missing.
TEST_F(TransportAverageTest, ShortFileWindowStartsAtItsFirstStep) {
  std::vector<Qmx4StepData> steps;
  for (int h = 2; h <= 6; ++h)
    steps.push_back({static_cast<float>(h), 1, 2, 1, {static_cast<float>(h), 10}, {h}});
  box_.Write("q.bin", Qmx4File(Coded(), steps).bytes());
  Script s;
  s.Start().Ask(kMerge2, "N").Ask(kMerge4, "N").Ask(kMerge10, "N").Ask(kVeltoQuestion, "N");
  s.Ask(kAverage2, "N").Ask(kAverage10, "N").Ask(kAverage4, "Y").Ask(kOutput4, "avg.bin");
  s.Ask(kInput4, "avg.bin").Show(kInUse).Ask(kInput4, "q.bin");
  s.Questions("", "", "", std::nullopt);
  CodedOpening(s);
  s.Show(" LAST TIME ON BINARY FILE=    6.000000").Show(" TOTAL DATA RECORD COUNT=       5");
  s.Show(" NUMBER OF CONSTITUENTS WRITTEN TO BINARY=   1").Show("");
  s.Show(" PROGRAM self computes time to start and stop as=  2.00000000  6.00000000");
  s.Show(kWriteStep);
  Summary complete;
  complete.Complete("      2.0000000 to       6.0000000", "       2", "       1", "  1");
  ShowAll(s, complete).Inconsistent("       2       1").Show(kFinished);
  Expect(s, Run(s), 0);

  Summary sum;
  sum.TableHead("    4.000000", "    6.000000");
  sum.Line("      1   4.000  2.000  6.000").Line("      2  10.000 10.000 10.000");
  for (const std::string& line : complete.lines()) sum.Line(line);
  ExpectSummary(sum);
  FileBuilder averaged = CodedHeaderFile(Coded());
  averaged.Add(Qmx4StepRecord({0.0f, 1, 2, 1, {4, 10}, {6}}));
  ExpectFile("avg.bin", averaged);
}

// A cut last record ends the pass like the end of the file.
TEST_F(TransportAverageTest, DamagedLastRecordEndsThePass) {
  std::vector<Qmx4StepData> steps;
  for (int h = 0; h <= 4; ++h)
    steps.push_back({static_cast<float>(h), 1, 2, 1, {static_cast<float>(h), 1}, {h + 1}});
  FileBuilder input = Qmx4File(Coded(), steps);
  input.TruncateBy(2);
  box_.Write("q.bin", input.bytes());
  Script s;
  s.StartAverage().Questions("0", "9", "", "0");
  CodedOpening(s).Show(kWriteStep);
  Summary complete;
  complete.Complete("      0.0000000 to       9.0000000", "       2", "       1", "  1");
  ShowAll(s, complete).Inconsistent("       2       1").Show(kFinished);
  Expect(s, Run(s), 0);

  Summary sum;
  sum.TableHead("    9.000000", "    9.000000");
  sum.Line("      1   1.500  0.000  3.000").Line("      2   1.000  1.000  1.000");
  for (const std::string& line : complete.lines()) sum.Line(line);
  ExpectSummary(sum);
  FileBuilder averaged = CodedHeaderFile(Coded());
  averaged.Add(Qmx4StepRecord({0.0f, 1, 2, 1, {1.5f, 1}, {4}}));
  ExpectFile("avg.bin", averaged);
}

// The table and the file run to the node count of the last step read; a node
// no averaged step reached shows the start minimum and maximum as stars.
TEST_F(TransportAverageTest, NodeNoAveragedStepReachedShowsStars) {
  const std::vector<Qmx4StepData> steps = {
      {0, 1, 2, 1, {1, 2}, {4}}, {1, 1, 2, 1, {3, 4}, {4}}, {2, 1, 3, 2, {9, 9, 9}, {5, 6}}};
  box_.Write("q.bin", Qmx4File(Coded(), steps).bytes());
  Script s;
  s.StartAverage().Questions("0", "1", "1", "0");
  CodedOpening(s).Show(kWriteStep);
  Summary complete;
  complete.Complete("      0.0000000 to       1.0000000", "       3", "       2", "  1");
  ShowAll(s, complete).Inconsistent("       3       2").Show(kFinished);
  Expect(s, Run(s), 0);

  Summary sum;
  sum.Line(SkipLine(2, "  1", "       3", "      2")).TableHead("    1.000000", "    1.000000");
  sum.Line("      1   2.000  1.000  3.000").Line("      2   3.000  2.000  4.000");
  sum.Line("      3   0.000**************");
  for (const std::string& line : complete.lines()) sum.Line(line);
  ExpectSummary(sum);
  FileBuilder averaged = CodedHeaderFile(Coded());
  averaged.Add(Qmx4StepRecord({0.0f, 1, 3, 2, {2, 3, 0}, {5, 6}}));
  ExpectFile("avg.bin", averaged);
}

// Fewer than two steps in the window: the warning on both channels, the
// stop, and the averaged file holding the header alone.
TEST_F(TransportAverageTest, NoDataWarningStops) {
  std::vector<Qmx4StepData> steps;
  for (int h = 0; h <= 9; ++h) steps.push_back({static_cast<float>(h), 1, 2, 1, {}, {}});
  struct Case {
    const char* start;
    const char* stop;
    int skipped_hour;  // the one step not skipped, or -1
    const char* recn_line;
    const char* window_line;
  };
  for (const Case& c :
       {Case{"5", "5", 5, " WARNING --- RECN=  1.0",
             " CANNOT FIND QMX-4 UNIT NSAL TIME BETWEEN =  5.00000000  5.00000000"},
        Case{"10", "", -1, " WARNING --- RECN=  0.0",
             " CANNOT FIND QMX-4 UNIT NSAL TIME BETWEEN = 10.00000000************"}}) {
    SCOPED_TRACE(c.start);
    Reset();
    box_.Write("q.bin", Qmx4File(Coded(), steps).bytes());
    Script s;
    s.StartAverage().Questions(c.start, c.stop, "", "0");
    CodedOpening(s).Show(c.recn_line).Show(c.window_line).Show("");
    Expect(s, Run(s), 1);
    Summary sum;
    for (int h = 0; h <= 9; ++h) {
      if (h != c.skipped_hour) sum.Line(SkipLine(h, "  1", "       2", "      1"));
    }
    sum.Line(c.recn_line).Line(c.window_line).Line("");
    ExpectSummary(sum);
    ExpectFile("avg.bin", CodedHeaderFile(Coded()));
  }
}

TEST_F(TransportAverageTest, MissingOrCutFirstRecordIsUnexpectedEndOfFile) {
  FileBuilder cut = CharHeaderFile(CharHeader{});
  cut.TruncateBy(cut.size() - 600);  // inside the banner record
  for (const std::string& bytes : {std::string(), std::string("\x05\x00", 2), cut.bytes()}) {
    SCOPED_TRACE(bytes.size());
    Reset();
    box_.Write("q.bin", bytes);
    Script s;
    s.StartAverage().Questions("", "", "", "0").Show(kInside);
    s.Show(" UNEXPECTED E-O-F HIT during Banner read of QMX4 binary");
    s.Show("            LAST successful record number read=           0");
    Expect(s, Run(s), 1);
    EXPECT_EQ("", box_.Read("avg.bin"));
  }
}

// Too many nodes or elements stop the run whether the step is averaged or
// passed outside the window.
TEST_F(TransportAverageTest, OversizedStepStopsWithDim) {
  struct Case {
    Qmx4StepData step;
    const char* nodes12;
    const char* elements12;
  };
  for (const Case& c : {Case{{1, 1, 60001, 3, {}, {}}, "       60001", "           3"},
                        Case{{1, 1, 2, 60001, {5, 6}, {}}, "           2", "       60001"}}) {
    for (const char* stop : {"9", "0"}) {
      SCOPED_TRACE(std::string(c.nodes12) + " window to " + stop);
      Reset();
      const std::vector<Qmx4StepData> steps = {{0, 1, 2, 1, {}, {}}, c.step};
      box_.Write("q.bin", Qmx4File(Coded(), steps).bytes());
      Script s;
      s.StartAverage().Questions("0", stop, "", "0");
      CodedOpening(s).DimensionReport(c.nodes12, c.elements12);
      Expect(s, Run(s), 1);
      ExpectFile("avg.bin", CodedHeaderFile(Coded()));
    }
  }
}

// A step outside the window is passed by its counts, yet the averaged file
// gets the element codes a full reading of every step leaves behind: here a
// last step, outside the window, that holds only the first of its two codes,
// over the codes of the step before it, passed or averaged.
TEST_F(TransportAverageTest, DamagedLastStepLeavesItsCodesOverThoseBefore) {
  for (bool passed_before : {true, false}) {
    SCOPED_TRACE(passed_before);
    Reset();
    std::vector<Qmx4StepData> steps = {{0, 1, 2, 2, {1, 2}, {11, 12}},
                                       {1, 1, 2, 2, {3, 4}, {13, 14}}};
    if (passed_before) steps.push_back({5, 1, 2, 2, {7, 8}, {21, 22}});
    FileBuilder input = Qmx4File(Coded(), steps);
    input.Add(RecordBuilder().Real(6).Int(1).Int(2).Reals({9, 10}).Int(2).Int(31));
    box_.Write("q.bin", input.bytes());
    Script s;
    s.StartAverage().Questions("0", "1", "", "0");
    CodedOpening(s).Show(kWriteStep);
    Summary complete;
    complete.Complete("      0.0000000 to       1.0000000", "       2", "       2", "  1");
    ShowAll(s, complete).Inconsistent("       2       2").Show(kFinished);
    Expect(s, Run(s), 0);

    Summary sum;
    if (passed_before) sum.Line(SkipLine(5, "  1", "       2", "      2"));
    sum.TableHead("    1.000000", "    1.000000");
    sum.Line("      1   2.000  1.000  3.000").Line("      2   3.000  2.000  4.000");
    for (const std::string& line : complete.lines()) sum.Line(line);
    ExpectSummary(sum);
    FileBuilder averaged = CodedHeaderFile(Coded());
    averaged.Add(Qmx4StepRecord({0.0f, 1, 2, 2, {2, 3}, {31, passed_before ? 22 : 14}}));
    ExpectFile("avg.bin", averaged);
  }
}

// ===========================================================================
// What the QMX4 runs differ in, for the cases the families share
// (family_transcript_test.cc).

class Qmx4Runs : public Family {
 public:
  std::string name() const override { return "Qmx4"; }

  // A character-form header; three nodes and two elements a step.
  Pieces MergeInput(std::string_view tag, int first, int last) const override {
    Pieces p;
    p.header = CharHeaderFile(Header(tag)).bytes();
    for (int h = first; h <= last; ++h) {
      const float f = static_cast<float>(h);
      p.steps.push_back(
          Framed(Qmx4StepRecord({f, 1, 3, 2, {f + 0.5f, f + 1.5f, f + 2.5f}, {10 + h, 20 + h}})));
    }
    return p;
  }
  Transcript ToMergedName() const override { return Of(Script().ToMergedName()); }
  std::string_view MergedPrompt() const override { return kMergedName; }
  std::string_view FlagPrompt() const override { return kFlag; }
  std::vector<std::string> Menu() const override {
    return {" VALID FLAG OPTIONS FOR QMX4 MERGE ARE:",
            "   To read first file enter     -->  1ST QMX4",
            "   To read second file enter    -->  2ND QMX4",
            "   To read third file enter     -->  3RD QMX4",
            "   To read fourth file enter    -->  4TH QMX4",
            "   To read fifth file enter     -->  5TH QMX4",
            "   To put above pieces together -->  MERGE EM",
            "   To leave this routine enter  -->  EXIT    ",
            ""};
  }
  std::string NamePrompt(int slot) const override {
    return std::string(slot == 1 ? kName1 : kName2);
  }
  bool HoursFirst() const override { return true; }
  // A character-form header is copied without a line; the report shows the
  // header values held (none yet) and the counts of the step read last.
  Transcript Read(int, bool first, std::string_view) const override {
    return Of(Script().Report(true, I(0, 8), I(0, 8), first ? I(0, 8) + I(0, 8) : I(3, 8) + I(2, 8),
                              I(0, 5) + I(0, 5) + I(0, 5)));
  }
  // Without a geometry file its counts are 0, those of the step read last 3 and 2.
  Transcript Closing(int total, std::string_view merged) const override {
    return Of(Script().Closed(I(total, 6), merged).Inconsistent(I(3, 8) + I(2, 8)));
  }
  Transcript AfterMerge() const override { return Of(Script().AfterMerge()); }
  Transcript AfterEndOfInput() const override { return Transcript().Show(kMerge10); }
  std::vector<std::string> MergeTitle() const override { return Summary().MergeTitle().lines(); }
  std::vector<std::string> Listed(std::string_view name, int slot, std::string_view tag, float from,
                                  float to) const override {
    const std::string extract =
        I(42, 3) + Blanks(5) + "EXTRACT HRS" + F(from, 12, 6) + " TO" + F(to, 12, 6);
    return Summary().Listing(name, I(70 + slot, 2), Banner(tag), extract).lines();
  }

  // One constituent at two nodes, the hour at node 1 and 100 less the hour at
  // node 2, and the element code the hour plus 1.
  std::string HourlyFile(int n) const override {
    std::vector<Qmx4StepData> steps;
    for (int h = 1; h <= n; ++h) {
      const float f = static_cast<float>(h);
      steps.push_back({f, 1, 2, 1, {f, 100.0f - f}, {h + 1}});
    }
    return Qmx4File(TransportAverageTest::Coded(), steps).bytes();
  }
  Transcript ToFirstPass(std::string_view start) const override {
    Script s;
    s.StartAverage("in.bin").Questions(start, "", "", "0");
    return Of(TransportAverageTest::CodedOpening(s));
  }
  Averaged HourlyAverage(int n) const override {
    const int first = FirstOfTheWindow(n);
    const float start = static_cast<float>(first), stop = static_cast<float>(n);
    Script s;
    s.Show(" LAST TIME ON BINARY FILE=" + F(stop, 12, 6))
        .Show(" TOTAL DATA RECORD COUNT=" + I(n, 8));
    s.Show(" NUMBER OF CONSTITUENTS WRITTEN TO BINARY=" + I(1, 4)).Show("");
    s.Show(" PROGRAM self computes time to start and stop as=" + F(start, 12, 8) + F(stop, 12, 8));
    s.Show(TransportAverageTest::kWriteStep);
    Summary complete;
    complete.Complete(F(start, 15, 7) + " to " + F(stop, 15, 7), I(2, 8), I(1, 8), I(1, 3));
    ShowAll(s, complete).Inconsistent(I(2, 8) + I(1, 8)).Show(kFinished);

    // The steps before the window, then node 1 running with the hour and
    // node 2 against it, (1X,I6,1X,3F7.3).
    Summary sum;
    for (int h = 1; h < first; ++h) sum.Line(SkipLine(h, I(1, 3), I(2, 8), I(1, 7)));
    sum.TableHead(F(stop - start, 12, 6), F(stop, 12, 6));
    const float mean = (start + stop) / 2.0f;
    sum.Line(" " + I(1, 6) + " " + F(mean, 7, 3) + F(start, 7, 3) + F(stop, 7, 3));
    sum.Line(" " + I(2, 6) + " " + F(100.0f - mean, 7, 3) + F(100.0f - stop, 7, 3) +
             F(100.0f - start, 7, 3));
    for (const std::string& line : complete.lines()) sum.Line(line);
    // Time 0, the means, and the element code of the last step read.
    FileBuilder averaged = CodedHeaderFile(TransportAverageTest::Coded());
    averaged.Add(Qmx4StepRecord({0.0f, 1, 2, 1, {mean, 100.0f - mean}, {n + 1}}));
    return Averaged{Of(s), sum.lines(), averaged.bytes()};
  }
  std::string Caution() const override {
    return " CAUTION - NO END OF FILE HIT AFTER          500 TIME STEPS";
  }
  std::vector<std::string> NoData(float recn, float start, float stop) const override {
    return {" WARNING --- RECN=" + F(recn, 5, 1),
            " CANNOT FIND QMX-4 UNIT NSAL TIME BETWEEN =" + F(start, 12, 8) + F(stop, 12, 8), ""};
  }
  // The integer-coded header is copied before the first pass.
  std::string StoppedOutput() const override {
    return CodedHeaderFile(TransportAverageTest::Coded()).bytes();
  }

 private:
  static Transcript Of(const Script& s) { return Transcript(s.input(), s.screen()); }
  static std::vector<std::string> Banner(std::string_view tag) {
    return BannerLines(std::string(tag) + " BANNER LINE ");
  }
  static CharHeader Header(std::string_view tag) {
    CharHeader h;
    h.banner = Joined(Banner(tag));
    h.irec = {42};
    return h;
  }
};

}  // namespace

const Family& Qmx4Family() {
  static const Qmx4Runs runs;
  return runs;
}

}  // namespace korvant
