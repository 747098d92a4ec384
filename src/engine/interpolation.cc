#include "engine/interpolation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvant {
namespace {

constexpr int kNewtonSteps = 50;
constexpr double kInside = 1e-7;  // how far outside its element, in its own coordinates,
                                  // a point found by Newton's method is still taken
constexpr double kOnEdge = 1e-6;  // how near an edge, as a share of the element's size, a
                                  // point that Newton's method misses is taken to lie on it
constexpr double kAtNode = 1e-9;  // how near a node, the same way, a point is at it
constexpr int kEdgeSamples = 16;  // first guesses along an edge

// The corners of the reference quadrilateral, in order.
constexpr double kQuadXi[4] = {-1, 1, 1, -1};
constexpr double kQuadEta[4] = {-1, -1, 1, 1};

LocalPoint Centre(int corners) {
  return corners == 3 ? LocalPoint{1.0 / 3.0, 1.0 / 3.0} : LocalPoint{0.0, 0.0};
}

bool Inside(int corners, LocalPoint p, double tolerance) {
  if (corners == 3)
    return p.xi >= -tolerance && p.eta >= -tolerance && p.xi + p.eta <= 1 + tolerance;
  return std::fabs(p.xi) <= 1 + tolerance && std::fabs(p.eta) <= 1 + tolerance;
}

// The own coordinates of the point at `t` (0 to 1) along side `s`, from
// corner s to corner s + 1.
LocalPoint AlongSide(int corners, int s, double t) {
  if (corners == 3) {
    const LocalPoint from[3] = {{0, 0}, {1, 0}, {0, 1}};
    const LocalPoint to = from[(s + 1) % 3];
    return {from[s].xi + t * (to.xi - from[s].xi), from[s].eta + t * (to.eta - from[s].eta)};
  }
  const int e = (s + 1) % 4;
  return {kQuadXi[s] + t * (kQuadXi[e] - kQuadXi[s]),
          kQuadEta[s] + t * (kQuadEta[e] - kQuadEta[s])};
}

double Squared(double dx, double dy) { return dx * dx + dy * dy; }

}  // namespace

void ShapeFunctions(int corners, bool quadratic, LocalPoint at, std::span<double> n,
                    std::span<double> dxi, std::span<double> deta) {
  const double xi = at.xi, eta = at.eta;
  const bool slopes = !dxi.empty() && !deta.empty();
  auto set = [&](size_t i, double value, double by_xi, double by_eta) {
    n[i] = value;
    if (slopes) {
      dxi[i] = by_xi;
      deta[i] = by_eta;
    }
  };
  if (corners == 3) {
    const double l1 = 1.0 - xi - eta, l2 = xi, l3 = eta;
    if (!quadratic) {
      set(0, l1, -1, -1);
      set(1, l2, 1, 0);
      set(2, l3, 0, 1);
      return;
    }
    set(0, l1 * (2 * l1 - 1), -(4 * l1 - 1), -(4 * l1 - 1));
    set(1, l2 * (2 * l2 - 1), 4 * l2 - 1, 0);
    set(2, l3 * (2 * l3 - 1), 0, 4 * l3 - 1);
    set(3, 4 * l1 * l2, 4 * (l1 - l2), -4 * l2);
    set(4, 4 * l2 * l3, 4 * l3, 4 * l2);
    set(5, 4 * l3 * l1, -4 * l3, 4 * (l1 - l3));
    return;
  }
  for (size_t i = 0; i < 4; ++i) {
    const double xc = kQuadXi[i], ec = kQuadEta[i];
    const double a = 1 + xi * xc, b = 1 + eta * ec;
    if (!quadratic) {
      set(i, a * b / 4, xc * b / 4, ec * a / 4);
    } else {
      set(i, a * b * (xi * xc + eta * ec - 1) / 4, xc * b * (2 * xi * xc + eta * ec) / 4,
          ec * a * (xi * xc + 2 * eta * ec) / 4);
    }
  }
  if (!quadratic) return;
  // The mid-side nodes: of sides 0-1 and 2-3 at xi = 0, of 1-2 and 3-0 at eta = 0.
  for (size_t s = 0; s < 4; ++s) {
    const double xc = (kQuadXi[s] + kQuadXi[(s + 1) % 4]) / 2;
    const double ec = (kQuadEta[s] + kQuadEta[(s + 1) % 4]) / 2;
    if (xc == 0) {
      set(4 + s, (1 - xi * xi) * (1 + eta * ec) / 2, -xi * (1 + eta * ec), (1 - xi * xi) * ec / 2);
    } else {
      set(4 + s, (1 + xi * xc) * (1 - eta * eta) / 2, xc * (1 - eta * eta) / 2,
          -eta * (1 + xi * xc));
    }
  }
}

