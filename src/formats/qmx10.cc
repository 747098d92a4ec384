#include "formats/qmx10.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "formats/limits.h"
#include "dialogue/refuse.h"

namespace korvant {
namespace {

constexpr std::string_view kKind = "QMX10 file";
constexpr float kAveragedTime = 9999.0f;
// Count-list entries (from 1) that size arrays besides the VDOF rows.
constexpr int kRdat3Entry = 3;
constexpr int kRdat7Entry = 7;
constexpr int kRdat8Entry = 8;

// A count as it sizes an array of `capacity` slots. Reading has refused
// anything larger, so the upper clamp only guards against a caller's mistake.
int32_t Fit(int32_t count, int32_t capacity) { return std::clamp(count, 0, capacity); }

int32_t Entry(const BLKR10_SED& sed, int k) { return Fit(sed.ICNT[k - 1], MAXNODE); }

// Row k (from 1) of a table laid out like VDOF.
template <typename T>
T* Row(T* table, int k) {
  return table + static_cast<size_t>(k - 1) * MAXNODE;
}

// Values of degree of freedom k as written: none beyond NDF.
Piece RowPiece(const float* table, const BLKR10& b, const BLKR10_SED& sed, int k) {
  return PiecesOf(Row(table, k), k <= Fit(b.NDF, MAXDOF) ? Entry(sed, k) : 0);
}

bool TakeCount(Session& s, RecordFile& in, int32_t* count, std::string_view name,
               int32_t limit) {
  if (!in.Ints(count, 1)) return false;
  if (Exceeds(*count, limit)) RefuseCount(s.out(), kKind, name, *count, limit);
  return true;
}

bool TakeStep(Session& s, RecordFile& in, int32_t* NCNT, const StepFilter& filter,
              bool* passed) {
  BLKR10& b = s.blkr10;
  BLKR10_SED& sed = s.blkr10_sed;
  if (!in.Reals(&b.TIME, 1) || !TakeCount(s, in, &b.NP, "NP", MAXNODE) ||
      !TakeCount(s, in, &b.NDF, "NDF", MAXDOF) || !TakeCount(s, in, &b.NE, "NE", MAXELEM) ||
      !TakeCount(s, in, NCNT, "NCNT", MAXCNT)) {
    return false;
  }
  bool whole_list = in.Ints(sed.ICNT, *NCNT);
  // Entries of a list cut short are checked as well: a later step with a
  // shorter list sizes its arrays with whatever this one left behind.
  for (int k = 1; k <= *NCNT; ++k) {
    if (Exceeds(sed.ICNT[k - 1], MAXNODE)) {
      RefuseCount(s.out(), kKind, "ICNT(" + std::to_string(k) + ")", sed.ICNT[k - 1], MAXNODE);
    }
  }
  if (!whole_list) return false;
  std::array<Into, MAXDOF + 7> arrays;
  size_t n = 0;
  for (int k = 1; k <= b.NDF; ++k) arrays[n++] = IntoValues(Row(b.VDOF, k), Entry(sed, k));
  arrays[n++] = IntoValues(s.blkr2.WSEL, Entry(sed, kRdat3Entry));
  arrays[n++] = IntoValues(s.blkr2.IMAT, b.NE);
  arrays[n++] = IntoValues(s.blkr2.NDRY, b.NP);
  arrays[n++] = IntoValues(sed.RDAT7, Entry(sed, kRdat7Entry));
  arrays[n++] = IntoValues(sed.RDAT8, Entry(sed, kRdat8Entry));
  arrays[n++] = IntoValues(b.RNODE, b.NP);
  arrays[n++] = IntoValues(sed.RELEM, b.NE);
  if (filter.Wants(b.TIME)) return in.Takes(std::span(arrays.data(), n));
  if (passed != nullptr) *passed = true;
  int64_t bytes = 0;
  for (size_t i = 0; i < n; ++i) bytes += 4 * std::max<int64_t>(arrays[i].count, 0);
  return in.Pass(bytes);
}

}  // namespace

ReadStatus ReadQmx10Step(Session& s, RecordFile& in, int32_t* NCNT, const StepFilter& filter,
                         bool* passed) {
  if (passed != nullptr) *passed = false;
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return status;
  TakeStep(s, in, NCNT, filter, passed);
  return in.Finish();
}

ReadStatus ReadQmx10Time(RecordFile& in, float* time, int32_t* np) {
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return status;
  if (in.Reals(time, 1)) in.Ints(np, 1);
  return in.Finish();
}

void WriteQmx10Step(Session& s, RecordFile& out, int32_t NCNT) {
  const BLKR10& b = s.blkr10;
  const BLKR10_SED& sed = s.blkr10_sed;
  const BLKR2& b2 = s.blkr2;
  out.Write({PieceOf(b.TIME), PieceOf(b.NP), PieceOf(b.NDF), PieceOf(b.NE), PieceOf(NCNT),
             PiecesOf(sed.ICNT, Fit(NCNT, MAXCNT)), RowPiece(b.VDOF, b, sed, 1),
             RowPiece(b.VDOF, b, sed, 2), RowPiece(b.VDOF, b, sed, 3),
             RowPiece(b.VDOF, b, sed, 4), RowPiece(b.VDOF, b, sed, 5),
             RowPiece(b.VDOF, b, sed, 6), PiecesOf(b2.WSEL, Entry(sed, kRdat3Entry)),
             PiecesOf(b2.IMAT, Fit(b.NE, MAXELEM)), PiecesOf(b2.NDRY, Fit(b.NP, MAXNODE)),
             PiecesOf(sed.RDAT7, Entry(sed, kRdat7Entry)),
             PiecesOf(sed.RDAT8, Entry(sed, kRdat8Entry)), PiecesOf(b.RNODE, Fit(b.NP, MAXNODE)),
             PiecesOf(sed.RELEM, Fit(b.NE, MAXELEM))});
}

void WriteQmx10Average(Session& s, RecordFile& out, int32_t NCNT, const float* dave) {
  const BLKR10& b = s.blkr10;
  const BLKR10_SED& sed = s.blkr10_sed;
  out.Write({PieceOf(kAveragedTime), PieceOf(b.NP), PieceOf(b.NDF), PieceOf(b.NE),
             PieceOf(NCNT), PiecesOf(sed.ICNT, Fit(NCNT, MAXCNT)), RowPiece(dave, b, sed, 1),
             RowPiece(dave, b, sed, 2), RowPiece(dave, b, sed, 3), RowPiece(dave, b, sed, 4),
             RowPiece(dave, b, sed, 5), RowPiece(dave, b, sed, 6),
             PiecesOf(s.blkr2.WSEL, Entry(sed, kRdat3Entry)),
             PiecesOf(sed.RDAT7, Entry(sed, kRdat7Entry)),
             PiecesOf(sed.RDAT8, Entry(sed, kRdat8Entry)), PiecesOf(b.RNODE, Fit(b.NP, MAXNODE)),
             PiecesOf(sed.RELEM, Fit(b.NE, MAXELEM))});
}

}  // namespace korvant
