#include "export/plot_render.h"

#include <cairo-pdf.h>
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

#include "export/plot_text.h"
#include "io/outputs.h"

namespace korvant {
namespace {

using Triangle = std::array<int32_t, 3>;

constexpr Rgb kBackground{1.0, 1.0, 1.0};
constexpr Rgb kNoValue{0.8, 0.8, 0.8};
constexpr Rgb kInk{0.0, 0.0, 0.0};
constexpr double kTitleSize = 15.0, kSmallestTitle = 8.0;
constexpr int kTitleLines = 3;  // a title is made smaller before it takes more lines
constexpr double kLabelSize = 12.0;
constexpr double kTickSize = 11.0;
constexpr double kTick = 5.0;     // a tick's length
constexpr double kOuter = 10.0;   // the picture's own edge
constexpr double kBarGap = 16.0;  // between the axes and the colour bar
constexpr double kBarWidth = 20.0;
constexpr double kArrowSpacing = 28.0;  // pixels between arrows, at most one a square
constexpr double kLongestArrow = 0.9 * kArrowSpacing;
constexpr double kReferenceRoom = 60.0;  // under the colour bar, for the reference arrow
constexpr int kBands = 64;               // colours of a shading drawn as shapes
constexpr double kWholeTriangle = 6.0;   // pixels: a triangle smaller is shaded flat

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

double TextWidth(cairo_t* cr, const std::string& text, double size) {
  cairo_set_font_size(cr, size);
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  return e.x_advance;
}

// `text` with its baseline at y, its left (align 0), middle (0.5) or right
// (1) at x.
void ShowText(cairo_t* cr, const std::string& text, double x, double y, double size, double align) {
  const double w = TextWidth(cr, text, size);
  cairo_move_to(cr, x - align * w, y);
  cairo_show_text(cr, text.c_str());
}

// `text` read upwards, its middle at (x, y), x the middle of its height.
void ShowUpwards(cairo_t* cr, const std::string& text, double x, double y, double size) {
  const double w = TextWidth(cr, text, size);
  cairo_save(cr);
  cairo_translate(cr, x + 0.35 * size, y);
  cairo_rotate(cr, -M_PI / 2);
  cairo_move_to(cr, -w / 2, 0);
  cairo_show_text(cr, text.c_str());
  cairo_restore(cr);
}

// The longest start of `word` (whole UTF-8 characters) no wider than `width`;
// at least one character.
size_t FittingPart(cairo_t* cr, const std::string& word, double width, double size) {
  size_t fit = 0;
  for (size_t i = 1; i <= word.size(); ++i) {
    if (i < word.size() && (static_cast<unsigned char>(word[i]) & 0xC0) == 0x80) continue;
    if (fit > 0 && TextWidth(cr, word.substr(0, i), size) > width) break;
    fit = i;
  }
  return fit;
}

// The title in lines no wider than `width`: at the title size in up to
// three lines if it can be, else smaller, down to the smallest size in as
// many lines as it takes (a word too wide for a line broken within).
std::vector<std::string> WrapTitle(cairo_t* cr, const std::string& title, double width,
                                   double* size) {
  std::vector<std::string> words;
  for (size_t at = 0; at < title.size();) {
    const size_t end = std::min(title.find(' ', at), title.size());
    if (end > at) words.push_back(title.substr(at, end - at));
    at = end + 1;
  }
  std::vector<std::string> lines;
  for (*size = kTitleSize; *size >= kSmallestTitle; *size -= 1.0) {
    lines.clear();
    bool fits = true;
    for (std::string word : words) {
      const std::string joined = lines.empty() ? word : lines.back() + " " + word;
      if (!lines.empty() && TextWidth(cr, joined, *size) <= width) {
        lines.back() = joined;
        continue;
      }
      while (TextWidth(cr, word, *size) > width) {
        fits = false;
        const size_t part = FittingPart(cr, word, width, *size);
        lines.push_back(word.substr(0, part));
        word.erase(0, part);
      }
      if (!word.empty()) lines.push_back(word);
    }
    if (fits && std::ssize(lines) <= kTitleLines) return lines;
    if (*size - 1.0 < kSmallestTitle) break;
  }
  return lines;
}

double WidestLabel(cairo_t* cr, const Ticks& ticks, double size) {
  double widest = 0.0;
  for (double t : ticks.at) widest = std::max(widest, TextWidth(cr, ticks.Label(t), size));
  return widest;
}

// Round ticks over [lo, hi] drawn over `pixels`, each label at most
// `room(label width)` from the next: fewer ticks until they do not crowd.
Ticks AxisTicks(cairo_t* cr, double lo, double hi, double pixels, double per_tick, bool across) {
  int wanted = std::max(2, static_cast<int>(pixels / per_tick));
  Ticks ticks = RoundTicks(lo, hi, wanted);
  while (wanted > 2) {
    const double room = ticks.step / (hi - lo) * pixels;
    const double needs = across ? WidestLabel(cr, ticks, kTickSize) + 12.0 : 2.5 * kTickSize;
    if (room >= needs) break;
    ticks = RoundTicks(lo, hi, --wanted);
  }
  return ticks;
}

// A convex polygon in the picture, with the field's value at each corner.
struct Corner {
  double x, y, value;
};
using Polygon = std::vector<Corner>;

// The part of `p` where the value is at least `level` (`above`) or at most.
Polygon Cut(const Polygon& p, double level, bool above) {
  Polygon out;
  auto in = [&](const Corner& c) { return above ? c.value >= level : c.value <= level; };
  for (size_t i = 0; i < p.size(); ++i) {
    const Corner& a = p[i];
    const Corner& b = p[(i + 1) % p.size()];
    if (in(a)) out.push_back(a);
    if (in(a) != in(b)) {
      const double t = (level - a.value) / (b.value - a.value);
      out.push_back({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), level});
    }
  }
  return out;
}

struct Scene {
  const Mesh& mesh;
  const PlotFrame& frame;
  std::span<const float> values;
  const PlotLook& look;
  std::vector<Triangle> triangles;

