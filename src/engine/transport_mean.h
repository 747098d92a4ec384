#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/node_table.h"
#include "formats/qmx4.h"

namespace korvant {

/// The QMX4 time average of a window of steps: per constituent and node the
/// sum, minimum and maximum of the concentration. Only constituents that
/// every step added carries are averaged: a step with fewer cuts the count
/// for the rest of the window.
template <typename Sum>
class TransportMean {
 public:
  /// `constituents`: the first so many are averaged (none when 0 or less).
  explicit TransportMean(int32_t constituents) : constituents_(constituents) {}

  /// Cuts the constituents averaged to a step's `nqal` when it holds fewer;
  /// true when it did.
  bool Limit(int32_t nqal) {
    const int32_t on_file = std::max(nqal, 0);
    if (constituents_ <= on_file) return false;
    constituents_ = on_file;
    return true;
  }

  /// Takes one step (cutting the constituents to its own first).
  void Add(const Qmx4Step& step) {
    Limit(step.nqal);
    if (!table_) table_ = std::make_unique<NodeTable<Sum>>(rows(), 1.0E20f, -1.0E20f);
    table_->Reach(step.np);
    steps_ += 1.0f;
    for (int k = 0; k < rows(); ++k) {
      table_->Add(k, step.conc.data() + static_cast<size_t>(k) * step.row, step.np);
    }
  }

  int32_t constituents() const { return constituents_; }
  float steps() const { return steps_; }  ///< steps added, counted as a float

  /// The means of the `np` nodes of the last step into `out`, constituent k
  /// at k * `stride` (a node beyond those of the steps added averages 0).
  void Finish(int32_t np, std::span<float> out, size_t stride) {
    if (!table_) return;
    table_->Reach(np);
    table_->Means(rows(), np, steps_, out, stride);
  }

  /// Node `j`'s row of the listing: the node, then the mean, minimum and
  /// maximum of the first `listed` constituents (at most those averaged),
  /// from the means `Finish` wrote.
  void Row(int64_t j, int listed, std::span<const float> means, size_t stride, Unseen unseen,
           std::vector<Value>* values) const {
    table_->Row(j, std::clamp(listed, 0, rows()), means, stride, unseen, values);
  }

 private:
  int rows() const { return std::max(constituents_, 0); }

  int32_t constituents_;
  std::unique_ptr<NodeTable<Sum>> table_;
  float steps_ = 0.0f;
};

}  // namespace korvant
