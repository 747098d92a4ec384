// Whole-run transcripts of the QMX10 merge and averaging: answers in, every
// console line, the summary file's bytes and the written file's bytes out.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
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
constexpr std::string_view kVelto = " Do you want to read VELTO binary file";
constexpr std::string_view kAverage2 = " Do you want to average (INTEGRATE) the QMX-2 data?";
constexpr std::string_view kAverage10 = " Do you want to average (INTEGRATE) the QMX-10 data?";
constexpr std::string_view kAverage4 = " Do you want to average (INTEGRATE) the QMX-4 data?";
constexpr std::string_view kFinished = " ****** Program Finished ******";
constexpr std::string_view kStdinEof = "korvant: end-of-file during read, unit 5, file stdin\n";
constexpr std::string_view kSummary = "sum.txt";

constexpr std::string_view kMergedName = " Enter name of QMX10 MERGED file to be created";
constexpr std::string_view kFlag = " Enter flag identifier or (?) for menu";
constexpr std::string_view kName1 = " Enter name of 1st QMX10 primary binary file";
constexpr std::string_view kName2 = " Enter name of 2ND QMX10 primary binary file";
constexpr std::string_view kName3 = " Enter name of 3rd QMX10 primary binary file";
constexpr std::string_view kHours = " Enter starting and ending decimal hour";

constexpr std::string_view kStartQ = " Enter the QMX10 decimal time to START in HOURS";
constexpr std::string_view kStartD = "                Default=last time minus 25 time steps";
constexpr std::string_view kStopQ = " Enter the QMX10 decimal time to STOP in HOURS";
constexpr std::string_view kStopD = "                Default=last time";
constexpr std::string_view kDebugQ = " Value for DEBUG prints? (Enter 1 if ALL nodes printed)";
constexpr std::string_view kRewound = " INSIDE R10INT, REWIND NQMX10=95 TO READ QMX-10 BINARY";
constexpr std::string_view kReopen = " Required to CLOSE/RE-OPEN file to avoid CRAY EOF flag";
constexpr std::string_view kPatient = " Be Patient - Skipping QMX10 time Steps";
constexpr std::string_view kFinal = " Writing FINAL data to unit=90";

// The answers a run is given and the console lines it must write.
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
  Script& Lines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) Show(line);
    return *this;
  }
  Script& Start() {
    return Lines(kGreeting).Ask(" Enter Printed Output Summary File Name ", kSummary);
  }
  // Up to the merged-file prompt of the QMX10 merge, answered with `merged`.
  Script& ToMerge(std::string_view merged = "merged.bin") {
    return ToMergedName().Ask(kMergedName, merged);
  }
  Script& ToMergedName() {
    return Start()
        .Ask(kMerge2, "N")
        .Ask(kMerge4, "N")
        .Ask(kMerge10, "Y")
        .Show(" I HOPE you know this will be lots of I/O")
        .Show("  PURPOSE -->  MERGE together - MULTIPLE QMX10 files")
        .Show(" ");
  }
  // One flag turn: flag, name prompt and name, hours.
  Script& Turn(std::string_view flag, std::string_view prompt, std::string_view name,
               std::string_view hours) {
    return Ask(kFlag, flag).Ask(prompt, name).Ask(kHours, hours);
  }
  Script& Closing(int steps, std::string_view merged = "merged.bin") {
    std::string count = std::to_string(steps);
    return Show(" ========== Closing active files from R10MERGE =========")
        .Show("  ==== MERGED QMX10 file named --> " + Pad(merged, 50))
        .Show("  ==== Closed with" + std::string(8 - count.size(), ' ') + count + " time steps")
        .Show("  ======================================================");
  }
  Script& AfterMerge() {
    return Ask(kVelto, "N")
        .Ask(kAverage2, "N")
        .Ask(kAverage10, "N")
        .Ask(kAverage4, "N")
        .Show(kFinished);
  }
  // Up to the QMX10 averaging's first line, with output `out` and input `in`.
  Script& ToAverage(std::string_view in = "in.bin", std::string_view out = "avg.bin") {
    return Start()
        .Ask(kMerge2, "N")
        .Ask(kMerge4, "N")
        .Ask(kMerge10, "N")
        .Ask(kVelto, "N")
        .Ask(kAverage2, "N")
        .Ask(kAverage10, "Y")
        .Ask(" Enter QMX10 integrated file name to be created", out)
        .Ask(" Enter name of QMX10 file to read from", in)
        .Show(" *********** VELOCITY/CONCENTRATION AVERAGE ************");
  }
  Script& Times(std::string_view start, std::string_view stop) {
    return Show(kStartQ).Ask(kStartD, start).Show(kStopQ).Ask(kStopD, stop);
  }

  const std::string& input() const { return input_; }
  std::string screen() const { return JoinLines(screen_); }

 private:
  std::string input_;
  std::vector<std::string> screen_;
};

std::string SummaryOf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string JustWrote(int steps, std::string_view merged = "merged.bin") {
  std::string count = std::to_string(steps);
  return " JUST wrote " + std::string(12 - count.size(), ' ') + count +
         " 3D time steps on file= " + Pad(merged, 50);
}

