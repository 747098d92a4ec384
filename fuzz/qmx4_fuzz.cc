// The QMX4 header and time-step readers on any bytes, each reading into
// arrays of exactly the size it may fill, so that a value stored past them is
// a sanitizer report; and the writers on what they read: the header and
// every step read are copied as the merge copies them, and the copy must read
// back the same.
//
// Input: a flag byte, a byte of node and element limits (`Front::Limits`),
// with bit 2 a window of two hours, and the file.
//   bit 0: a first pass over the times only, then back to the first step
//   bit 2: steps outside the window give only their time and counts; each
//          such step is then read again in full, which must give the same
//          counts and outcome
//   bits 4 to 6: the constituents a step may hold (0 to 7)

#include <cstring>
#include <string>
#include <vector>

#include "formats/header.h"
#include "formats/qmx4.h"
#include "fuzz_support.h"

namespace korvant::fuzz {
namespace {

constexpr int kInUnit = 70;
constexpr int kOutUnit = 80;

// The arrays of a step: `constituents` rows of as many nodes as the limits
// allow, and the element codes.
struct StepArrays {
  std::vector<float> conc;
  std::vector<int32_t> imat;
  size_t row;

  StepArrays(ArrayLimits limits, int constituents)
      : conc(static_cast<size_t>(constituents) * static_cast<size_t>(limits.nodes)),
        imat(limits.elements),
        row(limits.nodes) {}
  Qmx4Step Step() { return Qmx4Step{.conc = conc, .row = row, .imat = imat}; }
};

Snapshot SnapshotOf(const Qmx4Step& s) {
  Snapshot out;
  Add(&out, s.time);
  Add(&out, s.nqal);
  Add(&out, s.np);
  Add(&out, s.ne);
  for (int k = 0; k < s.nqal && s.np > 0; ++k) {
    Add<float>(&out, s.conc.subspan(static_cast<size_t>(k) * s.row), s.np);
  }
  Add<int32_t>(&out, s.imat, s.ne);
  return out;
}

struct Counts {
  float time;
  int32_t nqal, np, ne;
  bool operator==(const Counts& o) const {
    return std::memcmp(&time, &o.time, sizeof time) == 0 && nqal == o.nqal && np == o.np &&
           ne == o.ne;
  }
};
Counts CountsOf(const Qmx4Step& s) { return {s.time, s.nqal, s.np, s.ne}; }

void CheckStep(const ReadResult& result, const Qmx4Step& s, const RecordFile& in, RecordMark at,
               std::string_view file) {
  FUZZ_CHECK(!result.ok() || (s.nqal <= s.constituent_limit() && s.np <= s.node_limit() &&
                              s.ne <= s.element_limit()),
             "a step read with counts beyond its arrays");
  CheckTooLarge(result, {{"NQAL", s.nqal, s.constituent_limit()},
                         {"NP4", s.np, s.node_limit()},
                         {"NE4", s.ne, s.element_limit()}});
  CheckStepEnd(result, in, at, file);
}

void ReadBack(const std::string& path, ArrayLimits limits, int constituents, const Snapshot& header,
              const std::vector<Snapshot>& steps) {
  RecordFile in;
  in.OpenExisting(kInUnit, path);
  HeaderValues h;
  HeaderArrays text;
  FUZZ_CHECK(DetectForm(in, &h).ok() && ReadHeader(in, &h, text.text(), limits.mesh()).ok(),
             "the copied header does not read");
  FUZZ_CHECK(SnapshotOf(h, text) == header, "the copied header reads back different");
  StepArrays arrays(limits, constituents);
  Qmx4Step step = arrays.Step();
  for (const Snapshot& want : steps) {
    FUZZ_CHECK(ReadQmx4Step(in, step).ok(), "a copied step does not read");
    FUZZ_CHECK(SnapshotOf(step) == want, "a copied step reads back different");
  }
  FUZZ_CHECK(in.Begin() == ReadStatus::kEndOfFile, "more steps copied than written");
}

void Run(const std::string& path, std::string_view file, uint8_t flags, ArrayLimits limits,
         const StepFilter& window) {
  const int constituents = (flags >> 4) & 7;
  RecordFile in;
  in.OpenExisting(kInUnit, path);
  HeaderValues h;
  HeaderArrays text;
  if (!ReadHeaderChecked(in, &h, text, limits, file)) return;
  ReadResult result;
  const std::string copy = NewScratchPath("copy");
  RecordFile out;
  out.OpenForWriting(kOutUnit, copy);
  WriteHeader(out, h, text.text(), h.np, h.ne);
  if (flags & 1) {
    float time;
    int32_t nqal;
    for (int i = 0; i < kMaxSteps; ++i) {
      const RecordMark at = in.Tell();
      result = ReadQmx4Time(in, &time, &nqal);
      if (result.outcome == Outcome::kEndOfFile) break;
      CheckStepEnd(result, in, at, file);
      if (!result.ok()) return;
    }
    in.Rewind();
    for (int i = 0; i < h.records(); ++i) {
      FUZZ_CHECK(in.SkipRecord() == ReadStatus::kOk, "a header record read once is not there");
    }
  }
  StepArrays arrays(limits, constituents);
  Qmx4Step step = arrays.Step();
  std::vector<Snapshot> copied;
  for (int i = 0; i < kMaxSteps; ++i) {
    const RecordMark at = in.Tell();
    bool passed = false;
    result = ReadQmx4Step(in, step, window, &passed);
    if (passed) {
      CheckReadAgainInFull(
          in, at, result, [&] { return ReadQmx4Step(in, step); }, [&] { return CountsOf(step); });
    }
    if (result.outcome == Outcome::kEndOfFile) break;
    CheckStep(result, step, in, at, file);
    if (!result.ok()) break;
    FUZZ_CHECK(passed == !window.Wants(step.time), "a step passed against the window");
    WriteQmx4Step(out, step);
    copied.push_back(SnapshotOf(step));
  }
  out.Close();
  ReadBack(copy, limits, constituents, SnapshotOf(h, text), copied);
}

}  // namespace

int Qmx4Target(const uint8_t* data, size_t size) {
  Front front(data, size);
  const uint8_t flags = front.Byte();
  const ArrayLimits limits = front.Limits();
  const StepFilter window = (flags & 4) ? front.Window() : StepFilter{};
  const std::string path = ScratchFile("qmx4", front.Rest());
  try {
    Run(path, front.Rest(), flags, limits, window);
  } catch (const RunAborted& abort) {
    CheckAbort(abort);
  }
  return 0;
}

}  // namespace korvant::fuzz

KORVANT_FUZZ_MAIN(Qmx4Target)
