#include "formats/header.h"

#include "text/char_codes.h"

namespace korvant {
namespace {

// A failed header record `part`.
ReadResult Failed(const RecordFile& f, ReadStatus status, int part) {
  ReadResult result = ResultOf(f, status);
  result.part = part;
  return result;
}

// Reads record `part`: "count, then count integers" into `dst`. A count
// beyond `limit` is refused before any value is stored.
ReadResult ReadCounted(RecordFile& f, int part, std::string_view name, int32_t* count, int32_t* dst,
                       int limit) {
  ReadStatus status = f.Begin();
  if (status != ReadStatus::kOk) return Failed(f, status, part);
  if (f.Ints(count, 1) && *count > limit) return TooLarge(name, *count, limit);
  f.Ints(dst, *count);
  return Failed(f, f.Finish(), part);
}

ReadResult ReadCharacterForm(RecordFile& f, const HeaderText& into) {
  ReadStatus status = f.Begin();
  if (status == ReadStatus::kOk) {
    f.Text(into.banner, kBannerChars);
    status = f.Finish();
  }
  if (status != ReadStatus::kOk) return Failed(f, status, 1);
  status = f.Begin();
  if (status == ReadStatus::kOk) {
    f.Ints(into.irec, kHeaderInts);
    f.Reals(into.frec, kHeaderReals);
    status = f.Finish();
  }
  if (status != ReadStatus::kOk) return Failed(f, status, 2);
  status = f.Begin();
  if (status == ReadStatus::kOk) {
    f.Text(into.title, kTitleChars);
    status = f.Finish();
  }
  return Failed(f, status, 3);
}

ReadResult ReadIntegerForm(RecordFile& f, HeaderValues* h, const HeaderText& into,
                           MeshLimits limits) {
  int32_t first[4];
  ReadStatus status = f.Begin();
  if (status == ReadStatus::kOk) {
    f.Ints(first, 4);
    status = f.Finish();
  }
  if (status != ReadStatus::kOk) return Failed(f, status, 1);
  h->MFLG = first[0];
  h->IVERS = first[1];
  h->np = first[2];
  h->ne = first[3];
  if (h->np > limits.nodes) return TooLarge("NP", h->np, limits.nodes);
  if (h->ne > limits.elements) return TooLarge("NE", h->ne, limits.elements);
  ReadResult result = ReadCounted(f, 2, "NBAN", &h->NBAN, into.iban, kBannerChars);
  if (!result.ok()) return result;
  status = f.Begin();
  if (status != ReadStatus::kOk) return Failed(f, status, 3);
  int32_t counts[2] = {0, 0};
  f.Ints(counts, 2);
  h->NIREC = counts[0];
  h->NFREC = counts[1];
  if (h->NIREC > kHeaderInts) return TooLarge("NIREC", h->NIREC, kHeaderInts);
  if (h->NFREC > kHeaderReals) return TooLarge("NFREC", h->NFREC, kHeaderReals);
  f.Ints(into.irec, h->NIREC);
  f.Reals(into.frec, h->NFREC);
  status = f.Finish();
  if (status != ReadStatus::kOk) return Failed(f, status, 3);
  result = ReadCounted(f, 4, "NTITL", &h->NTITL, into.ititl, kTitleChars);
  if (!result.ok()) return result;
  CodesToText(into.iban, into.banner, kBannerLines, kBannerWidth);
  CodesToText(into.ititl, into.title, 1, kTitleChars);
  return result;
}

}  // namespace

ReadResult DetectForm(RecordFile& f, HeaderValues* h) {
  ReadStatus status = f.Begin();
  if (status != ReadStatus::kOk) return ResultOf(f, status);
  f.Ints(&h->ITEST, 1);
  status = f.Finish();
  ReadResult result = ResultOf(f, status);
  if (status == ReadStatus::kOk) f.Rewind();
  return result;
}

ReadResult ReadHeader(RecordFile& f, HeaderValues* h, const HeaderText& into, MeshLimits limits) {
  return h->integer_coded() ? ReadIntegerForm(f, h, into, limits) : ReadCharacterForm(f, into);
}

void WriteHeader(RecordFile& out, const HeaderValues& h, const HeaderText& from, int32_t np,
                 int32_t ne) {
  if (!h.integer_coded()) {
    out.Write({TextPiece(from.banner, kBannerChars)});
    out.Write({PiecesOf(from.irec, kHeaderInts), PiecesOf(from.frec, kHeaderReals)});
    out.Write({TextPiece(from.title, kTitleChars)});
    return;
  }
  int32_t first[4] = {h.MFLG, h.IVERS, np, ne};
  out.Write({PiecesOf(first, 4)});
  out.Write({PieceOf(h.NBAN), PiecesOf(from.iban, h.NBAN)});
  out.Write({PieceOf(h.NIREC), PieceOf(h.NFREC), PiecesOf(from.irec, h.NIREC),
             PiecesOf(from.frec, h.NFREC)});
  out.Write({PieceOf(h.NTITL), PiecesOf(from.ititl, h.NTITL)});
}

}  // namespace korvant
