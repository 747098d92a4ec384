// Whole-run transcripts of what the QMX2, QMX4 and QMX10 merges and
// averagings share, each case written once and run for every family: the
// automatic window, the 500-step caution, a file without time steps, the
// merged file's name, the merge's menu, input names refused and asked again,
// the end of input at a name or the hours.
// Each family states its own texts, line layouts and files; the expected
// lines are built from them field by field, never taken from what the
// program printed. What only one family does stays in its own transcript
// file.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

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
constexpr std::string_view kHours = " Enter starting and ending decimal hour";
constexpr std::string_view kNoFile = " Sorry ... no such file name ... try again";
constexpr std::string_view kInUse = " Sorry ... that file is in use ... try again";
constexpr std::string_view kFinished = " ****** Program Finished ******";
constexpr std::string_view kStdinEof = "korvant: end-of-file during read, unit 5, file stdin\n";
constexpr std::string_view kSummary = "sum.txt";
constexpr std::string_view kMerged = "merged.bin";
constexpr int32_t kFourBlanks = 538976288;  // a banner that starts with four blanks, as ITEST

// ---------------------------------------------------------------------------
// Fields of the line layouts.

std::string Blanks(size_t n) { return std::string(n, ' '); }

// Aw of a longer field: the text blank-padded to n characters.
std::string Pad(std::string_view text, size_t n) {
  std::string field(text.substr(0, std::min(text.size(), n)));
  field.resize(n, ' ');
  return field;
}

// Iw: right-aligned in w columns, w asterisks when it does not fit.
std::string I(int32_t value, int w) {
  std::string digits = std::to_string(value);
  if (digits.size() > static_cast<size_t>(w)) return std::string(static_cast<size_t>(w), '*');
  return Blanks(static_cast<size_t>(w) - digits.size()) + digits;
}

// Fw.d: rounded to d decimals, right-aligned; the zero before the point only
// when there is room for it; w asterisks when it does not fit.
std::string F(float value, int w, int d) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", d, static_cast<double>(value));
  std::string text = buffer;
  if (text.size() > static_cast<size_t>(w) && text.rfind("0.", 0) == 0) text.erase(0, 1);
  if (text.size() > static_cast<size_t>(w) && text.rfind("-0.", 0) == 0) text.erase(1, 1);
  if (text.size() > static_cast<size_t>(w)) return std::string(static_cast<size_t>(w), '*');
  return Blanks(static_cast<size_t>(w) - text.size()) + text;
}

// A free-form console line: the quoted text, then an integer in 12 columns.
std::string FreeInt(std::string_view text, int32_t value) {
  return std::string(text) + I(value, 12);
}

void Append(std::vector<std::string>* to, const std::vector<std::string>& lines) {
  to->insert(to->end(), lines.begin(), lines.end());
}

std::string Crlf(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

// The answers a run is given and the console lines it must write.
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
    input_.append(answer).push_back('\n');
    return *this;
  }
  Script& Ask(std::string_view prompt, std::string_view answer) {
    return Show(prompt).Type(answer);
  }

  // The greeting and the summary file's name.
  Script& Start() {
    Show({" ********************************************",
          " ******* PROGRAM MERGE AND/OR AVERAGE *******",
          " *** Manipulates VELTO, QMX2, QMX4, QMX10 ***",
          " ***    Last Modified:  Aug 9, 1999    ***",
          " ********************************************", "",
          " Dimensioned for  20000 Elements, and  60000 Nodes",
          " Program KORVANTv30 was last modified 08-09-1999",
          " ********************************************"});
    return Ask(" Enter Printed Output Summary File Name ", kSummary);
  }

  const std::string& input() const { return input_; }
  std::string screen() const { return JoinLines(screen_); }

 private:
  std::string input_;
  std::vector<std::string> screen_;
};

// A model file kept as its pieces, so that a test can name the bytes that
// must reappear in a merged file.
struct Pieces {
  std::string header;
  std::vector<std::string> steps;  // one framed record each
  std::string bytes() const {
    std::string all = header;
    for (const std::string& step : steps) all += step;
    return all;
  }
};

// What an averaging leaves: the summary file and the averaged file.
struct Results {
  std::vector<std::string> summary;
  std::string averaged;
};

// 15 banner lines of 80 characters; the first four characters are blanks.
std::string Banner(std::string_view tag) {
  std::string banner;
  for (int line = 1; line <= 15; ++line) {
    banner += Pad("    " + std::string(tag) + " BANNER LINE " + std::to_string(line), 80);
  }
  return banner;
}

CharHeader Char(std::string_view tag) {
  CharHeader h;
  h.banner = Banner(tag);
  h.irec = {42, 11, 12};
  h.frec = {1.5f, -2.25f};
  h.title = std::string(tag) + " TITLE";
  return h;
}

// The banner listing of a merge input and its extraction line.
std::vector<std::string> Listing(std::string_view name, int unit, std::string_view banner,
                                 float from, float to) {
  auto line = [&](int i) { return std::string(banner.substr((i - 1) * 80, 80)); };
  std::vector<std::string> lines = {" FILE=" + Pad(name, 50) + " UNIT =" + I(unit, 2) + " BANNERS"};
  for (int block = 0; block < 3; ++block) {
    lines.push_back("  " + std::to_string(block + 1) + ")" + line(block * 5 + 1));
    for (int j = 2; j <= 5; ++j) lines.push_back(Blanks(5) + line(block * 5 + j));
    lines.push_back("");
  }
  lines.push_back("");
  lines.push_back("");
  lines.push_back(Blanks(9) + "IREC(1)=" + I(42, 3) + Blanks(5) + "EXTRACT HRS" + F(from, 12, 6) +
                  " TO" + F(to, 12, 6));
  lines.push_back("");
  return lines;
}

