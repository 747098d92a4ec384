// The QMX10 time-step readers on any bytes, each reading into arrays of
// exactly the size it may fill, so that a value stored past them is a
// sanitizer report; and the writers on what they read: every step read is
// copied as the merge copies it and must read back the same, and the averaged
// record written from the last one reads back as that record.
//
// Input: a flag byte, a byte of node and element limits (`Front::Limits`),
// with bit 2 a window of two hours, and the file.
//   bit 0: a first pass over the times only, then back to the first step
//   bit 1: the averaged record is written from the last step and read back
//   bit 2: steps outside the window give only their time and counts; each
//          such step is then read again in full, which must give the same
//          counts and outcome
//   bits 4 to 6: the degrees of freedom a step may hold (0 to 7)
// Every entry of the count list may be as large as the node limit.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "formats/qmx10.h"
#include "fuzz_support.h"

namespace korvant::fuzz {
namespace {

constexpr int kInUnit = 95;
constexpr int kOutUnit = 90;

// The arrays of a step, as many values as the limits allow, and a count list
// that starts cleared.
struct StepArrays {
  std::vector<int32_t> icnt = std::vector<int32_t>(kQmx10CountList);
  std::vector<float> vdof, rdat3, rdat7, rdat8, rnode, relem;
  std::vector<int32_t> imat, ndry;
  size_t row;

