#include "export/plot_render.h"

#include <cairo-svg.h>
#include <cairo.h>
#ifdef KORVANT_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include "io/outputs.h"

namespace korvant {
namespace {

using Triangle = std::array<int32_t, 3>;

constexpr Rgb kBackground{1.0, 1.0, 1.0};
constexpr Rgb kNoValue{0.8, 0.8, 0.8};
constexpr Rgb kInk{0.0, 0.0, 0.0};
constexpr double kTitleSize = 15.0;
constexpr double kLabelSize = 12.0;
constexpr double kBarWidth = 20.0;
constexpr double kSvgShadingDpi = 144.0;
constexpr double kArrowSpacing = 28.0;  // pixels between arrows, at most one a square

// The triangles a face is shaded in: a quadratic face in its corner triangles
// and the triangles of its mid-side nodes, so that every node's value shows;
// a polygon as a fan from its first corner.
void TrianglesOf(const Face& f, std::vector<Triangle>* out) {
  const int n = f.corners;
  const auto& k = f.nodes;
  if (!f.quadratic) {
    for (int i = 1; i + 1 < n; ++i) out->push_back({k[0], k[i], k[i + 1]});
    return;
  }
  for (int i = 0; i < n; ++i) out->push_back({k[i], k[n + i], k[n + (i + n - 1) % n]});
  for (int i = 1; i + 1 < n; ++i) out->push_back({k[n], k[n + i], k[n + i + 1]});
}

struct Cairo {
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  ~Cairo() {
    if (cr != nullptr) cairo_destroy(cr);
    if (surface != nullptr) cairo_surface_destroy(surface);
  }
};

void SetColour(cairo_t* cr, const Rgb& c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", v);
  return text;
}

void Shade(cairo_t* cr, const Mesh& mesh, const ElementMap& map, const PlotFrame& frame,
           std::span<const float> values, const PlotLook& look) {
  std::vector<Triangle> triangles;
  for (const Face& face : map.faces) TrianglesOf(face, &triangles);
  cairo_pattern_t* shading = cairo_pattern_create_mesh();
  const double span = look.hi - look.lo;
  for (const Triangle& t : triangles) {
    const bool known =
        std::all_of(t.begin(), t.end(), [&](int32_t k) { return std::isfinite(values[k]); });
    if (!known) {
      SetColour(cr, kNoValue);
      cairo_move_to(cr, frame.X(mesh.x[t[0]]), frame.Y(mesh.y[t[0]]));
      for (int i = 1; i < 3; ++i) cairo_line_to(cr, frame.X(mesh.x[t[i]]), frame.Y(mesh.y[t[i]]));
      cairo_close_path(cr);
      cairo_fill(cr);
      continue;
    }
    cairo_mesh_pattern_begin_patch(shading);
    cairo_mesh_pattern_move_to(shading, frame.X(mesh.x[t[0]]), frame.Y(mesh.y[t[0]]));
    for (int i = 1; i < 3; ++i) {
      cairo_mesh_pattern_line_to(shading, frame.X(mesh.x[t[i]]), frame.Y(mesh.y[t[i]]));
    }
    for (int i = 0; i < 3; ++i) {
      const double at = span > 0 ? (values[t[i]] - look.lo) / span : 0.5;
      const Rgb c = look.colours->At(at);
      cairo_mesh_pattern_set_corner_color_rgb(shading, i, c.r, c.g, c.b);
    }
    cairo_mesh_pattern_end_patch(shading);
  }
  int patches = 0;
  cairo_mesh_pattern_get_patch_count(shading, reinterpret_cast<unsigned*>(&patches));
  if (patches > 0) {
    cairo_set_source(cr, shading);
    cairo_paint(cr);
  }
  cairo_pattern_destroy(shading);
}

void Edges(cairo_t* cr, const Mesh& mesh, const ElementMap& map, const PlotFrame& frame) {
  cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 0.35);
  cairo_set_line_width(cr, 0.5);
  for (const Face& f : map.faces) {
    for (int i = 0; i < f.corners; ++i) {
      const int32_t k = f.nodes[i];
      if (i == 0) cairo_move_to(cr, frame.X(mesh.x[k]), frame.Y(mesh.y[k]));
      if (f.quadratic) {
        const int32_t m = f.nodes[f.corners + i];
        cairo_line_to(cr, frame.X(mesh.x[m]), frame.Y(mesh.y[m]));
      }
      const int32_t next = f.nodes[(i + 1) % f.corners];
      cairo_line_to(cr, frame.X(mesh.x[next]), frame.Y(mesh.y[next]));
    }
    cairo_stroke(cr);
  }
}

// One arrow a square of the picture, at the drawn node with a velocity
// nearest the square's centre; the fastest is nearly a square long.
void Arrows(cairo_t* cr, const Mesh& mesh, const ElementMap& map, const PlotFrame& frame,
            std::span<const float> u, std::span<const float> v, const PlotLook& look) {
  std::vector<bool> drawn(static_cast<size_t>(mesh.np), false);
  for (const Face& f : map.faces) {
    for (int i = 0; i < f.node_count(); ++i) drawn[static_cast<size_t>(f.nodes[i])] = true;
  }
  const int columns = static_cast<int>(look.width / kArrowSpacing) + 1;
  const int rows = static_cast<int>(look.height / kArrowSpacing) + 1;
  std::vector<int32_t> chosen(static_cast<size_t>(columns) * rows, -1);
  std::vector<double> off(chosen.size(), HUGE_VAL);  // the chosen node's distance from the centre
  for (int32_t k = 0; k < mesh.np; ++k) {
    const double speed = std::hypot(double{u[k]}, double{v[k]});
    if (!drawn[k] || !(speed > 0.0) || !std::isfinite(speed)) continue;
    const double x = frame.X(mesh.x[k]) / kArrowSpacing, y = frame.Y(mesh.y[k]) / kArrowSpacing;
    const int col = std::clamp(static_cast<int>(x), 0, columns - 1);
    const int row = std::clamp(static_cast<int>(y), 0, rows - 1);
    const size_t cell = static_cast<size_t>(row) * columns + col;
    const double d = std::hypot(x - col - 0.5, y - row - 0.5);
    if (d < off[cell]) {
      off[cell] = d;
      chosen[cell] = k;
    }
  }
  double fastest = 0.0;
  for (int32_t k : chosen) {
    if (k >= 0) fastest = std::max(fastest, std::hypot(double{u[k]}, double{v[k]}));
  }
  SetColour(cr, kInk);
  cairo_set_line_width(cr, 1.0);
  for (int32_t k : chosen) {
    if (k < 0) continue;
    const double scale = 0.9 * kArrowSpacing / fastest;
    const double dx = scale * u[k], dy = -scale * v[k];  // y grows downwards in the picture
    const double x = frame.X(mesh.x[k]), y = frame.Y(mesh.y[k]);
    const double length = std::hypot(dx, dy);
    const double head = std::min(6.0, 0.4 * length);
    const double angle = std::atan2(dy, dx);
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x + dx, y + dy);
    for (double side : {-0.45, 0.45}) {
      cairo_move_to(cr, x + dx, y + dy);
      cairo_line_to(cr, x + dx - head * std::cos(angle + side),
                    y + dy - head * std::sin(angle + side));
    }
    cairo_stroke(cr);
  }
}