// The first step the automatic window takes on a file of hourly steps at
// hours 1 to n: 25 steps before the last, or the first of a shorter file.
int FirstOfTheWindow(int n) { return n >= 26 ? n - 25 : 1; }

// ---------------------------------------------------------------------------
// What the families differ in.

class Family {
 public:
  virtual ~Family() = default;
  virtual std::string name() const = 0;

  // The merge, into merged.bin.
  // A file whose steps are at hours first to last; `tag` tells files apart.
  virtual Pieces MergeInput(std::string_view tag, int first, int last) const = 0;
  // The driver's questions up to the merge, and the merge's first lines.
  virtual void ToMergedName(Script& s) const = 0;
  virtual std::string_view MergedPrompt() const = 0;
  virtual std::string_view FlagPrompt() const = 0;
  // The menu "?" brings, its empty last line included.
  virtual std::vector<std::string> Menu() const = 0;
  virtual std::string NamePrompt(int slot) const = 0;
  // Whether the hours are asked before a name is checked.
  virtual bool HoursFirst() const { return true; }
  // The lines once an input file is open and `copied` steps of it are
  // written; `first` for the first input of the merge.
  virtual void Read(Script& s, int copied, bool first, std::string_view merged = kMerged) const = 0;
  virtual void Closing(Script& s, int total, std::string_view merged = kMerged) const = 0;
  // The driver's questions after the merge, all answered no.
  virtual void AfterMerge(Script& s) const = 0;
  // The driver's question(s) after the merge met the end of the input.
  virtual void AfterEndOfInput(Script& s) const = 0;
  virtual std::vector<std::string> MergeTitle() const = 0;
  virtual std::vector<std::string> Listed(std::string_view name, int slot, std::string_view tag,
                                          float from, float to) const = 0;

  // The averaging of in.bin into avg.bin.
  // Hourly steps at hours 1 to n; n = 0 is a file without steps.
  virtual std::string HourlyFile(int n) const = 0;
  // The driver's questions up to the averaging, its questions answered with
  // their defaults but for `start` (the automatic window either way), and its
  // lines before the first pass.
  virtual void ToFirstPass(Script& s, std::string_view start = "") const = 0;
  // The first pass over HourlyFile(n), the rest of the run, and its files.
  virtual Results HourlyAverage(Script& s, int n) const = 0;
  virtual std::string Caution() const = 0;
  virtual std::vector<std::string> NoData(float recn, float start, float stop) const = 0;
  // The averaged file of a run that stopped before averaging.
  virtual std::string StoppedOutput() const = 0;
};

// ---------------------------------------------------------------------------
// QMX2.

class Hydro : public Family {
 public:
  std::string name() const override { return "Qmx2"; }

  Pieces MergeInput(std::string_view tag, int first, int last) const override {
    Pieces p;
    p.header = CharHeaderFile(Char(tag)).bytes();
    for (int hour = first; hour <= last; ++hour) {
      Qmx2StepData step;
      step.time = static_cast<float>(hour);
      step.vel = FillReals({}, 6, 100.0f * static_cast<float>(tag.back()) + hour, 0.125f);
      step.ndry = {1, 2};
      step.imat = {tag.back()};
      step.wsel = {90.0f + hour, 91.0f + hour};
      p.steps.push_back(Framed(Qmx2StepRecord(step, true)));
    }
    return p;
  }
  void ToMergedName(Script& s) const override {
    s.Start()
        .Ask(kMerge2, "Y")
        .Show("  PURPOSE -->  MERGE together - MULTIPLE QMX2 files")
        .Show(" ");
  }
  std::string_view MergedPrompt() const override {
    return " Enter name of QMX2 MERGED file to be created";
  }
  std::string_view FlagPrompt() const override { return " Enter flag identifier or (?) for menu"; }
  std::vector<std::string> Menu() const override {
    return {" VALID FLAG OPTIONS FOR QMX2 MERGE ARE:",
            "   To read first file enter     -->  1ST QMX2",
            "   To read second file enter    -->  2ND QMX2",
            "   To read third file enter     -->  3RD QMX2",
            "   To read fourth file enter    -->  4TH QMX2",
            "   To read fifth file enter     -->  5TH QMX2",
            "   To leave this routine enter  -->  EXIT    ",
            ""};
  }
  std::string NamePrompt(int slot) const override {
    return std::string(" Enter name of ") + (slot == 1 ? "1st" : "2ND") + " QMX2 binary file";
  }
  void Read(Script& s, int, bool first, std::string_view) const override {
    s.Show(FreeInt(" -->  1st integer on QMX2 binary=", kFourBlanks));
    if (first) s.Show(" --> WRITE CHARACTER BANNERS TO UNIT=50");
    s.Show(FreeInt(" --> Your QMX2 has a version # of ", 0));
  }
  void Closing(Script& s, int total, std::string_view merged) const override {
    s.Show(" ========= Closing active files from R2MERGE =========")
        .Show("  ==== MERGED QMX2 file named -->" + Pad(merged, 50))
        .Show("  ==== Closed with" + I(total, 6) + " time steps")
        .Show("");
  }
  void AfterMerge(Script& s) const override {
    s.Ask(kMerge4, "N").Ask(kMerge10, "N").Ask(kVelto, "N");
    s.Ask(kAverage2, "N").Ask(kAverage10, "N").Ask(kAverage4, "N").Show(kFinished);
  }
  void AfterEndOfInput(Script& s) const override { s.Show(kMerge4); }
  std::vector<std::string> MergeTitle() const override {
    return {"1", "  MERGE TOGETHER - MULTIPLE QMX2 FILES"};
  }
  std::vector<std::string> Listed(std::string_view name, int slot, std::string_view tag, float from,
                                  float to) const override {
    return Listing(name, 10 + slot, Char(tag).banner, from, to);
  }

