#include "formats/velto.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace korvant {
namespace {

constexpr int kFirstPart = 1;
constexpr int kLaterPart = 2;

ReadResult Failed(const RecordFile& f, ReadStatus status, int part) {
  ReadResult result = ResultOf(f, status);
  result.part = part;
  return result;
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
    if (!f.Takes({IntoValues(scratch.data(), int64_t{n} * kPer)})) return false;
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

}  // namespace

int64_t VeltoMeshBytes(int64_t np, int64_t ne) {
  return 4 * (2 + kVeltoNodeValues * np + kVeltoElementValues * ne);  // NP, NE and the values
}

bool CouldBeVeltoMesh(RecordFile& f) {
  int32_t counts[2] = {};  // NP, NE
  const int64_t length = f.Peek(counts);
  return length >= 0 && counts[0] >= 0 && counts[1] >= 0 &&
         length == VeltoMeshBytes(counts[0], counts[1]);
}

ReadResult ReadVeltoHeader(RecordFile& f, VeltoMesh& mesh) {
  // The counts of H1 are only what the header says: G1's own are checked.
  static constexpr HeaderVariant kVeltoHeader{{"N1", "N2", "N3", "N4"}, kVeltoTitleFromVersion};
  f.Rewind();
  HeaderValues h;
  ReadResult result = DetectForm(f, &h);
  if (!result.ok()) {
    result.part = kFirstPart;
    return result;
  }
  result = ReadHeader(f, &h, mesh.header, kAnyMesh, kVeltoHeader);
  if (h.integer_coded() && result.part != kFirstPart) {
    mesh.np = h.np;
    mesh.ne = h.ne;
  }
  return result;
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
