#include "formats/qmx4.h"

#include <algorithm>
#include <string>
#include <vector>

namespace korvant {
namespace {

// Bytes of the concentrations of a step: none when either count is zero or
// less. Two huge counts saturate rather than overflow, with room left for the
// rest of the step; no record is that long.
int64_t ConcentrationBytes(int64_t nqal, int64_t np) {
  constexpr int64_t kMost = INT64_MAX / 2;
  if (nqal <= 0 || np <= 0) return 0;
  if (nqal > kMost / 4 / np) return kMost;
  return 4 * nqal * np;
}

// A step's arrays in file order: the NQAL constituent rows before the
// element count, the element codes after it. The one statement of the step's
// layout that reading, writing and sizing a step follow.
Into Row(const Qmx4Step& s, int k) {
  return IntoValues(s.conc.data() + static_cast<size_t>(k) * s.row, s.np);
}
Into ElementCodes(const Qmx4Step& s) { return IntoValues(s.imat.data(), s.ne); }

ReadResult Oversized(RecordFile& in, std::string_view count, int64_t value, int64_t limit) {
  in.Finish();
  return TooLarge(count, value, limit);
}

}  // namespace

int64_t Qmx4StepBytes(int64_t nqal, int64_t np, int64_t ne) {
  return 16 + ConcentrationBytes(nqal, np) + 4 * std::max<int64_t>(ne, 0);
}

int64_t Qmx4ElementCountAt(int64_t nqal, int64_t np) {
  return 12 + ConcentrationBytes(nqal, np);  // behind time, NQAL and NP4
}

bool CouldBeQmx4Step(RecordFile& in) {
  const RecordMark at = in.Tell();
  int32_t head[3] = {};  // time, NQAL, NP4
  const int64_t length = in.Peek(head);
  const int32_t nqal = head[1], np = head[2];
  if (length < 0 || nqal < 0 || np < 0 || Qmx4StepBytes(nqal, np, 0) > length) return false;
  in.Seek(at);
  int32_t ne = 0;
  in.Peek({&ne, 1}, Qmx4ElementCountAt(nqal, np));
  return ne >= 0 && length == Qmx4StepBytes(nqal, np, ne);
}

ReadResult ReadQmx4Step(RecordFile& in, Qmx4Step& step, const StepFilter& filter, bool* passed) {
  if (passed != nullptr) *passed = false;
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return ResultOf(in, status);
  if (!in.Reals(&step.time, 1) || !in.Ints(&step.nqal, 1) || !in.Ints(&step.np, 1)) {
    return ResultOf(in, in.Finish());
  }
  const bool wanted = filter.Wants(step.time);
  if (passed != nullptr) *passed = !wanted;
  if (step.nqal > step.constituent_limit() || step.np > step.node_limit()) {
    // The report names the element count too: it stands behind the concentrations.
    if (in.Pass(ConcentrationBytes(step.nqal, step.np))) in.Ints(&step.ne, 1);
    return step.nqal > step.constituent_limit()
               ? Oversized(in, "NQAL", step.nqal, step.constituent_limit())
               : Oversized(in, "NP4", step.np, step.node_limit());
  }
  if (!wanted) {
    if (in.Pass(ConcentrationBytes(step.nqal, step.np)) && in.Ints(&step.ne, 1)) {
      if (step.ne > step.element_limit()) {
        return Oversized(in, "NE4", step.ne, step.element_limit());
      }
      in.Pass(4 * std::max<int64_t>(ElementCodes(step).count, 0));
    }
    return ResultOf(in, in.Finish());
  }
  // The rows go in groups, so that rows that follow each other in memory are
  // taken by one read.
  constexpr int kGroup = 16;
  Into rows[kGroup];
  for (int first = 0; first < step.nqal; first += kGroup) {
    const int n = std::min(kGroup, step.nqal - first);
    for (int k = 0; k < n; ++k) rows[k] = Row(step, first + k);
    if (!in.Takes(std::span(rows, static_cast<size_t>(n)))) return ResultOf(in, in.Finish());
  }
  if (in.Ints(&step.ne, 1)) {
    if (step.ne > step.element_limit()) {
      return Oversized(in, "NE4", step.ne, step.element_limit());
    }
    in.Takes({ElementCodes(step)});
  }
  return ResultOf(in, in.Finish());
}

ReadResult ReadQmx4Time(RecordFile& in, float* time, int32_t* nqal) {
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return ResultOf(in, status);
  if (in.Reals(time, 1)) in.Ints(nqal, 1);
  return ResultOf(in, in.Finish());
}

void WriteQmx4Step(RecordFile& out, const Qmx4Step& step) {
  std::vector<Piece> pieces;
  pieces.reserve(6 + static_cast<size_t>(std::max(step.nqal, 0)));
  pieces.push_back(PieceOf(step.time));
  pieces.push_back(PieceOf(step.nqal));
  pieces.push_back(PieceOf(step.np));
  for (int k = 0; k < step.nqal; ++k) pieces.push_back(PieceOf(Row(step, k)));
  pieces.push_back(PieceOf(step.ne));
  pieces.push_back(PieceOf(ElementCodes(step)));
  out.Write(pieces);
}

ReadResult ReadQmx4StepHead(RecordFile& f, StepHead* head) {
  StepHeadReading r(f, head);
  int32_t v[2] = {};
  if (r.begun() && r.Time() && r.Take(v, 2)) {
    head->width = v[0];
    head->np = v[1];
    r.counts = "NQAL = " + std::to_string(v[0]) + ", NP4 = " + std::to_string(v[1]);
    if (r.Take(&head->ne, 1, Qmx4ElementCountAt(v[0], v[1]))) {
      r.want = Qmx4StepBytes(head->width, head->np, head->ne);
      r.counts += " and NE4 = " + std::to_string(head->ne);
    }
  }
  return r.Check();
}

}  // namespace korvant