  // One node and no element: x-velocity the hour, y-velocity 0.5, depth 2,
  // elevation 99 (1 below the default datum).
  std::string HourlyFile(int n) const override {
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
    return Qmx2File(Char("HOURLY"), steps, true).bytes();
  }
  void ToFirstPass(Script& s, std::string_view start) const override {
    s.Start().Ask(kMerge2, "N").Ask(kMerge4, "N").Ask(kMerge10, "N").Ask(kVelto, "N");
    s.Ask(kAverage2, "Y")
        .Ask(" Enter QMX2 integrated file name to be created", "avg.bin")
        .Ask(" Enter name of QMX2 file to read from", "in.bin");
    s.Show(" ************** HYDRODYNAMIC AVERAGE ***************")
        .Show(" Enter the QMX2 decimal time to start in HOURS")
        .Ask("                Default=last time minus 25 TIME STEPS", start)
        .Show(" Enter the QMX2 decimal time to stop in HOURS")
        .Ask("                Default=last time", "")
        .Show(" Enter the datum reference in feet")
        .Ask("                Default=   100.0000    ", "")
        .Ask(" DO you want to turn full prints on? (Enter 1 if yes)", "0")
        .Show(" Do you want to weight the average current by depth?")
        .Ask("     (ie. suitable for FLUX computation  DEFAULT=NO)", "N");
    s.Show(" INSIDE R2INT, rewinding unit=50 to read QMX2 binary")
        .Show(FreeInt(" -->  1st integer on QMX2 binary=", kFourBlanks))
        .Show(FreeInt(" --> Your QMX2 has a version # of ", 0));
  }
  Results HourlyAverage(Script& s, int n) const override {
    const int first = FirstOfTheWindow(n);
    const float start = static_cast<float>(first), stop = static_cast<float>(n);
    s.Show(" LAST TIME ON BINARY FILE=" + F(stop, 12, 6))
        .Show(" TOTAL DATA RECORD COUNT [includes all banners]=" + I(n, 8))
        .Show("")
        .Show(" Required to CLOSE/RE-OPEN file to avoid CRAY EOF flag")
        .Show(" ROUTINE self computes time to start and stop as=" + F(start, 12, 8) +
              F(stop, 12, 8));
    s.Show(" --> Writing integrated data to unit=60");
    s.Show({"", " WARNING inconsistant node/elem... QMX4 vs VELTO",
            " VELTO had node/elem =" + I(0, 8) + I(0, 8),
            " QMX2  had node/elem =" + I(1, 8) + I(0, 8), ""});
    s.Ask(kAverage10, "N").Ask(kAverage4, "N").Show(kFinished);

    const float mean = (start + stop) / 2.0f;
    Results r;
    r.summary = {
        "1",
        Blanks(2) + " Switch setting for weighting average current by depth was=" + I(0, 3),
        "",
        Blanks(10) + "AVERAGE OF EACH NODE OVER A" + F(stop - start, 12, 6) +
            " HR CYCLE, WITH START/STOP TIMES=" + F(start, 12, 6) + F(stop, 12, 6),
        Blanks(5) + " NODE  NDRY  XVEL  X-MIN  X-MAX" + Blanks(4) + "YVEL  Y-MIN  Y-MAX" +
            "   WSE  WE-MIN  WE-MAX" + Blanks(4) + "XCORD     YCORD  DEPTH",
        Blanks(18) + "AVG" + Blanks(20) + "AVG" + Blanks(17) + "AVG" + Blanks(20) + " AVG",
        ""};
    // (5X,2I5,9F7.2,2F11.2,F8.2): node 1, dry code 1, the velocities' mean,
    // minimum and maximum, the elevation 1 below the datum, no coordinates.
    std::string row = Blanks(5) + I(1, 5) + I(1, 5);
    for (float v : {mean, start, stop, 0.5f, 0.5f, 0.5f, -1.0f, -1.0f, -1.0f}) row += F(v, 7, 2);
    r.summary.push_back(row + F(0.0f, 11, 2) + F(0.0f, 11, 2) + F(2.0f, 8, 2));
    Append(&r.summary,
           {" COMPLETE-",
            " UNIT 60 CONTAINS 1 TIME STEP OF VELOCITY AND DEPTH INTEGRATED FROM HRS" +
                F(start, 12, 6) + " TO " + F(stop, 12, 6),
            " LENGTH OF TIME OVER WHICH THE AVERAGE WAS COMPUTED=" + F(stop - start, 12, 6),
            " TOTAL NUMBER OF TIME STEPS USED FOR THE AVERAGE   =" + I(n - first + 1, 8),
            " DELTA TIME STEP OF LAST 2 TIME STEPS USED WAS     =" + F(1.0f, 12, 6),
            " TOTAL NUMBER OF NODES WITH ZERO VALUES            =" + I(0, 8),
            " SWITCH FOR WEIGHTING THE AVERAGE CURRENT BY DEPTH WAS =" + I(0, 3), ""});
    // Time -99, the means in place of the velocities and depth, the dry code,
    // no element, and the mean elevation about the datum.
    r.averaged = CharHeaderFile(Char("HOURLY")).bytes() + Framed(RecordBuilder()
                                                                     .Real(-99.0f)
                                                                     .Int(1)
                                                                     .Reals({mean, 0.5f, 2.0f})
                                                                     .Int(1)
                                                                     .Int(0)
                                                                     .Real(-1.0f));
    return r;
  }
  std::string Caution() const override {
    return " CAUTION - NO END OF FILE HIT AFTER          500 TIME STEPS";
  }
  std::vector<std::string> NoData(float recn, float start, float stop) const override {
    return {" WARNING --- RECN=" + F(recn, 5, 1),
            " Cannot find QMX2 unit IHYDRO time between =" + F(start, 12, 6) + F(stop, 12, 6), ""};
  }
  std::string StoppedOutput() const override { return ""; }
};

// ---------------------------------------------------------------------------
// QMX4.