  bool Known(const Triangle& t) const {
    return std::all_of(t.begin(), t.end(), [&](int32_t k) { return std::isfinite(values[k]); });
  }
  Polygon Corners(const Triangle& t) const {
    Polygon p;
    for (int32_t k : t) p.push_back({frame.X(mesh.x[k]), frame.Y(mesh.y[k]), values[k]});
    return p;
  }
  // Whether the triangle shows in the axes' box.
  bool Shows(const Triangle& t) const {
    double x0 = HUGE_VAL, x1 = -HUGE_VAL, y0 = HUGE_VAL, y1 = -HUGE_VAL;
    for (int32_t k : t) {
      x0 = std::min(x0, frame.X(mesh.x[k]));
      x1 = std::max(x1, frame.X(mesh.x[k]));
      y0 = std::min(y0, frame.Y(mesh.y[k]));
      y1 = std::max(y1, frame.Y(mesh.y[k]));
    }
    return x1 >= frame.box_left && x0 <= frame.box_right && y1 >= frame.box_top &&
           y0 <= frame.box_bottom;
  }
  double Position(double value) const {
    const double span = look.hi - look.lo;
    return span > 0 ? (value - look.lo) / span : 0.5;
  }
};

void AddPolygon(cairo_t* cr, const Polygon& p) {
  if (p.size() < 3) return;
  cairo_move_to(cr, p[0].x, p[0].y);
  for (size_t i = 1; i < p.size(); ++i) cairo_line_to(cr, p[i].x, p[i].y);
  cairo_close_path(cr);
}

void ShadeGrey(cairo_t* cr, const Scene& s) {
  bool any = false;
  for (const Triangle& t : s.triangles) {
    if (s.Known(t) || !s.Shows(t)) continue;
    AddPolygon(cr, s.Corners(t));
    any = true;
  }
  if (!any) return;
  SetColour(cr, kNoValue);
  cairo_fill(cr);
}

// Each triangle shaded smoothly between its corners' colours.
void ShadeSmoothly(cairo_t* cr, const Scene& s) {
  cairo_pattern_t* shading = cairo_pattern_create_mesh();
  int patches = 0;
  for (const Triangle& t : s.triangles) {
    if (!s.Known(t) || !s.Shows(t)) continue;
    const Polygon p = s.Corners(t);
    cairo_mesh_pattern_begin_patch(shading);
    cairo_mesh_pattern_move_to(shading, p[0].x, p[0].y);
    for (int i = 1; i < 3; ++i) cairo_mesh_pattern_line_to(shading, p[i].x, p[i].y);
    // The patch's fourth corner closes it at the first, and takes its colour.
    for (unsigned i = 0; i < 4; ++i) {
      const Rgb c = s.look.colours->At(s.Position(p[i % 3].value));
      cairo_mesh_pattern_set_corner_color_rgb(shading, i, c.r, c.g, c.b);
    }
    cairo_mesh_pattern_end_patch(shading);
    ++patches;
  }
  if (patches > 0) {
    cairo_set_source(cr, shading);
    cairo_paint(cr);
  }
  cairo_pattern_destroy(shading);
}

// The field's range cut into bands, each band one shape of the parts of the
// triangles where the value falls in it, filled with the band's middle
// colour; the first and last bands take the values beyond the range too.
void ShadeInBands(cairo_t* cr, const Scene& s) {
  const double span = s.look.hi - s.look.lo;
  const int bands = span > 0 ? kBands : 1;
  std::vector<Polygon> known;
  for (const Triangle& t : s.triangles) {
    if (!s.Known(t) || !s.Shows(t)) continue;
    Polygon p = s.Corners(t);
    // A triangle of a pixel or two is not cut: it is filled whole in the band
    // of its mean value, which keeps a fine mesh's file small.
    const auto [left, right] = std::minmax({p[0].x, p[1].x, p[2].x});
    const auto [top, bottom] = std::minmax({p[0].y, p[1].y, p[2].y});
    if (right - left < kWholeTriangle && bottom - top < kWholeTriangle) {
      const double mean = (p[0].value + p[1].value + p[2].value) / 3;
      for (Corner& c : p) c.value = mean;
    }
    known.push_back(std::move(p));
  }
  for (int b = 0; b < bands; ++b) {
    const double low = b == 0 ? -HUGE_VAL : s.look.lo + span * b / bands;
    const double high = b + 1 == bands ? HUGE_VAL : s.look.lo + span * (b + 1) / bands;
    bool any = false;
    for (const Polygon& p : known) {
      const auto [least, most] = std::minmax({p[0].value, p[1].value, p[2].value});
      if (most < low || least > high || (least == most && least == high && b + 1 < bands)) {
        continue;  // a flat triangle on a band's upper bound is the next band's
      }
      const Polygon part = Cut(Cut(p, low, /*above=*/true), high, /*above=*/false);
      if (part.size() < 3) continue;
      AddPolygon(cr, part);
      any = true;
    }
    if (!any) continue;
    // Outlined in its own colour too, so that no hairline of background
    // shows between two bands where a viewer smooths their edges.
    SetColour(cr, s.look.colours->At(bands == 1 ? 0.5 : (b + 0.5) / bands));
    cairo_set_line_width(cr, 0.6);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_BEVEL);
    cairo_fill_preserve(cr);
    cairo_stroke(cr);
  }
}

