#include "engine/hydro_mean.h"

#include <cmath>

namespace korvant {
namespace {

constexpr float kZeroValue = 0.001f;  // a value within kZeroBand of it counts as zero
constexpr float kZeroBand = 0.01f;
constexpr int32_t kDryCode = 2;
constexpr float kMinStart = 1.0E20f;
constexpr float kMaxStart = -1.0E20f;

bool Near(float x) { return std::fabs(x - kZeroValue) <= kZeroBand; }

// One step into the sums and extremes of every node. Branch-free (the
// comparisons become selects) and with every array declared apart from the
// others (the compiler cannot tell that of the vectors' data), so that the
// loop vectorises.
template <bool kWeighted, bool kShortSteps, typename Sum>
void AccumulateNodes(int64_t np, const float* __restrict vel, float* __restrict wstep,
                     const float* __restrict ao, float datum, Sum* __restrict sumu,
                     Sum* __restrict sumv, Sum* __restrict sumw, Sum* __restrict sumd,
                     float* __restrict umin, float* __restrict umax, float* __restrict vmin,
                     float* __restrict vmax, float* __restrict wmin, float* __restrict wmax) {
  for (int64_t k = 0; k < np; ++k) {
    const float u = vel[3 * k], v = vel[3 * k + 1], d = vel[3 * k + 2];
    if constexpr (kShortSteps) wstep[k] = ao[k] + d;
    const float wse = wstep[k] - datum;
    if constexpr (kWeighted) {
      sumu[k] += static_cast<Sum>(u * d);
      sumv[k] += static_cast<Sum>(v * d);
    } else {
      sumu[k] += u;
      sumv[k] += v;
    }
    sumw[k] += wse;
    sumd[k] += d;
    umax[k] = u > umax[k] ? u : umax[k];
    umin[k] = u < umin[k] ? u : umin[k];
    vmax[k] = v > vmax[k] ? v : vmax[k];
    vmin[k] = v < vmin[k] ? v : vmin[k];
    wmax[k] = wse > wmax[k] ? wse : wmax[k];
    wmin[k] = wse < wmin[k] ? wse : wmin[k];
  }
}

}  // namespace

template <typename Sum>
void HydroMean<Sum>::Reach(int32_t nodes) {
  if (nodes <= reached_) return;
  const Sum zeros[4] = {};
  const float starts[6] = {kMinStart, kMaxStart, kMinStart, kMaxStart, kMinStart, kMaxStart};
  sums_.Grow(nodes, zeros);
  extremes_.Grow(nodes, starts);
  ndry_.resize(static_cast<size_t>(nodes), kDryCode);
  reached_ = nodes;
}

template <typename Sum>
void HydroMean<Sum>::Add(const Qmx2Step& step, bool short_steps, std::span<float> elevations,
                         std::span<const float> bottom) {
  Reach(step.np);
  if (imat_.size() < static_cast<size_t>(std::max(step.ne, 0))) imat_.resize(step.ne, 0);
  for (int32_t e = 0; e < step.ne; ++e) {
    if (step.imat[e] > 0) imat_[e] = step.imat[e];
  }
  for (int32_t k = 0; k < step.np; ++k) {
    if (step.ndry[k] != kDryCode) ndry_[k] = step.ndry[k];
  }
  recn_ += 1.0f;
  if (weighted_) {
    short_steps ? Accumulate<true, true>(step, elevations, bottom)
                : Accumulate<true, false>(step, elevations, bottom);
  } else {
    short_steps ? Accumulate<false, true>(step, elevations, bottom)
                : Accumulate<false, false>(step, elevations, bottom);
  }
}

template <typename Sum>
template <bool kWeighted, bool kShortSteps>
void HydroMean<Sum>::Accumulate(const Qmx2Step& step, std::span<float> elevations,
                                std::span<const float> bottom) {
  AccumulateNodes<kWeighted, kShortSteps>(
      step.np, step.vel.data(), elevations.data(), bottom.data(), datum_, sums_.array(kSumU),
      sums_.array(kSumV), sums_.array(kSumW), sums_.array(kSumD), extremes_.array(kUMin),
      extremes_.array(kUMax), extremes_.array(kVMin), extremes_.array(kVMax),
      extremes_.array(kWMin), extremes_.array(kWMax));
}

template <typename Sum>
typename HydroMean<Sum>::Node HydroMean<Sum>::Average(
    int32_t k, const Qmx2Step& last, std::span<const float> last_elevations) const {
  Node node;
  const Sum recn = static_cast<Sum>(recn_);
  node.depth = static_cast<float>(sums_.array(kSumD)[k] / recn);
  if (Near(node.depth)) {
    const int zeros = 1 + Near(last.vel[3 * k]) + Near(last.vel[3 * k + 1]) +
                      Near(last.vel[3 * k + 2]) + Near(last_elevations[k]) + (last.ndry[k] == 0);
    if (zeros > 3) {
      node.zero_values = zeros;
      return node;
    }
  }
  node.u = static_cast<float>(sums_.array(kSumU)[k] / recn);
  node.v = static_cast<float>(sums_.array(kSumV)[k] / recn);
  if (weighted_) {
    // Over a zero depth the weighted current is taken as still.
    node.u = node.depth != 0.0f ? node.u / node.depth : 0.0f;
    node.v = node.depth != 0.0f ? node.v / node.depth : 0.0f;
  }
  node.surface = static_cast<float>(sums_.array(kSumW)[k] / recn);
  return node;
}

template <typename Sum>
int64_t HydroMean<Sum>::Finish(const Qmx2Step& last, std::span<const float> last_elevations,
                               const HydroAveraged& out,
                               const std::function<void(int32_t, int)>& dry) const {
  int64_t skipped = 0;
  for (int32_t k = 0; k < last.np; ++k) {
    const Node node = Average(k, last, last_elevations);
    if (node.zero_values > 0) {
      ++skipped;
      if (dry) dry(k + 1, node.zero_values);
    }
    out.vel[3 * k] = node.u;
    out.vel[3 * k + 1] = node.v;
    out.vel[3 * k + 2] = node.depth;
    out.surface[k] = node.surface;
    out.dry_codes[k] = dry_code(k);
  }
  for (int32_t e = 0; e < last.ne; ++e) out.element_codes[e] = element_code(e);
  return skipped;
}

template <typename Sum>
void HydroMean<Sum>::Row(int32_t k, const HydroAveraged& results, float x, float y, Unseen unseen,
                         std::vector<Value>* values) const {
  *values = {k + 1, results.dry_codes[k], results.vel[3 * k]};
  PushExtremes(u_min(k), u_max(k), unseen, values);
  values->push_back(results.vel[3 * k + 1]);
  PushExtremes(v_min(k), v_max(k), unseen, values);
  values->push_back(results.surface[k]);
  PushExtremes(w_min(k), w_max(k), unseen, values);
  values->insert(values->end(), {x, y, results.vel[3 * k + 2]});
}

template class HydroMean<float>;
template class HydroMean<double>;

}  // namespace korvant
