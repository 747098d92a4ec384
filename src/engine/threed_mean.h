#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
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

  float steps() const { return steps_; }  ///< steps added, counted as a float

  /// The means of the first `ndf` degrees of freedom at the `np` nodes of
  /// the last step into `out`, degree of freedom k at k * `stride` (a node
  /// beyond those of the steps added averages 0).
  void Finish(int32_t np, int32_t ndf, std::span<float> out, size_t stride) {
    table_.Reach(std::max<int64_t>(np, 1));
    table_.Means(std::clamp<int32_t>(ndf, 0, table_.rows()), std::max(np, 0), steps_, out, stride);
  }

  /// Node `n`'s row of the listing: the node, then the mean, minimum and
  /// maximum of the first `ndf` degrees of freedom, from the means `Finish`
  /// wrote.
  void Row(int64_t n, int32_t ndf, std::span<const float> means, size_t stride, Unseen unseen,
           std::vector<Value>* values) const {
    table_.Row(n, std::clamp<int32_t>(ndf, 0, table_.rows()), means, stride, unseen, values);
  }

  /// The overall extremes as the listing shows them, every degree of freedom
  /// the mean was made for: node and value of each maximum, then of each
  /// minimum (node 0 and the start value where none was met).
  std::vector<Value> Extremes() const {
    const size_t dofs = low_.size();
    std::vector<Value> values(4 * dofs);
    for (size_t k = 0; k < dofs; ++k) {
      values[2 * k] = high_node_[k];
      values[2 * k + 1] = high_[k];
      values[2 * dofs + 2 * k] = low_node_[k];
      values[2 * dofs + 2 * k + 1] = low_[k];
    }
    return values;
  }
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
