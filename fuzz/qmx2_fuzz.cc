// The QMX2 header and time-step readers on any bytes, and the writers on what
// they read: a header and steps that were read are written out again and must
// read back the same.
//
// Input: a flag byte, a window of two hours, and the file.
//   bit 0: long steps (with elevations)
//   bit 1: read only the steps in the window (the others give time and counts)
//   bit 2: a first pass over the times only, then back to the first step
//   bit 3: the header and steps read are written and read back

#include <cstring>
#include <vector>

#include "dialogue/block_views.h"
#include "dialogue/family_reads.h"
#include "dialogue/session.h"
#include "formats/header.h"
#include "formats/limits.h"
#include "formats/qmx2.h"
#include "fuzz_support.h"

namespace korvant::fuzz {
namespace {

// The reads as the dialogue makes them, with the record layer's status.
ReadStatus ReadStep(Session& s, RecordFile& in, bool long_step, float* elevations,
                    const StepFilter& filter = {}, bool* passed = nullptr) {
  return ReadHydroStep(s, in, long_step, elevations, filter, passed).status();
}
ReadStatus ReadHeaderS(Session& s, RecordFile& in, HeaderValues* h) {
  ReadResult result = ReadHeader(in, h, HeaderOf(s.dms, s.dms.TITLE2));
  CheckHeader(s, in, *h, result);
  return result.status();
}
template <typename T>
std::span<T> SpanOf(const std::vector<T>& v) {
  return std::span<T>(const_cast<T*>(v.data()), v.size());
}

constexpr int kInUnit = 50;
constexpr int kOutUnit = 60;

struct Step {
  float time;
  int32_t np, ne;
  std::vector<float> vel, wsel;
  std::vector<int32_t> ndry, imat;
};

template <typename T>
std::vector<T> Slots(const T* from, int64_t count) {
  return count > 0 ? std::vector<T>(from, from + count) : std::vector<T>();
}

Step Snapshot(const BLKR2& b, bool long_step) {
  return Step{b.TIME2,
              b.NP2,
              b.NE2,
              Slots(b.VEL, 3 * static_cast<int64_t>(b.NP2)),
              long_step ? Slots(b.WSEL, b.NP2) : std::vector<float>(),
              Slots(b.NDRY, b.NP2),
              Slots(b.IMAT, b.NE2)};
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

template <typename T>
bool SameSlots(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

void CheckHeaderCopy(const DMS& a, const DMS& b) {
  FUZZ_CHECK(std::memcmp(a.BANNER, b.BANNER, sizeof a.BANNER) == 0, "banner not kept");
  FUZZ_CHECK(std::memcmp(a.IREC, b.IREC, sizeof a.IREC) == 0, "header integers not kept");
  FUZZ_CHECK(std::memcmp(a.FREC, b.FREC, sizeof a.FREC) == 0, "header reals not kept");
  FUZZ_CHECK(std::memcmp(a.TITLE2, b.TITLE2, sizeof a.TITLE2) == 0, "title not kept");
  FUZZ_CHECK(std::memcmp(a.IBAN, b.IBAN, sizeof a.IBAN) == 0, "banner codes not kept");
  FUZZ_CHECK(std::memcmp(a.ITITL, b.ITITL, sizeof a.ITITL) == 0, "title codes not kept");
}

// Reads back what was written: the same header, then the same steps. The
// session is the one that read the original, its header block cleared first
// so that a value the copy lacks cannot survive from the original.
void ReadBack(Session& s, const std::string& path, const HeaderValues& h,
              const std::vector<Step>& steps, bool long_step) {
  const DMS first = s.dms;
  std::memset(&s.dms, 0, sizeof s.dms);
  RecordFile& in = s.unit(kInUnit);
  in.OpenExisting(kInUnit, path);
  HeaderValues again;
  FUZZ_CHECK(DetectForm(in, &again).status() == ReadStatus::kOk, "copied header: no first record");
  FUZZ_CHECK(again.ITEST == h.ITEST, "copied header: another form");
  FUZZ_CHECK(ReadHeaderS(s, in, &again) == ReadStatus::kOk, "copied header unread");
  CheckHeaderCopy(first, s.dms);
  for (const Step& want : steps) {
    FUZZ_CHECK(ReadStep(s, in, long_step, s.blkr2.WSEL) == ReadStatus::kOk,
               "a copied step does not read");
    Step got = Snapshot(s.blkr2, long_step);
    FUZZ_CHECK(SameBits(got.time, want.time) && got.np == want.np && got.ne == want.ne &&
                   SameSlots(got.vel, want.vel) && SameSlots(got.wsel, want.wsel) &&
                   SameSlots(got.ndry, want.ndry) && SameSlots(got.imat, want.imat),
               "a copied step reads back different");
  }
  FUZZ_CHECK(in.Begin() == ReadStatus::kEndOfFile, "more steps copied than written");
}

void Run(Session& s, const std::string& path, uint8_t flags, const StepFilter& window) {
  const bool long_step = flags & 1;
  RecordFile& in = s.unit(kInUnit);
  in.OpenExisting(kInUnit, path);
  HeaderValues h;
  if (DetectForm(in, &h).status() != ReadStatus::kOk) return;
  if (ReadHeaderS(s, in, &h) != ReadStatus::kOk) return;
  if (flags & 4) {
    float time;
    for (int i = 0; i < kMaxSteps; ++i) {
      ReadStatus status = ReadQmx2Time(in, &time).status();
      if (status == ReadStatus::kEndOfFile) break;
      in.MustRead(status);
    }
    in.Rewind();
    for (int i = 0; i < h.records(); ++i) in.MustRead(in.SkipRecord());
  }
  std::vector<Step> kept;
  for (int i = 0; i < kMaxSteps; ++i) {
    bool passed = false;
    ReadStatus status = ReadStep(s, in, long_step, s.blkr2.WSEL, window, &passed);
    if (status == ReadStatus::kEndOfFile) break;
    if (status == ReadStatus::kError) in.FailRead(status);
    FUZZ_CHECK(s.blkr2.NP2 <= MAXNODE && s.blkr2.NE2 <= MAXELEM, "a step beyond the arrays");
    FUZZ_CHECK(passed == !window.Wants(s.blkr2.TIME2), "a step passed against the window");
    if (!passed && (flags & 8)) kept.push_back(Snapshot(s.blkr2, long_step));
  }
  if (!(flags & 8)) return;
  const std::string copy = NewScratchPath("copy");
  // The copied header carries the counts of its first record unchanged.
  RecordFile& out = s.unit(kOutUnit);
  out.OpenForWriting(kOutUnit, copy);
  WriteHeader(out, h, HeaderOf(s.dms, s.dms.TITLE2), h.np, h.ne);
  for (const Step& step : kept) {
    WriteQmx2Step(out,
                  Qmx2Step{step.time, step.np, step.ne, SpanOf(step.vel), SpanOf(step.ndry),
                           SpanOf(step.imat), SpanOf(step.wsel)},
                  long_step);
  }
  out.Close();
  ReadBack(s, copy, h, kept, long_step);
}

}  // namespace

int Qmx2Target(const uint8_t* data, size_t size) {
  Front front(data, size);
  const uint8_t flags = front.Byte();
  const StepFilter window = front.Window(/*all=*/!(flags & 2));
  const std::string path = ScratchFile("qmx2", front.Rest());
  static NullStream console;
  Session& s = FreshSession(console);
  try {
    Run(s, path, flags, window);
  } catch (const RunAborted& abort) {
    CheckAbort(abort);
  }
  return 0;
}

}  // namespace korvant::fuzz

KORVANT_FUZZ_MAIN(Qmx2Target)
