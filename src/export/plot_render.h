#pragma once

#include <optional>
#include <span>
#include <string>

#include "engine/mesh.h"
#include "export/colour_map.h"

namespace korvant {

enum class PictureFormat { kPng, kSvg, kPdf };

/// A rectangle of the mesh's coordinates.
struct Region {
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;  // x0 < x1, y0 < y1
};

/// What a picture shows besides the mesh.
struct PlotLook {
  int width = 800, height = 600;  // pixels (points in a PDF)
  double lo = 0.0, hi = 1.0;      // the field values at the two ends of the colour map
  const ColourMap* colours = nullptr;
  std::string title;             // above the mesh, wrapped or made smaller to fit
  std::string label;             // beside the colour bar: the field's long name and units
  std::string coordinate_units;  // of the axes
  std::string speed_units;       // of the reference arrow
  std::optional<Region> region;  // the part of the mesh drawn; all of it when unset
  int contours = 0;              // lines at so many values evenly over lo to hi
  bool edges = false;            // outline every element
};

/// Where the mesh lands: the region (or the drawn nodes' extent) fills the
/// data area, centred, at one scale both ways, y upwards. The axes' box is
/// the data area and a pad around it, wide enough for an arrow; the margins
/// outside the box hold the title, the tick labels, the colour bar and the
/// reference arrow.
class PlotFrame {
 public:
  PlotFrame() = default;
  PlotFrame(const Region& extent, double left, double top, double right, double bottom, double pad,
            int width, int height);
  double X(double x) const { return x0_ + scale_ * (x - min_x_); }
  double Y(double y) const { return y0_ + scale_ * (max_y_ - y); }
  /// The mesh coordinates at picture position (px, py).
  double MeshX(double px) const { return min_x_ + (px - x0_) / scale_; }
  double MeshY(double py) const { return max_y_ - (py - y0_) / scale_; }
  double scale() const { return scale_; }
  /// The axes' box in pixels.
  double box_left = 0, box_top = 0, box_right = 0, box_bottom = 0;

 private:
  double min_x_ = 0, max_y_ = 0, scale_ = 1, x0_ = 0, y0_ = 0;
};

/// The extent of the nodes of `map`'s faces (a point at 0, 0 when none).
Region DrawnExtent(const Mesh& mesh, const ElementMap& map);

/// Draws `values` (one per node, NaN where there is none) over the faces of
/// `map`, each shaded between its node colours (smoothly in a PNG, in narrow
/// bands of the colour map drawn as shapes in an SVG or PDF); elements with
/// a node of no value are grey. With both `u` and `v` given (else empty),
/// arrows of that velocity stand on an even spread of nodes, with a
/// reference arrow of a round speed. Axes with round coordinate ticks frame
/// the mesh; a colour bar with round ticks and `look.label` stands on the
/// right. Writes `path` in `format`; false, with *error saying why, when
/// cairo fails. *frame, when given, is where the mesh landed.
bool RenderPlot(const std::string& path, PictureFormat format, const Mesh& mesh,
                const ElementMap& map, std::span<const float> values, std::span<const float> u,
                std::span<const float> v, const PlotLook& look, std::string* error,
                PlotFrame* frame = nullptr);

/// Frees what cairo and fontconfig keep between pictures (font caches and
/// configuration), for a program about to end under a leak checker. No cairo
/// object may be alive.
void ReleaseCairoCaches();

}  // namespace korvant
