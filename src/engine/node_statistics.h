#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/mesh.h"
#include "engine/stream_average.h"
#include "engine/vocabulary.h"

namespace korvant {

/// The hours a node spends above (or below) a value of one field.
struct Threshold {
  std::string field;
  float value = 0.0f;
  bool above = true;
};

/// The statistics beyond the mean that an averaging may add.
struct StatisticsChoices {
  bool std_dev = false;      ///< the population standard deviation
  bool hour_of_max = false;  ///< the hour of each node's largest value
  bool hour_of_min = false;  ///< the hour of each node's smallest value
  std::vector<Threshold> thresholds;
  bool any() const { return std_dev || hour_of_max || hour_of_min || !thresholds.empty(); }
};

/// Per-node statistics of a result file's fields (as its family's driver
/// names them, integer codes left out) over the steps whose hours lie in a
/// window, streaming in double: the standard deviation by Welford's method,
/// over the steps of the window, dividing by their number; the hour at which
/// each node's largest and smallest value was first met; and the hours spent
/// above or below a value, each step standing for half the gap to each of
/// its neighbours in the window. A value that is not a number counts in
/// nothing. Memory grows with the nodes and fields, never with the steps.
class NodeStatistics {
 public:
  explicit NodeStatistics(StatisticsChoices choices) : choices_(std::move(choices)) {}

  /// Reads the steps of `path` from hour `from` to hour `to`, both included,
  /// over `mesh` (its node count is the steps'). "" or what is wrong: a
  /// threshold's field that the file does not hold (naming those it does),
  /// or a step that does not fit the mesh.
  std::string Run(const std::string& path, const Mesh& mesh, float from, float to,
                  int64_t steps = INT64_MAX);

  /// The columns added, each named after its field: "depth_std",
  /// "depth_hour_of_max", "depth_hours_above_2.5", in the field's units or
  /// in hours.
  std::vector<FieldInfo> Columns() const;
  /// The values of node `k` (from 0), one a column; NaN where a node saw no
  /// value.
  void Row(int32_t k, std::vector<Value>* values) const;
  /// Steps in the window.
  int64_t steps() const { return steps_; }
  int32_t nodes() const { return np_; }

 private:
  struct Field {
    size_t index;  // in the series' fields
    FieldInfo info;
    std::vector<double> count, mean, m2;
    std::vector<float> max, min;
    std::vector<float> max_hour, min_hour;
  };
  struct Clock {
    size_t field;  // in fields_
    Threshold rule;
    std::vector<double> hours;
    std::vector<uint8_t> was;  // whether the previous step met the rule at the node
  };
  void Add(std::span<const float> values, Field& f, float hour);
  void Credit(double weight);

  StatisticsChoices choices_;
  int32_t np_ = 0;
  std::vector<Field> fields_;
  std::vector<Clock> clocks_;
  int64_t steps_ = 0;
  std::optional<float> before_last_, last_;  // the hours of the last two steps in the window
};

}  // namespace korvant
