#include "export/colour_map.h"

#include <algorithm>
#include <cmath>

namespace korvant {
namespace {

// viridis (released to the public domain, CC0): every sixteenth entry of its
// 256-entry table, entry i at i / 255, and the last entry.
constexpr ColourStop kViridis[] = {
    {0.0 / 255, {0.267004, 0.004874, 0.329415}},   {16.0 / 255, {0.282327, 0.094955, 0.417331}},
    {32.0 / 255, {0.278826, 0.175490, 0.483397}},  {48.0 / 255, {0.258965, 0.251537, 0.524736}},
    {64.0 / 255, {0.229739, 0.322361, 0.545706}},  {80.0 / 255, {0.199430, 0.387607, 0.554642}},
    {96.0 / 255, {0.172719, 0.448791, 0.557885}},  {112.0 / 255, {0.149039, 0.508051, 0.557250}},
    {128.0 / 255, {0.127568, 0.566949, 0.550556}}, {144.0 / 255, {0.120638, 0.625828, 0.533488}},
    {160.0 / 255, {0.157851, 0.683765, 0.501686}}, {176.0 / 255, {0.246070, 0.738910, 0.452024}},
    {192.0 / 255, {0.369214, 0.788888, 0.382914}}, {208.0 / 255, {0.515992, 0.831158, 0.294279}},
    {224.0 / 255, {0.678489, 0.863742, 0.189503}}, {240.0 / 255, {0.845561, 0.887322, 0.099702}},
    {255.0 / 255, {0.993248, 0.906157, 0.143936}},
};

constexpr ColourStop kGrey[] = {{0.0, {0.1, 0.1, 0.1}}, {1.0, {0.95, 0.95, 0.95}}};

}  // namespace

std::optional<ColourMap> ColourMap::Named(std::string_view name) {
  if (name == "viridis") return ColourMap(kViridis);
  if (name == "grey") return ColourMap(kGrey);
  return std::nullopt;
}

Rgb ColourMap::At(double t) const {
  t = std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0);
  size_t i = 0;
  while (i + 2 < stops_.size() && stops_[i + 1].at <= t) ++i;
  const ColourStop& a = stops_[i];
  const ColourStop& b = stops_[i + 1];
  const double f = std::clamp((t - a.at) / (b.at - a.at), 0.0, 1.0);
  return Rgb{a.colour.r + f * (b.colour.r - a.colour.r), a.colour.g + f * (b.colour.g - a.colour.g),
             a.colour.b + f * (b.colour.b - a.colour.b)};
}

}  // namespace korvant
