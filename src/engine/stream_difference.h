#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/vocabulary.h"
#include "formats/identify.h"
#include "formats/read_result.h"
#include "io/record_file.h"

namespace korvant {

class DifferenceFamily;

/// Where a difference was largest one way: its value (B minus A), the node
/// (from 1) and the hour of the step where it was first met.
struct Change {
  float value = 0;
  int64_t node = 0;
  float hour = 0;
};

/// One field's largest increase (B above A) and largest decrease (B below
/// A) over every step compared; unset when B is nowhere above, or nowhere
/// below, A.
struct FieldChange {
  FieldInfo field;
  std::optional<Change> increase, decrease;
};

/// One of the two files: its steps, and those skipped because the other
/// file holds no step at their hour.
struct DifferenceInput {
  int64_t steps = 0;
  int64_t skipped = 0;
  std::optional<float> back_at;  ///< the first hour at or before the hour before it
  /// Salvaged: the first damaged record; `steps` are those before it.
  std::optional<Damage> damage;
};

/// What a difference found. `error` says why it failed.
struct DifferenceReport {
  std::string error;
  Identity identity;  ///< of B, whose header, codes and counts the difference keeps
  int32_t nodes = 0, elements = 0;
  int32_t quantities =
      0;  ///< of the first step compared: QMX4 constituents, QMX10 degrees of freedom
  DifferenceInput a, b;
  int64_t steps = 0;  ///< compared, and written
  std::optional<float> first_hour, last_hour;
  bool one_step_each = false;  ///< two one-step files, compared whatever their hours
  bool means = false;          ///< B is an averaged file
  std::vector<FieldChange> changes;
};

/// B minus A, node by node, for two result files of one family laid out
/// alike, streaming: memory grows with their node counts, never with their
/// steps. Two one-step files (two averages) are compared as they are; runs
/// step by step at the hours both hold, walking both in step (each file's
/// times are taken to increase), the others skipped and counted.
///
/// `Check` reads every step head of both files (framing and counts) and
/// finds the steps to compare, refusing files of different families or
/// layouts, and steps compared whose counts differ, before anything is
/// written. `Write` then writes B's header and, for each pair, B's step with
/// its fields made B minus A (the codes, counts and other arrays B's), and
/// finds each field's largest increase and decrease.
class StreamDifference {
 public:
  /// With `salvage`, a file damaged after its header gives its steps before
  /// the first damaged record; without, it is refused.
  StreamDifference(std::string a, std::string b, bool salvage = false);
  ~StreamDifference();

  /// False when the two cannot be compared (report().error says why).
  bool Check();
  /// False when a file could not be read (report().error says why); a failed
  /// write ends the run (`RunAborted`). `steps` is called after each step
  /// written.
  bool Write(RecordFile& out, const std::function<void(int64_t steps)>& steps = {});
  const DifferenceReport& report() const { return report_; }

 private:
  struct Walk;
  bool Pass(bool write, RecordFile* out, const std::function<void(int64_t)>& steps);
  /// B's fields of the pair read last made B minus A, their extremes noted.
  void Subtract(float hour);

  std::string a_, b_;
  bool salvage_ = false;
  Identity a_id_;
  std::unique_ptr<DifferenceFamily> family_;
  DifferenceReport report_;
};

}  // namespace korvant