// The levels of `count` contour lines evenly inside the colour range.
std::vector<double> ContourLevels(const PlotLook& look) {
  std::vector<double> levels;
  for (int i = 1; i <= look.contours && look.hi > look.lo; ++i) {
    levels.push_back(look.lo + (look.hi - look.lo) * i / (look.contours + 1));
  }
  return levels;
}

// One path a level: in each triangle the segment where the value is the level.
void Contours(cairo_t* cr, const Scene& s) {
  cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 0.7);
  cairo_set_line_width(cr, 0.8);
  for (double level : ContourLevels(s.look)) {
    for (const Triangle& t : s.triangles) {
      if (!s.Known(t) || !s.Shows(t)) continue;
      const Polygon p = s.Corners(t);
      std::vector<Corner> ends;
      for (size_t i = 0; i < 3; ++i) {
        const Corner& a = p[i];
        const Corner& b = p[(i + 1) % 3];
        if ((a.value < level) != (b.value < level)) {
          const double f = (level - a.value) / (b.value - a.value);
          ends.push_back({a.x + f * (b.x - a.x), a.y + f * (b.y - a.y), level});
        }
      }
      if (ends.size() != 2) continue;
      cairo_move_to(cr, ends[0].x, ends[0].y);
      cairo_line_to(cr, ends[1].x, ends[1].y);
    }
    cairo_stroke(cr);
  }
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

