// The QMX2 header and time-step readers on any bytes, each reading into
// arrays of exactly the size it may fill, so that a value stored past them is
// a sanitizer report; and the writers on what they read: a header and steps
// that were read are written out again and must read back the same.
//
// Input: a flag byte, a byte of node and element limits (`Front::Limits`), a
// window of two hours, and the file.
//   bit 0: long steps (with elevations)
//   bit 1: read only the steps in the window (the others give time and
//          counts); each passed step is then read again in full, which must
//          give the same counts and outcome
//   bit 2: a first pass over the times only, then back to the first step
//   bit 3: the header and steps read are written and read back

#include <cstring>
#include <string>
#include <vector>

#include "formats/header.h"
#include "formats/qmx2.h"
#include "fuzz_support.h"

namespace korvant::fuzz {
namespace {

constexpr int kInUnit = 50;
constexpr int kOutUnit = 60;

// The arrays of a step, as many values as the limits allow.
struct StepArrays {
  std::vector<float> vel, elevations;
  std::vector<int32_t> ndry, imat;

  explicit StepArrays(ArrayLimits limits)
      : vel(3 * static_cast<size_t>(limits.nodes)),
        elevations(limits.nodes),
        ndry(limits.nodes),
        imat(limits.elements) {}
  Qmx2Step Step() {
    return Qmx2Step{.vel = vel, .ndry = ndry, .imat = imat, .elevations = elevations};
  }
};

// Time, counts and the values up to the counts.
Snapshot SnapshotOf(const Qmx2Step& s, bool long_step) {
  Snapshot out;
  Add(&out, s.time);
  Add(&out, s.np);
  Add(&out, s.ne);
  Add<float>(&out, s.vel, 3 * int64_t{s.np});
  Add<int32_t>(&out, s.ndry, s.np);
  Add<int32_t>(&out, s.imat, s.ne);
  if (long_step) Add<float>(&out, s.elevations, s.np);
  return out;
}

struct Counts {
  float time;
  int32_t np, ne;
  bool operator==(const Counts& o) const {
    return std::memcmp(&time, &o.time, sizeof time) == 0 && np == o.np && ne == o.ne;
  }
};
Counts CountsOf(const Qmx2Step& s) { return {s.time, s.np, s.ne}; }

void CheckStep(const ReadResult& result, const Qmx2Step& s, const RecordFile& in, RecordMark at,
               std::string_view file) {
  FUZZ_CHECK(!result.ok() || (s.np <= s.node_limit() && s.ne <= s.element_limit()),
             "a step read with counts beyond its arrays");
  CheckTooLarge(result, {{"NP2", s.np, s.node_limit()}, {"NE2", s.ne, s.element_limit()}});
  CheckStepEnd(result, in, at, file);
}

// Reads back what was written: the same header, then the same steps.
void ReadBack(const std::string& path, ArrayLimits limits, const Snapshot& header,
              const std::vector<Snapshot>& steps, bool long_step) {
  RecordFile in;
  in.OpenExisting(kInUnit, path);
  HeaderValues h;
  HeaderArrays text;
  FUZZ_CHECK(DetectForm(in, &h).ok(), "copied header: no first record");
  FUZZ_CHECK(ReadHeader(in, &h, text.text(), limits.mesh()).ok(), "copied header unread");
  FUZZ_CHECK(SnapshotOf(h, text) == header, "copied header reads back different");
  StepArrays arrays(limits);
  Qmx2Step step = arrays.Step();
  for (const Snapshot& want : steps) {
    FUZZ_CHECK(ReadQmx2Step(in, long_step, step).ok(), "a copied step does not read");
    FUZZ_CHECK(SnapshotOf(step, long_step) == want, "a copied step reads back different");
  }
  FUZZ_CHECK(in.Begin() == ReadStatus::kEndOfFile, "more steps copied than written");
}

void Run(const std::string& path, std::string_view file, uint8_t flags, ArrayLimits limits,
         const StepFilter& window) {
  const bool long_step = flags & 1;
  RecordFile in;
  in.OpenExisting(kInUnit, path);
  HeaderValues h;
  HeaderArrays text;
  if (!ReadHeaderChecked(in, &h, text, limits, file)) return;
  ReadResult result;
  if (flags & 4) {
    float time;
    for (int i = 0; i < kMaxSteps; ++i) {
      const RecordMark at = in.Tell();
      result = ReadQmx2Time(in, &time);
      if (result.outcome == Outcome::kEndOfFile) break;
      CheckStepEnd(result, in, at, file);
      if (!result.ok()) return;
    }
    in.Rewind();
    for (int i = 0; i < h.records(); ++i) {
      FUZZ_CHECK(in.SkipRecord() == ReadStatus::kOk, "a header record read once is not there");
    }
  }
  RecordFile out;
  const std::string copy = NewScratchPath("copy");
  if (flags & 8) {
    // The copied header carries the counts of its first record unchanged.
    out.OpenForWriting(kOutUnit, copy);
    WriteHeader(out, h, text.text(), h.np, h.ne);
  }
  StepArrays arrays(limits);
  Qmx2Step step = arrays.Step();
  std::vector<Snapshot> kept;
  for (int i = 0; i < kMaxSteps; ++i) {
    const RecordMark at = in.Tell();
    bool passed = false;
    result = ReadQmx2Step(in, long_step, step, window, &passed);
    if (passed) {
      CheckReadAgainInFull(
          in, at, result, [&] { return ReadQmx2Step(in, long_step, step); },
          [&] { return CountsOf(step); });
    }
    if (result.outcome == Outcome::kEndOfFile) break;
    CheckStep(result, step, in, at, file);
    if (!result.ok()) break;
    FUZZ_CHECK(passed == !window.Wants(step.time), "a step passed against the window");
    if (!passed && (flags & 8)) {
      WriteQmx2Step(out, step, long_step);
      kept.push_back(SnapshotOf(step, long_step));
    }
  }
  if (!(flags & 8)) return;
  out.Close();
  ReadBack(copy, limits, SnapshotOf(h, text), kept, long_step);
}

}  // namespace

int Qmx2Target(const uint8_t* data, size_t size) {
  Front front(data, size);
  const uint8_t flags = front.Byte();
  const ArrayLimits limits = front.Limits();
  const StepFilter window = front.Window(/*all=*/!(flags & 2));
  const std::string path = ScratchFile("qmx2", front.Rest());
  try {
    Run(path, front.Rest(), flags, limits, window);
  } catch (const RunAborted& abort) {
    CheckAbort(abort);
  }
  return 0;
}

}  // namespace korvant::fuzz

KORVANT_FUZZ_MAIN(Qmx2Target)