class Transport : public Family {
 public:
  std::string name() const override { return "Qmx4"; }

  // Three nodes and two elements a step; the merge's report shows them.
  Pieces MergeInput(std::string_view tag, int first, int last) const override {
    Pieces p;
    p.header = CharHeaderFile(Char(tag)).bytes();
    for (int h = first; h <= last; ++h) {
      const float f = static_cast<float>(h);
      p.steps.push_back(
          Framed(Qmx4StepRecord({f, 1, 3, 2, {f + 0.5f, f + 1.5f, f + 2.5f}, {10 + h, 20 + h}})));
    }
    return p;
  }
  void ToMergedName(Script& s) const override {
    s.Start().Ask(kMerge2, "N").Ask(kMerge4, "Y");
    s.Show("  PURPOSE -->  MERGE together - MULTIPLE QMX4 files").Show(" ");
  }
  std::string_view MergedPrompt() const override {
    return " Enter name of QMX4 MERGED file to be created";
  }
  std::string_view FlagPrompt() const override { return " ENTER FLAG IDENTIFIER OR (?) FOR MENU"; }
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
    return std::string(" Enter name of ") + (slot == 1 ? "1st" : "2ND") + " QMX4 binary file";
  }
  // A character-form header is copied without a line. The report shows the
  // header values held (none read yet) and the counts of the step read last.
  void Read(Script& s, int, bool first, std::string_view) const override {
    s.Show("").Show(" Just processed QMX-4 Banners AOK. ");
    s.Show(" --> Model Flag (variable MFLG)=     " + I(0, 8));
    s.Show(" --> Your QMX4 has a version # of:   " + I(0, 8));
    s.Show(" --> Your QMX4 total nodes/elements: " +
           (first ? I(0, 8) + I(0, 8) : I(3, 8) + I(2, 8)));
    s.Show(" --> Integer, Real, Title Records:   " + I(0, 5) + I(0, 5) + I(0, 5)).Show("");
  }
  void Closing(Script& s, int total, std::string_view merged) const override {
    s.Show(" ========== Closing active files from R4MERGE =========")
        .Show("  ==== MERGED QMX4 file named -->" + Pad(merged, 50))
        .Show("  ==== Closed with" + I(total, 6) + " time steps")
        .Show("");
    // Without a geometry file its counts are 0, the step's are 3 and 2.
    s.Show({"", " WARNING inconsistant node/elem... QMX4 vs VELTO",
            " VELTO had node/elem =" + I(0, 8) + I(0, 8),
            " QMX4  had node/elem =" + I(3, 8) + I(2, 8), ""});
  }
  void AfterMerge(Script& s) const override {
    s.Ask(kMerge10, "N").Ask(kVelto, "N");
    s.Ask(kAverage2, "N").Ask(kAverage10, "N").Ask(kAverage4, "N").Show(kFinished);
  }
  void AfterEndOfInput(Script& s) const override { s.Show(kMerge10); }
  std::vector<std::string> MergeTitle() const override {
    return {"1", "  MERGE TOGETHER - MULTIPLE QMX4 FILES"};
  }
  std::vector<std::string> Listed(std::string_view name, int slot, std::string_view tag, float from,
                                  float to) const override {
    return Listing(name, 70 + slot, Char(tag).banner, from, to);
  }

  // The integer-coded header of two nodes and one element; one constituent,
  // the hour at node 1 and 100 less the hour at node 2, the element code the
  // hour plus 1.
  static CodedHeader Coded() {
    CodedHeader h;
    h.np = 2;
    h.ne = 1;
    return h;
  }
  std::string HourlyFile(int n) const override {
    std::vector<Qmx4StepData> steps;
    for (int h = 1; h <= n; ++h) {
      const float f = static_cast<float>(h);
      steps.push_back({f, 1, 2, 1, {f, 100.0f - f}, {h + 1}});
    }
    return Qmx4File(Coded(), steps).bytes();
  }
  void ToFirstPass(Script& s, std::string_view start) const override {
    s.Start().Ask(kMerge2, "N").Ask(kMerge4, "N").Ask(kMerge10, "N").Ask(kVelto, "N");
    s.Ask(kAverage2, "N").Ask(kAverage10, "N").Ask(kAverage4, "Y");
    s.Ask(" Enter QMX4 averaged file name to be created", "avg.bin")
        .Ask(" Enter name of QMX4 file to read from", "in.bin");
    s.Show("  ").Show(" ************** CONCENTRATION AVERAGE ***************");
    s.Show(" Enter the QMX4 decimal time to start in HOURS")
        .Ask("                Default=last time minus 25 time steps", start);
    s.Show(" Enter the QMX4 decimal time to stop in HOURS")
        .Ask("                Default=last time", "");
    s.Show(" Enter the total number of constituents to consider")
        .Ask("                Default= 1", "");
    s.Ask(" DO you want to turn FULL prints on? (Enter 1 if yes)", "0");
    s.Show(" INSIDE R4INT, rewind nsal=70 to read qmx-4 binary")
        .Show(FreeInt(" --> QMX4 binary 1st integer ITEST =", 1))
        .Show(" --> Write INTEGER/CHAR Banners to unit=80");
    s.Show(" Just processed QMX-4 Banners AOK. ");
    s.Show(" --> Model Flag (variable MFLG)=     " + I(1, 8));
    s.Show(" --> Your QMX4 has a version # of:   " + I(1, 8));
    s.Show(" --> Your QMX4 total nodes/elements: " + I(2, 8) + I(1, 8));
    s.Show(" --> Integer, Real, Title Records:   " + I(1, 5) + I(0, 5) + I(11, 5)).Show("");
  }
  Results HourlyAverage(Script& s, int n) const override {
    const int first = FirstOfTheWindow(n);
    const float start = static_cast<float>(first), stop = static_cast<float>(n);
    s.Show(" LAST TIME ON BINARY FILE=" + F(stop, 12, 6))
        .Show(" TOTAL DATA RECORD COUNT=" + I(n, 8))
        .Show(" NUMBER OF CONSTITUENTS WRITTEN TO BINARY=" + I(1, 4))
        .Show("")
        .Show(" PROGRAM self computes time to start and stop as=" + F(start, 12, 8) +
              F(stop, 12, 8));
    s.Show(" Write QMX4 Binary integrated data on unit=80");
    const std::vector<std::string> complete = {
        "",
        " COMPLETE-",
        " UNIT 80 CONTAINS 1 TIME STEP OF AVERAGED CONCENTRATIONS",
        " From Hrs" + F(start, 15, 7) + " to " + F(stop, 15, 7),
        " Time on QMX4 binary solution is flagged as hr  =" + F(0.0f, 8, 3),
        " Total nodes written on QMX4 binary solution    =" + I(2, 8),
        " Total elements written on QMX4 binary solution =" + I(1, 8),
        " Total # of constituents written on QMX4 bin sol=" + I(1, 3),
        ""};
    s.Show(complete);
    s.Show({"", " WARNING inconsistant node/elem... QMX4 vs VELTO",
            " VELTO had node/elem =" + I(0, 8) + I(0, 8),
            " QMX4  had node/elem =" + I(2, 8) + I(1, 8), ""});
    s.Show(kFinished);

    const float mean = (start + stop) / 2.0f;
    Results r;
    // The steps before the window, each with its counts.
    for (int h = 1; h < first; ++h) {
      r.summary.push_back(" Skip QMX4 Time=" + F(static_cast<float>(h), 15, 6) +
                          "  NQAL=" + I(1, 3) + " Nodes=" + I(2, 8) + "Elem=" + I(1, 7));
    }
    Append(&r.summary,
           {"1",
            Blanks(20) + "AVERAGE OF EACH NODE OVER A" + F(stop - start, 12, 6) +
                " HR CYCLE, WITH LAST HR=" + F(stop, 12, 6),
            "", Blanks(20) + " ONLY FIRST 3 CONSTITUENTS CAN BE PRINTED",
            "  NODE    CON1-AVE-MIN-MAX    CON2-AVE-MIN-MAX    CON3-AVE-MIN-MAX  ", ""});
    // (1X,I6,1X,3F7.3): node 1 runs with the hour, node 2 against it.
    r.summary.push_back(" " + I(1, 6) + " " + F(mean, 7, 3) + F(start, 7, 3) + F(stop, 7, 3));
    r.summary.push_back(" " + I(2, 6) + " " + F(100.0f - mean, 7, 3) + F(100.0f - stop, 7, 3) +
                        F(100.0f - start, 7, 3));
    Append(&r.summary, complete);
    // Time 0, the means, and the element code of the last step read.
    r.averaged = CodedHeaderFile(Coded()).bytes() +
                 Framed(Qmx4StepRecord({0.0f, 1, 2, 1, {mean, 100.0f - mean}, {n + 1}}));
    return r;
  }
  std::string Caution() const override {
    return " CAUTION - NO END OF FILE HIT AFTER          500 TIME STEPS";
  }
  std::vector<std::string> NoData(float recn, float start, float stop) const override {
    return {" WARNING --- RECN=" + F(recn, 5, 1),
            " CANNOT FIND QMX-4 UNIT NSAL TIME BETWEEN =" + F(start, 12, 8) + F(stop, 12, 8), ""};
  }
  // The integer-coded header is copied before the first pass.
  std::string StoppedOutput() const override { return CodedHeaderFile(Coded()).bytes(); }
};

