#include "formats/qmx4.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "text/layout.h"

namespace korvant {
namespace {

// Bytes of the concentrations of a step: none when either count is zero or
// less. Two huge counts saturate rather than overflow; no record is that long.
int64_t ConcentrationBytes(int32_t nqal, int32_t np4) {
  if (nqal <= 0 || np4 <= 0) return 0;
  int64_t values = static_cast<int64_t>(nqal) * np4;
  return values > INT64_MAX / 4 ? INT64_MAX : 4 * values;
}

}  // namespace

ReadStatus ReadTransportHeader(Session& s, RecordFile& in, HeaderValues* h) {
  ReadStatus status = DetectForm(in, h);
  if (status == ReadStatus::kOk) status = ReadHeader(s, in, h, s.dms.TITLE4);
  if (status == ReadStatus::kOk && h->integer_coded()) {
    s.blkr4.NP4 = h->np;
    s.blkr4.NE4 = h->ne;
  }
  return status;
}

void CopyTransportHeader(Session& s, RecordFile& out, const HeaderValues& h) {
  CopyHeader(s, out, h, s.dms.TITLE4, s.blkr4.NP4, s.blkr4.NE4);
}

void ReportTransportHeader(Session& s, const HeaderValues& h, bool leading_empty_line) {
  const BLKR4& b = s.blkr4;
  const Layout& report = leading_empty_line ? CachedLayout(
                                                  "(/,' Just processed QMX-4 Banners AOK. ',/,"
                                                  "' --> Model Flag (variable MFLG)=     ',I8,/,"
                                                  "' --> Your QMX4 has a version # of:   ',I8,/,"
                                                  "' --> Your QMX4 total nodes/elements: ',2I8,/,"
                                                  "' --> Integer, Real, Title Records:   ',3I5,/)")
                                            : CachedLayout(
                                                  "(' Just processed QMX-4 Banners AOK. ',/,"
                                                  "' --> Model Flag (variable MFLG)=     ',I8,/,"
                                                  "' --> Your QMX4 has a version # of:   ',I8,/,"
                                                  "' --> Your QMX4 total nodes/elements: ',2I8,/,"
                                                  "' --> Integer, Real, Title Records:   ',3I5,/)");
  const Value values[] = {h.MFLG, h.IVERS, b.NP4, b.NE4, h.NIREC, h.NFREC, h.NTITL};
  ApplyLayout(report, values, s.out());
}

ReadStatus ReadTransportStep(Session& s, RecordFile& in, const StepFilter& filter,
                             bool* passed) {
  BLKR4& b = s.blkr4;
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return status;
  if (!in.Reals(&b.TIME, 1) || !in.Ints(&b.NQAL, 1) || !in.Ints(&b.NP4, 1)) return in.Finish();
  const bool wanted = filter.Wants(b.TIME);
  if (passed != nullptr) *passed = !wanted;
  if (b.NQAL > MAXCON || b.NP4 > MAXNODE) {
    // The report names the element count too: it stands behind the concentrations.
    int32_t ne4 = b.NE4;
    if (in.Pass(ConcentrationBytes(b.NQAL, b.NP4))) in.Ints(&ne4, 1);
    DimensionStop(s, b.NP4, ne4);
  }
  if (!wanted) {
    if (in.Pass(ConcentrationBytes(b.NQAL, b.NP4)) && in.Ints(&b.NE4, 1)) {
      if (b.NE4 > MAXELEM) DimensionStop(s, b.NP4, b.NE4);
      in.Pass(4 * static_cast<int64_t>(std::max(b.NE4, 0)));
    }
    return in.Finish();
  }
  std::array<Into, MAXCON> rows;
  size_t n = 0;
  for (int k = 0; k < b.NQAL; ++k) rows[n++] = IntoValues(b.CONC + k * MAXNODE, b.NP4);
  if (!in.Takes(std::span(rows.data(), n))) return in.Finish();
  if (in.Ints(&b.NE4, 1)) {
    if (b.NE4 > MAXELEM) DimensionStop(s, b.NP4, b.NE4);
    in.Ints(b.IMAT4, b.NE4);
  }
  return in.Finish();
}

ReadStatus ReadTransportTime(Session& s, RecordFile& in) {
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return status;
  if (in.Reals(&s.blkr4.TIME, 1)) in.Ints(&s.blkr4.NQAL, 1);
  return in.Finish();
}

void WriteTransportStep(RecordFile& out, float time, int32_t nqal, int32_t np4, const float* conc,
                        int32_t ne4, const int32_t* imat4) {
  static_assert(MAXCON == 6, "one piece per constituent slot below");
  auto constituent = [&](int k) { return PiecesOf(conc + k * MAXNODE, k < nqal ? np4 : 0); };
  out.Write({PieceOf(time), PieceOf(nqal), PieceOf(np4), constituent(0), constituent(1),
             constituent(2), constituent(3), constituent(4), constituent(5), PieceOf(ne4),
             PiecesOf(imat4, ne4)});
}

}  // namespace korvant
