#include "formats/qmx2.h"

#include <algorithm>

#include "text/layout.h"
#include "io/run_aborted.h"

namespace korvant {
namespace {

[[noreturn]] void OverRun(Session& s, int32_t np, int32_t ne) {
  TextSink& out = s.out();
  out.Line(" ========== ARRAY OVER-RUN OCCURING ============");
  WriteFree(out, {" ==== JUST read QMX2 with=", ne, np, " Elem-Nodes"});
  WriteFree(out, {" ==== Code dimensions are=", MAXELEM, MAXNODE, "  FIX IT!"});
  out.Line(" ========== Array over-Run STOP Now ============");
  Stop();
}

}  // namespace

ReadStatus ReadHydroStep(Session& s, RecordFile& in, bool long_step, float* elevations,
                         const StepFilter& filter, bool* passed) {
  BLKR2& b = s.blkr2;
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return status;
  if (!in.Reals(&b.TIME2, 1) || !in.Ints(&b.NP2, 1)) return in.Finish();
  const bool wanted = filter.Wants(b.TIME2);
  if (passed != nullptr) *passed = !wanted;
  const int64_t node_bytes = 16 * static_cast<int64_t>(b.NP2);
  if (b.NP2 > MAXNODE || !wanted) {
    // Only the counts: the element count stands behind the node arrays.
    int32_t ne = 0;
    if (!in.Pass(node_bytes) || !in.Ints(&ne, 1)) return in.Finish();
    if (b.NP2 > MAXNODE || ne > MAXELEM) OverRun(s, b.NP2, ne);
    b.NE2 = ne;
    in.Pass(4 * (std::max<int64_t>(ne, 0) + (long_step ? std::max<int64_t>(b.NP2, 0) : 0)));
    return in.Finish();
  }
  if (in.Takes({IntoValues(b.VEL, 3 * static_cast<int64_t>(b.NP2)), IntoValues(b.NDRY, b.NP2)}) &&
      in.Ints(&b.NE2, 1)) {
    if (b.NE2 > MAXELEM) OverRun(s, b.NP2, b.NE2);
    in.Takes({IntoValues(b.IMAT, b.NE2), IntoValues(elevations, long_step ? b.NP2 : 0)});
  }
  return in.Finish();
}

ReadStatus ReadHydroTime(RecordFile& in, float* time) {
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return status;
  in.Reals(time, 1);
  return in.Finish();
}

void WriteHydroStep(RecordFile& out, float time, int32_t np, const float* vel,
                    const int32_t* ndry, int32_t ne, const int32_t* imat, bool long_step,
                    const float* elevations) {
  out.Write({PieceOf(time), PieceOf(np), PiecesOf(vel, 3 * static_cast<int64_t>(np)),
             PiecesOf(ndry, np), PieceOf(ne), PiecesOf(imat, ne),
             PiecesOf(elevations, long_step ? np : 0)});
}

}  // namespace korvant