const std::vector<std::string> kMergeTitle = {"1", "  MERGE TOGETHER - MULTIPLE QMX10 FILES"};

// A one-degree-of-freedom step of two nodes at `time`, carrying `time` and
// `time` + 0.5.
Qmx10StepData Small(float time) {
  Qmx10StepData step;
  step.time = time;
  step.vdof = {{time, time + 0.5f}};
  return step;
}

FileBuilder SmallFile(std::initializer_list<float> times) {
  FileBuilder file;
  for (float t : times) file.Add(Qmx10StepRecord(Small(t)));
  return file;
}

class ThreedTest : public ::testing::Test {
 protected:
  RunResult Run(const Script& script) {
    RunResult result = box_.Run(script.input());
    EXPECT_FALSE(result.timed_out);
    EXPECT_FALSE(result.too_much_output);
    const std::string want = script.screen();
    EXPECT_EQ(want, result.out) << FirstDifference(want, result.out);
    return result;
  }
  void ExpectSummary(const std::vector<std::string>& lines) {
    const std::string want = SummaryOf(lines);
    const std::string got = box_.Read(kSummary);
    EXPECT_EQ(want, got) << FirstDifference(want, got);
  }
  static void ExpectStatus(const RunResult& r, int status, std::string_view err = "") {
    EXPECT_EQ(status, r.status);
    EXPECT_EQ(err, r.err);
  }

  Sandbox box_;
};

// ---------------------------------------------------------------------------
// Merge.

TEST_F(ThreedTest, MergeConcatenatesThreeFilesInTheirOrder) {
  Qmx10StepData wide = Small(3.0f);
  wide.ndf = 6;
  wide.np = 3;
  wide.ne = 2;
  wide.icnt = {3, 3, 3, 3, 3, 3, 2, 1};
  const FileBuilder a = SmallFile({1.0f, 2.0f});
  const FileBuilder b = FileBuilder().Add(Qmx10StepRecord(wide));
  const FileBuilder c = SmallFile({4.0f, 5.0f, 6.0f});
  box_.Write("a.bin", a.bytes());
  box_.Write("b.bin", b.bytes());
  box_.Write("c.bin", c.bytes());
  Script s;
  s.ToMerge()
      .Turn("1ST", kName1, "a.bin", "0 100")
      .Show(JustWrote(2))
      .Turn("2ND", kName2, "  b.bin", "0,100")
      .Show(JustWrote(1))
      .Turn("3rd", kName3, "c.bin", "0.0 100.0")
      .Show(JustWrote(3))
      .Ask(kFlag, "EXIT")
      .Closing(6)
      .AfterMerge();
  ExpectStatus(Run(s), 0,
               "korvant: caution: b.bin has 3 nodes and 2 elements, the first input of this "
               "merge (a.bin) 2 nodes and 1 element\n");
  const std::string extract = "         IREC(1)=  0     EXTRACT HRS    0.000000 TO  100.000000";
  ExpectSummary({kMergeTitle[0], kMergeTitle[1], extract, "", extract, "", extract, ""});
  EXPECT_EQ(a.bytes() + b.bytes() + c.bytes(), box_.Read("merged.bin"));
}

TEST_F(ThreedTest, MergeWindowIncludesBothEnds) {
  const FileBuilder a = SmallFile({5.0f, 10.0f, 15.0f, 20.0f, 25.0f});
  box_.Write("a.bin", a.bytes());
  Script s;
  s.ToMerge()
      .Turn("1st", kName1, "a.bin", "10.0 20.0")
      .Show(JustWrote(3))
      .Ask(kFlag, "EXIT")
      .Closing(3)
      .AfterMerge();
  ExpectStatus(Run(s), 0);
  ExpectSummary({kMergeTitle[0], kMergeTitle[1],
                 "         IREC(1)=  0     EXTRACT HRS   10.000000 TO   20.000000", ""});
  const std::string& bytes = a.bytes();
  EXPECT_EQ(bytes.substr(a.record_start(1), a.record_start(4) - a.record_start(1)),
            box_.Read("merged.bin"));
}