void Arrow(cairo_t* cr, double x, double y, double dx, double dy) {
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

// One arrow a square of the data area, at the drawn node with a velocity
// nearest the square's centre; the fastest is nearly a square long. Returns
// the pixels a unit of speed is long (0 when no arrow is drawn).
double Arrows(cairo_t* cr, const Mesh& mesh, const ElementMap& map, const PlotFrame& frame,
              std::span<const float> u, std::span<const float> v) {
  std::vector<bool> drawn(static_cast<size_t>(mesh.np), false);
  for (const Face& f : map.faces) {
    for (int i = 0; i < f.node_count(); ++i) drawn[static_cast<size_t>(f.nodes[i])] = true;
  }
  const double left = frame.box_left + kArrowSpacing, top = frame.box_top + kArrowSpacing;
  const double right = frame.box_right - kArrowSpacing, bottom = frame.box_bottom - kArrowSpacing;
  const int columns = std::max(1, static_cast<int>((right - left) / kArrowSpacing) + 1);
  const int rows = std::max(1, static_cast<int>((bottom - top) / kArrowSpacing) + 1);
  std::vector<int32_t> chosen(static_cast<size_t>(columns) * rows, -1);
  std::vector<double> off(chosen.size(), HUGE_VAL);  // the chosen node's distance from the centre
  for (int32_t k = 0; k < mesh.np; ++k) {
    const double speed = std::hypot(double{u[k]}, double{v[k]});
    if (!drawn[k] || !(speed > 0.0) || !std::isfinite(speed)) continue;
    const double px = frame.X(mesh.x[k]), py = frame.Y(mesh.y[k]);
    if (px < left - 0.5 || px > right + 0.5 || py < top - 0.5 || py > bottom + 0.5) continue;
    const double x = (px - left) / kArrowSpacing, y = (py - top) / kArrowSpacing;
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
  if (!(fastest > 0.0)) return 0.0;
  const double scale = kLongestArrow / fastest;
  SetColour(cr, kInk);
  cairo_set_line_width(cr, 1.0);
  for (int32_t k : chosen) {
    if (k < 0) continue;
    // y grows downwards in the picture
    Arrow(cr, frame.X(mesh.x[k]), frame.Y(mesh.y[k]), scale * u[k], -scale * v[k]);
  }
  return scale;
}

// Where the margins' things go, worked out before anything is drawn.
struct Layout {
  std::vector<std::string> title;
  double title_size = kTitleSize;
  Ticks x_ticks, y_ticks, bar_ticks;
  double bar_label_size = kLabelSize;
  double bar_bottom = 0;
  std::unique_ptr<PlotFrame> frame;
};

std::string AxisLabel(const char* axis, const PlotLook& look) {
  return look.coordinate_units.empty() ? axis
                                       : std::string(axis) + " (" + look.coordinate_units + ")";
}

Layout LayOut(cairo_t* cr, const Region& extent, const PlotLook& look, bool arrows) {
  Layout l;
  l.title = WrapTitle(cr, look.title, look.width - 2 * kOuter, &l.title_size);
  const double pad = arrows ? kArrowSpacing : 6.0;
  const double top =
      kOuter + static_cast<double>(l.title.size()) * 1.3 * l.title_size + 0.5 * kOuter;
  const double bottom = kTick + 4 + kTickSize + 8 + kLabelSize + kOuter;
  const double bar_height = look.height - top - bottom - (arrows ? kReferenceRoom : 0.0);
  l.bar_ticks = AxisTicks(cr, look.lo, look.hi, bar_height, 50.0, /*across=*/false);
  const double bar_labels = WidestLabel(cr, l.bar_ticks, kTickSize);
  while (l.bar_label_size > 7 && TextWidth(cr, look.label, l.bar_label_size) > bar_height) {
    l.bar_label_size -= 0.5;
  }
  double right = kBarGap + kBarWidth + kTick + 4 + bar_labels + 8 + l.bar_label_size + kOuter;
  if (arrows) right = std::max(right, kBarGap + 2 * kArrowSpacing + kOuter);
  // The y labels' width sets the left margin, and the margin the y range
  // shown: twice over, the second time from the first's range.
  double left = kOuter + kLabelSize + 8 + kTick + 4 + 30.0;
  for (int pass = 0; pass < 2; ++pass) {
    l.frame =
        std::make_unique<PlotFrame>(extent, left, top, right, bottom, pad, look.width, look.height);
    const PlotFrame& f = *l.frame;
    l.y_ticks = AxisTicks(cr, f.MeshY(f.box_bottom), f.MeshY(f.box_top), f.box_bottom - f.box_top,
                          60.0, /*across=*/false);
    left = kOuter + kLabelSize + 8 + WidestLabel(cr, l.y_ticks, kTickSize) + 4 + kTick;
  }
  const PlotFrame& f = *l.frame;
  l.x_ticks = AxisTicks(cr, f.MeshX(f.box_left), f.MeshX(f.box_right), f.box_right - f.box_left,
                        100.0, /*across=*/true);
  l.bar_bottom = f.box_bottom - (arrows ? kReferenceRoom : 0.0);
  return l;
}

void Axes(cairo_t* cr, const Layout& l, const PlotLook& look) {
  const PlotFrame& f = *l.frame;
  SetColour(cr, kInk);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, f.box_left, f.box_top, f.box_right - f.box_left, f.box_bottom - f.box_top);
  cairo_stroke(cr);
  for (double t : l.x_ticks.at) {
    const double x = f.X(t);
    if (x < f.box_left - 0.5 || x > f.box_right + 0.5) continue;
    cairo_move_to(cr, x, f.box_bottom);
    cairo_line_to(cr, x, f.box_bottom + kTick);
    cairo_stroke(cr);
    ShowText(cr, l.x_ticks.Label(t), x, f.box_bottom + kTick + 3 + kTickSize, kTickSize, 0.5);
  }
  double widest = 0.0;
  for (double t : l.y_ticks.at) {
    const double y = f.Y(t);
    if (y < f.box_top - 0.5 || y > f.box_bottom + 0.5) continue;
    cairo_move_to(cr, f.box_left - kTick, y);
    cairo_line_to(cr, f.box_left, y);
    cairo_stroke(cr);
    const std::string label = l.y_ticks.Label(t);
    widest = std::max(widest, TextWidth(cr, label, kTickSize));
    ShowText(cr, label, f.box_left - kTick - 3, y + 0.35 * kTickSize, kTickSize, 1.0);
  }
  ShowText(cr, AxisLabel("x", look), (f.box_left + f.box_right) / 2,
           f.box_bottom + kTick + 4 + kTickSize + 6 + kLabelSize, kLabelSize, 0.5);
  ShowUpwards(cr, AxisLabel("y", look), f.box_left - kTick - 4 - widest - 6 - kLabelSize / 2,
              (f.box_top + f.box_bottom) / 2, kLabelSize);
}

void ColourBar(cairo_t* cr, const Layout& l, const PlotLook& look, bool shapes) {
  const PlotFrame& f = *l.frame;
  const double x = f.box_right + kBarGap;
  const double top = f.box_top, bottom = l.bar_bottom;
  const double span = look.hi - look.lo;
  if (shapes) {  // the bands the shading is drawn in
    const int bands = span > 0 ? kBands : 1;
    for (int b = 0; b < bands; ++b) {
      const double y1 = bottom - (bottom - top) * b / bands;
      const double y0 = bottom - (bottom - top) * (b + 1) / bands;
      cairo_rectangle(cr, x, y0, kBarWidth, y1 - y0 + (b + 1 < bands ? 0.5 : 0.0));
      SetColour(cr, look.colours->At(bands == 1 ? 0.5 : (b + 0.5) / bands));
      cairo_fill(cr);
    }
  } else {
    cairo_pattern_t* bar = cairo_pattern_create_linear(0.0, bottom, 0.0, top);
    for (const ColourStop& s : look.colours->stops()) {
      cairo_pattern_add_color_stop_rgb(bar, s.at, s.colour.r, s.colour.g, s.colour.b);
    }
    cairo_rectangle(cr, x, top, kBarWidth, bottom - top);
    cairo_set_source(cr, bar);
    cairo_fill(cr);
    cairo_pattern_destroy(bar);
  }
  SetColour(cr, kInk);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, x, top, kBarWidth, bottom - top);
  cairo_stroke(cr);
  auto at = [&](double value) {
    return span > 0 ? bottom - (value - look.lo) / span * (bottom - top) : (top + bottom) / 2;
  };
  cairo_set_line_width(cr, 0.8);
  for (double level : ContourLevels(look)) {
    cairo_move_to(cr, x, at(level));
    cairo_line_to(cr, x + kBarWidth, at(level));
  }
  cairo_stroke(cr);
  cairo_set_line_width(cr, 1.0);
  double widest = 0.0;
  for (double t : l.bar_ticks.at) {
    if (span > 0 && (t < look.lo - 1e-9 * span || t > look.hi + 1e-9 * span)) continue;
    const double y = at(t);
    cairo_move_to(cr, x + kBarWidth, y);
    cairo_line_to(cr, x + kBarWidth + kTick, y);
    cairo_stroke(cr);
    const std::string label = l.bar_ticks.Label(t);
    widest = std::max(widest, TextWidth(cr, label, kTickSize));
    ShowText(cr, label, x + kBarWidth + kTick + 3, y + 0.35 * kTickSize, kTickSize, 0.0);
  }
  ShowUpwards(cr, look.label, x + kBarWidth + kTick + 3 + widest + 8 + l.bar_label_size / 2,
              (top + bottom) / 2, l.bar_label_size);
}

