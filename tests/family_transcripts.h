#pragma once

// The whole-run cases that the QMX2, QMX4 and QMX10 merges and averagings
// share are written once (family_transcript_test.cc) and run for each
// family. Each family's transcript file states, by implementing `Family`,
// what its runs differ in: texts, line layouts, files.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvant {

/// The console's opening lines, before the first question of every run.
inline const std::vector<std::string> kGreeting = {
    " ********************************************",
    " ******* PROGRAM MERGE AND/OR AVERAGE *******",
    " *** Manipulates VELTO, QMX2, QMX4, QMX10 ***",
    " ***    Last Modified:  Aug 9, 1999    ***",
    " ********************************************",
    "",
    " Dimensioned for  20000 Elements, and  60000 Nodes",
    " Program KORVANTv30 was last modified 08-09-1999",
    " ********************************************"};

/// Answers in and console lines out, in the order of the run.
class Transcript {
 public:
  Transcript() = default;
  /// The answers and the console text (each line followed by '\n') of a
  /// family's own script.
  Transcript(std::string input, std::string screen)
      : input_(std::move(input)), screen_(std::move(screen)) {}

  Transcript& Show(std::string_view line) {
    screen_.append(line).push_back('\n');
    return *this;
  }
  Transcript& Show(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) Show(line);
    return *this;
  }
  Transcript& Type(std::string_view answer) {
    input_.append(answer).push_back('\n');
    return *this;
  }
  Transcript& Ask(std::string_view prompt, std::string_view answer) {
    return Show(prompt).Type(answer);
  }
  Transcript& operator+=(const Transcript& more) {
    input_ += more.input_;
    screen_ += more.screen_;
    return *this;
  }

  const std::string& input() const { return input_; }
  const std::string& screen() const { return screen_; }

 private:
  std::string input_;
  std::string screen_;
};

/// A model file kept as its pieces, so that a test can name the bytes that
/// must reappear in a merged file.
struct Pieces {
  std::string header;
  std::vector<std::string> steps;  ///< one framed record each
  std::string bytes() const {
    std::string all = header;
    for (const std::string& step : steps) all += step;
    return all;
  }
};

/// The end of an averaging run and what it leaves.
struct Averaged {
  Transcript rest;                   ///< from the first pass to the end of the run
  std::vector<std::string> summary;  ///< the summary file's lines
  std::string file;                  ///< the averaged file's bytes
};

class Family {
 public:
  virtual ~Family() = default;
  virtual std::string name() const = 0;

  // The merge. Input slots are 1 (flag "1ST") and 2 (flag "2ND").

  /// A file whose steps are at the whole hours first to last; `tag` tells
  /// files apart.
  virtual Pieces MergeInput(std::string_view tag, int first, int last) const = 0;
  /// The driver's questions up to the merge, and the merge's lines up to the
  /// merged file's name.
  virtual Transcript ToMergedName() const = 0;
  virtual std::string_view MergedPrompt() const = 0;
  virtual std::string_view FlagPrompt() const = 0;
  /// The menu "?" brings, its last (empty) line included.
  virtual std::vector<std::string> Menu() const = 0;
  virtual std::string NamePrompt(int slot) const = 0;
  /// Whether the hours are asked before a file's name is checked.
  virtual bool HoursFirst() const = 0;
  /// The lines once an input is open and `copied` of its steps are written
  /// to `merged`; `first` for the first input of the merge.
  virtual Transcript Read(int copied, bool first, std::string_view merged) const = 0;
  virtual Transcript Closing(int total, std::string_view merged) const = 0;
  /// The driver's questions after the merge, answered no, and the end.
  virtual Transcript AfterMerge() const = 0;
  /// The driver's question(s) that meet the end of the input after the merge met it.
  virtual Transcript AfterEndOfInput() const = 0;
  virtual std::vector<std::string> MergeTitle() const = 0;
  /// The summary lines of an input named `name` in `slot`, made by
  /// MergeInput(tag, ...), with its window.
  virtual std::vector<std::string> Listed(std::string_view name, int slot, std::string_view tag,
                                          float from, float to) const = 0;

  // The averaging of in.bin into avg.bin.

  /// Hourly steps at hours 1 to n; 0 gives a file without steps.
  virtual std::string HourlyFile(int n) const = 0;
  /// The driver's questions up to the averaging, its questions answered with
  /// their defaults but for `start` (the window left to the program either
  /// way), and its lines before the first pass.
  virtual Transcript ToFirstPass(std::string_view start) const = 0;
  /// The run over HourlyFile(n) from the first pass on.
  virtual Averaged HourlyAverage(int n) const = 0;
  /// The line of a first pass that meets no end of file.
  virtual std::string Caution() const = 0;
  /// The warning of a window with too few steps.
  virtual std::vector<std::string> NoData(float recn, float start, float stop) const = 0;
  /// The averaged file of a run that stopped before averaging.
  virtual std::string StoppedOutput() const = 0;
};

const Family& Qmx2Family();   // hydro_transcript_test.cc
const Family& Qmx4Family();   // transport_transcript_test.cc
const Family& Qmx10Family();  // threed_transcript_test.cc

/// The first step of the window left to the program over hourly steps at
/// hours 1 to n: 25 steps before the last, or the first of a shorter file.
inline int FirstOfTheWindow(int n) { return n >= 26 ? n - 25 : 1; }

}  // namespace korvant
