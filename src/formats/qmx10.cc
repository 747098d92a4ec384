#include "formats/qmx10.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/limits.h"

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

// The value counts of the arrays behind the count list, in file order: the
// NDF rows, RDAT3, (IMAT, NDRY,) RDAT7, RDAT8, RNODE, RELEM. The one place
// that states the step's layout; negative counts size empty arrays.
// The most arrays a step has: a row for each entry of the count list, then
// RDAT3, IMAT, NDRY, RDAT7, RDAT8, RNODE and RELEM.
constexpr size_t kMostArrays = kQmx10CountList + 7;
using Arrays = std::array<Into, kMostArrays>;

struct ArrayCounts {
  std::array<int64_t, kMostArrays> counts{};
  size_t n = 0;
};

ArrayCounts CountsOf(int64_t np, int64_t ndf, int64_t ne, const int32_t* icnt, bool with_codes) {
  auto entry = [&](int k) { return std::max<int64_t>(icnt[k - 1], 0); };
  ArrayCounts a;
  for (int k = 1; k <= std::min<int64_t>(ndf, kQmx10CountList); ++k) a.counts[a.n++] = entry(k);
  a.counts[a.n++] = entry(kRdat3Entry);
  if (with_codes) {
    a.counts[a.n++] = std::max<int64_t>(ne, 0);
    a.counts[a.n++] = std::max<int64_t>(np, 0);
  }
  a.counts[a.n++] = entry(kRdat7Entry);
  a.counts[a.n++] = entry(kRdat8Entry);
  a.counts[a.n++] = std::max<int64_t>(np, 0);
  a.counts[a.n++] = std::max<int64_t>(ne, 0);
  return a;
}

// The step's arrays as destinations. `vdof` stands in for the step's own
// values (the averaged record writes other rows in their place). Counts are
// clamped to the spans: reading has refused anything larger, so the clamp
// only guards against a caller's mistake.
size_t ArraysOf(const Qmx10Step& s, const float* vdof, bool with_codes, Arrays& out) {
  // Rows beyond the count list have no entry to size them, and are not read.
  const int64_t ndf = std::min<int64_t>(Fit(s.ndf, s.dof_limit()), kQmx10CountList);
  const ArrayCounts a = CountsOf(s.np, ndf, s.ne, s.icnt.data(), with_codes);
  std::array<std::pair<void*, int64_t>, kMostArrays> at;
  size_t n = 0;
  for (int k = 1; k <= ndf; ++k) {
    at[n++] = {const_cast<float*>(vdof) + (k - 1) * s.row, s.entry_limit()};
  }
  at[n++] = {s.rdat3.data(), static_cast<int64_t>(s.rdat3.size())};
  if (with_codes) {
    at[n++] = {s.imat.data(), s.element_limit()};
    at[n++] = {s.ndry.data(), s.node_limit()};
  }
  at[n++] = {s.rdat7.data(), static_cast<int64_t>(s.rdat7.size())};
  at[n++] = {s.rdat8.data(), static_cast<int64_t>(s.rdat8.size())};
  at[n++] = {s.rnode.data(), static_cast<int64_t>(s.rnode.size())};
  at[n++] = {s.relem.data(), static_cast<int64_t>(s.relem.size())};
  for (size_t i = 0; i < n; ++i) out[i] = Into{at[i].first, std::min(a.counts[i], at[i].second)};
  return n;
}

// The largest value entry k (from 1) of the count list may hold: the arrays
// it sizes in step `s`. An entry that sizes none keeps to the rows.
int64_t EntryLimit(const Qmx10Step& s, int k) {
  const auto size = [](const std::span<float>& a) { return static_cast<int64_t>(a.size()); };
  const int64_t rows = s.entry_limit();
  if (k == kRdat3Entry) return k <= s.ndf ? std::min(rows, size(s.rdat3)) : size(s.rdat3);
  if (k == kRdat7Entry) return size(s.rdat7);
  if (k == kRdat8Entry) return size(s.rdat8);
  return rows;
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

// Bytes of the arrays in `arrays`.
int64_t BytesOf(const Arrays& arrays, size_t n) {
  int64_t bytes = 0;
  for (size_t i = 0; i < n; ++i) bytes += 4 * std::max<int64_t>(arrays[i].count, 0);
  return bytes;
}

// With `averaged` set, a record whose length leaves exactly the room for the
// arrays without IMAT and NDRY is read as the averaged record, and
// *averaged says so.
ReadResult TakeStep(RecordFile& in, Qmx10Step& s, const StepFilter& filter, bool* passed,
                    bool* averaged = nullptr) {
  ReadResult refused;
  if (!in.Reals(&s.time, 1) || !TakeCount(in, &s.np, "NP", s.node_limit(), &refused) ||
      !TakeCount(in, &s.ndf, "NDF", s.dof_limit(), &refused) ||
      !TakeCount(in, &s.ne, "NE", s.element_limit(), &refused) ||
      !TakeCount(in, &s.ncnt, "NCNT", static_cast<int64_t>(s.icnt.size()), &refused)) {
    return refused;
  }
  const bool whole_list = in.Ints(s.icnt.data(), s.ncnt);
  // Every entry this record gives is checked, those of a list cut short too,
  // and every entry carried over from an earlier step that sizes an array
  // here: a row, RDAT3, RDAT7 or RDAT8.
  for (int k = 1; k <= kQmx10CountList; ++k) {
    const bool sizes = k <= s.ndf || k == kRdat3Entry || k == kRdat7Entry || k == kRdat8Entry;
    if (k > s.ncnt && !sizes) continue;
    if (const int64_t limit = EntryLimit(s, k); s.icnt[k - 1] > limit) {
      return TooLarge(kEntryNames[k - 1], s.icnt[k - 1], limit);
    }
  }
  if (!whole_list) return refused;
  Arrays arrays;
  size_t n = ArraysOf(s, s.vdof.data(), /*with_codes=*/true, arrays);
  if (averaged != nullptr) {
    Arrays without;
    const size_t m = ArraysOf(s, s.vdof.data(), /*with_codes=*/false, without);
    *averaged = m < n && in.left() == BytesOf(without, m) && in.left() != BytesOf(arrays, n);
    if (*averaged) {
      arrays = without;
      n = m;
    }
  }
  if (filter.Wants(s.time)) {
    in.Takes(std::span(arrays.data(), n));
    return refused;
  }
  if (passed != nullptr) *passed = true;
  in.Pass(BytesOf(arrays, n));
  return refused;
}

// The record of a step, its time taken from `time_at`.
std::vector<Piece> PiecesOfStep(const Qmx10Step& s, const float* time_at, const float* vdof,
                                bool with_codes) {
  std::vector<Piece> pieces = {
      PieceOf(*time_at), PieceOf(s.np),   PieceOf(s.ndf),
      PieceOf(s.ne),     PieceOf(s.ncnt), PiecesOf(s.icnt.data(), Fit(s.ncnt, kQmx10CountList))};
  Arrays arrays;
  const size_t n = ArraysOf(s, vdof, with_codes, arrays);
  for (size_t i = 0; i < n; ++i) {
    pieces.push_back(Piece{arrays[i].data, static_cast<size_t>(arrays[i].count) * 4});
  }
  return pieces;
}

// Data bytes of a record: time, NP, NDF, NE, NCNT, the count list and the arrays.
int64_t RecordBytes(int64_t np, int64_t ndf, int64_t ne, int64_t ncnt, const int32_t* icnt,
                    bool with_codes) {
  const ArrayCounts a = CountsOf(np, ndf, ne, icnt, with_codes);
  int64_t values = 5 + std::clamp<int64_t>(ncnt, 0, kQmx10CountList);
  for (size_t i = 0; i < a.n; ++i) values += a.counts[i];
  return 4 * values;
}

}  // namespace