// Ten turns use up the flags and bring the merge summary. The same flag chosen
// again opens its file again from the start: each turn on a.bin finds its
// first step once more.
TEST_F(ThreedTest, TenTurnsEndWithTheMergeSummary) {
  const FileBuilder a = SmallFile({1.0f, 2.0f});
  const FileBuilder b = SmallFile({3.0f});
  box_.Write("a.bin", a.bytes());
  box_.Write("b.bin", b.bytes());
  Script s;
  s.ToMerge();
  std::vector<std::string> summary = kMergeTitle;
  std::string merged;
  for (int turn = 0; turn < 9; ++turn) {
    s.Turn("1ST", kName1, "a.bin", "1 1").Show(JustWrote(1));
    summary.push_back("         IREC(1)=  0     EXTRACT HRS    1.000000 TO    1.000000");
    summary.push_back("");
    merged += a.bytes().substr(0, a.record_start(1));
  }
  s.Turn("2ND", kName2, "b.bin", "0 100").Show(JustWrote(1)).Closing(10).AfterMerge();
  summary.push_back("         IREC(1)=  0     EXTRACT HRS    0.000000 TO  100.000000");
  summary.push_back("");
  summary.push_back("");
  summary.push_back(" THE MERGED FILE IS NAMED=" + Pad("merged.bin", 50) +
                    " AND THESE DATA FILES AND TIMES WERE USED TO CREATE IT");
  summary.push_back("   " + Pad("a.bin", 50) + "     " + "    1.000000" + "    1.000000" +
                    Pad("b.bin", 50) + "     " + "    0.000000" + "  100.000000");
  summary.push_back("");
  summary.push_back("   10 TIME STEPS MERGED TO UNIT 90 ... FIRST=    1.000000");
  summary.push_back(std::string(39, ' ') + "LAST=    3.000000");
  summary.push_back("");
  // Hour 1 is written nine times.
  ExpectStatus(Run(s), 0,
               "korvant: caution: the merged file merged.bin has 8 time steps whose time is not "
               "greater than the one written before it, the first at hour 1\n");
  ExpectSummary(summary);
  EXPECT_EQ(merged + b.bytes(), box_.Read("merged.bin"));
}

TEST_F(ThreedTest, ExitAtOnceLeavesAnOverwrittenFileAsItWas) {
  box_.Write("merged.bin", "former bytes");
  Script s;
  s.ToMerge()
      .Ask(" That file name already exists   OverWrite? ", "Y")
      .Ask(kFlag, "EXIT")
      .Closing(0)
      .AfterMerge();
  ExpectStatus(Run(s), 0);
  ExpectSummary(kMergeTitle);
  EXPECT_EQ("former bytes", box_.Read("merged.bin"));
}

TEST_F(ThreedTest, EndOfInputAtFlagIsFatalAndKeepsWhatWasWritten) {
  const FileBuilder a = SmallFile({1.0f, 2.0f});
  box_.Write("a.bin", a.bytes());
  Script s;
  s.ToMerge().Turn("1ST", kName1, "a.bin", "0 9").Show(JustWrote(2)).Show(kFlag);
  ExpectStatus(Run(s), 2, kStdinEof);
  EXPECT_EQ(a.bytes(), box_.Read("merged.bin"));
}

// A record shorter than its counts, and a record cut by the end of the file,
// each end the reading of their file silently; the next file is read as usual.
TEST_F(ThreedTest, DamagedInputStopsItsReadingSilently) {
  FileBuilder a = SmallFile({1.0f});
  a.Add(RecordBuilder().Real(2.0f).Int(2).Int(1).Int(1).Int(8).Ints({2, 0, 0, 0, 0, 0, 0, 0}));
  a.Add(Qmx10StepRecord(Small(3.0f)));
  FileBuilder b = SmallFile({4.0f, 5.0f});
  b.TruncateBy(3);
  box_.Write("a.bin", a.bytes());
  box_.Write("b.bin", b.bytes());
  Script s;
  s.ToMerge()
      .Turn("1ST", kName1, "a.bin", "0 9")
      .Show(JustWrote(1))
      .Turn("2ND", kName2, "b.bin", "0 9")
      .Show(JustWrote(1))
      .Ask(kFlag, "EXIT")
      .Closing(2)
      .AfterMerge();
  ExpectStatus(Run(s), 0);
  EXPECT_EQ(a.bytes().substr(0, a.record_start(1)) + b.bytes().substr(0, b.record_start(1)),
            box_.Read("merged.bin"));
}

TEST_F(ThreedTest, MergeRefusesAStepLargerThanTheMemory) {
  Qmx10StepData big = Small(2.0f);
  big.ndf = 7;
  FileBuilder a = SmallFile({1.0f});
  a.Add(Qmx10StepRecord(big));
  box_.Write("a.bin", a.bytes());
  Script s;
  s.ToMerge()
      .Turn("1ST", kName1, "a.bin", "0 9")
      .Show(" *** QMX10 file refused: NDF = 7 is more than this program's limit of 6");
  ExpectStatus(Run(s), 1);
  EXPECT_EQ(a.bytes().substr(0, a.record_start(1)), box_.Read("merged.bin"));
}

// ---------------------------------------------------------------------------
// Averaging.

std::vector<std::string> Extremes(const std::vector<std::string>& max6,
                                  const std::vector<std::string>& min6) {
  const char* names[] = {"X-VELOCITY  ", "Y-VELOCITY  ", "DEPTH       ",
                         "SALINITY    ", "TEMPERATURE ", "SEDIMENT    "};
  const char* units[] = {" fps", " fps", " ft", " ppt", " d.C", " ppt"};
  std::vector<std::string> lines = {"", "   CHECK THESE NODES FOR MAXIMUMS"};
  for (int k = 0; k < 6; ++k) {
    lines.push_back(std::string("         ") + names[k] + "  MAX AT NODE=" + max6[k] + units[k]);
  }
  lines.push_back("");
  lines.push_back("   CHECK THESE NODE FOR MINIMUMS");
  for (int k = 0; k < 6; ++k) {
    // The minimum half says MAX from the salinity on.
    lines.push_back(std::string("         ") + names[k] + (k < 3 ? "  MIN" : "  MAX") +
                    " AT NODE=" + min6[k] + units[k]);
  }
  lines.push_back("");
  return lines;
}

