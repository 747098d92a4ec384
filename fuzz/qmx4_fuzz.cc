// The QMX4 header and time-step readers on any bytes, and the writers on what
// they read: the header and every step read are copied as the merge copies
// them, and the copy must read back the same.
//
// Input: a flag byte, with bit 2 a window of two hours, and the file.
//   bit 0: a first pass over the times only, then back to the first step
//   bit 1: the header report is written as the merge writes it
//   bit 2: steps outside the window give only their time and counts; each
//          such step is then read again in full, which must give the same
//          counts and outcome

#include <cstring>
#include <vector>

#include "dialogue/block_views.h"
#include "dialogue/family_reads.h"
#include "dialogue/session.h"
#include "formats/header.h"
#include "formats/limits.h"
#include "formats/qmx4.h"
#include "fuzz_support.h"

namespace korvant::fuzz {
namespace {

constexpr int kInUnit = 70;
constexpr int kOutUnit = 80;

struct Step {
  float time;
  int32_t nqal, np4, ne4;
  std::vector<float> conc;
  std::vector<int32_t> imat4;

  bool operator==(const Step& o) const {
    return std::memcmp(&time, &o.time, sizeof time) == 0 && nqal == o.nqal && np4 == o.np4 &&
           ne4 == o.ne4 && conc.size() == o.conc.size() && imat4 == o.imat4 &&
           (conc.empty() ||
            std::memcmp(conc.data(), o.conc.data(), conc.size() * sizeof(float)) == 0);
  }
};

Step Snapshot(const BLKR4& b) {
  Step step{b.TIME, b.NQAL, b.NP4, b.NE4, {}, {}};
  for (int k = 0; k < b.NQAL && b.NP4 > 0; ++k) {
    step.conc.insert(step.conc.end(), b.CONC + k * MAXNODE, b.CONC + k * MAXNODE + b.NP4);
  }
  if (b.NE4 > 0) step.imat4.assign(b.IMAT4, b.IMAT4 + b.NE4);
  return step;
}

// Reads the copy with the session that read the original, its header block
// cleared first so that a value the copy lacks cannot survive.
void ReadBack(Session& s, const std::string& path, const std::vector<Step>& steps) {
  const DMS a = s.dms;
  std::memset(&s.dms, 0, sizeof s.dms);
  RecordFile& in = s.unit(kInUnit);
  in.OpenExisting(kInUnit, path);
  HeaderValues h;
  FUZZ_CHECK(ReadTransportHeader(s, in, &h).status() == ReadStatus::kOk,
             "the copied header does not read");
  const DMS& b = s.dms;
  FUZZ_CHECK(std::memcmp(a.BANNER, b.BANNER, sizeof a.BANNER) == 0 &&
                 std::memcmp(a.IREC, b.IREC, sizeof a.IREC) == 0 &&
                 std::memcmp(a.FREC, b.FREC, sizeof a.FREC) == 0 &&
                 std::memcmp(a.TITLE4, b.TITLE4, sizeof a.TITLE4) == 0 &&
                 std::memcmp(a.IBAN, b.IBAN, sizeof a.IBAN) == 0 &&
                 std::memcmp(a.ITITL, b.ITITL, sizeof a.ITITL) == 0,
             "the copied header reads back different");
  for (const Step& want : steps) {
    FUZZ_CHECK(ReadTransportStep(s, in).status() == ReadStatus::kOk, "a copied step does not read");
    FUZZ_CHECK(Snapshot(s.blkr4) == want, "a copied step reads back different");
  }
  FUZZ_CHECK(in.Begin() == ReadStatus::kEndOfFile, "more steps copied than written");
}

struct Counts {
  float time;
  int32_t nqal, np4, ne4;
  bool operator==(const Counts& o) const {
    return std::memcmp(&time, &o.time, sizeof time) == 0 && nqal == o.nqal && np4 == o.np4 &&
           ne4 == o.ne4;
  }
};
Counts CountsOf(const BLKR4& b) { return {b.TIME, b.NQAL, b.NP4, b.NE4}; }

void Run(Session& s, const std::string& path, uint8_t flags, const StepFilter& window) {
  RecordFile& in = s.unit(kInUnit);
  in.OpenExisting(kInUnit, path);
  HeaderValues h;
  if (ReadTransportHeader(s, in, &h).status() != ReadStatus::kOk) return;
  if (flags & 2) ReportTransportHeader(s, h, /*leading_empty_line=*/true);
  const std::string copy = NewScratchPath("copy");
  RecordFile& out = s.unit(kOutUnit);
  out.OpenForWriting(kOutUnit, copy);
  CopyTransportHeader(s, out, h);
  if (flags & 1) {
    for (int i = 0; i < kMaxSteps; ++i) {
      ReadStatus status = ReadQmx4Time(in, &s.blkr4.TIME, &s.blkr4.NQAL).status();
      if (status == ReadStatus::kEndOfFile) break;
      in.MustRead(status);
    }
    in.Rewind();
    for (int i = 0; i < h.records(); ++i) in.MustRead(in.SkipRecord());
  }
  std::vector<Step> copied;
  for (int i = 0; i < kMaxSteps; ++i) {
    const RecordMark at = in.Tell();
    bool passed = false;
    ReadStatus status = ReadTransportStep(s, in, window, &passed).status();
    const BLKR4& b = s.blkr4;
    if (passed) {
      const Counts counts = CountsOf(b);
      in.Seek(at);
      FUZZ_CHECK(ReadTransportStep(s, in).status() == status && CountsOf(b) == counts,
                 "a passed step reads differently in full");
    }
    if (status == ReadStatus::kEndOfFile) break;
    if (status == ReadStatus::kError) in.FailRead(status);
    FUZZ_CHECK(passed == !window.Wants(b.TIME), "a step passed against the window");
    FUZZ_CHECK(b.NQAL <= MAXCON && b.NP4 <= MAXNODE && b.NE4 <= MAXELEM,
               "a step beyond the arrays");
    WriteQmx4Step(out, TransportStepOf(s.blkr4));
    copied.push_back(Snapshot(b));
  }
  out.Close();
  ReadBack(s, copy, copied);
}

}  // namespace

int Qmx4Target(const uint8_t* data, size_t size) {
  Front front(data, size);
  const uint8_t flags = front.Byte();
  const StepFilter window = (flags & 4) ? front.Window() : StepFilter{};
  const std::string path = ScratchFile("qmx4", front.Rest());
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

KORVANT_FUZZ_MAIN(Qmx4Target)