std::array<double, 2> MapToMesh(const Mesh& mesh, const Face& face, LocalPoint at) {
  std::array<double, 8> n{};
  ShapeFunctions(face.corners, face.quadratic, at, n);
  std::array<double, 2> p{0.0, 0.0};
  for (int i = 0; i < face.node_count(); ++i) {
    const size_t k = static_cast<size_t>(face.nodes[static_cast<size_t>(i)]);
    p[0] += n[static_cast<size_t>(i)] * mesh.x[k];
    p[1] += n[static_cast<size_t>(i)] * mesh.y[k];
  }
  return p;
}

std::optional<LocalPoint> InverseMap(const Mesh& mesh, const Face& face, double x, double y) {
  std::array<double, 8> n{}, dxi{}, deta{};
  LocalPoint at = Centre(face.corners);
  for (int step = 0; step < kNewtonSteps; ++step) {
    ShapeFunctions(face.corners, face.quadratic, at, n, dxi, deta);
    double px = 0, py = 0, xx = 0, xe = 0, yx = 0, ye = 0;
    for (size_t i = 0; i < static_cast<size_t>(face.node_count()); ++i) {
      const size_t k = static_cast<size_t>(face.nodes[i]);
      px += n[i] * mesh.x[k];
      py += n[i] * mesh.y[k];
      xx += dxi[i] * mesh.x[k];
      xe += deta[i] * mesh.x[k];
      yx += dxi[i] * mesh.y[k];
      ye += deta[i] * mesh.y[k];
    }
    const double det = xx * ye - xe * yx;
    if (!(std::fabs(det) > 0) || !std::isfinite(det)) return std::nullopt;
    const double rx = x - px, ry = y - py;
    const double dx = (ye * rx - xe * ry) / det, dy = (xx * ry - yx * rx) / det;
    // A step is kept within a few element widths, so that a point far
    // outside cannot carry the iteration off.
    at.xi = std::clamp(at.xi + dx, -4.0, 4.0);
    at.eta = std::clamp(at.eta + dy, -4.0, 4.0);
    if (std::fabs(dx) + std::fabs(dy) < 1e-13) return at;
  }
  return std::nullopt;
}

PointLocator::PointLocator(const Mesh& mesh, const ElementMap& map) : mesh_(mesh), map_(map) {
  boxes_.reserve(map.faces.size());
  for (const Face& face : map.faces) {
    Box box{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
            0.0};
    auto take = [&](double x, double y) {
      box.x0 = std::min(box.x0, x);
      box.y0 = std::min(box.y0, y);
      box.x1 = std::max(box.x1, x);
      box.y1 = std::max(box.y1, y);
    };
    for (int i = 0; i < face.node_count(); ++i) {
      const size_t k = static_cast<size_t>(face.nodes[static_cast<size_t>(i)]);
      take(mesh.x[k], mesh.y[k]);
    }
    // A curved side stays within the triangle of its ends and the point
    // twice as far from their midpoint as its mid-side node.
    for (int s = 0; face.quadratic && s < face.corners; ++s) {
      const size_t a = static_cast<size_t>(face.nodes[static_cast<size_t>(s)]);
      const size_t b = static_cast<size_t>(face.nodes[static_cast<size_t>((s + 1) % face.corners)]);
      const size_t m = static_cast<size_t>(face.nodes[static_cast<size_t>(face.corners + s)]);
      take(2.0 * mesh.x[m] - (mesh.x[a] + mesh.x[b]) / 2,
           2.0 * mesh.y[m] - (mesh.y[a] + mesh.y[b]) / 2);
    }
    box.size = std::hypot(box.x1 - box.x0, box.y1 - box.y0);
    boxes_.push_back(box);
  }
}