void ColourBar(cairo_t* cr, const PlotLook& look) {
  const double x = look.width - PlotFrame::kRight + 30.0;
  const double top = PlotFrame::kTop + 10.0;
  const double bottom = look.height - PlotFrame::kBottom - 30.0;
  cairo_pattern_t* bar = cairo_pattern_create_linear(0.0, bottom, 0.0, top);
  for (const ColourStop& s : look.colours->stops()) {
    cairo_pattern_add_color_stop_rgb(bar, s.at, s.colour.r, s.colour.g, s.colour.b);
  }
  cairo_rectangle(cr, x, top, kBarWidth, bottom - top);
  cairo_set_source(cr, bar);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(bar);
  SetColour(cr, kInk);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
  cairo_set_font_size(cr, kLabelSize);
  cairo_move_to(cr, x + kBarWidth + 6.0, top + kLabelSize / 2);
  cairo_show_text(cr, Number(look.hi).c_str());
  cairo_move_to(cr, x + kBarWidth + 6.0, bottom + kLabelSize / 2);
  cairo_show_text(cr, Number(look.lo).c_str());
  if (!look.units.empty()) {
    cairo_move_to(cr, x, bottom + 2.2 * kLabelSize);
    cairo_show_text(cr, look.units.c_str());
  }
}

}  // namespace