// Extremes of degrees of freedom no step carried: node 0 and the start values.
const std::string kNoMax = "         0 WAS=-10000000000.00";
const std::string kNoMin = "         0 WAS= 10000000000.00";

const std::vector<std::string> kTableHead = {
    "",
    "",
    "",
    "                     ALL 6 DEGREES OF FREEDOM ARE PRINTED",
    std::string("  NODE  ") + "  VELX-AVE-MIN-MAX   " + "  VELY-AVE-MIN-MAX   " +
        "  DEEP-AVE-MIN-MAX   " + "  SALT-AVE-MIN-MAX   " + "  TEMP-AVE-MIN-MAX   " +
        "   SED-AVE-MIN-MAX",
    ""};

std::vector<std::string> Table(const std::string& cycle) {
  std::vector<std::string> lines = kTableHead;
  lines.insert(lines.begin() + 2, cycle);
  return lines;
}

void Append(std::vector<std::string>* to, const std::vector<std::string>& lines) {
  to->insert(to->end(), lines.begin(), lines.end());
}

// Steps at hours 1 to `count`; node n carries x = t + n and y = -t/2 - n.
FileBuilder HundredStyle(int count) {
  FileBuilder file;
  for (int t = 1; t <= count; ++t) {
    const float h = static_cast<float>(t);
    Qmx10StepData step;
    step.time = h;
    step.np = 3;
    step.ndf = 2;
    step.icnt = {3, 3, 0, 0, 0, 0, 0, 0};
    step.vdof = {{h + 1, h + 2, h + 3}, {-h / 2 - 1, -h / 2 - 2, -h / 2 - 3}};
    step.rnode = {h, 2 * h, 3 * h};
    step.relem = {h / 4};
    file.Add(Qmx10StepRecord(step));
  }
  return file;
}

// x-velocity 1, 3 and 2 times the node number over three steps; every fourth
// node from node 1 is listed by default, also when the answer is empty.
TEST_F(ThreedTest, GivenWindowAveragesMinimaAndMaxima) {
  FileBuilder file;
  const float scale[] = {1.0f, 3.0f, 2.0f};
  for (int t = 0; t < 3; ++t) {
    Qmx10StepData step;
    step.time = 10.0f + static_cast<float>(t);
    step.np = 10;
    step.icnt = {10, 0, 0, 0, 0, 0, 0, 0};
    step.vdof = {{}};
    for (int n = 1; n <= 10; ++n) step.vdof[0].push_back(scale[t] * static_cast<float>(n));
    file.Add(Qmx10StepRecord(step));
  }
  box_.Write("in.bin", file.bytes());
  Script s;
  s.ToAverage()
      .Times("10", "12.0")
      .Ask(kDebugQ, "")
      .Lines({"                 IDEBUG now=           4", std::string(kRewound),
              " Quindle Debug NDG-NDF binary=           0           1"});
  const std::vector<std::string> extremes =
      Extremes({"        10 WAS=          30.00", kNoMax, kNoMax, kNoMax, kNoMax, kNoMax},
               {"         1 WAS=           1.00", kNoMin, kNoMin, kNoMin, kNoMin, kNoMin});
  s.Lines(extremes).Show(kFinal).Ask(kAverage4, "N").Show(kFinished);
  ExpectStatus(Run(s), 0);
  std::vector<std::string> summary = {"1", "          RESULTS FROM MERGE-AVERAGE PROGRAM", ""};
  Append(&summary, extremes);
  Append(&summary, Table("          AVERAGE OF EACH NODE OVER A    2.000000 HR CYCLE, WITH "
                         "LAST HR=   12.000000"));
  Append(&summary,
         {"      1   2.00   1.00   3.00", "      5  10.00   5.00  15.00",
          "      9  18.00   9.00  27.00", " COMPLETE-",
          " UNIT 90 CONTAINS 1 TIME STEP OF AVERAGED CONCENTRATIONS FROM HRS   10.000000"
          " TO    12.000000",
          " TOTAL NODES=      10", " TOTAL NUMBER OF DEGREES OF FREEDOM PROCESSED=  1", ""});
  ExpectSummary(summary);
}