int64_t Qmx10StepBytes(int64_t np, int64_t ndf, int64_t ne, int64_t ncnt, const int32_t* icnt) {
  return RecordBytes(np, ndf, ne, ncnt, icnt, /*with_codes=*/true);
}

int64_t Qmx10AveragedBytes(int64_t np, int64_t ndf, int64_t ne, int64_t ncnt, const int32_t* icnt) {
  return RecordBytes(np, ndf, ne, ncnt, icnt, /*with_codes=*/false);
}

bool CouldBeQmx10Step(RecordFile& in, bool* averaged) {
  std::array<int32_t, 5 + kQmx10CountList> v{};  // time, NP, NDF, NE, NCNT, ICNT
  const int64_t length = in.Peek(v);
  const int32_t np = v[1], ndf = v[2], ne = v[3], ncnt = v[4];
  std::array<int32_t, kQmx10CountList> icnt{};
  if (length < 0 || np < 0 || ndf < 0 || ndf > MAXDOF || ne < 0 || ncnt < 0 ||
      ncnt > kQmx10CountList || RecordBytes(0, 0, 0, ncnt, icnt.data(), true) > length) {
    return false;
  }
  std::copy(v.begin() + 5, v.begin() + 5 + ncnt, icnt.begin());
  const int64_t step = Qmx10StepBytes(np, ndf, ne, ncnt, icnt.data());
  const int64_t average = Qmx10AveragedBytes(np, ndf, ne, ncnt, icnt.data());
  // Without nodes and elements the two are the same: a time step.
  *averaged = average != step && length == average;
  return length == step || *averaged;
}

ReadResult ReadQmx10Step(RecordFile& in, Qmx10Step& step, const StepFilter& filter, bool* passed) {
  if (passed != nullptr) *passed = false;
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return ResultOf(in, status);
  ReadResult refused = TakeStep(in, step, filter, passed);
  status = in.Finish();
  return refused.outcome == Outcome::kTooLarge ? refused : ResultOf(in, status);
}

ReadResult ReadQmx10Record(RecordFile& in, Qmx10Step& step, bool* averaged,
                           const StepFilter& filter, bool* passed) {
  *averaged = false;
  if (passed != nullptr) *passed = false;
  ReadStatus status = in.Begin();
  if (status != ReadStatus::kOk) return ResultOf(in, status);
  ReadResult refused = TakeStep(in, step, filter, passed, averaged);
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

ReadResult ReadQmx10StepHead(RecordFile& f, bool averaged, StepHead* head, int32_t* icnt) {
  StepHeadReading r(f, head);
  int32_t v[4] = {};
  if (r.begun() && r.Time() && r.Take(v, 4)) {
    head->np = v[0];
    head->width = v[1];
    head->ne = v[2];
    head->listed = v[3];
    r.counts = "NP = " + std::to_string(v[0]) + ", NDF = " + std::to_string(v[1]) +
               ", NE = " + std::to_string(v[2]) + " and NCNT = " + std::to_string(v[3]);
    if (v[3] > kQmx10CountList || v[1] > MAXDOF) {
      r.want = StepHeadReading::kBeyondLayout;
    } else if (r.Take(icnt, std::max(v[3], 0))) {
      r.want = averaged ? Qmx10AveragedBytes(v[0], v[1], v[2], v[3], icnt)
                        : Qmx10StepBytes(v[0], v[1], v[2], v[3], icnt);
    }
  }
  return r.Check();
}

}  // namespace korvant