// ---------------------------------------------------------------------------
// QMX10.

class Threed : public Family {
 public:
  std::string name() const override { return "Qmx10"; }

  // Two nodes and one degree of freedom; the values carry the hour and the tag.
  Pieces MergeInput(std::string_view tag, int first, int last) const override {
    Pieces p;
    for (int hour = first; hour <= last; ++hour) {
      Qmx10StepData step;
      step.time = static_cast<float>(hour);
      step.vdof = {{step.time, 100.0f * static_cast<float>(tag.back())}};
      p.steps.push_back(Framed(Qmx10StepRecord(step)));
    }
    return p;
  }
  void ToMergedName(Script& s) const override {
    s.Start().Ask(kMerge2, "N").Ask(kMerge4, "N").Ask(kMerge10, "Y");
    s.Show(" I HOPE you know this will be lots of I/O")
        .Show("  PURPOSE -->  MERGE together - MULTIPLE QMX10 files")
        .Show(" ");
  }
  std::string_view MergedPrompt() const override {
    return " Enter name of QMX10 MERGED file to be created";
  }
  std::string_view FlagPrompt() const override { return " Enter flag identifier or (?) for menu"; }
  std::vector<std::string> Menu() const override {
    return {" VALID FLAG OPTIONS FOR QMX10 MERGE ARE:",
            "   To read first file enter     -->  1ST QMX10",
            "   To read second file enter    -->  2ND QMX10",
            "   To read third file enter     -->  3RD QMX10",
            "   To leave this routine enter  -->  EXIT    ",
            ""};
  }
  std::string NamePrompt(int slot) const override {
    return std::string(" Enter name of ") + (slot == 1 ? "1st" : "2ND") +
           " QMX10 primary binary file";
  }
  bool HoursFirst() const override { return false; }
  void Read(Script& s, int copied, bool, std::string_view merged) const override {
    s.Show(" JUST wrote " + I(copied, 12) + " 3D time steps on file= " + Pad(merged, 50));
  }
  void Closing(Script& s, int total, std::string_view merged) const override {
    s.Show(" ========== Closing active files from R10MERGE =========")
        .Show("  ==== MERGED QMX10 file named --> " + Pad(merged, 50))
        .Show("  ==== Closed with" + I(total, 8) + " time steps")
        .Show("  ======================================================");
  }
  void AfterMerge(Script& s) const override {
    s.Ask(kVelto, "N").Ask(kAverage2, "N").Ask(kAverage10, "N").Ask(kAverage4, "N");
    s.Show(kFinished);
  }
  // End of input at the geometry question goes back to the QMX-4 merge
  // question, where it is fatal.
  void AfterEndOfInput(Script& s) const override { s.Show(kVelto).Show(kMerge4); }
  std::vector<std::string> MergeTitle() const override {
    return {"1", "  MERGE TOGETHER - MULTIPLE QMX10 FILES"};
  }
  // The files have no header: only the extraction line, with IREC(1) 0.
  std::vector<std::string> Listed(std::string_view, int, std::string_view, float from,
                                  float to) const override {
    return {Blanks(9) + "IREC(1)=" + I(0, 3) + Blanks(5) + "EXTRACT HRS" + F(from, 12, 6) + " TO" +
                F(to, 12, 6),
            ""};
  }

