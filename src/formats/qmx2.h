#pragma once

#include <cstdint>
#include <span>

#include "formats/read_result.h"
#include "formats/step_filter.h"
#include "formats/step_head.h"
#include "io/record_file.h"

namespace korvant {

// A QMX2 time-step record: time, NP2, per node x-velocity, y-velocity and
// depth (3 x NP2 reals), NDRY (NP2 integers), NE2, IMAT (NE2 integers) and, in
// a long step only, the water-surface elevations (NP2 reals). Whether a file's
// steps are long depends on its header's version code, with a different
// threshold in the merge and in the averaging.
constexpr int kMergeLongFrom = 40;
constexpr int kAverageLongFrom = 42;
// The time of an averaged file's one step, whose water surface is measured
// from the averaging's datum: it tells an averaged file from a model run's.
constexpr float kQmx2AveragedTime = -99.0f;

/// One QMX2 time step: its time and counts, and where its arrays go (or come
/// from when written). The spans' sizes are the limits a read checks.
struct Qmx2Step {
  float time = 0.0f;
  int32_t np = 0;               // NP2
  int32_t ne = 0;               // NE2
  std::span<float> vel;         // x-velocity, y-velocity and depth of each node
  std::span<int32_t> ndry;      // wet/dry code of each node
  std::span<int32_t> imat;      // integer code of each element
  std::span<float> elevations;  // water-surface elevation of each node (long steps)

  int64_t node_limit() const { return static_cast<int64_t>(ndry.size()); }
  int64_t element_limit() const { return static_cast<int64_t>(imat.size()); }
};

/// Data bytes of a step with these counts (counts below zero count as none).
int64_t Qmx2StepBytes(int64_t np, int64_t ne, bool long_step);
/// Byte offset of NE2 within a step record of `np` nodes.
int64_t Qmx2ElementCountAt(int64_t np);

/// Whether the record at the file's position can be a QMX2 time step, from
/// its length and counts alone: it holds exactly what NP2 and NE2 need, in a
/// short or a long step (*long_steps says which). The file is left after the
/// record.
bool CouldBeQmx2Step(RecordFile& in, bool* long_steps);

/// Reads the next time step into `step`. A step of more nodes or elements
/// than its spans hold is kTooLarge (count "NP2" or "NE2") with `np` and `ne`
/// set as the record gives them, before anything is stored beyond a span; the
/// record is then passed over. A step `filter` does not want is checked the
/// same way, but only its time and counts are taken; *passed tells which.
/// On kDamaged the values taken before the damage are kept.
ReadResult ReadQmx2Step(RecordFile& in, bool long_step, Qmx2Step& step,
                        const StepFilter& filter = {}, bool* passed = nullptr);

/// Takes only the time of the next time step; the rest is passed over.
ReadResult ReadQmx2Time(RecordFile& in, float* time);

/// One time step in the record layout above.
void WriteQmx2Step(RecordFile& out, const Qmx2Step& step, bool long_step);

/// Reads the next step record taking only its time and counts, and checks
/// that the counts fill the record exactly (kDamaged when they do not).
ReadResult ReadQmx2StepHead(RecordFile& f, bool long_steps, StepHead* head);

}  // namespace korvant
