#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/node_table.h"
#include "formats/qmx4.h"

namespace korvant {

/// The QMX4 time average of a window of steps: per constituent and node the
/// sum, minimum and maximum of the concentration.
template <typename Sum>
class TransportMean {
 public:
  explicit TransportMean(int constituents) : table_(constituents, 1.0E20f, -1.0E20f) {}

  /// Takes the first `constituents` constituents of one step.
  void Add(const Qmx4Step& step, int constituents) {
    table_.Reach(step.np);
    steps_ += 1.0f;
    for (int k = 0; k < constituents; ++k) {
      table_.Add(k, step.conc.data() + static_cast<size_t>(k) * step.row, step.np);
    }
  }

  NodeTable<Sum>& table() { return table_; }
  const NodeTable<Sum>& table() const { return table_; }
  float steps() const { return steps_; }  ///< steps added, counted as a float

 private:
  NodeTable<Sum> table_;
  float steps_ = 0.0f;
};

}  // namespace korvant