  // Three nodes, two degrees of freedom and one element: node k carries
  // x = t + k and y = -t/2 - k, the node reals t, 2t and 3t, the element real t/4.
  std::string HourlyFile(int n) const override {
    FileBuilder file;
    for (int t = 1; t <= n; ++t) {
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
    return file.bytes();
  }
  void ToFirstPass(Script& s, std::string_view start) const override {
    s.Start().Ask(kMerge2, "N").Ask(kMerge4, "N").Ask(kMerge10, "N").Ask(kVelto, "N");
    s.Ask(kAverage2, "N").Ask(kAverage10, "Y");
    s.Ask(" Enter QMX10 integrated file name to be created", "avg.bin")
        .Ask(" Enter name of QMX10 file to read from", "in.bin")
        .Show(" *********** VELOCITY/CONCENTRATION AVERAGE ************");
    s.Show(" Enter the QMX10 decimal time to START in HOURS")
        .Ask("                Default=last time minus 25 time steps", start)
        .Show(" Enter the QMX10 decimal time to STOP in HOURS")
        .Ask("                Default=last time", "");
    s.Ask(" Value for DEBUG prints? (Enter 1 if ALL nodes printed)", "1")
        .Show(FreeInt("                 IDEBUG now=", 1))
        .Show(" INSIDE R10INT, REWIND NQMX10=95 TO READ QMX-10 BINARY");
  }
  Results HourlyAverage(Script& s, int n) const override {
    const int first = FirstOfTheWindow(n);
    const float start = static_cast<float>(first), stop = static_cast<float>(n);
    s.Show(" LAST TIME ON BINARY FILE=" + F(stop, 12, 6))
        .Show(" TOTAL DATA RECORD COUNT=" + I(n, 8))
        .Show(" NUMBER OF NODES ON THIS FILE=" + I(3, 10))
        .Show("")
        .Show(" Required to CLOSE/RE-OPEN file to avoid CRAY EOF flag")
        .Show(" PROGRAM computes time to start and stop as=" + F(start, 15, 10) + F(stop, 15, 10))
        .Show(" DELTA TIME STEP BETWEEN LAST 2 TIME STEPS =" + F(1.0f, 12, 10))
        .Show("");
    s.Show(FreeInt(" Quindle Debug NDG-NDF binary=", 0) + I(2, 12));
    Results r;
    // Of the steps before the window only the first two are reported.
    for (int t = 1; t < first && t <= 2; ++t) {
      s.Show(" Be Patient - Skipping QMX10 time Steps");
      r.summary.push_back(" Skipping along time steps in QMX10 -- TIME= " +
                          F(static_cast<float>(t), 15, 8));
    }
    // x is largest at the last hour on node 3 and smallest at the first hour
    // on node 1; y the other way round. No step carries the other four.
    auto at = [](int node, float value) { return I(node, 10) + " WAS=" + F(value, 15, 2); };
    const std::string no_max = at(0, -1.0e10f), no_min = at(0, 1.0e10f);
    const std::vector<std::string> max = {
        at(3, stop + 3), at(1, -start / 2 - 1), no_max, no_max, no_max, no_max};
    const std::vector<std::string> min = {
        at(1, start + 1), at(3, -stop / 2 - 3), no_min, no_min, no_min, no_min};
    const char* names[] = {"X-VELOCITY  ", "Y-VELOCITY  ", "DEPTH       ",
                           "SALINITY    ", "TEMPERATURE ", "SEDIMENT    "};
    const char* units[] = {" fps", " fps", " ft", " ppt", " d.C", " ppt"};
    std::vector<std::string> extremes = {"", "   CHECK THESE NODES FOR MAXIMUMS"};
    for (int k = 0; k < 6; ++k) {
      extremes.push_back(Blanks(9) + names[k] + "  MAX AT NODE=" + max[k] + units[k]);
    }
    extremes.push_back("");
    extremes.push_back("   CHECK THESE NODE FOR MINIMUMS");
    for (int k = 0; k < 6; ++k) {
      // The minimum half says MAX from the salinity on.
      extremes.push_back(Blanks(9) + names[k] + (k < 3 ? "  MIN" : "  MAX") + " AT NODE=" + min[k] +
                         units[k]);
    }
    extremes.push_back("");
    s.Show(extremes).Show(" Writing FINAL data to unit=90").Ask(kAverage4, "N").Show(kFinished);

    Append(&r.summary, {"1", "          RESULTS FROM MERGE-AVERAGE PROGRAM", ""});
    Append(&r.summary, extremes);
    Append(&r.summary,
           {"", "",
            Blanks(10) + "AVERAGE OF EACH NODE OVER A" + F(stop - start, 12, 6) +
                " HR CYCLE, WITH LAST HR=" + F(stop, 12, 6),
            "", Blanks(21) + "ALL 6 DEGREES OF FREEDOM ARE PRINTED",
            std::string("  NODE  ") + "  VELX-AVE-MIN-MAX   " + "  VELY-AVE-MIN-MAX   " +
                "  DEEP-AVE-MIN-MAX   " + "  SALT-AVE-MIN-MAX   " + "  TEMP-AVE-MIN-MAX   " +
                "   SED-AVE-MIN-MAX",
            ""});
    // Every node listed, (1X,I6,1X,3(F6.2,1X),...): its mean, minimum and
    // maximum of x, then of y.
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
      r.summary.push_back(row);
    }
    Append(&r.summary, {" COMPLETE-",
                        " UNIT 90 CONTAINS 1 TIME STEP OF AVERAGED CONCENTRATIONS FROM HRS" +
                            F(start, 12, 6) + " TO " + F(stop, 12, 6),
                        " TOTAL NODES=" + I(3, 8),
                        " TOTAL NUMBER OF DEGREES OF FREEDOM PROCESSED=" + I(2, 3), ""});
    // One record: 9999.0, the counts, the means, no IMAT or NDRY, and the
    // node and element reals of the last step.
    RecordBuilder want;
    want.Real(9999.0f).Int(3).Int(2).Int(1).Int(8).Ints({3, 3, 0, 0, 0, 0, 0, 0});
    want.Reals(x).Reals(y).Reals({stop, 2 * stop, 3 * stop}).Real(stop / 4);
    r.averaged = Framed(want);
    return r;
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
};

const Hydro kHydro;
const Transport kTransport;
const Threed kThreed;
const Family* const kFamilies[] = {&kHydro, &kTransport, &kThreed};

std::string FamilyName(const ::testing::TestParamInfo<const Family*>& info) {
  return info.param->name();
}

// ---------------------------------------------------------------------------
// Running them.

class FamilyTest : public ::testing::Test {
 protected:
  RunResult Run(const Script& script) {
    RunResult result = box_.Run(script.input());
    EXPECT_FALSE(result.timed_out) << "the run did not end";
    EXPECT_FALSE(result.too_much_output) << "the run wrote without end";
    return result;
  }
  // The whole console, the exit status and stderr.
  void ExpectRun(const Script& script, const RunResult& result, int status,
                 std::string_view err = "") {
    const std::string want = script.screen();
    EXPECT_EQ(want, result.out) << FirstDifference(want, result.out);
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
    EXPECT_TRUE(bytes == box_.Read(name)) << name << " differs from the built bytes";
  }