// An arrow of a round speed under the colour bar, its speed under it.
void ReferenceArrow(cairo_t* cr, const Layout& l, const PlotLook& look, double scale) {
  const double speed = RoundDown(kLongestArrow / scale);
  const double x = l.frame->box_right + kBarGap, y = l.bar_bottom + kReferenceRoom / 2;
  SetColour(cr, kInk);
  cairo_set_line_width(cr, 1.0);
  Arrow(cr, x, y, speed * scale, 0.0);
  Ticks digits;  // the speed written with the decimals it needs
  digits.step = speed;
  ShowText(cr, digits.Label(speed) + (look.speed_units.empty() ? "" : " " + look.speed_units), x,
           y + 6 + kTickSize, kTickSize, 0.0);
}

}  // namespace

Region DrawnExtent(const Mesh& mesh, const ElementMap& map) {
  Region r{HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL};
  for (const Face& f : map.faces) {
    for (int i = 0; i < f.node_count(); ++i) {
      const size_t k = static_cast<size_t>(f.nodes[i]);
      r.x0 = std::min<double>(r.x0, mesh.x[k]);
      r.x1 = std::max<double>(r.x1, mesh.x[k]);
      r.y0 = std::min<double>(r.y0, mesh.y[k]);
      r.y1 = std::max<double>(r.y1, mesh.y[k]);
    }
  }
  if (map.faces.empty()) r = Region{};
  return r;
}

