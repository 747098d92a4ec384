#include "dialogue/geometry.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "dialogue/dialogue.h"
#include "formats/limits.h"
#include "dialogue/refuse.h"
#include "text/convrt.h"
#include "text/layout.h"
#include "io/run_aborted.h"

namespace korvant {
namespace {

constexpr std::string_view kKind = "VELTO file";
constexpr int kTitleFromVersion = 425;    // C3 present from this version code on
constexpr int kNodeExtAfterVersion = 420;  // G2 present above this version code
constexpr int kNodeValues = 4;            // x, y, a third value, bottom elevation
constexpr int kElementValues = 11;        // eight node numbers, an integer, a real, an integer

// A handled first read: end of file and damage stop the run with their line.
void MustStart(Session& s, ReadStatus status) {
  if (status == ReadStatus::kOk) return;
  s.out().Line(status == ReadStatus::kEndOfFile ? " --> Unexpected end-of-file on VELTO read"
                                                : " --> ERROR during read of VELTO binary file");
  Stop();
}

void ReadCountedInts(Session& s, RecordFile& f, int32_t* dst, int limit, std::string_view name) {
  int32_t count = 0;
  f.MustRead(f.Begin());
  if (f.Ints(&count, 1) && Exceeds(count, limit)) RefuseCount(s.out(), kKind, name, count, limit);
  f.Ints(dst, count);
  f.MustRead(f.Finish());
}

// The node and element values are interleaved in the file; they are read in
// blocks into a scratch array and spread over their arrays from there.
template <size_t kPer, typename Spread>
void ReadInterleaved(RecordFile& f, int32_t count, Spread spread) {
  constexpr int kBlock = 1024;
  std::array<uint32_t, kBlock * kPer> scratch;
  for (int32_t first = 0; first < count; first += kBlock) {
    int32_t n = std::min<int32_t>(kBlock, count - first);
    if (!f.Bytes(scratch.data(), static_cast<int64_t>(n) * kPer * 4)) f.MustRead(f.Finish());
    for (int32_t i = 0; i < n; ++i) spread(first + i, &scratch[static_cast<size_t>(i) * kPer]);
  }
}

float AsFloat(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void ReadMesh(Session& s, RecordFile& f) {
  BLKR2& b = s.blkr2;
  f.MustRead(f.Begin());
  int32_t counts[2] = {0, 0};
  f.Ints(counts, 2);
  if (Exceeds(counts[0], MAXNODE)) RefuseCount(s.out(), kKind, "NP", counts[0], MAXNODE);
  if (Exceeds(counts[1], MAXELEM)) RefuseCount(s.out(), kKind, "NE", counts[1], MAXELEM);
  b.NP = counts[0];
  b.NE = counts[1];
  ReadInterleaved<kNodeValues>(f, b.NP, [&](int32_t j, const uint32_t* v) {
    b.CORD[2 * j] = AsFloat(v[0]);
    b.CORD[2 * j + 1] = AsFloat(v[1]);
    b.AO[j] = AsFloat(v[3]);
  });
  ReadInterleaved<kElementValues>(f, b.NE, [&](int32_t e, const uint32_t* v) {
    for (int k = 0; k < 8; ++k) b.NOP[8 * e + k] = static_cast<int32_t>(v[k]);
    b.IMAT[e] = static_cast<int32_t>(v[8]);
    b.ELEMREAL[e] = AsFloat(v[9]);
    b.ELEMINT2[e] = static_cast<int32_t>(v[10]);
  });
  f.MustRead(f.Finish());
}

void ReadCharacterHeader(Session& s, RecordFile& f) {
  DMS& d = s.dms;
  MustStart(s, f.Begin());
  f.Text(d.BANNER, kBannerChars);
  MustStart(s, f.Finish());
  f.MustRead(f.Begin());
  f.Ints(d.IREC, kHeaderInts);
  f.Reals(d.FREC, kHeaderReals);
  f.MustRead(f.Finish());
  if (d.IREC[0] >= kTitleFromVersion) {
    f.MustRead(f.Begin());
    f.Text(d.TITLEG, kTitleChars);
    f.MustRead(f.Finish());
  }
}

void ReadIntegerHeader(Session& s, RecordFile& f) {
  DMS& d = s.dms;
  int32_t first[4] = {0, 0, 0, 0};  // MFLG, IVERS, NP, NE
  MustStart(s, f.Begin());
  f.Ints(first, 4);
  MustStart(s, f.Finish());
  s.blkr2.NP = first[2];
  s.blkr2.NE = first[3];
  ReadCountedInts(s, f, d.IBAN, kBannerChars, "N1");
  f.MustRead(f.Begin());
  int32_t counts[2] = {0, 0};
  f.Ints(counts, 2);
  if (Exceeds(counts[0], kHeaderInts)) RefuseCount(s.out(), kKind, "N2", counts[0], kHeaderInts);
  if (Exceeds(counts[1], kHeaderReals)) RefuseCount(s.out(), kKind, "N3", counts[1], kHeaderReals);
  f.Ints(d.IREC, counts[0]);
  f.Reals(d.FREC, counts[1]);
  f.MustRead(f.Finish());
  ReadCountedInts(s, f, d.ITITL, kTitleChars, "N4");
  CONVRT(d.BANNER, kBannerLines, d.IBAN, kBannerWidth, 2, s.out());
  CONVRT(d.TITLEG, 1, d.ITITL, kTitleChars, 2, s.out());
}

}  // namespace

void ReadGeometry(Session& s) {
  RecordFile& f = s.unit(kGeometryUnit);
  f.Rewind();
  int32_t itest = 0;
  MustStart(s, f.Begin());
  f.Ints(&itest, 1);
  MustStart(s, f.Finish());
  f.Rewind();
  if (itest > kIntegerCodedMax) {
    ReadCharacterHeader(s, f);
  } else {
    ReadIntegerHeader(s, f);
  }
  ReadMesh(s, f);
  if (s.dms.IREC[0] > kNodeExtAfterVersion) {
    f.MustRead(f.Begin());
    f.Reals(s.blkr2.NODEEXT, static_cast<int64_t>(s.blkr2.NP) * 4);
    f.MustRead(f.Finish());
  }
  s.out().Line(" --> VELTO geometry file read AOK");
  WriteLayout(s.out(), "(/,' VELTO=',A77,/,6X,2I8)",
              {FieldView(s.dms.TITLEG, kTitleChars), s.blkr2.NP, s.blkr2.NE});
  f.Close();
}

}  // namespace korvant