  Sandbox box_;
};

// ---------------------------------------------------------------------------
// The averaging.

class AveragingTest : public FamilyTest, public ::testing::WithParamInterface<const Family*> {};

// The window left to the program runs from 25 steps before the last step to
// the last, or from the first step of a shorter file.
class AutomaticWindowTest : public FamilyTest,
                            public ::testing::WithParamInterface<std::tuple<const Family*, int>> {};

TEST_P(AutomaticWindowTest, StartsTwentyFiveStepsBeforeTheLast) {
  const auto [f, n] = GetParam();
  box_.Write("in.bin", f->HourlyFile(n));
  Script s;
  f->ToFirstPass(s);
  const Results want = f->HourlyAverage(s, n);
  ExpectRun(s, Run(s), 0);
  ExpectSummary(want.summary);
  ExpectFile("avg.bin", want.averaged);
}

INSTANTIATE_TEST_SUITE_P(Families, AutomaticWindowTest,
                         ::testing::Combine(::testing::ValuesIn(kFamilies),
                                            ::testing::Values(2, 5, 25, 26, 27, 499)),
                         [](const auto& info) {
                           return std::get<0>(info.param)->name() + "Steps" +
                                  std::to_string(std::get<1>(info.param));
                         });

// A first pass that finds no end of file within 500 steps: the caution, the
// stop, nothing in the summary file and nothing averaged. A start of -99
// asks for the automatic window as a blank one does.
TEST_P(AveragingTest, FiveHundredStepsUnderTheAutomaticWindowStopWithACaution) {
  const Family& f = *GetParam();
  box_.Write("in.bin", f.HourlyFile(500));
  Script s;
  f.ToFirstPass(s, "-99");
  s.Show(f.Caution());
  ExpectRun(s, Run(s), 1);
  ExpectSummary({});
  ExpectFile("avg.bin", f.StoppedOutput());
}

// No step to average: the warning on the console and in the summary file,
// with no step counted and the window's ends at -9999, and the stop.
TEST_P(AveragingTest, FileWithoutStepsWarnsAndStops) {
  const Family& f = *GetParam();
  box_.Write("in.bin", f.HourlyFile(0));
  Script s;
  f.ToFirstPass(s);
  s.Show(f.NoData(0.0f, -9999.0f, -9999.0f));
  ExpectRun(s, Run(s), 1);
  ExpectSummary(f.NoData(0.0f, -9999.0f, -9999.0f));
  ExpectFile("avg.bin", f.StoppedOutput());
}

INSTANTIATE_TEST_SUITE_P(Families, AveragingTest, ::testing::ValuesIn(kFamilies), FamilyName);

// ---------------------------------------------------------------------------
// The merge.

// Up to the merge and its merged file, merged.bin.
void ToMerge(const Family& f, Script& s) {
  f.ToMergedName(s);
  s.Ask(f.MergedPrompt(), kMerged);
}

// A file's name and hours; `refusal` is the line that sends the name back.
void Enter(const Family& f, Script& s, int slot, std::string_view name, std::string_view hours,
           std::string_view refusal = "") {
  s.Ask(f.NamePrompt(slot), name);
  if (f.HoursFirst() || refusal.empty()) s.Ask(kHours, hours);
  if (!refusal.empty()) s.Show(refusal);
}

class MergingTest : public FamilyTest, public ::testing::WithParamInterface<const Family*> {};

// Names of no file, and of the files the run is writing (the merged file
// under either name, the summary file), are refused and asked again; the
// name as typed is the one listed.
TEST_P(MergingTest, MissingAndInUseInputsAreAskedAgain) {
  const Family& f = *GetParam();
  const Pieces a = f.MergeInput("RUN A", 1, 2);
  const Pieces b = f.MergeInput("RUN B", 5, 6);
  box_.Write("a.bin", a.bytes());
  box_.Write("b.bin", b.bytes());
  Script s;
  ToMerge(f, s);
  s.Ask(f.FlagPrompt(), "1ST");
  Enter(f, s, 1, "a.bin", "0 10");
  f.Read(s, 2, true);
  s.Ask(f.FlagPrompt(), "2ND");
  for (const char* name : {"nothere.bin", ""}) Enter(f, s, 2, name, "0 10", kNoFile);
  for (const char* name : {"merged.bin", "./merged.bin", "sum.txt"}) {
    Enter(f, s, 2, name, "0 10", kInUse);
  }
  Enter(f, s, 2, "  b.bin  ", "6 6");
  f.Read(s, 1, false);
  s.Ask(f.FlagPrompt(), "EXIT");
  f.Closing(s, 3);
  f.AfterMerge(s);
  ExpectRun(s, Run(s), 0);
  std::vector<std::string> summary = f.MergeTitle();
  Append(&summary, f.Listed("a.bin", 1, "RUN A", 0, 10));
  Append(&summary, f.Listed("  b.bin  ", 2, "RUN B", 6, 6));
  ExpectSummary(summary);
  ExpectFile(kMerged, a.bytes() + b.steps[1]);
}

// An existing file named for the merged file is replaced only after a yes:
// a no or a blank answer asks for the name again and leaves the file as it was.
TEST_P(MergingTest, ExistingMergedFileIsReplacedOnlyAfterYes) {
  const Family& f = *GetParam();
  const Pieces a = f.MergeInput("RUN A", 1, 2);
  box_.Write("a.bin", a.bytes());
  box_.Write("keep.bin", "keep these bytes");
  box_.Write("old.bin", std::string(5000, 'x'));
  box_.ExpectOutput("old.bin");
  Script s;
  f.ToMergedName(s);
  for (const char* no : {"n", ""}) {
    s.Ask(f.MergedPrompt(), "keep.bin").Ask(" That file name already exists   OverWrite? ", no);
  }
  s.Ask(f.MergedPrompt(), "old.bin").Ask(" That file name already exists   OverWrite? ", "y");
  s.Ask(f.FlagPrompt(), "1ST");
  Enter(f, s, 1, "a.bin", "0 10");
  f.Read(s, 2, true, "old.bin");
  s.Ask(f.FlagPrompt(), "EXIT");
  f.Closing(s, 2, "old.bin");
  f.AfterMerge(s);
  ExpectRun(s, Run(s), 0);
  ExpectFile("keep.bin", "keep these bytes");
  ExpectFile("old.bin", a.bytes());
}

// "?" shows the menu, and the answer after it is taken without a prompt; a
// window that starts after it ends copies nothing, and a flag of mixed case
// ends the merge.
TEST_P(MergingTest, MenuThenAFlagWithoutAPrompt) {
  const Family& f = *GetParam();
  const Pieces b = f.MergeInput("RUN B", 7, 7);
  box_.Write("b.bin", b.bytes());
  Script s;
  ToMerge(f, s);
  s.Ask(f.FlagPrompt(), "?").Show(f.Menu()).Type("2nd");
  Enter(f, s, 2, "b.bin", "9 8");
  f.Read(s, 0, true);
  s.Ask(f.FlagPrompt(), "1St");
  f.Closing(s, 0);
  f.AfterMerge(s);
  ExpectRun(s, Run(s), 0);
  std::vector<std::string> summary = f.MergeTitle();
  Append(&summary, f.Listed("b.bin", 2, "RUN B", 9, 8));
  ExpectSummary(summary);
  ExpectFile(kMerged, b.header);
}

// The end of the input at a file's name or hours closes the merge with what
// was copied; the driver's next question meets the end of the input too.
class MergingEndOfInputTest
    : public FamilyTest,
      public ::testing::WithParamInterface<std::tuple<const Family*, bool>> {};

TEST_P(MergingEndOfInputTest, ClosesWithWhatWasCopied) {
  const auto [family, at_hours] = GetParam();
  const Family& f = *family;
  const Pieces a = f.MergeInput("RUN A", 1, 2);
  box_.Write("a.bin", a.bytes());
  Script s;
  ToMerge(f, s);
  s.Ask(f.FlagPrompt(), "1ST");
  Enter(f, s, 1, "a.bin", "0 10");
  f.Read(s, 2, true);
  s.Ask(f.FlagPrompt(), "2ND").Show(f.NamePrompt(2));
  if (at_hours) s.Type("a.bin").Show(kHours);
  f.Closing(s, 2);
  f.AfterEndOfInput(s);
  ExpectRun(s, Run(s), 2, kStdinEof);
  std::vector<std::string> summary = f.MergeTitle();
  Append(&summary, f.Listed("a.bin", 1, "RUN A", 0, 10));
  summary.push_back(" END OF FILE UNIT  5 INPUT");
  ExpectSummary(summary);
  ExpectFile(kMerged, a.bytes());
}

INSTANTIATE_TEST_SUITE_P(Families, MergingTest, ::testing::ValuesIn(kFamilies), FamilyName);

INSTANTIATE_TEST_SUITE_P(Families, MergingEndOfInputTest,
                         ::testing::Combine(::testing::ValuesIn(kFamilies), ::testing::Bool()),
                         [](const auto& info) {
                           return std::get<0>(info.param)->name() +
                                  (std::get<1>(info.param) ? "AtTheHours" : "AtTheName");
                         });

}  // namespace
}  // namespace korvant
