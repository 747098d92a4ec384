#pragma once

#include <cstdint>
#include <vector>

namespace korvant {

/// Running sums, minima and maxima of `rows` quantities at each node, for a
/// time average. Node slots get their start values the first time they are
/// reached, so a table costs what its files' node counts need. `Sum` is the
/// type of the sums (float as the console program sums, or double).
template <typename Sum>
class NodeTable {
 public:
  NodeTable(int rows, float min_start, float max_start)
      : min_start_(min_start), max_start_(max_start), sum_(rows), min_(rows), max_(rows) {}

  int rows() const { return static_cast<int>(sum_.size()); }
  int64_t reached() const { return reached_; }

  /// Gives every row's slots up to `nodes` their start values, once.
  void Reach(int64_t nodes) {
    if (nodes <= reached_) return;
    for (int r = 0; r < rows(); ++r) {
      sum_[r].resize(static_cast<size_t>(nodes), Sum(0));
      min_[r].resize(static_cast<size_t>(nodes), min_start_);
      max_[r].resize(static_cast<size_t>(nodes), max_start_);
    }
    reached_ = nodes;
  }

  /// Adds `n` values of row `r`, node 0 first (strict comparisons: of equal
  /// extremes the first met stays).
  void Add(int r, const float* values, int64_t n) {
    Reach(n);
    Sum* sum = sum_[r].data();
    float* low = min_[r].data();
    float* high = max_[r].data();
    for (int64_t j = 0; j < n; ++j) {
      const float v = values[j];
      sum[j] += v;
      high[j] = v > high[j] ? v : high[j];
      low[j] = v < low[j] ? v : low[j];
    }
  }

  /// The mean of row `r` at node `j` over `steps` steps, as a float.
  float Mean(int r, int64_t j, float steps) const {
    return static_cast<float>(sum_[r][j] / static_cast<Sum>(steps));
  }
  float Min(int r, int64_t j) const { return min_[r][j]; }
  float Max(int r, int64_t j) const { return max_[r][j]; }

 private:
  float min_start_, max_start_;
  int64_t reached_ = 0;
  std::vector<std::vector<Sum>> sum_;
  std::vector<std::vector<float>> min_, max_;
};

}  // namespace korvant
