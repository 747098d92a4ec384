#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/family_driver.h"
#include "engine/mesh.h"
#include "engine/step_fields.h"
#include "formats/identify.h"
#include "formats/limits.h"
#include "formats/read_result.h"
#include "io/record_file.h"

namespace korvant {

/// What a read of the series found: the file's own outcome (`read`), or a
/// reason the file does not go with the mesh or its own first step
/// (`refusal`, set only when `read` is kRead).
struct SeriesResult {
  ReadResult read;
  std::string refusal;
  bool ok() const { return read.ok() && refusal.empty(); }
  bool at_end() const { return read.outcome == Outcome::kEndOfFile; }
};

/// Where a time step begins, its hour, and the counts carried into it from
/// the step before (a QMX10 count list; zeros for the other families).
struct StepPlace {
  RecordMark at;
  float time = 0.0f;
  std::array<int32_t, MAXCNT> carried{};
};

/// The time steps of a result file of any family, one at a time, as named
/// node fields over a mesh. Every step must have the mesh's node and element
/// counts, and the number of quantities of the first step. Memory grows with
/// the mesh, never with the steps.
class ResultSeries {
 public:
  /// `file` is open for reading at its start; both outlive the series, and
  /// the mesh is complete when `Open` is called.
  ResultSeries(RecordFile& file, const Mesh& mesh);
  ~ResultSeries();

  /// Tells the file's kind (`Identify`), reads the header and the first
  /// time step, whose quantities name the fields. A file that is no result,
  /// or holds no time step, is refused.
  SeriesResult Open();
  /// Makes the next time step current: the first one on the first call. At
  /// the end of the file `at_end()` is true.
  SeriesResult Next();

  /// The places of every time step, from the step heads alone
  /// (`ReadStepHead`), for reading the steps in any order with `ReadAt`;
  /// after `Open`, and the current step stays current. A step whose counts
  /// differ from the mesh's is refused, as `Next` would refuse it. The list
  /// grows with the steps (48 bytes a step); nothing else does.
  SeriesResult IndexSteps(std::vector<StepPlace>* places);
  /// Makes the step at `place` current, as step `number` (from 1) of the
  /// file; `place` is one that `IndexSteps` gave.
  SeriesResult ReadAt(const StepPlace& place, int64_t number);

  /// The result's kind, once `Open` has told it.
  FileKind kind() const { return id_.kind; }
  const std::string& title() const { return title_; }
  const std::vector<FieldInfo>& fields() const { return fields_; }
  /// An averaged file: one step, of the time or record its family's
  /// averaging marks it with (`FamilyDriver::MarksMeans`).
  bool means() const { return means_; }
  /// Makes the steps after the current one fill their fields only at
  /// `nodes` (from 0, each below the mesh's node count), for a reader that
  /// looks at no others; after `Open`.
  void OnlyNodes(std::vector<size_t> nodes) { steps_->OnlyNodes(std::move(nodes)); }
  /// Makes the steps after the current one whose time `filter` does not
  /// want pass with only their heads read (`passed`): their fields are not
  /// filled; after `Open`.
  void WantOnly(const StepFilter& filter) { steps_->WantOnly(filter); }
  /// Whether the current step was passed (`WantOnly`).
  bool passed() const { return steps_->passed(); }
  /// Makes the series end after its first `steps` steps (those before a
  /// damaged record).
  void StopAfter(int64_t steps) { stop_after_ = steps; }
  /// Index of the field `name` in `fields()`, or -1.
  int FieldIndex(std::string_view name) const;

  /// The current step: its number (from 1), its time in hours, and the
  /// values of field `i` at every node, NaN where the step holds none (the
  /// codes of an integer field as the nearest float).
  int64_t step() const { return step_; }
  float time() const { return time_; }
  std::span<const float> values(size_t i) const;
  /// The codes of an integer field `i` at every node of the current step,
  /// exact; empty for a field of real values.
  std::span<const int32_t> codes(size_t i) const;

 private:
  SeriesResult ReadStep();
  SeriesResult Checked(const ReadResult& read, int32_t np, int32_t ne, int32_t quantities);

  RecordFile& file_;
  const Mesh& mesh_;
  Identity id_;
  std::string title_;
  std::vector<FieldInfo> fields_;
  std::unique_ptr<StepFields> steps_;
  int32_t quantities_ = 0;    // NQAL or NDF of the first step
  RecordMark first_step_at_;  // where the first step begins
  bool first_pending_ = false;
  bool means_ = false;
  int64_t step_ = 0;
  int64_t stop_after_ = INT64_MAX;
  float time_ = 0.0f;
};

}  // namespace korvant