// Hours 1 and 2 averaged out of HundredStyle steps, every node listed: the
// console and summary are the same whatever follows the window in the file.
class ThreedWindowTest : public ThreedTest {
 protected:
  void RunWindowOneToTwo() {
    Script s;
    s.ToAverage()
        .Times("1", "2")
        .Ask(kDebugQ, "1")
        .Lines({"                 IDEBUG now=           1", std::string(kRewound),
                " Quindle Debug NDG-NDF binary=           0           2"});
    const std::vector<std::string> extremes =
        Extremes({"         3 WAS=           5.00", "         1 WAS=          -1.50", kNoMax,
                  kNoMax, kNoMax, kNoMax},
                 {"         1 WAS=           2.00", "         3 WAS=          -4.00", kNoMin,
                  kNoMin, kNoMin, kNoMin});
    s.Lines(extremes).Show(kFinal).Ask(kAverage4, "N").Show(kFinished);
    ExpectStatus(Run(s), 0);
    std::vector<std::string> summary = {"1", "          RESULTS FROM MERGE-AVERAGE PROGRAM", ""};
    Append(&summary, extremes);
    Append(&summary, Table("          AVERAGE OF EACH NODE OVER A    1.000000 HR CYCLE, WITH "
                           "LAST HR=    2.000000"));
    Append(&summary,
           {"      1   2.50   2.00   3.00  -1.75  -2.00  -1.50",
            "      2   3.50   3.00   4.00  -2.75  -3.00  -2.50",
            "      3   4.50   4.00   5.00  -3.75  -4.00  -3.50", " COMPLETE-",
            " UNIT 90 CONTAINS 1 TIME STEP OF AVERAGED CONCENTRATIONS FROM HRS    "
            "1.000000 TO     2.000000",
            " TOTAL NODES=       3", " TOTAL NUMBER OF DEGREES OF FREEDOM PROCESSED=  2", ""});
    ExpectSummary(summary);
  }
  // The averaged record of hours 1 and 2 with the given node and element reals.
  static std::string Averaged(std::initializer_list<float> rnode, float relem) {
    RecordBuilder want;
    want.Real(9999.0f).Int(3).Int(2).Int(1).Int(8).Ints({3, 3, 0, 0, 0, 0, 0, 0});
    want.Reals({2.5f, 3.5f, 4.5f}).Reals({-1.75f, -2.75f, -3.75f});
    want.Reals(rnode).Real(relem);
    return FileBuilder().Add(want).bytes();
  }
};

// Steps after the window are passed by their counts; the averaged record
// still carries the node and element reals of the file's last step.
TEST_F(ThreedWindowTest, StepsAfterTheWindowLeaveTheLastStepsReals) {
  box_.Write("in.bin", HundredStyle(5).bytes());
  RunWindowOneToTwo();
  EXPECT_EQ(Averaged({5, 10, 15}, 1.25f), box_.Read("avg.bin"));
}

// A last step outside the window that holds only the first of its node
// reals, with or without a passed step before it: the record carries what
// reading every step in full leaves, its first node real over the others and
// the element real of the step before.
TEST_F(ThreedWindowTest, DamagedLastStepLeavesItsRealsOverThoseBefore) {
  for (int intact : {2, 3}) {
    SCOPED_TRACE(intact);
    FileBuilder file = HundredStyle(intact);
    file.Add(RecordBuilder()
                 .Real(4)
                 .Int(3)
                 .Int(2)
                 .Int(1)
                 .Int(8)
                 .Ints({3, 3, 0, 0, 0, 0, 0, 0})
                 .Reals({5, 6, 7})
                 .Reals({-3, -4, -5})
                 .Ints({1})
                 .Ints({1, 1, 1})
                 .Reals({40}));
    box_.Write("in.bin", file.bytes());
    std::remove(box_.Path(kSummary).c_str());
    std::remove(box_.Path("avg.bin").c_str());
    RunWindowOneToTwo();
    const float h = static_cast<float>(intact);
    EXPECT_EQ(Averaged({40, 2 * h, 3 * h}, h / 4), box_.Read("avg.bin"));
  }
}

// The node listing for a few IDEBUG values over a step of `np` nodes: the node
// numbers that appear at the start of the listed lines.
struct DebugCase {
  const char* name;
  const char* answer;
  int np;
  std::vector<int> nodes;
};

class DebugListingTest : public ThreedTest, public ::testing::WithParamInterface<DebugCase> {};

TEST_P(DebugListingTest, ListsEveryIdebugThNode) {
  const DebugCase& c = GetParam();
  Qmx10StepData step;
  step.time = 5.0f;
  step.np = c.np;
  step.icnt = {c.np, 0, 0, 0, 0, 0, 0, 0};
  step.vdof = {std::vector<float>(static_cast<size_t>(std::max(c.np, 0)), 0.5f)};
  box_.Write("in.bin", FileBuilder().Add(Qmx10StepRecord(step)).bytes());
  RunResult r =
      box_.Run(Script().ToAverage().Times("5", "5").Ask(kDebugQ, c.answer).Type("N").input());
  EXPECT_EQ(0, r.status) << r.err;
  const std::string text = box_.Read(kSummary);
  const std::string head = "   SED-AVE-MIN-MAX\r\n\r\n";
  const size_t from = text.find(head) + head.size();
  const size_t to = text.find(" COMPLETE-");
  ASSERT_NE(std::string::npos, to);
  std::string want;
  for (int n : c.nodes) {
    std::string number = std::to_string(n);
    // Average 0.50 and minimum and maximum equal to it; a node no step
    // reached keeps its start values, too wide for the field.
    want += " " + std::string(6 - number.size(), ' ') + number +
            (n <= c.np ? "   0.50   0.50   0.50" : "   0.00 ****** ******") + "\r\n";
  }
  EXPECT_EQ(want, text.substr(from, to - from));
}

