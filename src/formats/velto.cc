#include "formats/velto.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "text/char_codes.h"

namespace korvant {
namespace {

constexpr int kFirstPart = 1;
constexpr int kLaterPart = 2;

ReadResult Failed(const RecordFile& f, ReadStatus status, int part) {
  ReadResult result = ResultOf(f, status);
  result.part = part;
  return result;
}

ReadResult ReadCountedInts(RecordFile& f, int32_t* dst, int limit, std::string_view name) {
  int32_t count = 0;
  ReadStatus status = f.Begin();
  if (status != ReadStatus::kOk) return Failed(f, status, kLaterPart);
  if (f.Ints(&count, 1) && count > limit) return TooLarge(name, count, limit);
  f.Ints(dst, count);
  return Failed(f, f.Finish(), kLaterPart);
}

float AsFloat(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// The node and element values are interleaved in the file; they are read in
// blocks into a scratch array and spread over their arrays from there.
template <size_t kPer, typename Spread>
bool ReadInterleaved(RecordFile& f, int32_t count, Spread spread) {
  constexpr int kBlock = 1024;
  std::array<uint32_t, kBlock * kPer> scratch;
  for (int32_t first = 0; first < count; first += kBlock) {
    int32_t n = std::min<int32_t>(kBlock, count - first);
    if (!f.Bytes(scratch.data(), static_cast<int64_t>(n) * kPer * 4)) return false;
    for (int32_t i = 0; i < n; ++i) spread(first + i, &scratch[static_cast<size_t>(i) * kPer]);
  }
  return true;
}

ReadResult ReadMesh(RecordFile& f, VeltoMesh& m) {
  ReadStatus status = f.Begin();
  if (status != ReadStatus::kOk) return Failed(f, status, kLaterPart);
  int32_t counts[2] = {0, 0};
  f.Ints(counts, 2);
  if (counts[0] > m.node_limit()) return TooLarge("NP", counts[0], m.node_limit());
  if (counts[1] > m.element_limit()) return TooLarge("NE", counts[1], m.element_limit());
  m.np = counts[0];
  m.ne = counts[1];
  ReadInterleaved<kVeltoNodeValues>(f, m.np,
                                    [&](int32_t j, const uint32_t* v) {
                                      m.cord[2 * j] = AsFloat(v[0]);
                                      m.cord[2 * j + 1] = AsFloat(v[1]);
                                      m.ao[j] = AsFloat(v[3]);
                                    }) &&
      ReadInterleaved<kVeltoElementValues>(f, m.ne, [&](int32_t e, const uint32_t* v) {
        for (int k = 0; k < kVeltoCorners; ++k)
          m.nop[kVeltoCorners * e + k] = static_cast<int32_t>(v[k]);
        m.imat[e] = static_cast<int32_t>(v[8]);
        m.elemreal[e] = AsFloat(v[9]);
        m.elemint2[e] = static_cast<int32_t>(v[10]);
      });
  return Failed(f, f.Finish(), kLaterPart);
}

ReadResult ReadCharacterHeader(RecordFile& f, const HeaderText& h) {
  ReadStatus status = f.Begin();
  if (status != ReadStatus::kOk) return Failed(f, status, kFirstPart);
  f.Text(h.banner, kBannerChars);
  status = f.Finish();
  if (status != ReadStatus::kOk) return Failed(f, status, kFirstPart);
  status = f.Begin();
  if (status != ReadStatus::kOk) return Failed(f, status, kLaterPart);
  f.Ints(h.irec, kHeaderInts);
  f.Reals(h.frec, kHeaderReals);
  status = f.Finish();
  if (status != ReadStatus::kOk || h.irec[0] < kVeltoTitleFromVersion) {
    return Failed(f, status, kLaterPart);
  }
  status = f.Begin();
  if (status != ReadStatus::kOk) return Failed(f, status, kLaterPart);
  f.Text(h.title, kTitleChars);
  return Failed(f, f.Finish(), kLaterPart);
}

ReadResult ReadIntegerHeader(RecordFile& f, VeltoMesh& m) {
  const HeaderText& h = m.header;
  int32_t first[4] = {0, 0, 0, 0};  // MFLG, IVERS, NP, NE
  ReadStatus status = f.Begin();
  if (status != ReadStatus::kOk) return Failed(f, status, kFirstPart);
  f.Ints(first, 4);
  status = f.Finish();
  if (status != ReadStatus::kOk) return Failed(f, status, kFirstPart);
  m.np = first[2];
  m.ne = first[3];
  ReadResult result = ReadCountedInts(f, h.iban, kBannerChars, "N1");
  if (!result.ok()) return result;
  status = f.Begin();
  if (status != ReadStatus::kOk) return Failed(f, status, kLaterPart);
  int32_t counts[2] = {0, 0};
  f.Ints(counts, 2);
  if (counts[0] > kHeaderInts) return TooLarge("N2", counts[0], kHeaderInts);
  if (counts[1] > kHeaderReals) return TooLarge("N3", counts[1], kHeaderReals);
  f.Ints(h.irec, counts[0]);
  f.Reals(h.frec, counts[1]);
  status = f.Finish();
  if (status != ReadStatus::kOk) return Failed(f, status, kLaterPart);
  result = ReadCountedInts(f, h.ititl, kTitleChars, "N4");
  if (!result.ok()) return result;
  CodesToText(h.iban, h.banner, kBannerLines, kBannerWidth);
  CodesToText(h.ititl, h.title, 1, kTitleChars);
  return result;
}

}  // namespace

ReadResult ReadVeltoHeader(RecordFile& f, VeltoMesh& mesh) {
  f.Rewind();
  int32_t itest = 0;
  ReadStatus status = f.Begin();
  if (status == ReadStatus::kOk) {
    f.Ints(&itest, 1);
    status = f.Finish();
  }
  if (status != ReadStatus::kOk) return Failed(f, status, kFirstPart);
  f.Rewind();
  return itest > kIntegerCodedMax ? ReadCharacterHeader(f, mesh.header)
                                  : ReadIntegerHeader(f, mesh);
}

ReadResult ReadVeltoGeometry(RecordFile& f, VeltoMesh& mesh) {
  ReadResult result = ReadMesh(f, mesh);
  if (!result.ok() || mesh.header.irec[0] <= kVeltoNodeExtAfterVersion) return result;
  ReadStatus status = f.Begin();
  if (status != ReadStatus::kOk) return Failed(f, status, kLaterPart);
  f.Reals(mesh.nodeext.data(), static_cast<int64_t>(mesh.np) * kVeltoNodeValues);
  return Failed(f, f.Finish(), kLaterPart);
}

ReadResult ReadVelto(RecordFile& f, VeltoMesh& mesh) {
  ReadResult result = ReadVeltoHeader(f, mesh);
  return result.ok() ? ReadVeltoGeometry(f, mesh) : result;
}

}  // namespace korvant