  StepArrays(ArrayLimits limits, int dofs)
      : vdof(static_cast<size_t>(dofs) * static_cast<size_t>(limits.nodes)),
        rdat3(limits.nodes),
        rdat7(limits.nodes),
        rdat8(limits.nodes),
        rnode(limits.nodes),
        relem(limits.elements),
        imat(limits.elements),
        ndry(limits.nodes),
        row(limits.nodes) {}
  Qmx10Step Step() {
    return Qmx10Step{.icnt = icnt,
                     .vdof = vdof,
                     .row = row,
                     .rdat3 = rdat3,
                     .rdat7 = rdat7,
                     .rdat8 = rdat8,
                     .imat = imat,
                     .ndry = ndry,
                     .rnode = rnode,
                     .relem = relem};
  }
};

// The step as its arrays hold it: time, counts and count list, then every
// array up to the count that sizes it, the rows of values taken from `vdof`.
Snapshot SnapshotOf(const Qmx10Step& s, std::span<const float> vdof, float time) {
  Snapshot out;
  Add(&out, time);
  for (int32_t count : {s.np, s.ndf, s.ne, s.ncnt}) Add(&out, count);
  Add<int32_t>(&out, s.icnt, kQmx10CountList);
  auto entry = [&](int k) { return std::clamp<int64_t>(s.icnt[k - 1], 0, s.entry_limit()); };
  for (int k = 1; k <= std::clamp<int64_t>(s.ndf, 0, s.dof_limit()); ++k) {
    Add(&out, vdof.subspan(static_cast<size_t>(k - 1) * s.row), entry(k));
  }
  Add<float>(&out, s.rdat3, entry(3));
  Add<int32_t>(&out, s.imat, s.ne);
  Add<int32_t>(&out, s.ndry, s.np);
  Add<float>(&out, s.rdat7, entry(7));
  Add<float>(&out, s.rdat8, entry(8));
  Add<float>(&out, s.rnode, s.np);
  Add<float>(&out, s.relem, s.ne);
  return out;
}
Snapshot SnapshotOf(const Qmx10Step& s) { return SnapshotOf(s, s.vdof, s.time); }

// What a passed step gives: its time, counts and count list.
struct Counts {
  float time;
  int32_t np, ndf, ne, ncnt;
  int32_t icnt[kQmx10CountList];
  bool operator==(const Counts& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};
Counts CountsOf(const Qmx10Step& s) {
  Counts c{s.time, s.np, s.ndf, s.ne, s.ncnt, {}};
  std::copy(s.icnt.begin(), s.icnt.end(), c.icnt);
  return c;
}

void CheckStep(const ReadResult& result, const Qmx10Step& s, const RecordFile& in, RecordMark at,
               std::string_view file) {
  if (result.ok()) {
    FUZZ_CHECK(s.np <= s.node_limit() && s.ndf <= s.dof_limit() && s.ne <= s.element_limit() &&
                   s.ncnt <= kQmx10CountList,
               "a step read with counts beyond its arrays");
    // Entries beyond the step's own list size its arrays as much as its own.
    for (int32_t entry : s.icnt) {
      FUZZ_CHECK(entry <= s.entry_limit(), "a count list entry beyond its arrays");
    }
  }
  if (result.outcome == Outcome::kTooLarge) {
    // An entry of the count list is refused by its place in the list.
    const std::string_view name = result.too_large.count;
    const int k =
        name.size() == 7 && name.starts_with("ICNT(") && name.ends_with(")") ? name[5] - '0' : 0;
    if (k >= 1 && k <= kQmx10CountList) {
      FUZZ_CHECK(k <= s.ncnt, "a refused entry outside the count list");
      CheckTooLarge(result, {{name, s.icnt[k - 1], s.entry_limit()}});
    } else {
      CheckTooLarge(result, {{"NP", s.np, s.node_limit()},
                             {"NDF", s.ndf, s.dof_limit()},
                             {"NE", s.ne, s.element_limit()},
                             {"NCNT", s.ncnt, kQmx10CountList}});
    }
  }
  CheckStepEnd(result, in, at, file);
}

// Reads the copy into arrays whose count list starts cleared, as it did for
// the original: entries beyond a step's own list size its arrays. Leaves the
// last step in `back`.
void ReadBack(const std::string& path, const std::vector<Snapshot>& steps, Qmx10Step& back) {
  RecordFile in;
  in.OpenExisting(kInUnit, path);
  for (const Snapshot& want : steps) {
    FUZZ_CHECK(ReadQmx10Step(in, back).ok(), "a copied step does not read");
    FUZZ_CHECK(SnapshotOf(back) == want, "a copied step reads back different");
  }
  FUZZ_CHECK(in.Begin() == ReadStatus::kEndOfFile, "more steps copied than written");
}

// Writes the averaged record from `step`, with values of its own in place of
// the step's, and reads it back into `step`: the values in their place, the
// element codes and wet/dry codes kept. A step with neither nodes nor
// elements has no codes to leave out and reads back as a step.
void Averaged(Qmx10Step& step) {
  std::vector<float> dave(step.vdof.size());
  for (size_t i = 0; i < dave.size(); ++i) dave[i] = 0.25f * static_cast<float>(i) - 1.0f;
  const Snapshot want = SnapshotOf(step, dave, kQmx10AveragedTime);
  const bool with_codes = std::max(step.np, 0) + std::max(step.ne, 0) > 0;
  const std::string path = NewScratchPath("averaged");
  RecordFile out;
  out.OpenForWriting(kOutUnit, path);
  WriteQmx10Average(out, step, dave.data());
  out.Close();
  RecordFile in;
  in.OpenExisting(kInUnit, path);
  bool averaged = false;
  FUZZ_CHECK(ReadQmx10Record(in, step, &averaged).ok(), "the averaged record does not read");
  FUZZ_CHECK(averaged == with_codes, "the averaged record taken for a step, or the other way");
  FUZZ_CHECK(SnapshotOf(step) == want, "the averaged record reads back different");
}

void Run(const std::string& path, std::string_view file, uint8_t flags, ArrayLimits limits,
         const StepFilter& window) {
  const int dofs = (flags >> 4) & 7;
  RecordFile in;
  in.OpenExisting(kInUnit, path);
  if (flags & 1) {
    float time;
    int32_t np;
    for (int i = 0; i < kMaxSteps; ++i) {
      const RecordMark at = in.Tell();
      const ReadResult result = ReadQmx10Time(in, &time, &np);
      if (result.outcome == Outcome::kEndOfFile) break;
      CheckStepEnd(result, in, at, file);
      if (!result.ok()) return;
    }
    in.Rewind();
  }
  const std::string copy = NewScratchPath("copy");
  RecordFile out;
  out.OpenForWriting(kOutUnit, copy);
  StepArrays arrays(limits, dofs);
  Qmx10Step step = arrays.Step();
  std::vector<Snapshot> copied;
  for (int i = 0; i < kMaxSteps; ++i) {
    const RecordMark at = in.Tell();
    bool passed = false;
    const ReadResult result = ReadQmx10Step(in, step, window, &passed);
    if (passed) {
      CheckReadAgainInFull(
          in, at, result, [&] { return ReadQmx10Step(in, step); }, [&] { return CountsOf(step); });
    }
    if (result.outcome == Outcome::kEndOfFile) break;
    CheckStep(result, step, in, at, file);
    if (!result.ok()) break;
    FUZZ_CHECK(passed == !window.Wants(step.time), "a step passed against the window");
    WriteQmx10Step(out, step);
    copied.push_back(SnapshotOf(step));
  }
  out.Close();
  StepArrays back_arrays(limits, dofs);
  Qmx10Step back = back_arrays.Step();
  ReadBack(copy, copied, back);
  if ((flags & 2) && !copied.empty()) Averaged(back);
}

}  // namespace

int Qmx10Target(const uint8_t* data, size_t size) {
  Front front(data, size);
  const uint8_t flags = front.Byte();
  const ArrayLimits limits = front.Limits();
  const StepFilter window = (flags & 4) ? front.Window() : StepFilter{};
  const std::string path = ScratchFile("qmx10", front.Rest());
  try {
    Run(path, front.Rest(), flags, limits, window);
  } catch (const RunAborted& abort) {
    CheckAbort(abort);
  }
  return 0;
}

}  // namespace korvant::fuzz

KORVANT_FUZZ_MAIN(Qmx10Target)