INSTANTIATE_TEST_SUITE_P(
    ThreedTest, DebugListingTest,
    ::testing::Values(
        DebugCase{"Off", "0", 10, {}}, DebugCase{"All", "1", 10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        DebugCase{"Third", "3", 10, {1, 4, 7, 10}}, DebugCase{"Beyond", "11", 10, {1}},
        DebugCase{"Huge", "2147483647", 10, {1}}, DebugCase{"Negative", "-1", 10, {}},
        DebugCase{"MostNegative", "-2147483648", 10, {}},
        DebugCase{"NegativeOneNode", "-5", 1, {1}}, DebugCase{"NegativeNoNode", "-1", 0, {1}}),
    [](const ::testing::TestParamInfo<DebugCase>& tested) {
      return std::string(tested.param.name);
    });

// A file of one step: the window is that step, the step length 0.
TEST_F(ThreedTest, OneStepFileStartsAndStopsAtItsStep) {
  box_.Write("one.bin", HundredStyle(1).bytes());
  RunResult r = box_.Run(
      Script().ToAverage("one.bin", "avg1.bin").Times("", "").Ask(kDebugQ, "0").Type("N").input());
  EXPECT_EQ(0, r.status);
  EXPECT_NE(std::string::npos,
            r.out.find(" PROGRAM computes time to start and stop as=   1.0000000000   "
                       "1.0000000000\n DELTA TIME STEP BETWEEN LAST 2 TIME STEPS =0.0000000000\n"))
      << r.out;
}

TEST_F(ThreedTest, NoStepInTheWindowWarnsAndStops) {
  box_.Write("in.bin", HundredStyle(3).bytes());
  box_.Write("avg.bin", "older");
  // The overwrite question comes right after the output name.
  Script u;
  u.Start()
      .Ask(kMerge2, "N")
      .Ask(kMerge4, "N")
      .Ask(kMerge10, "N")
      .Ask(kVelto, "N")
      .Ask(kAverage2, "N")
      .Ask(kAverage10, "Y")
      .Ask(" Enter QMX10 integrated file name to be created", "avg.bin")
      .Ask(" That file name already exists   OverWrite? ", "y")
      .Ask(" Enter name of QMX10 file to read from", "in.bin")
      .Show(" *********** VELOCITY/CONCENTRATION AVERAGE ************")
      .Times("10", "")
      .Ask(kDebugQ, "0")
      .Lines({"                 IDEBUG now=           0", std::string(kRewound),
              " Quindle Debug NDG-NDF binary=           0           2", std::string(kPatient),
              std::string(kPatient)});
  const std::vector<std::string> warning = {
      " WARNING --- RECN=  0.0",
      " CANNOT FIND QMX-10 UNIT NQMX10 TIME BETWEEN =    10.00000000 -9999.00000000", ""};
  u.Lines(warning);
  ExpectStatus(Run(u), 1);
  std::vector<std::string> summary = {
      " Skipping along time steps in QMX10 -- TIME=      1.00000000",
      " Skipping along time steps in QMX10 -- TIME=      2.00000000"};
  Append(&summary, warning);
  ExpectSummary(summary);
  EXPECT_EQ("older", box_.Read("avg.bin"));
}

// A damaged record ends the first pass with its error line; the steps before
// it are the whole file for both passes.
TEST_F(ThreedTest, FirstPassErrorUsesTheStepsBeforeIt) {
  FileBuilder file = SmallFile({1.0f, 2.0f, 3.0f});
  file.TruncateBy(1);
  box_.Write("in.bin", file.bytes());
  Script s;
  s.ToAverage()
      .Times("", "")
      .Ask(kDebugQ, "0")
      .Lines({"                 IDEBUG now=           0", std::string(kRewound),
              " ERROR ON qmx10 read ******", " LAST TIME ON BINARY FILE=    2.000000",
              " TOTAL DATA RECORD COUNT=       2", " NUMBER OF NODES ON THIS FILE=         2", "",
              std::string(kReopen),
              " PROGRAM computes time to start and stop as=   1.0000000000   2.0000000000",
              " DELTA TIME STEP BETWEEN LAST 2 TIME STEPS =1.0000000000", "",
              " Quindle Debug NDG-NDF binary=           0           1"});
  s.Lines(Extremes({"         2 WAS=           2.50", kNoMax, kNoMax, kNoMax, kNoMax, kNoMax},
                   {"         1 WAS=           1.00", kNoMin, kNoMin, kNoMin, kNoMin, kNoMin}))
      .Show(kFinal)
      .Ask(kAverage4, "N")
      .Show(kFinished);
  ExpectStatus(Run(s), 0);
}

TEST_F(ThreedTest, EndOfInputAtDebugKeepsFourWithoutEcho) {
  box_.Write("in.bin", HundredStyle(2).bytes());
  Script s;
  s.ToAverage().Times("1", "2").Show(kDebugQ).Lines(
      {std::string(kRewound), " Quindle Debug NDG-NDF binary=           0           2"});
  s.Lines(Extremes({"         3 WAS=           5.00", "         1 WAS=          -1.50", kNoMax,
                    kNoMax, kNoMax, kNoMax},
                   {"         1 WAS=           2.00", "         3 WAS=          -4.00", kNoMin,
                    kNoMin, kNoMin, kNoMin}))
      .Show(kFinal)
      .Show(kAverage4);
  ExpectStatus(Run(s), 2, kStdinEof);
  EXPECT_NE(std::string::npos,
            box_.Read(kSummary).find("   SED-AVE-MIN-MAX\r\n\r\n"
                                     "      1   2.50   2.00   3.00  -1.75  -2.00  -1.50\r\n"
                                     " COMPLETE-\r\n"));
}

TEST_F(ThreedTest, AverageRefusesAStepLargerThanTheMemory) {
  Qmx10StepData big = Small(2.0f);
  big.icnt = {2, 0, 0, 0, 0, 0, 0, 60001};
  FileBuilder file = SmallFile({1.0f});
  file.Add(Qmx10StepRecord(big));
  box_.Write("in.bin", file.bytes());
  Script s;
  s.ToAverage()
      .Times("0", "5")
      .Ask(kDebugQ, "0")
      .Lines(
          {"                 IDEBUG now=           0", std::string(kRewound),
           " Quindle Debug NDG-NDF binary=           0           1",
           " *** QMX10 file refused: ICNT(8) = 60001 is more than this program's limit of 60000"});
  ExpectStatus(Run(s), 1);
}

// Three full steps of six degrees of freedom at 60000 nodes (about 2.8 MB
// each), listed every 20000th node.
TEST_F(ThreedTest, FullSizeStepsAverageInTime) {
  FileBuilder file;
  for (int t = 1; t <= 3; ++t) {
    Qmx10StepData step;
    step.time = static_cast<float>(t);
    step.np = 60000;
    step.ndf = 6;
    step.ne = 20000;
    step.icnt = {60000, 60000, 60000, 60000, 60000, 60000, 60000, 60000};
    step.vdof.assign(6, std::vector<float>(60000, static_cast<float>(t)));
    file.Add(Qmx10StepRecord(step));
  }
  box_.Write("in.bin", file.bytes());
  const auto begin = std::chrono::steady_clock::now();
  RunResult r =
      box_.Run(Script().ToAverage().Times("1", "3").Ask(kDebugQ, "20000").Type("N").input());
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_LT(took, std::chrono::seconds(10));
  // Every node holds the same value in a step: node 1, met first, keeps each extreme.
  const std::string max = "         1 WAS=           3.00";
  const std::string min = "         1 WAS=           1.00";
  EXPECT_NE(std::string::npos, r.out.find(JoinLines(Extremes({max, max, max, max, max, max},
                                                             {min, min, min, min, min, min}))));
  const std::string row =
      "   2.00   1.00   3.00   2.00   1.00   3.00   2.00   1.00   3.00"
      "   2.00   1.00   3.00   2.00   1.00   3.00   2.00   1.00   3.00\r\n";
  EXPECT_NE(std::string::npos, box_.Read(kSummary).find("      1" + row + "  20001" + row +
                                                        "  40001" + row + " COMPLETE-\r\n"));
  // Time, four counts, eight entries, six rows of averages, RDAT3, RDAT7,
  // RDAT8 and RNODE of 60000 and RELEM of 20000: 4 * 620013 data bytes.
  EXPECT_EQ(8u + 4u * 620013u, box_.Read("avg.bin").size());
}

// ===========================================================================
// What the QMX10 runs differ in, for the cases the families share
// (family_transcript_test.cc).

class Qmx10Runs : public Family {
 public:
  std::string name() const override { return "Qmx10"; }

  // Two nodes of one degree of freedom, carrying the hour and the tag.
  Pieces MergeInput(std::string_view tag, int first, int last) const override {
    Pieces p;
    for (int hour = first; hour <= last; ++hour) {
      Qmx10StepData step = Small(static_cast<float>(hour));
      step.vdof[0][1] = 100.0f * static_cast<float>(tag.back());
      p.steps.push_back(Framed(Qmx10StepRecord(step)));
    }
    return p;
  }
  Transcript ToMergedName() const override { return Of(Script().ToMergedName()); }
  std::string_view MergedPrompt() const override { return kMergedName; }
  std::string_view FlagPrompt() const override { return kFlag; }
  std::vector<std::string> Menu() const override {
    return {" VALID FLAG OPTIONS FOR QMX10 MERGE ARE:",
            "   To read first file enter     -->  1ST QMX10",
            "   To read second file enter    -->  2ND QMX10",
            "   To read third file enter     -->  3RD QMX10",
            "   To leave this routine enter  -->  EXIT    ",
            ""};
  }
  std::string NamePrompt(int slot) const override {
    return std::string(slot == 1 ? kName1 : kName2);
  }
  // The name is checked before the hours are asked.
  bool HoursFirst() const override { return false; }
  Transcript Read(int copied, bool, std::string_view merged) const override {
    return Transcript().Show(JustWrote(copied, merged));
  }
  Transcript Closing(int total, std::string_view merged) const override {
    return Of(Script().Closing(total, merged));
  }
  Transcript AfterMerge() const override { return Of(Script().AfterMerge()); }
  // End of input at the geometry question goes back to the QMX-4 merge
  // question, where it is fatal.
  Transcript AfterEndOfInput() const override { return Transcript().Show(kVelto).Show(kMerge4); }
  std::vector<std::string> MergeTitle() const override { return kMergeTitle; }
  // No banners: the extraction line alone, with IREC(1) 0.
  std::vector<std::string> Listed(std::string_view, int, std::string_view, float from,
                                  float to) const override {
    return {Blanks(9) + "IREC(1)=" + I(0, 3) + Blanks(5) + "EXTRACT HRS" + F(from, 12, 6) + " TO" +
                F(to, 12, 6),
            ""};
  }

  std::string HourlyFile(int n) const override { return HundredStyle(n).bytes(); }
  Transcript ToFirstPass(std::string_view start) const override {
    Script s;
    s.ToAverage().Times(start, "").Ask(kDebugQ, "1");
    s.Lines({FreeInt("                 IDEBUG now=", 1), std::string(kRewound)});
    return Of(s);
  }
  // Every node listed: its mean, minimum and maximum of x and of y, with
  // the layout (1X,I6,1X,3(F6.2,1X),...).
  Averaged HourlyAverage(int n) const override {
    const int first = FirstOfTheWindow(n);
    const float start = static_cast<float>(first), stop = static_cast<float>(n);
    Script s;
    s.Lines({" LAST TIME ON BINARY FILE=" + F(stop, 12, 6), " TOTAL DATA RECORD COUNT=" + I(n, 8),
             " NUMBER OF NODES ON THIS FILE=" + I(3, 10), "", std::string(kReopen),
             " PROGRAM computes time to start and stop as=" + F(start, 15, 10) + F(stop, 15, 10),
             " DELTA TIME STEP BETWEEN LAST 2 TIME STEPS =" + F(1.0f, 12, 10), "",
             FreeInt(" Quindle Debug NDG-NDF binary=", 0) + I(2, 12)});
    std::vector<std::string> summary;
    // Of the steps before the window only the first two are reported.
    for (int t = 1; t < first && t <= 2; ++t) {
      s.Show(kPatient);
      summary.push_back(" Skipping along time steps in QMX10 -- TIME= " + F(float(t), 15, 8));
    }
    // x is largest at the last hour on node 3 and smallest at the first on
    // node 1; y the other way round.
    auto at = [](int node, float value) { return I(node, 10) + " WAS=" + F(value, 15, 2); };
    const std::vector<std::string> extremes =
        Extremes({at(3, stop + 3), at(1, -start / 2 - 1), kNoMax, kNoMax, kNoMax, kNoMax},
                 {at(1, start + 1), at(3, -stop / 2 - 3), kNoMin, kNoMin, kNoMin, kNoMin});
    s.Lines(extremes).Show(kFinal).Ask(kAverage4, "N").Show(kFinished);

    Append(&summary, {"1", "          RESULTS FROM MERGE-AVERAGE PROGRAM", ""});
    Append(&summary, extremes);
    Append(&summary, Table(Blanks(10) + "AVERAGE OF EACH NODE OVER A" + F(stop - start, 12, 6) +
                           " HR CYCLE, WITH LAST HR=" + F(stop, 12, 6)));
    const float mean = (start + stop) / 2.0f;
    std::vector<float> x, y;
    for (int k = 1; k <= 3; ++k) {
      const float node = static_cast<float>(k);
      x.push_back(mean + node);
      y.push_back(-mean / 2 - node);
      std::string row = " " + I(k, 6);
      for (float v : {mean + node, start + node, stop + node, -mean / 2 - node, -stop / 2 - node,
                      -start / 2 - node}) {
        row += " " + F(v, 6, 2);
      }
      summary.push_back(row);
    }
    Append(&summary, {" COMPLETE-",
                      " UNIT 90 CONTAINS 1 TIME STEP OF AVERAGED CONCENTRATIONS FROM HRS" +
                          F(start, 12, 6) + " TO " + F(stop, 12, 6),
                      " TOTAL NODES=" + I(3, 8),
                      " TOTAL NUMBER OF DEGREES OF FREEDOM PROCESSED=" + I(2, 3), ""});
    // One record: 9999.0, the counts, the means, no IMAT or NDRY, and the
    // node and element reals of the last step.
    RecordBuilder want;
    want.Real(9999.0f).Int(3).Int(2).Int(1).Int(8).Ints({3, 3, 0, 0, 0, 0, 0, 0});
    want.Reals(x).Reals(y).Reals({stop, 2 * stop, 3 * stop}).Real(stop / 4);
    return Averaged{Of(s), summary, Framed(want)};
  }
  std::string Caution() const override {
    return " CAUTION - No end of file hit after          500 Time steps";
  }
  std::vector<std::string> NoData(float recn, float start, float stop) const override {
    return {" WARNING --- RECN=" + F(recn, 5, 1),
            " CANNOT FIND QMX-10 UNIT NQMX10 TIME BETWEEN =" + F(start, 15, 8) + F(stop, 15, 8),
            ""};
  }
  std::string StoppedOutput() const override { return ""; }

 private:
  static Transcript Of(const Script& s) { return Transcript(s.input(), s.screen()); }
};

}  // namespace

const Family& Qmx10Family() {
  static const Qmx10Runs runs;
  return runs;
}

}  // namespace korvant
