#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace korvant {

struct Rgb {
  double r = 0, g = 0, b = 0;  // 0 to 1
};

/// A colour of a map at a position from 0 to 1.
struct ColourStop {
  double at;
  Rgb colour;
};

/// A colour map: colours at positions from 0 to 1, joined by straight lines
/// in RGB, as cairo's gradients join their stops.
class ColourMap {
 public:
  /// "viridis" or "grey"; nothing for any other name.
  static std::optional<ColourMap> Named(std::string_view name);

  /// The colour at `t`, clamped to [0, 1].
  Rgb At(double t) const;
  /// The stops the map joins, the first at 0 and the last at 1.
  std::span<const ColourStop> stops() const { return stops_; }

 private:
  explicit ColourMap(std::span<const ColourStop> stops) : stops_(stops) {}
  std::span<const ColourStop> stops_;
};

}  // namespace korvant
