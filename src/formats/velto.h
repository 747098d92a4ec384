#pragma once

#include <cstdint>
#include <span>

#include "formats/header.h"
#include "formats/read_result.h"
#include "io/record_file.h"

namespace korvant {

// A VELTO geometry file: a header, in the character form (C1 banner text, C2
// 40 integers and 40 reals, C3 the title when IREC(1) is 425 or more) or the
// integer-coded form (I1 MFLG, IVERS, NP, NE; I2 banner codes; I3 header
// integers and reals; I4 title codes); then G1: NP, NE, for each node X, Y, a
// third value and the bottom elevation, for each element eight node numbers,
// an integer, a real and an integer; then G2, when IREC(1) is above 420: four
// reals per node.
constexpr int kVeltoTitleFromVersion = 425;     // C3 present from this version code on
constexpr int kVeltoNodeExtAfterVersion = 420;  // G2 present above this version code
constexpr int kVeltoNodeValues = 4;
constexpr int kVeltoElementValues = 11;
constexpr int kVeltoCorners = 8;  // node numbers of an element

/// Where a mesh goes. A read stores nothing beyond the spans: NP against
/// `ao`, NE against `imat`.
struct VeltoMesh {
  HeaderText header;
  int32_t np = 0, ne = 0;
  std::span<float> cord;        // x and y of each node
  std::span<float> ao;          // bottom elevation of each node
  std::span<float> nodeext;     // four G2 values of each node
  std::span<int32_t> nop;       // eight node numbers of each element, as in the file
  std::span<int32_t> imat;      // the integer after them
  std::span<float> elemreal;    // the real after that
  std::span<int32_t> elemint2;  // the last integer

  int64_t node_limit() const { return static_cast<int64_t>(ao.size()); }
  int64_t element_limit() const { return static_cast<int64_t>(imat.size()); }
};

/// Data bytes of G1 with these counts.
int64_t VeltoMeshBytes(int64_t np, int64_t ne);

/// Whether the record at the file's position can be G1, from its length and
/// counts alone. The file is left after the record.
bool CouldBeVeltoMesh(RecordFile& f);

/// Reads a geometry file from its start. On failure `part` tells the record:
/// 1 is the first record of either form (callers handle it apart from the
/// rest). kTooLarge names the count (N1 to N4, NP, NE).
ReadResult ReadVelto(RecordFile& f, VeltoMesh& mesh);

/// The two halves of `ReadVelto`, for a caller that sizes the mesh arrays
/// between them: the header, read from the file's start, leaves the file at
/// G1; the geometry then reads G1 (and G2).
ReadResult ReadVeltoHeader(RecordFile& f, VeltoMesh& mesh);
ReadResult ReadVeltoGeometry(RecordFile& f, VeltoMesh& mesh);

}  // namespace korvant
