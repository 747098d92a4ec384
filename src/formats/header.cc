#include "formats/header.h"

#include <algorithm>
#include <span>

#include "text/char_codes.h"

namespace korvant {
namespace {

constexpr int64_t kFirstIntsBytes = 4 * 4;  // H1: MFLG, IVERS, NP, NE
constexpr int64_t kCharacterIntsBytes = 4 * (kHeaderInts + kHeaderReals);  // C2

// Data bytes of an integer-coded record: its counts, then as many values as
// they give.
int64_t CountedBytes(std::span<const int32_t> counts) {
  int64_t bytes = 4 * static_cast<int64_t>(counts.size());
  for (const int32_t count : counts) bytes += 4 * std::max<int64_t>(count, 0);
  return bytes;
}

// Whether the record at the position holds `n` counts and the values they give.
bool FitsItsCounts(RecordFile& f, int n) {
  int32_t counts[2] = {};
  const int64_t length = f.Peek({counts, static_cast<size_t>(n)});
  return length == CountedBytes({counts, static_cast<size_t>(n)});
}

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

ReadResult ReadCharacterForm(RecordFile& f, const HeaderText& into, const HeaderVariant& variant) {
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
  if (status != ReadStatus::kOk || !variant.titled || into.irec[0] < variant.title_from_version) {
    return Failed(f, status, 2);
  }
  status = f.Begin();
  if (status == ReadStatus::kOk) {
    f.Text(into.title, kTitleChars);
    status = f.Finish();
  }
  return Failed(f, status, 3);
}

ReadResult ReadIntegerForm(RecordFile& f, HeaderValues* h, const HeaderText& into,
                           MeshLimits limits, const HeaderVariant& variant) {
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
  ReadResult result = ReadCounted(f, 2, variant.counts[0], &h->NBAN, into.iban, kBannerChars);
  if (!result.ok()) return result;
  status = f.Begin();
  if (status != ReadStatus::kOk) return Failed(f, status, 3);
  int32_t counts[2] = {0, 0};
  f.Ints(counts, 2);
  h->NIREC = counts[0];
  h->NFREC = counts[1];
  if (h->NIREC > kHeaderInts) return TooLarge(variant.counts[1], h->NIREC, kHeaderInts);
  if (h->NFREC > kHeaderReals) return TooLarge(variant.counts[2], h->NFREC, kHeaderReals);
  f.Ints(into.irec, h->NIREC);
  f.Reals(into.frec, h->NFREC);
  status = f.Finish();
  if (status != ReadStatus::kOk) return Failed(f, status, 3);
  result = ReadCounted(f, 4, variant.counts[3], &h->NTITL, into.ititl, kTitleChars);
  if (!result.ok()) return result;
  CodesToText(into.iban, into.banner, kBannerLines, kBannerWidth);
  CodesToText(into.ititl, into.title, 1, kTitleChars);
  return result;
}

}  // namespace

HeaderForm HeaderFormOf(int32_t itest, int64_t length) {
  if (itest > kIntegerCodedMax && length == kBannerChars) return HeaderForm::kCharacter;
  if (itest <= kIntegerCodedMax && length == kFirstIntsBytes) return HeaderForm::kIntegerCoded;
  return HeaderForm::kNone;
}

std::string CheckHeaderLengths(RecordFile& f, HeaderForm form, int32_t* version) {
  if (form == HeaderForm::kCharacter) {
    if (f.Peek({version, 1}) != kCharacterIntsBytes) {
      return "a banner record not followed by 40 integers and 40 reals";
    }
    return "";
  }
  if (!FitsItsCounts(f, 1)) {
    return "an integer-coded header whose banner record does not fit its count";
  }
  if (!FitsItsCounts(f, 2)) {
    return "an integer-coded header whose numbers record does not fit its counts";
  }
  if (!FitsItsCounts(f, 1)) {
    return "an integer-coded header whose title record does not fit its count";
  }
  return "";
}

bool CouldBeTitle(RecordFile& f) { return f.Peek({}) == kTitleChars; }

ReadResult DetectForm(RecordFile& f, HeaderValues* h) {
  ReadStatus status = f.Begin();
  if (status != ReadStatus::kOk) return ResultOf(f, status);
  f.Ints(&h->ITEST, 1);
  status = f.Finish();
  ReadResult result = ResultOf(f, status);
  if (status == ReadStatus::kOk) f.Rewind();
  return result;
}

ReadResult ReadHeader(RecordFile& f, HeaderValues* h, const HeaderText& into, MeshLimits limits,
                      const HeaderVariant& variant) {
  return h->integer_coded() ? ReadIntegerForm(f, h, into, limits, variant)
                            : ReadCharacterForm(f, into, variant);
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

ReadResult HeaderStore::Read(RecordFile& f, MeshLimits limits, bool titled) {
  ReadResult result = DetectForm(f, &values_);
  HeaderVariant variant;
  variant.titled = titled;
  return result.ok() ? ReadHeader(f, &values_, text(), limits, variant) : result;
}

std::string HeaderStore::title() const {
  const std::string_view text(title_.data(), title_.size());
  const size_t end = text.find_last_not_of(std::string_view(" \0", 2));
  return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

void HeaderStore::Write(RecordFile& out, int32_t np, int32_t ne) {
  WriteHeader(out, values_, text(), np, ne);
}

}  // namespace korvant
