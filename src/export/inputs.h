#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/mesh.h"
#include "engine/result_series.h"
#include "export/ugrid_layout.h"
#include "io/record_file.h"
#include "kit/command_line.h"
#include "kit/progress_line.h"

namespace korvant {

/// The time step a user picked: by number (from 1) or by hour; neither for
/// the program's default.
struct StepChoice {
  std::optional<int64_t> step;
  std::optional<double> hours;
  bool made() const { return step.has_value() || hours.has_value(); }
};

/// A mesh, its elements as faces, and a result series over it, opened and
/// checked against each other. Any failure is a `Refusal` naming the file.
class Inputs {
 public:
  /// Without a geometry file (`mesh_name` empty) the mesh has the counts of
  /// the result's first step, no elements drawn and no places: its x, y and
  /// bottom are NaN, and so is a field made from the bottom.
  /// With a geometry file the result is looked at whole for damage (`damage`),
  /// unless `look` is `kByIndex`: a reader that takes `IndexSteps` reads
  /// every step head there, and is refused damage at that point instead.
  enum class Look { kWholeFile, kByIndex };
  Inputs(const std::string& mesh_name, const std::string& result_name,
         std::optional<NodeOrder> order, Look look = Look::kWholeFile);

  const Mesh& mesh() const { return mesh_; }
  const ElementMap& map() const { return map_; }
  const ResultSeries& series() const { return series_; }
  /// The steps from the next on are needed only at `nodes` (from 0).
  void OnlyNodes(std::vector<size_t> nodes) { series_.OnlyNodes(std::move(nodes)); }
  /// The steps from the next on whose hour `wanted` does not want are passed
  /// by their heads (`ResultSeries::WantOnly`).
  void WantOnly(const StepFilter& wanted) { series_.WantOnly(wanted); }
  const std::string& result_name() const { return result_name_; }

  /// Says which node order the elements are read in on stdout (unless
  /// `quiet`), and which elements are left out on stderr, "<program>:
  /// warning: " first; a mesh of which no element can be drawn is then
  /// refused.
  void Announce(std::string_view program, bool quiet) const;
  /// Shows each step reached on `line` ("12 steps, hour 36 <verb>"), when
  /// the line is due.
  void ShowProgress(ProgressLine* line, std::string verb) {
    progress_ = line;
    verb_ = std::move(verb);
  }
  /// The line on the node order.
  std::string OrderReport() const;
  /// Lines about elements left out, if any.
  std::vector<std::string> Warnings() const;

  /// Where the result is damaged, if it is (looked for in the whole file).
  const std::optional<SalvageNote>& damage() const { return damage_; }
  /// Makes the series of a damaged result end before its damage.
  void UseStepsBeforeDamage();
  /// With a damaged result: without `salvage` refuses it; with it, says on
  /// stderr ("<program>: caution: ") where the damage is and that its steps
  /// before it `used` ("are used"), and reads only those.
  void SayDamage(std::string_view program, bool salvage, std::string_view used = "are used");

  /// Makes the next time step current; false at the end of the result.
  bool Next();
  /// Makes the chosen time step current, or the first when none was chosen.
  void MoveTo(const StepChoice& choice);
  /// The place of every step (`ResultSeries::IndexSteps`).
  std::vector<StepPlace> IndexSteps();
  /// Makes the step at `place` current, as step `number` (from 1).
  void ReadAt(const StepPlace& place, int64_t number);

 private:
  void Check(const SeriesResult& result);
  void CountsOfFirstStep();

  std::string mesh_name_, result_name_;
  Mesh mesh_;
  ElementMap map_;
  RecordFile result_file_;
  ResultSeries series_;
  std::optional<SalvageNote> damage_;
  ProgressLine* progress_ = nullptr;
  std::string verb_;
};

/// The calendar time of hour 0, typed as YYYY-MM-DD or YYYY-MM-DDTHH:MM
/// (`--start-date` of the export, the plot and the series); none for any
/// other text or a day that is not in the calendar.
std::optional<std::chrono::sys_seconds> StartDate(std::string_view text);

}  // namespace korvant