PlotFrame::PlotFrame(const Mesh& mesh, const ElementMap& map, int width, int height) {
  double min_x = std::numeric_limits<double>::infinity(), max_x = -min_x;
  double min_y = min_x, max_y = -min_x;
  for (const Face& f : map.faces) {
    for (int i = 0; i < f.node_count(); ++i) {
      const size_t k = static_cast<size_t>(f.nodes[i]);
      min_x = std::min<double>(min_x, mesh.x[k]);
      max_x = std::max<double>(max_x, mesh.x[k]);
      min_y = std::min<double>(min_y, mesh.y[k]);
      max_y = std::max<double>(max_y, mesh.y[k]);
    }
  }
  if (map.faces.empty()) min_x = max_x = min_y = max_y = 0.0;
  const double area_w = std::max(1, width - kLeft - kRight);
  const double area_h = std::max(1, height - kTop - kBottom);
  const double w = max_x - min_x, h = max_y - min_y;
  scale_ = std::min(w > 0 ? area_w / w : HUGE_VAL, h > 0 ? area_h / h : HUGE_VAL);
  if (!std::isfinite(scale_)) scale_ = 1.0;
  min_x_ = min_x;
  max_y_ = max_y;
  x0_ = kLeft + (area_w - scale_ * w) / 2;
  y0_ = kTop + (area_h - scale_ * h) / 2;
}

bool RenderPlot(const std::string& path, PictureFormat format, const Mesh& mesh,
                const ElementMap& map, std::span<const float> values, std::span<const float> u,
                std::span<const float> v, const PlotLook& look, std::string* error) {
  Cairo c;
  c.surface = format == PictureFormat::kPng
                  ? cairo_image_surface_create(CAIRO_FORMAT_RGB24, look.width, look.height)
                  : cairo_svg_surface_create(path.c_str(), look.width, look.height);
  if (format == PictureFormat::kSvg) {
    cairo_svg_surface_set_document_unit(c.surface, CAIRO_SVG_UNIT_PX);
    // SVG has no smooth shading of triangles: cairo embeds the shading as an
    // image, here at twice the picture's size rather than its default 300 dpi.
    cairo_surface_set_fallback_resolution(c.surface, kSvgShadingDpi, kSvgShadingDpi);
  }
  c.cr = cairo_create(c.surface);
  cairo_t* cr = c.cr;
  SetColour(cr, kBackground);
  cairo_paint(cr);
  const PlotFrame frame(mesh, map, look.width, look.height);
  Shade(cr, mesh, map, frame, values, look);
  if (look.edges) Edges(cr, mesh, map, frame);
  if (!u.empty() && !v.empty()) Arrows(cr, mesh, map, frame, u, v, look);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  SetColour(cr, kInk);
  cairo_set_font_size(cr, kTitleSize);
  cairo_move_to(cr, PlotFrame::kLeft, PlotFrame::kTop / 2 + kTitleSize / 2);
  cairo_show_text(cr, look.title.c_str());
  ColourBar(cr, look);
  cairo_status_t status = cairo_status(cr);
  errno = 0;
  if (status == CAIRO_STATUS_SUCCESS && format == PictureFormat::kPng) {
    status = cairo_surface_write_to_png(c.surface, path.c_str());
  }
  int cause = errno;
  cairo_surface_finish(c.surface);
  if (status == CAIRO_STATUS_SUCCESS) {
    status = cairo_surface_status(c.surface);
    cause = errno;
  }
  if (status != CAIRO_STATUS_SUCCESS) {
    errno = cause;
    *error = WriteFailure(cairo_status_to_string(status));
    return false;
  }
  return true;
}

void ReleaseCairoCaches() {
  cairo_debug_reset_static_data();
#ifdef KORVANT_HAVE_FONTCONFIG
  FcFini();
#endif
}

}  // namespace korvant