PlotFrame::PlotFrame(const Region& extent, double left, double top, double right, double bottom,
                     double pad, int width, int height) {
  const double area_w = std::max(1.0, width - left - right - 2 * pad);
  const double area_h = std::max(1.0, height - top - bottom - 2 * pad);
  const double w = extent.x1 - extent.x0, h = extent.y1 - extent.y0;
  scale_ = std::min(w > 0 ? area_w / w : HUGE_VAL, h > 0 ? area_h / h : HUGE_VAL);
  if (!std::isfinite(scale_)) scale_ = 1.0;
  min_x_ = extent.x0;
  max_y_ = extent.y1;
  x0_ = left + pad + (area_w - scale_ * w) / 2;
  y0_ = top + pad + (area_h - scale_ * h) / 2;
  box_left = left;
  box_top = top;
  box_right = left + area_w + 2 * pad;
  box_bottom = top + area_h + 2 * pad;
}

bool RenderPlot(const std::string& path, PictureFormat format, const Mesh& mesh,
                const ElementMap& map, std::span<const float> values, std::span<const float> u,
                std::span<const float> v, const PlotLook& look, std::string* error,
                PlotFrame* placed) {
  Cairo c;
  switch (format) {
    case PictureFormat::kPng:
      c.surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, look.width, look.height);
      break;
    case PictureFormat::kSvg:
      c.surface = cairo_svg_surface_create(path.c_str(), look.width, look.height);
      cairo_svg_surface_set_document_unit(c.surface, CAIRO_SVG_UNIT_PX);
      break;
    case PictureFormat::kPdf:
      c.surface = cairo_pdf_surface_create(path.c_str(), look.width, look.height);
      break;
  }
  c.cr = cairo_create(c.surface);
  cairo_t* cr = c.cr;
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  SetColour(cr, kBackground);
  cairo_paint(cr);
  const bool arrows = !u.empty() && !v.empty();
  const Layout l = LayOut(cr, look.region.value_or(DrawnExtent(mesh, map)), look, arrows);
  const PlotFrame& frame = *l.frame;
  if (placed != nullptr) *placed = frame;
  Scene scene{mesh, frame, values, look, {}};
  for (const Face& face : map.faces) TrianglesOf(face, &scene.triangles);

  cairo_save(cr);
  cairo_rectangle(cr, frame.box_left, frame.box_top, frame.box_right - frame.box_left,
                  frame.box_bottom - frame.box_top);
  cairo_clip(cr);
  ShadeGrey(cr, scene);
  if (format == PictureFormat::kPng) {
    ShadeSmoothly(cr, scene);
  } else {
    ShadeInBands(cr, scene);
  }
  if (look.contours > 0) Contours(cr, scene);
  if (look.edges) Edges(cr, mesh, map, frame);
  const double speed_scale = arrows ? Arrows(cr, mesh, map, frame, u, v) : 0.0;
  cairo_restore(cr);

  SetColour(cr, kInk);
  for (size_t i = 0; i < l.title.size(); ++i) {
    ShowText(cr, l.title[i], kOuter, kOuter + (0.95 + 1.3 * static_cast<double>(i)) * l.title_size,
             l.title_size, 0.0);
  }
  Axes(cr, l, look);
  ColourBar(cr, l, look, format != PictureFormat::kPng);
  if (speed_scale > 0) ReferenceArrow(cr, l, look, speed_scale);

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
