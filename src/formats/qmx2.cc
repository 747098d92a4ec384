#include "formats/qmx2.h"

#include <algorithm>

namespace korvant {
namespace {

int64_t Values(int64_t count) { return std::max<int64_t>(count, 0); }

// The over-run names the element count too: it stands behind the node arrays.
ReadResult Oversized(RecordFile& in, const Qmx2Step& step) {
  in.Finish();
  return step.np > step.node_limit() ? TooLarge("NP2", step.np, step.node_limit())
                                     : TooLarge("NE2", step.ne, step.element_limit());
}

}  // namespace

int64_t Qmx2StepBytes(int64_t np, int64_t ne, bool long_step) {
  return 4 * (3 + 4 * Values(np) + Values(ne) + (long_step ? Values(np) : 0));
}

ReadResult ReadQmx2Step(RecordFile& in, bool long_step, Qmx2Step& step,
                        const StepFilter& filter, bool* passed) {
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return ResultOf(in, status);
  if (!in.Reals(&step.time, 1) || !in.Ints(&step.np, 1)) return ResultOf(in, in.Finish());
  const bool wanted = filter.Wants(step.time);
  if (passed != nullptr) *passed = !wanted;
  const bool too_many_nodes = step.np > step.node_limit();
  if (too_many_nodes || !wanted) {
    int32_t ne = 0;
    if (!in.Pass(16 * static_cast<int64_t>(step.np)) || !in.Ints(&ne, 1)) {
      return ResultOf(in, in.Finish());
    }
    if (too_many_nodes || ne > step.element_limit()) {
      step.ne = ne;
      return Oversized(in, step);
    }
    step.ne = ne;
    in.Pass(4 * (Values(ne) + (long_step ? Values(step.np) : 0)));
    return ResultOf(in, in.Finish());
  }
  if (in.Takes({IntoValues(step.vel.data(), 3 * static_cast<int64_t>(step.np)),
                IntoValues(step.ndry.data(), step.np)}) &&
      in.Ints(&step.ne, 1)) {
    if (step.ne > step.element_limit()) return Oversized(in, step);
    in.Takes({IntoValues(step.imat.data(), step.ne),
              IntoValues(step.elevations.data(), long_step ? step.np : 0)});
  }
  return ResultOf(in, in.Finish());
}

ReadResult ReadQmx2Time(RecordFile& in, float* time) {
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return ResultOf(in, status);
  in.Reals(time, 1);
  return ResultOf(in, in.Finish());
}

void WriteQmx2Step(RecordFile& out, const Qmx2Step& step, bool long_step) {
  out.Write({PieceOf(step.time), PieceOf(step.np),
             PiecesOf(step.vel.data(), 3 * static_cast<int64_t>(step.np)),
             PiecesOf(step.ndry.data(), step.np), PieceOf(step.ne),
             PiecesOf(step.imat.data(), step.ne),
             PiecesOf(step.elevations.data(), long_step ? step.np : 0)});
}

}  // namespace korvant
