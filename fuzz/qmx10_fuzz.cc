// The QMX10 time-step readers on any bytes, and the writers on what they read:
// every step read is copied as the merge copies it and must read back the
// same; the averaged record is written from the last one.
//
// Input: a flag byte, with bit 2 a window of two hours, and the file.
//   bit 0: a first pass over the times only, then back to the first step
//   bit 1: the averaged record is written from the last step
//   bit 2: steps outside the window give only their time and counts; each
//          such step is then read again in full, which must give the same
//          counts and outcome

#include <algorithm>
#include <cstring>
#include <vector>

#include "dialogue/block_views.h"
#include "dialogue/family_reads.h"
#include "dialogue/session.h"
#include "formats/limits.h"
#include "formats/qmx10.h"
#include "fuzz_support.h"

namespace korvant::fuzz {
namespace {

constexpr int kInUnit = 95;
constexpr int kOutUnit = 90;

int32_t Fit(int32_t count, int32_t capacity) { return std::clamp(count, 0, capacity); }

template <typename T>
void Add(std::vector<unsigned char>* into, const T* from, int64_t count) {
  if (count <= 0) return;
  const auto* bytes = reinterpret_cast<const unsigned char*>(from);
  into->insert(into->end(), bytes, bytes + count * static_cast<int64_t>(sizeof(T)));
}

// The bytes of a step as the blocks hold it: counts, then every array up to
// the count that sizes it.
std::vector<unsigned char> Snapshot(const Session& s, int32_t ncnt) {
  const BLKR10& b = s.blkr10;
  const BLKR10_SED& sed = s.blkr10_sed;
  std::vector<unsigned char> out;
  const int32_t counts[] = {b.NP, b.NDF, b.NE, ncnt};
  Add(&out, &b.TIME, 1);
  Add(&out, counts, 4);
  Add(&out, sed.ICNT, MAXCNT);
  auto entry = [&](int k) { return Fit(sed.ICNT[k - 1], MAXNODE); };
  for (int k = 1; k <= Fit(b.NDF, MAXDOF); ++k) Add(&out, b.VDOF + (k - 1) * MAXNODE, entry(k));
  Add(&out, s.blkr2.WSEL, entry(3));
  Add(&out, s.blkr2.IMAT, Fit(b.NE, MAXELEM));
  Add(&out, s.blkr2.NDRY, Fit(b.NP, MAXNODE));
  Add(&out, sed.RDAT7, entry(7));
  Add(&out, sed.RDAT8, entry(8));
  Add(&out, b.RNODE, Fit(b.NP, MAXNODE));
  Add(&out, sed.RELEM, Fit(b.NE, MAXELEM));
  return out;
}

// Reads the copy with the session that read the original. The count list
// starts cleared, as it did for the original: entries beyond a step's own
// list size its arrays.
void ReadBack(Session& s, const std::string& path,
              const std::vector<std::vector<unsigned char>>& steps) {
  std::memset(s.blkr10_sed.ICNT, 0, sizeof s.blkr10_sed.ICNT);
  RecordFile& in = s.unit(kInUnit);
  in.OpenExisting(kInUnit, path);
  for (const auto& want : steps) {
    int32_t ncnt = 0;
    FUZZ_CHECK(ReadThreedStep(s, in, &ncnt).status() == ReadStatus::kOk,
               "a copied step does not read");
    FUZZ_CHECK(Snapshot(s, ncnt) == want, "a copied step reads back different");
  }
  FUZZ_CHECK(in.Begin() == ReadStatus::kEndOfFile, "more steps copied than written");
}

// What a passed step gives: its time, counts and count list.
struct Counts {
  float time;
  int32_t np, ndf, ne, ncnt;
  int32_t icnt[MAXCNT];
  bool operator==(const Counts& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};
Counts CountsOf(const Session& s, int32_t ncnt) {
  const BLKR10& b = s.blkr10;
  Counts c{b.TIME, b.NP, b.NDF, b.NE, ncnt, {}};
  std::memcpy(c.icnt, s.blkr10_sed.ICNT, sizeof c.icnt);
  return c;
}

void Run(Session& s, const std::string& path, uint8_t flags, const StepFilter& window) {
  RecordFile& in = s.unit(kInUnit);
  in.OpenExisting(kInUnit, path);
  if (flags & 1) {
    float time;
    int32_t np;
    for (int i = 0; i < kMaxSteps; ++i) {
      ReadStatus status = ReadQmx10Time(in, &time, &np).status();
      if (status == ReadStatus::kEndOfFile) break;
      in.MustRead(status);
    }
    in.Rewind();
  }
  const std::string copy = NewScratchPath("copy");
  RecordFile& out = s.unit(kOutUnit);
  out.OpenForWriting(kOutUnit, copy);
  std::vector<std::vector<unsigned char>> copied;
  int32_t ncnt = 0;
  for (int i = 0; i < kMaxSteps; ++i) {
    const RecordMark at = in.Tell();
    bool passed = false;
    ReadStatus status = ReadThreedStep(s, in, &ncnt, window, &passed).status();
    const BLKR10& b = s.blkr10;
    if (passed) {
      const Counts counts = CountsOf(s, ncnt);
      in.Seek(at);
      FUZZ_CHECK(ReadThreedStep(s, in, &ncnt).status() == status && CountsOf(s, ncnt) == counts,
                 "a passed step reads differently in full");
    }
    if (status == ReadStatus::kEndOfFile) break;
    if (status == ReadStatus::kError) in.FailRead(status);
    FUZZ_CHECK(passed == !window.Wants(b.TIME), "a step passed against the window");
    FUZZ_CHECK(b.NP <= MAXNODE && b.NDF <= MAXDOF && b.NE <= MAXELEM && ncnt <= MAXCNT,
               "a step beyond the arrays");
    WriteQmx10Step(out, ThreedStepOf(s, ncnt));
    copied.push_back(Snapshot(s, ncnt));
  }
  out.Close();
  ReadBack(s, copy, copied);
  if ((flags & 2) && !copied.empty()) {
    const std::string averaged = NewScratchPath("averaged");
    out.OpenForWriting(kOutUnit, averaged);
    WriteQmx10Average(out, ThreedStepOf(s, ncnt), s.blkr10.VDOF);
    out.Close();
  }
}

}  // namespace

int Qmx10Target(const uint8_t* data, size_t size) {
  Front front(data, size);
  const uint8_t flags = front.Byte();
  const StepFilter window = (flags & 4) ? front.Window() : StepFilter{};
  const std::string path = ScratchFile("qmx10", front.Rest());
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

KORVANT_FUZZ_MAIN(Qmx10Target)
