#include "formats/qmx10.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace korvant {
namespace {

// Count-list entries (from 1) that size arrays besides the VDOF rows.
constexpr int kRdat3Entry = 3;
constexpr int kRdat7Entry = 7;
constexpr int kRdat8Entry = 8;
constexpr std::array<std::string_view, kQmx10CountList> kEntryNames = {
    "ICNT(1)", "ICNT(2)", "ICNT(3)", "ICNT(4)", "ICNT(5)", "ICNT(6)", "ICNT(7)", "ICNT(8)"};

// A count as it sizes an array of `capacity` slots. Reading has refused
// anything larger, so the upper clamp only guards against a caller's mistake.
int64_t Fit(int64_t count, int64_t capacity) { return std::clamp<int64_t>(count, 0, capacity); }

int64_t Entry(const Qmx10Step& s, int k) { return Fit(s.icnt[k - 1], s.entry_limit()); }

// The arrays behind the count list, in file order, as a list of destinations.
// `vdof` stands in for the step's own values (the averaged record writes
// other rows in their place); `with_codes` includes IMAT and NDRY.
template <typename T>
size_t ArraysOf(const Qmx10Step& s, T* vdof, bool with_codes, std::array<Into, 13>& out) {
  size_t n = 0;
  for (int k = 1; k <= Fit(s.ndf, s.dof_limit()); ++k) {
    out[n++] = Into{const_cast<float*>(vdof) + (k - 1) * s.row, Entry(s, k)};
  }
  out[n++] = IntoValues(s.rdat3.data(), Entry(s, kRdat3Entry));
  if (with_codes) {
    out[n++] = IntoValues(s.imat.data(), Fit(s.ne, s.element_limit()));
    out[n++] = IntoValues(s.ndry.data(), Fit(s.np, s.node_limit()));
  }
  out[n++] = IntoValues(s.rdat7.data(), Entry(s, kRdat7Entry));
  out[n++] = IntoValues(s.rdat8.data(), Entry(s, kRdat8Entry));
  out[n++] = IntoValues(s.rnode.data(), Fit(s.np, s.node_limit()));
  out[n++] = IntoValues(s.relem.data(), Fit(s.ne, s.element_limit()));
  return n;
}

// Takes one count; false when the record ends first or the count is too large.
bool TakeCount(RecordFile& in, int32_t* count, std::string_view name, int64_t limit,
               ReadResult* refused) {
  if (!in.Ints(count, 1)) return false;
  if (*count > limit) {
    *refused = TooLarge(name, *count, limit);
    return false;
  }
  return true;
}

ReadResult TakeStep(RecordFile& in, Qmx10Step& s, const StepFilter& filter, bool* passed) {
  ReadResult refused;
  if (!in.Reals(&s.time, 1) || !TakeCount(in, &s.np, "NP", s.node_limit(), &refused) ||
      !TakeCount(in, &s.ndf, "NDF", s.dof_limit(), &refused) ||
      !TakeCount(in, &s.ne, "NE", s.element_limit(), &refused) ||
      !TakeCount(in, &s.ncnt, "NCNT", static_cast<int64_t>(s.icnt.size()), &refused)) {
    return refused;
  }
  const bool whole_list = in.Ints(s.icnt.data(), s.ncnt);
  // Entries of a list cut short are checked as well: a later step with a
  // shorter list sizes its arrays with whatever this one left behind.
  for (int k = 1; k <= s.ncnt; ++k) {
    if (s.icnt[k - 1] > s.entry_limit()) {
      return TooLarge(kEntryNames[k - 1], s.icnt[k - 1], s.entry_limit());
    }
  }
  if (!whole_list) return refused;
  std::array<Into, 13> arrays;
  const size_t n = ArraysOf(s, s.vdof.data(), /*with_codes=*/true, arrays);
  if (filter.Wants(s.time)) {
    in.Takes(std::span(arrays.data(), n));
    return refused;
  }
  if (passed != nullptr) *passed = true;
  int64_t bytes = 0;
  for (size_t i = 0; i < n; ++i) bytes += 4 * std::max<int64_t>(arrays[i].count, 0);
  in.Pass(bytes);
  return refused;
}

// The record of a step, its time taken from `time_at`.
std::vector<Piece> PiecesOfStep(const Qmx10Step& s, const float* time_at, const float* vdof,
                                bool with_codes) {
  std::vector<Piece> pieces = {PieceOf(*time_at), PieceOf(s.np), PieceOf(s.ndf), PieceOf(s.ne),
                               PieceOf(s.ncnt),
                               PiecesOf(s.icnt.data(), Fit(s.ncnt, kQmx10CountList))};
  std::array<Into, 13> arrays;
  const size_t n = ArraysOf(s, vdof, with_codes, arrays);
  for (size_t i = 0; i < n; ++i) {
    pieces.push_back(Piece{arrays[i].data, static_cast<size_t>(arrays[i].count) * 4});
  }
  return pieces;
}

}  // namespace

int64_t Qmx10StepBytes(const Qmx10Step& s) {
  std::array<Into, 13> arrays;
  const size_t n = ArraysOf(s, s.vdof.data(), /*with_codes=*/true, arrays);
  int64_t bytes = 4 * (5 + Fit(s.ncnt, kQmx10CountList));
  for (size_t i = 0; i < n; ++i) bytes += 4 * arrays[i].count;
  return bytes;
}

ReadResult ReadQmx10Step(RecordFile& in, Qmx10Step& step, const StepFilter& filter,
                         bool* passed) {
  if (passed != nullptr) *passed = false;
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return ResultOf(in, status);
  ReadResult refused = TakeStep(in, step, filter, passed);
  status = in.Finish();
  return refused.outcome == Outcome::kTooLarge ? refused : ResultOf(in, status);
}

ReadResult ReadQmx10Time(RecordFile& in, float* time, int32_t* np) {
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return ResultOf(in, status);
  if (in.Reals(time, 1)) in.Ints(np, 1);
  return ResultOf(in, in.Finish());
}

void WriteQmx10Step(RecordFile& out, const Qmx10Step& step) {
  out.Write(PiecesOfStep(step, &step.time, step.vdof.data(), /*with_codes=*/true));
}

void WriteQmx10Average(RecordFile& out, const Qmx10Step& step, const float* dave) {
  static constexpr float kTime = kQmx10AveragedTime;
  out.Write(PiecesOfStep(step, &kTime, dave, /*with_codes=*/false));
}

}  // namespace korvant
