#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/node_table.h"
#include "formats/qmx10.h"

namespace korvant {

/// The QMX10 time average of a window of steps: per degree of freedom and
/// node the sum, minimum and maximum, and per degree of freedom the overall
/// extremes with the node (from 1) where each was first met.
template <typename Sum>
class ThreedMean {
 public:
  static constexpr float kMinStart = 1.0E10f;
  static constexpr float kMaxStart = -1.0E10f;

  explicit ThreedMean(int dofs)
      : table_(dofs, kMinStart, kMaxStart),
        low_(dofs, kMinStart),
        high_(dofs, kMaxStart),
        low_node_(dofs, 0),
        high_node_(dofs, 0) {}

  /// Takes every degree of freedom of one step (strict comparisons: of equal
  /// extremes the first met, earliest step then lowest node, keeps its node).
  void Add(const Qmx10Step& step) {
    steps_ += 1.0f;
    const int64_t np = std::max<int32_t>(step.np, 0);
    table_.Reach(np);
    const int ndf = std::clamp<int32_t>(step.ndf, 0, table_.rows());
    for (int k = 0; k < ndf; ++k) {
      const float* v = step.vdof.data() + static_cast<size_t>(k) * step.row;
      table_.Add(k, v, np);
      // A value beyond the overall extreme is beyond its node's too.
      for (int64_t n = 0; n < np; ++n) {
        if (v[n] > high_[k]) {
          high_[k] = v[n];
          high_node_[k] = static_cast<int32_t>(n + 1);
        }
        if (v[n] < low_[k]) {
          low_[k] = v[n];
          low_node_[k] = static_cast<int32_t>(n + 1);
        }
      }
    }
  }

  NodeTable<Sum>& table() { return table_; }
  const NodeTable<Sum>& table() const { return table_; }
  float steps() const { return steps_; }  ///< steps added, counted as a float
  float overall_min(int k) const { return low_[k]; }
  float overall_max(int k) const { return high_[k]; }
  int32_t min_node(int k) const { return low_node_[k]; }  ///< from 1; 0 when none
  int32_t max_node(int k) const { return high_node_[k]; }

 private:
  NodeTable<Sum> table_;
  float steps_ = 0.0f;
  std::vector<float> low_, high_;
  std::vector<int32_t> low_node_, high_node_;
};

}  // namespace korvant