std::optional<PointWeights> PointLocator::Weights(const Face& face, LocalPoint at, double x,
                                                  double y) const {
  PointWeights w;
  w.element = face.element;
  w.count = face.node_count();
  w.local = at;
  std::array<double, 8> n{};
  ShapeFunctions(face.corners, face.quadratic, at, n);
  double nearest = std::numeric_limits<double>::infinity();
  for (size_t i = 0; i < static_cast<size_t>(w.count); ++i) {
    w.nodes[i] = face.nodes[i];
    w.weights[i] = n[i];
    const size_t k = static_cast<size_t>(face.nodes[i]);
    const double d = Squared(mesh_.x[k] - x, mesh_.y[k] - y);
    if (d < nearest) {
      nearest = d;
      w.nearest = face.nodes[i];
    }
  }
  return w;
}

std::optional<LocalPoint> PointLocator::OnEdge(const Face& face, double x, double y,
                                               double size) const {
  for (int s = 0; s < face.corners; ++s) {
    // The side as the element's own shape gives it; the nearest of a few
    // places along it, then bisection of the slope of the distance.
    auto distance = [&](double t) {
      const std::array<double, 2> p = MapToMesh(mesh_, face, AlongSide(face.corners, s, t));
      return Squared(p[0] - x, p[1] - y);
    };
    double best_t = 0, best = distance(0);
    for (int i = 1; i <= kEdgeSamples; ++i) {
      const double t = static_cast<double>(i) / kEdgeSamples;
      if (const double d = distance(t); d < best) {
        best = d;
        best_t = t;
      }
    }
    double lo = std::max(0.0, best_t - 1.0 / kEdgeSamples);
    double hi = std::min(1.0, best_t + 1.0 / kEdgeSamples);
    for (int i = 0; i < 60; ++i) {  // the distance's minimum by golden section
      const double a = lo + (hi - lo) * 0.381966, b = lo + (hi - lo) * 0.618034;
      if (distance(a) < distance(b)) {
        hi = b;
      } else {
        lo = a;
      }
    }
    const double t = (lo + hi) / 2;
    if (std::sqrt(std::min(distance(t), best)) <= kOnEdge * size) {
      return AlongSide(face.corners, s, distance(t) < best ? t : best_t);
    }
  }
  return std::nullopt;
}

std::optional<PointWeights> PointLocator::Find(double x, double y) const {
  // A point at a node is that node's own value.
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t f = 0; f < map_.faces.size(); ++f) {
      const Box& box = boxes_[f];
      const double size = box.size;
      const double slack = kOnEdge * size;
      if (x < box.x0 - slack || x > box.x1 + slack || y < box.y0 - slack || y > box.y1 + slack) {
        continue;
      }
      const Face& face = map_.faces[f];
      if (pass == 0) {
        for (int i = 0; i < face.node_count(); ++i) {
          const size_t k = static_cast<size_t>(face.nodes[static_cast<size_t>(i)]);
          if (std::sqrt(Squared(mesh_.x[k] - x, mesh_.y[k] - y)) <= kAtNode * size) {
            std::optional<PointWeights> w = Weights(face, Centre(face.corners), x, y);
            w->weights.fill(0.0);
            w->weights[static_cast<size_t>(i)] = 1.0;
            w->nearest = face.nodes[static_cast<size_t>(i)];
            return w;
          }
        }
        const std::optional<LocalPoint> at = InverseMap(mesh_, face, x, y);
        if (at && Inside(face.corners, *at, kInside)) return Weights(face, *at, x, y);
      } else if (const std::optional<LocalPoint> at = OnEdge(face, x, y, size)) {
        // Newton's method missed it or put it just outside: a point on an edge.
        return Weights(face, *at, x, y);
      }
    }
  }
  return std::nullopt;
}

std::pair<int32_t, double> PointLocator::Nearest(double x, double y) const {
  int32_t node = -1;
  double best = std::numeric_limits<double>::infinity();
  for (int32_t k = 0; k < mesh_.np; ++k) {
    const double d =
        Squared(mesh_.x[static_cast<size_t>(k)] - x, mesh_.y[static_cast<size_t>(k)] - y);
    if (d < best) {
      best = d;
      node = k;
    }
  }
  return {node, node < 0 ? 0.0 : std::sqrt(best)};
}

}  // namespace korvant
