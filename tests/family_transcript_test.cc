// Whole-run transcripts of what the QMX2, QMX4 and QMX10 merges and
// averagings share, each case written once and run for every family: the
// automatic window, the 500-step caution, a file without time steps, the
// merged file's name, the merge's menu, input names refused and asked again,
// the end of input at a name or the hours. Each family's transcript file
// states its texts, line layouts and files (family_transcripts.h).

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "family_transcripts.h"
#include "harness.h"

namespace korvant {
namespace {

constexpr std::string_view kHours = " Enter starting and ending decimal hour";
constexpr std::string_view kNoFile = " Sorry ... no such file name ... try again";
constexpr std::string_view kInUse = " Sorry ... that file is in use ... try again";
constexpr std::string_view kOverwrite = " That file name already exists   OverWrite? ";
constexpr std::string_view kStdinEof = "korvant: end-of-file during read, unit 5, file stdin\n";
constexpr std::string_view kMerged = "merged.bin";

const Family* const kFamilies[] = {&Qmx2Family(), &Qmx4Family(), &Qmx10Family()};

std::string FamilyName(const ::testing::TestParamInfo<const Family*>& info) {
  return info.param->name();
}

void Append(std::vector<std::string>* to, const std::vector<std::string>& lines) {
  to->insert(to->end(), lines.begin(), lines.end());
}

class FamilyTest : public ::testing::Test {
 protected:
  RunResult Run(const Transcript& t) {
    RunResult result = box_.Run(t.input());
    EXPECT_FALSE(result.timed_out) << "the run did not end";
    EXPECT_FALSE(result.too_much_output) << "the run wrote without end";
    return result;
  }
  // The whole console, the exit status and stderr.
  void ExpectRun(const Transcript& t, const RunResult& result, int status,
                 std::string_view err = "") {
    EXPECT_EQ(t.screen(), result.out) << FirstDifference(t.screen(), result.out);
    EXPECT_EQ(status, result.status);
    EXPECT_EQ(err, result.err);
  }
  void ExpectSummary(const std::vector<std::string>& lines) {
    std::string want;
    for (const std::string& line : lines) want += line + "\r\n";
    const std::string got = box_.Read("sum.txt");
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

// The window left to the program runs from 25 steps before the last step to
// the last, or from the first step of a shorter file.
class AutomaticWindowTest : public FamilyTest,
                            public ::testing::WithParamInterface<std::tuple<const Family*, int>> {};

TEST_P(AutomaticWindowTest, StartsTwentyFiveStepsBeforeTheLast) {
  const auto [f, n] = GetParam();
  box_.Write("in.bin", f->HourlyFile(n));
  Transcript t = f->ToFirstPass("");
  const Averaged want = f->HourlyAverage(n);
  t += want.rest;
  ExpectRun(t, Run(t), 0);
  ExpectSummary(want.summary);
  ExpectFile("avg.bin", want.file);
}

INSTANTIATE_TEST_SUITE_P(Families, AutomaticWindowTest,
                         ::testing::Combine(::testing::ValuesIn(kFamilies),
                                            ::testing::Values(2, 5, 25, 26, 27, 499)),
                         [](const auto& tested) {
                           return std::get<0>(tested.param)->name() + "Steps" +
                                  std::to_string(std::get<1>(tested.param));
                         });

class AveragingTest : public FamilyTest, public ::testing::WithParamInterface<const Family*> {};

// A first pass that finds no end of file within 500 steps: the caution, the
// stop, nothing in the summary file and nothing averaged. A start of -99
// asks for the automatic window as a blank one does.
TEST_P(AveragingTest, FiveHundredStepsUnderTheAutomaticWindowStopWithACaution) {
  const Family& f = *GetParam();
  box_.Write("in.bin", f.HourlyFile(500));
  Transcript t = f.ToFirstPass("-99");
  t.Show(f.Caution());
  ExpectRun(t, Run(t), 1);
  ExpectSummary({});
  ExpectFile("avg.bin", f.StoppedOutput());
}

// No step to average: the warning on the console and in the summary file,
// with no step counted and the window's ends at -9999, and the stop.
TEST_P(AveragingTest, FileWithoutStepsWarnsAndStops) {
  const Family& f = *GetParam();
  box_.Write("in.bin", f.HourlyFile(0));
  Transcript t = f.ToFirstPass("");
  t.Show(f.NoData(0.0f, -9999.0f, -9999.0f));
  ExpectRun(t, Run(t), 1);
  ExpectSummary(f.NoData(0.0f, -9999.0f, -9999.0f));
  ExpectFile("avg.bin", f.StoppedOutput());
}

INSTANTIATE_TEST_SUITE_P(Families, AveragingTest, ::testing::ValuesIn(kFamilies), FamilyName);

// ---------------------------------------------------------------------------
// The merge.

// Up to the merge and its merged file, merged.bin.
Transcript ToMerge(const Family& f) {
  Transcript t = f.ToMergedName();
  t.Ask(f.MergedPrompt(), kMerged);
  return t;
}

// A file's name and hours; `refusal` is the line that sends the name back.
void Enter(const Family& f, Transcript& t, int slot, std::string_view name, std::string_view hours,
           std::string_view refusal = "") {
  t.Ask(f.NamePrompt(slot), name);
  if (f.HoursFirst() || refusal.empty()) t.Ask(kHours, hours);
  if (!refusal.empty()) t.Show(refusal);
}

class MergingTest : public FamilyTest, public ::testing::WithParamInterface<const Family*> {};

// An existing file named for the merged file is replaced only after a yes:
// a no or a blank answer asks for the name again and leaves the file as it was.
TEST_P(MergingTest, ExistingMergedFileIsReplacedOnlyAfterYes) {
  const Family& f = *GetParam();
  const Pieces a = f.MergeInput("RUN A", 1, 2);
  box_.Write("a.bin", a.bytes());
  box_.Write("keep.bin", "keep these bytes");
  box_.Write("old.bin", std::string(5000, 'x'));
  box_.ExpectOutput("old.bin");
  Transcript t = f.ToMergedName();
  for (const char* no : {"n", ""}) t.Ask(f.MergedPrompt(), "keep.bin").Ask(kOverwrite, no);
  t.Ask(f.MergedPrompt(), "old.bin").Ask(kOverwrite, "y");
  t.Ask(f.FlagPrompt(), "1ST");
  Enter(f, t, 1, "a.bin", "0 10");
  t += f.Read(2, true, "old.bin");
  t.Ask(f.FlagPrompt(), "EXIT");
  t += f.Closing(2, "old.bin");
  t += f.AfterMerge();
  ExpectRun(t, Run(t), 0);
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
  Transcript t = ToMerge(f);
  t.Ask(f.FlagPrompt(), "?").Show(f.Menu()).Type("2nd");
  Enter(f, t, 2, "b.bin", "9 8");
  t += f.Read(0, true, kMerged);
  t.Ask(f.FlagPrompt(), "1St");
  t += f.Closing(0, kMerged);
  t += f.AfterMerge();
  ExpectRun(t, Run(t), 0);
  std::vector<std::string> summary = f.MergeTitle();
  Append(&summary, f.Listed("b.bin", 2, "RUN B", 9, 8));
  ExpectSummary(summary);
  ExpectFile(kMerged, b.header);
}

// Names of no file, and of the files the run is writing (the merged file
// under either name, the summary file), are refused and asked again; the
// name as typed is the one listed.
TEST_P(MergingTest, MissingAndInUseInputsAreAskedAgain) {
  const Family& f = *GetParam();
  const Pieces a = f.MergeInput("RUN A", 1, 2);
  const Pieces b = f.MergeInput("RUN B", 5, 6);
  box_.Write("a.bin", a.bytes());
  box_.Write("b.bin", b.bytes());
  Transcript t = ToMerge(f);
  t.Ask(f.FlagPrompt(), "1ST");
  Enter(f, t, 1, "a.bin", "0 10");
  t += f.Read(2, true, kMerged);
  t.Ask(f.FlagPrompt(), "2ND");
  for (const char* name : {"nothere.bin", ""}) Enter(f, t, 2, name, "0 10", kNoFile);
  for (const char* name : {"merged.bin", "./merged.bin", "sum.txt"}) {
    Enter(f, t, 2, name, "0 10", kInUse);
  }
  Enter(f, t, 2, "  b.bin  ", "6 6");
  t += f.Read(1, false, kMerged);
  t.Ask(f.FlagPrompt(), "EXIT");
  t += f.Closing(3, kMerged);
  t += f.AfterMerge();
  ExpectRun(t, Run(t), 0);
  std::vector<std::string> summary = f.MergeTitle();
  Append(&summary, f.Listed("a.bin", 1, "RUN A", 0, 10));
  Append(&summary, f.Listed("  b.bin  ", 2, "RUN B", 6, 6));
  ExpectSummary(summary);
  ExpectFile(kMerged, a.bytes() + b.steps[1]);
}

INSTANTIATE_TEST_SUITE_P(Families, MergingTest, ::testing::ValuesIn(kFamilies), FamilyName);

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
  Transcript t = ToMerge(f);
  t.Ask(f.FlagPrompt(), "1ST");
  Enter(f, t, 1, "a.bin", "0 10");
  t += f.Read(2, true, kMerged);
  t.Ask(f.FlagPrompt(), "2ND").Show(f.NamePrompt(2));
  if (at_hours) t.Type("a.bin").Show(kHours);
  t += f.Closing(2, kMerged);
  t += f.AfterEndOfInput();
  ExpectRun(t, Run(t), 2, kStdinEof);
  std::vector<std::string> summary = f.MergeTitle();
  Append(&summary, f.Listed("a.bin", 1, "RUN A", 0, 10));
  summary.push_back(" END OF FILE UNIT  5 INPUT");
  ExpectSummary(summary);
  ExpectFile(kMerged, a.bytes());
}

INSTANTIATE_TEST_SUITE_P(Families, MergingEndOfInputTest,
                         ::testing::Combine(::testing::ValuesIn(kFamilies), ::testing::Bool()),
                         [](const auto& tested) {
                           return std::get<0>(tested.param)->name() +
                                  (std::get<1>(tested.param) ? "AtTheHours" : "AtTheName");
                         });

}  // namespace
}  // namespace korvant
