#include "formats/qmx2.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace korvant {
namespace {

int64_t Values(int64_t count) { return std::max<int64_t>(count, 0); }

// A step's arrays in file order, in the two runs that the element count
// parts: the node arrays before it, the element codes and elevations after
// it. The one statement of the step's layout that reading, passing, writing
// and sizing a step all follow.
struct Arrays {
  std::array<Into, 2> before_ne;
  std::array<Into, 2> after_ne;
};

Arrays ArraysOf(const Qmx2Step& s, bool long_step) {
  return Arrays{
      {IntoValues(s.vel.data(), 3 * int64_t{s.np}), IntoValues(s.ndry.data(), s.np)},
      {IntoValues(s.imat.data(), s.ne), IntoValues(s.elevations.data(), long_step ? s.np : 0)}};
}

int64_t Bytes(std::span<const Into> arrays) {
  int64_t bytes = 0;
  for (const Into& a : arrays) bytes += 4 * Values(a.count);
  return bytes;
}

// The over-run names the element count too: it stands behind the node arrays.
ReadResult Oversized(RecordFile& in, const Qmx2Step& step) {
  in.Finish();
  return step.np > step.node_limit() ? TooLarge("NP2", step.np, step.node_limit())
                                     : TooLarge("NE2", step.ne, step.element_limit());
}

Qmx2Step Counts(int64_t np, int64_t ne) {
  Qmx2Step counts;
  counts.np = static_cast<int32_t>(std::clamp<int64_t>(np, INT32_MIN, INT32_MAX));
  counts.ne = static_cast<int32_t>(std::clamp<int64_t>(ne, INT32_MIN, INT32_MAX));
  return counts;
}

}  // namespace

int64_t Qmx2StepBytes(int64_t np, int64_t ne, bool long_step) {
  const Arrays a = ArraysOf(Counts(np, ne), long_step);
  return 12 + Bytes(a.before_ne) + Bytes(a.after_ne);  // time, NP2, NE2 and the arrays
}

int64_t Qmx2ElementCountAt(int64_t np) {
  return 8 + Bytes(ArraysOf(Counts(np, 0), false).before_ne);  // behind time and NP2
}

bool CouldBeQmx2Step(RecordFile& in, bool* long_steps) {
  const RecordMark at = in.Tell();
  int32_t head[2] = {};  // time, NP2
  const int64_t length = in.Peek(head);
  const int32_t np = head[1];
  if (length < 0 || np < 0 || Qmx2StepBytes(np, 0, false) > length) return false;
  in.Seek(at);
  int32_t ne = 0;
  in.Peek({&ne, 1}, Qmx2ElementCountAt(np));
  if (ne < 0) return false;
  *long_steps = length == Qmx2StepBytes(np, ne, true);
  return *long_steps || length == Qmx2StepBytes(np, ne, false);
}

ReadResult ReadQmx2Step(RecordFile& in, bool long_step, Qmx2Step& step, const StepFilter& filter,
                        bool* passed) {
  if (passed != nullptr) *passed = false;
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return ResultOf(in, status);
  if (!in.Reals(&step.time, 1) || !in.Ints(&step.np, 1)) return ResultOf(in, in.Finish());
  const bool wanted = filter.Wants(step.time);
  if (passed != nullptr) *passed = !wanted;
  const bool too_many_nodes = step.np > step.node_limit();
  if (too_many_nodes || !wanted) {
    int32_t ne = 0;
    if (!in.Pass(Bytes(ArraysOf(step, long_step).before_ne)) || !in.Ints(&ne, 1)) {
      return ResultOf(in, in.Finish());
    }
    step.ne = ne;
    if (too_many_nodes || ne > step.element_limit()) return Oversized(in, step);
    in.Pass(Bytes(ArraysOf(step, long_step).after_ne));
    return ResultOf(in, in.Finish());
  }
  if (in.Takes(ArraysOf(step, long_step).before_ne) && in.Ints(&step.ne, 1)) {
    if (step.ne > step.element_limit()) return Oversized(in, step);
    in.Takes(ArraysOf(step, long_step).after_ne);
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
  const Arrays a = ArraysOf(step, long_step);
  out.Write({PieceOf(step.time), PieceOf(step.np), PieceOf(a.before_ne[0]), PieceOf(a.before_ne[1]),
             PieceOf(step.ne), PieceOf(a.after_ne[0]), PieceOf(a.after_ne[1])});
}

ReadResult ReadQmx2StepHead(RecordFile& f, bool long_steps, StepHead* head) {
  StepHeadReading r(f, head);
  head->width = 0;
  if (r.begun() && r.Time() && r.Take(&head->np, 1)) {
    r.counts = "NP2 = " + std::to_string(head->np);
    if (r.Take(&head->ne, 1, Qmx2ElementCountAt(head->np))) {
      r.want = Qmx2StepBytes(head->np, head->ne, long_steps);
      r.counts += " and NE2 = " + std::to_string(head->ne);
    }
  }
  return r.Check();
}

}  // namespace korvant
