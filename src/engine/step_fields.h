#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "engine/family_driver.h"
#include "formats/identify.h"
#include "formats/read_result.h"
#include "formats/step_filter.h"
#include "io/record_file.h"

namespace korvant {

/// One family's time steps as named node fields over a mesh, one step held
/// in arrays of the mesh's size (`ResultSeries` reads a file through it).
class StepFields {
 public:
  /// `fields` arrays of `np` values each, every value `fill` at first.
  StepFields(int32_t np, size_t fields, float fill)
      : np_(static_cast<size_t>(np)), values_(fields * np_, fill) {}
  virtual ~StepFields() = default;
  /// Reads the step at the file's position: its time and counts into `head`
  /// (the counts also when a count is too large for the mesh's arrays).
  virtual ReadResult Read(RecordFile& f, StepHead* head) = 0;
  /// Field `i` of the step read last at every node, NaN where the step holds
  /// none (the codes of an integer field as the nearest float).
  std::span<const float> values(size_t i) const {
    return std::span<const float>(values_).subspan(i * np_, np_);
  }
  /// The codes of an integer field `i`, exact; empty for a field of reals.
  virtual std::span<const int32_t> codes(size_t) const { return {}; }
  /// From the next read on, a family that turns its record into the fields
  /// node by node does so only at `nodes` (indexes below np, from 0); the
  /// fields at the other nodes keep what they held. Empty: every node.
  void OnlyNodes(std::vector<size_t> nodes) { only_ = std::move(nodes); }
  /// For a family whose steps carry counts from one to the next (a QMX10
  /// count list, as `ReadStepHead` carries it): sets them as they were
  /// before the step read next, so that steps can be read in any order.
  virtual void Carry(std::span<const int32_t> /*counts*/) {}
  /// From the next read on, a step whose time `filter` does not want is
  /// passed with only its time and counts taken (`passed` tells it): its
  /// fields keep what they held.
  void WantOnly(const StepFilter& filter) { filter_ = filter; }
  /// Whether the step read last was passed.
  bool passed() const { return passed_; }

 protected:
  size_t np_;                  ///< the mesh's nodes: the length of every field
  std::vector<float> values_;  ///< field i at i * np_
  std::vector<size_t> only_;   ///< the nodes `OnlyNodes` gave; empty for all
  StepFilter filter_;          ///< the steps `WantOnly` wants
  bool passed_ = false;        ///< set by `Read`

  static void Counts(float time, int32_t np, int32_t ne, int32_t width, StepHead* head) {
    head->time = time;
    head->np = np;
    head->ne = ne;
    head->width = width;
  }
};

}  // namespace korvant
