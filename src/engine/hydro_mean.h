#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "engine/node_arrays.h"
#include "engine/node_table.h"
#include "formats/qmx2.h"
#include "text/layout.h"

namespace korvant {

/// Where a QMX2 averaging puts the averaged step: one slot per node or
/// element of the last step.
struct HydroAveraged {
  std::span<float> vel;              ///< x- and y-velocity and depth of each node
  std::span<float> surface;          ///< water surface above the datum
  std::span<int32_t> dry_codes;      ///< wet/dry code of each node
  std::span<int32_t> element_codes;  ///< code of each element
};

/// The QMX2 time average of a window of steps: per node the sums of x- and
/// y-velocity (times depth when weighted), of the water surface above the
/// datum and of the depth; the minima and maxima of the velocities and the
/// water surface; the wet/dry codes and element codes the steps left.
/// `Sum` is the type of the running sums: float sums exactly as the console
/// program does, double keeps a long window from drifting.
template <typename Sum>
class HydroMean {
 public:
  HydroMean(bool weighted, float datum) : weighted_(weighted), datum_(datum) {}

  /// Gives node slots up to `nodes` their start values, the first time a
  /// step reaches them: minima 1.0E20, maxima -1.0E20, wet/dry code 2.
  void Reach(int32_t nodes);

  /// Takes one step into the sums and extremes (strict comparisons: a tie
  /// keeps the earlier value). In a short step the water surface is the
  /// bottom plus the depth, written into `elevations` first.
  void Add(const Qmx2Step& step, bool short_steps, std::span<float> elevations,
           std::span<const float> bottom);

  /// One node's results, from the sums and the last step read.
  struct Node {
    float u = 0, v = 0, depth = 0, surface = 0;  ///< the averages written
    int zero_values = 0;  ///< the zero count of a node skipped as dry, else 0
  };
  /// Node `k` (from 0) averaged over the steps added. A node whose average
  /// depth and last values lie within 0.01 of 0.001 (more than three of them,
  /// counting the average depth and a wet/dry code of 0) is skipped as dry:
  /// its velocities and surface stay 0.
  Node Average(int32_t k, const Qmx2Step& last, std::span<const float> last_elevations) const;

  /// Every node's and element's results into `out`, for the counts of the
  /// last step read (`Average`, `dry_code`, `element_code`). `dry` hears of
  /// each node skipped as dry (from 1) with its zero count. Returns how many
  /// nodes were skipped so.
  int64_t Finish(const Qmx2Step& last, std::span<const float> last_elevations,
                 const HydroAveraged& out,
                 const std::function<void(int32_t node, int zero_values)>& dry = {}) const;

  /// Node `k`'s row of the listing (from the results `Finish` wrote): node,
  /// wet/dry code, x-velocity, y-velocity and water surface each as average,
  /// minimum and maximum, the node's `x` and `y`, and the average depth.
  void Row(int32_t k, const HydroAveraged& results, float x, float y, Unseen unseen,
           std::vector<Value>* values) const;

  float steps() const { return recn_; }  ///< steps added, counted as a float
  int32_t dry_code(int32_t k) const { return ndry_[k]; }
  float u_min(int32_t k) const { return extremes_.array(kUMin)[k]; }
  float u_max(int32_t k) const { return extremes_.array(kUMax)[k]; }
  float v_min(int32_t k) const { return extremes_.array(kVMin)[k]; }
  float v_max(int32_t k) const { return extremes_.array(kVMax)[k]; }
  float w_min(int32_t k) const { return extremes_.array(kWMin)[k]; }
  float w_max(int32_t k) const { return extremes_.array(kWMax)[k]; }
  /// Element `e` (from 0): the last positive code the steps gave it, else 0.
  int32_t element_code(int32_t e) const {
    return static_cast<size_t>(e) < imat_.size() ? imat_[e] : 0;
  }

 private:
  template <bool kWeighted, bool kShortSteps>
  void Accumulate(const Qmx2Step& step, std::span<float> elevations, std::span<const float> bottom);

  bool weighted_;
  float datum_;
  float recn_ = 0.0f;
  int32_t reached_ = 0;
  enum { kSumU, kSumV, kSumW, kSumD };
  enum { kUMin, kUMax, kVMin, kVMax, kWMin, kWMax };
  NodeArrays<Sum> sums_{4};
  NodeArrays<float> extremes_{6, /*first=*/4};
  std::vector<int32_t> ndry_, imat_;
};

extern template class HydroMean<float>;
extern template class HydroMean<double>;

}  // namespace korvant
