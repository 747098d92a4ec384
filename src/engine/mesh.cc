#include "engine/mesh.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "formats/limits.h"
#include "formats/velto.h"

namespace korvant {
namespace {

ReadResult CountsBeyondRecord(const RecordFile& f, int64_t np, int64_t ne) {
  ReadResult result;
  result.outcome = Outcome::kDamaged;
  result.part = 2;
  result.damage.record = f.record();
  result.damage.offset = f.record_offset();
  result.damage.what = "its counts of " + std::to_string(np) + " nodes and " + std::to_string(ne) +
                       " elements need " + std::to_string(VeltoMeshBytes(np, ne)) +
                       " bytes, it holds " + std::to_string(f.length());
  return result;
}

// Reads NP and NE of G1 and checks them against the record and the limits;
// the file is left at the start of G1.
ReadResult PeekCounts(RecordFile& f, MeshLimits limits, int32_t* np, int32_t* ne) {
  const RecordMark at = f.Tell();
  ReadStatus status = f.Begin();
  if (status != ReadStatus::kOk) return ResultOf(f, status);
  int32_t counts[2] = {0, 0};
  if (!f.Ints(counts, 2)) return ResultOf(f, f.Finish());
  *np = std::max(counts[0], 0);
  *ne = std::max(counts[1], 0);
  if (*np > limits.nodes) return TooLarge("NP", *np, limits.nodes);
  if (*ne > limits.elements) return TooLarge("NE", *ne, limits.elements);
  if (VeltoMeshBytes(*np, *ne) > f.length()) return CountsBeyondRecord(f, *np, *ne);
  f.Seek(at);
  return ReadResult{};
}

// Node numbers of an element: how many lead before the first 0, and whether
// any follows that 0.
int LeadingNodes(const int32_t* nop, bool* gaps) {
  int n = 0;
  while (n < kVeltoCorners && nop[n] != 0) ++n;
  *gaps = std::any_of(nop + n, nop + kVeltoCorners, [](int32_t k) { return k != 0; });
  return n;
}

// Corner i and the mid-side node after it, as positions in the element's list.
int CornerAt(int i, int corners, NodeOrder order) {
  return order == NodeOrder::kAlternate ? 2 * (i % corners) : i % corners;
}
int MidAt(int i, int corners, NodeOrder order) {
  return order == NodeOrder::kAlternate ? 2 * i + 1 : corners + i;
}

double TwiceArea(const Mesh& mesh, const Face& face) {
  double sum = 0.0;
  for (int i = 0; i < face.corners; ++i) {
    const int32_t a = face.nodes[i], b = face.nodes[(i + 1) % face.corners];
    sum += static_cast<double>(mesh.x[a]) * mesh.y[b] - static_cast<double>(mesh.x[b]) * mesh.y[a];
  }
  return sum;
}

// Turned round, the corners run c0, c(n-1), ..., c1; their sides are the old
// ones backwards, last first, so the mid-side nodes reverse as a whole.
void MakeAnticlockwise(const Mesh& mesh, Face* face) {
  if (TwiceArea(mesh, *face) >= 0.0) return;
  const int n = face->corners;
  std::reverse(face->nodes.begin() + 1, face->nodes.begin() + n);
  if (face->quadratic) std::reverse(face->nodes.begin() + n, face->nodes.begin() + 2 * n);
}

Face FaceOf(const Mesh& mesh, int32_t element, int nodes, NodeOrder order) {
  const int32_t* nop = &mesh.nop[static_cast<size_t>(element) * kVeltoCorners];
  Face face;
  face.element = element;
  face.quadratic = nodes == 6 || nodes == 8;
  face.corners = face.quadratic ? nodes / 2 : nodes;
  for (int i = 0; i < face.corners; ++i) {
    face.nodes[i] = nop[face.quadratic ? CornerAt(i, face.corners, order) : i] - 1;
    if (face.quadratic) face.nodes[face.corners + i] = nop[MidAt(i, face.corners, order)] - 1;
  }
  MakeAnticlockwise(mesh, &face);
  return face;
}

}  // namespace

ReadResult LoadMesh(RecordFile& f, Mesh* mesh, MeshLimits limits) {
  f.CompareClosingLengths(true);
  f.ReadAnyFraming(true);
  HeaderStore header;
  VeltoMesh velto;
  velto.header = header.text();
  ReadResult result = ReadVeltoHeader(f, velto);
  if (!result.ok()) return result;
  int32_t np = 0, ne = 0;
  result = PeekCounts(f, limits, &np, &ne);
  if (!result.ok()) return result;
  std::vector<float> cord(2 * static_cast<size_t>(np)), nodeext(4 * static_cast<size_t>(np));
  std::vector<float> elemreal(static_cast<size_t>(ne));
  std::vector<int32_t> elemint2(static_cast<size_t>(ne));
  mesh->bottom.assign(static_cast<size_t>(np), 0.0f);
  mesh->nop.assign(static_cast<size_t>(ne) * kVeltoCorners, 0);
  mesh->imat.assign(static_cast<size_t>(ne), 0);
  velto.cord = cord;
  velto.ao = mesh->bottom;
  velto.nodeext = nodeext;
  velto.nop = mesh->nop;
  velto.imat = mesh->imat;
  velto.elemreal = elemreal;
  velto.elemint2 = elemint2;
  result = ReadVeltoGeometry(f, velto);
  if (!result.ok()) return result;
  mesh->np = np;
  mesh->ne = ne;
  mesh->title = header.title();
  mesh->x.resize(static_cast<size_t>(np));
  mesh->y.resize(static_cast<size_t>(np));
  for (size_t j = 0; j < static_cast<size_t>(np); ++j) {
    mesh->x[j] = cord[2 * j];
    mesh->y[j] = cord[2 * j + 1];
  }
  return result;
}

bool FitsOrder(const Mesh& mesh, const int32_t* nop, int nodes, NodeOrder order) {
  // A curved side moves its mid-side node off the chord's midpoint; a node of
  // the other order sits at a corner or halfway round, far further off.
  constexpr double kTolerance = 0.25;
  const int corners = nodes / 2;
  for (int i = 0; i < corners; ++i) {
    const int32_t a = nop[CornerAt(i, corners, order)] - 1;
    const int32_t b = nop[CornerAt(i + 1, corners, order)] - 1;
    const int32_t m = nop[MidAt(i, corners, order)] - 1;
    const double side = std::hypot(double{mesh.x[b]} - mesh.x[a], double{mesh.y[b]} - mesh.y[a]);
    const double off = std::hypot(double{mesh.x[m]} - 0.5 * (double{mesh.x[a]} + mesh.x[b]),
                                  double{mesh.y[m]} - 0.5 * (double{mesh.y[a]} + mesh.y[b]));
    if (!(side > 0.0) || !(off <= kTolerance * side)) return false;
  }
  return true;
}

bool MapElements(const Mesh& mesh, std::optional<NodeOrder> forced, ElementMap* map,
                 std::string* error) {
  *map = ElementMap{};
  // Each element's node count, and which orders its mid-side nodes fit (a
  // bit each), so that the second pass tells nothing twice.
  constexpr uint8_t kFitsAlternate = 1, kFitsCornersFirst = 2;
  const auto bit = [](NodeOrder order) {
    return order == NodeOrder::kAlternate ? kFitsAlternate : kFitsCornersFirst;
  };
  std::vector<int8_t> nodes(static_cast<size_t>(mesh.ne));
  std::vector<uint8_t> fits(static_cast<size_t>(mesh.ne));
  for (int32_t e = 0; e < mesh.ne; ++e) {
    const int32_t* nop = &mesh.nop[static_cast<size_t>(e) * kVeltoCorners];
    for (int k = 0; k < kVeltoCorners; ++k) {
      if (nop[k] < 0 || nop[k] > mesh.np) {
        *error = "element " + std::to_string(e + 1) + " names node " + std::to_string(nop[k]) +
                 ", but the mesh has nodes 1 to " + std::to_string(mesh.np);
        return false;
      }
    }
    bool gaps = false;
    int n = LeadingNodes(nop, &gaps);
    const bool placed = std::all_of(nop, nop + n, [&](int32_t k) {
      return std::isfinite(mesh.x[k - 1]) && std::isfinite(mesh.y[k - 1]);
    });
    if (gaps || !placed || !(n == 3 || n == 4 || n == 6 || n == 8)) n = 0;
    nodes[static_cast<size_t>(e)] = static_cast<int8_t>(n);
    if (n < 6) continue;
    ++map->quadratic;
    uint8_t& fit = fits[static_cast<size_t>(e)];
    if (FitsOrder(mesh, nop, n, NodeOrder::kAlternate)) fit |= kFitsAlternate;
    if (FitsOrder(mesh, nop, n, NodeOrder::kCornersFirst)) fit |= kFitsCornersFirst;
    map->fit_alternate += (fit & kFitsAlternate) != 0;
    map->fit_corners_first += (fit & kFitsCornersFirst) != 0;
  }
  map->detected = !forced.has_value();
  map->order =
      forced.value_or(map->fit_corners_first > map->fit_alternate ? NodeOrder::kCornersFirst
                                                                  : NodeOrder::kAlternate);
  map->faces.reserve(static_cast<size_t>(mesh.ne));
  for (int32_t e = 0; e < mesh.ne; ++e) {
    const int n = nodes[static_cast<size_t>(e)];
    if (n == 0) {
      map->shapeless.push_back(e);
    } else if (n >= 6 && (fits[static_cast<size_t>(e)] & bit(map->order)) == 0) {
      map->unfit.push_back(e);
    } else {
      map->faces.push_back(FaceOf(mesh, e, n, map->order));
    }
  }
  return true;
}

}  // namespace korvant
