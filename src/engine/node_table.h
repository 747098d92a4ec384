#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "engine/node_arrays.h"
#include "text/layout.h"

namespace korvant {

/// How a listing row shows a node's minimum and maximum where no value was
/// seen (every value was not a number, so both still hold their start
/// values, the minimum above the maximum).
enum class Unseen {
  kStartValues,  ///< as they stand, as the console program lists them
  kNotANumber,   ///< as not a number, as the companion programs list them
};

/// Appends a node's minimum and maximum to a listing row.
inline void PushExtremes(float min, float max, Unseen unseen, std::vector<Value>* values) {
  const bool shown = unseen == Unseen::kStartValues || !(min > max);
  values->push_back(shown ? min : std::numeric_limits<float>::quiet_NaN());
  values->push_back(shown ? max : std::numeric_limits<float>::quiet_NaN());
}

/// Running sums, minima and maxima of `rows` quantities at each node, for a
/// time average. Node slots get their start values the first time they are
/// reached, so a table costs what its files' node counts need. `Sum` is the
/// type of the sums (float as the console program sums, or double).
template <typename Sum>
class NodeTable {
 public:
  NodeTable(int rows, float min_start, float max_start)
      : sum_(rows),
        min_(rows, rows),
        max_(rows, 2 * rows),
        sum_start_(rows, Sum(0)),
        min_start_(rows, min_start),
        max_start_(rows, max_start) {}

  int rows() const { return sum_.count(); }

  /// Gives every row's slots up to `nodes` their start values, once.
  void Reach(int64_t nodes) {
    sum_.Grow(nodes, sum_start_);
    min_.Grow(nodes, min_start_);
    max_.Grow(nodes, max_start_);
  }

  /// Adds `n` values of row `r`, node 0 first (strict comparisons: of equal
  /// extremes the first met stays).
  void Add(int r, const float* values, int64_t n) {
    Reach(n);
    Sum* sum = sum_.array(r);
    float* low = min_.array(r);
    float* high = max_.array(r);
    for (int64_t j = 0; j < n; ++j) {
      const float v = values[j];
      sum[j] += v;
      high[j] = v > high[j] ? v : high[j];
      low[j] = v < low[j] ? v : low[j];
    }
  }

  /// The mean of row `r` at node `j` over `steps` steps, as a float.
  float Mean(int r, int64_t j, float steps) const {
    return static_cast<float>(sum_.array(r)[j] / static_cast<Sum>(steps));
  }
  float Min(int r, int64_t j) const { return min_.array(r)[j]; }
  float Max(int r, int64_t j) const { return max_.array(r)[j]; }

  /// The means of the first `rows` rows at nodes 0 to `np` - 1 into `out`,
  /// row r's at r * `stride`, over `steps` steps.
  void Means(int rows, int64_t np, float steps, std::span<float> out, size_t stride) const {
    for (int r = 0; r < rows; ++r) {
      for (int64_t j = 0; j < np; ++j) out[r * stride + static_cast<size_t>(j)] = Mean(r, j, steps);
    }
  }

  /// Node `j`'s row of a listing: the node (from 1), then each of the first
  /// `rows` rows' mean (from `means`, laid out as `Means` writes them),
  /// minimum and maximum.
  void Row(int64_t j, int rows, std::span<const float> means, size_t stride, Unseen unseen,
           std::vector<Value>* values) const {
    values->assign(1, static_cast<int32_t>(j + 1));
    for (int r = 0; r < rows; ++r) {
      values->push_back(means[r * stride + static_cast<size_t>(j)]);
      PushExtremes(Min(r, j), Max(r, j), unseen, values);
    }
  }

 private:
  NodeArrays<Sum> sum_;
  NodeArrays<float> min_, max_;
  std::vector<Sum> sum_start_;
  std::vector<float> min_start_, max_start_;
};

}  // namespace korvant
