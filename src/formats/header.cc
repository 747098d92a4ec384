#include "formats/header.h"

#include "text/convrt.h"
#include "text/layout.h"
#include "io/run_aborted.h"

namespace korvant {
namespace {

// Reads "count, then count integers" into `dst`. A count beyond `limit` is
// refused with the dimension report before any value is stored.
void ReadCounted(Session& s, RecordFile& f, const HeaderValues& h, int32_t* count, int32_t* dst,
                 int limit) {
  f.MustRead(f.Begin());
  if (f.Ints(count, 1) && *count > limit) DimensionStop(s, h.np, h.ne);
  f.Ints(dst, *count);
  f.MustRead(f.Finish());
}

}  // namespace

void DimensionStop(Session& s, int64_t np, int64_t ne) {
  TextSink& out = s.out();
  out.Line(" *** Array dimension over-run problem *** ");
  WriteFree(out, {" --> Maximum allowed # of nodes =", MAXNODE});
  WriteFree(out, {" --> Your file has ", static_cast<int32_t>(np), " nodes"});
  WriteFree(out, {" --> Maximum allowed # of elements =", MAXELEM});
  WriteFree(out, {" --> Your file has ", static_cast<int32_t>(ne), " elements"});
  out.Line("DIM");
  Stop();
}

ReadStatus DetectForm(RecordFile& f, HeaderValues* h) {
  ReadStatus status = f.Begin();
  if (status != ReadStatus::kOk) return status;
  f.Ints(&h->ITEST, 1);
  status = f.Finish();
  if (status == ReadStatus::kOk) f.Rewind();
  return status;
}

ReadStatus ReadHeader(Session& s, RecordFile& f, HeaderValues* h, char* title) {
  DMS& d = s.dms;
  if (!h->integer_coded()) {
    ReadStatus status = f.Begin();
    if (status == ReadStatus::kOk) {
      f.Text(d.BANNER, kBannerChars);
      status = f.Finish();
    }
    if (status != ReadStatus::kOk) return status;
    f.MustRead(f.Begin());
    f.Ints(d.IREC, kHeaderInts);
    f.Reals(d.FREC, kHeaderReals);
    f.MustRead(f.Finish());
    f.MustRead(f.Begin());
    f.Text(title, kTitleChars);
    f.MustRead(f.Finish());
    return ReadStatus::kOk;
  }
  int32_t first[4];
  ReadStatus status = f.Begin();
  if (status == ReadStatus::kOk) {
    f.Ints(first, 4);
    status = f.Finish();
  }
  if (status != ReadStatus::kOk) return status;
  h->MFLG = first[0];
  h->IVERS = first[1];
  h->np = first[2];
  h->ne = first[3];
  if (h->np > MAXNODE || h->ne > MAXELEM) DimensionStop(s, h->np, h->ne);
  ReadCounted(s, f, *h, &h->NBAN, d.IBAN, kBannerChars);
  f.MustRead(f.Begin());
  int32_t counts[2] = {0, 0};
  f.Ints(counts, 2);
  h->NIREC = counts[0];
  h->NFREC = counts[1];
  if (h->NIREC > kHeaderInts || h->NFREC > kHeaderReals) DimensionStop(s, h->np, h->ne);
  f.Ints(d.IREC, h->NIREC);
  f.Reals(d.FREC, h->NFREC);
  f.MustRead(f.Finish());
  ReadCounted(s, f, *h, &h->NTITL, d.ITITL, kTitleChars);
  CONVRT(d.BANNER, kBannerLines, d.IBAN, kBannerWidth, 2, s.out());
  CONVRT(title, 1, d.ITITL, kTitleChars, 2, s.out());
  return ReadStatus::kOk;
}

void CopyHeader(Session& s, RecordFile& out, const HeaderValues& h, const char* title,
                int32_t np, int32_t ne) {
  const DMS& d = s.dms;
  if (!h.integer_coded()) {
    out.Write({TextPiece(d.BANNER, kBannerChars)});
    out.Write({PiecesOf(d.IREC, kHeaderInts), PiecesOf(d.FREC, kHeaderReals)});
    out.Write({TextPiece(title, kTitleChars)});
    return;
  }
  int32_t first[4] = {h.MFLG, h.IVERS, np, ne};
  out.Write({PiecesOf(first, 4)});
  out.Write({PieceOf(h.NBAN), PiecesOf(d.IBAN, h.NBAN)});
  out.Write({PieceOf(h.NIREC), PieceOf(h.NFREC), PiecesOf(d.IREC, h.NIREC),
             PiecesOf(d.FREC, h.NFREC)});
  out.Write({PieceOf(h.NTITL), PiecesOf(d.ITITL, h.NTITL)});
}

}  // namespace korvant
