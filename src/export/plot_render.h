#pragma once

#include <span>
#include <string>

#include "engine/mesh.h"
#include "export/colour_map.h"

namespace korvant {

enum class PictureFormat { kPng, kSvg };

/// What a picture shows besides the mesh.
struct PlotLook {
  int width = 800, height = 600;  // pixels
  double lo = 0.0, hi = 1.0;      // the field values at the two ends of the colour map
  const ColourMap* colours = nullptr;
  std::string title;   // the line above the mesh
  std::string units;   // under the colour bar; may be empty
  bool edges = false;  // outline every element
};

/// Where the mesh lands: the drawn nodes' extent fills the plot area, the
/// picture less 20 pixels left and below, 50 above (the title) and 130 on
/// the right (the colour bar), centred, at one scale both ways, y upwards.
class PlotFrame {
 public:
  PlotFrame(const Mesh& mesh, const ElementMap& map, int width, int height);
  double X(double x) const { return x0_ + scale_ * (x - min_x_); }
  double Y(double y) const { return y0_ + scale_ * (max_y_ - y); }

  static constexpr int kLeft = 20, kTop = 50, kRight = 130, kBottom = 20;

 private:
  double min_x_ = 0, max_y_ = 0, scale_ = 1, x0_ = 0, y0_ = 0;
};

/// Draws `values` (one per node, NaN where there is none) over the faces of
/// `map`, each shaded smoothly between its node colours; elements with a node
/// of no value are grey. With both `u` and `v` given (else empty), arrows of
/// that velocity stand on an even spread of nodes. Writes `path` in
/// `format`; false, with *error saying why, when cairo fails.
bool RenderPlot(const std::string& path, PictureFormat format, const Mesh& mesh,
                const ElementMap& map, std::span<const float> values, std::span<const float> u,
                std::span<const float> v, const PlotLook& look, std::string* error);

/// Frees what cairo and fontconfig keep between pictures (font caches and
/// configuration), for a program about to end under a leak checker. No cairo
/// object may be alive.
void ReleaseCairoCaches();

}  // namespace korvant
