#include "engine/vocabulary.h"

namespace korvant {
namespace vocabulary {
namespace {

constexpr char kFeet[] = "ft";
constexpr char kFeetPerSecond[] = "ft s-1";
// Parts per thousand, in the spelling of the CF conventions.
constexpr char kPerThousand[] = "1e-3";

FieldInfo Statistic(const FieldInfo& quantity, const char* suffix, const char* words) {
  return {quantity.name + suffix, std::string(words) + quantity.long_name, quantity.units};
}

}  // namespace

FieldInfo XVelocity() { return {"x_velocity", "x velocity", kFeetPerSecond}; }
FieldInfo YVelocity() { return {"y_velocity", "y velocity", kFeetPerSecond}; }
FieldInfo Depth() { return {"depth", "depth", kFeet}; }

FieldInfo WaterSurfaceElevation(bool from_depth) {
  return {"water_surface_elevation",
          from_depth ? "water-surface elevation (bottom plus depth)" : "water-surface elevation",
          kFeet};
}

FieldInfo WaterSurfaceAboveDatum() {
  return {"water_surface_above_datum", "water surface above the datum", kFeet};
}

FieldInfo WetDry() { return {"wet_dry", "wet/dry code", "", /*integer=*/true}; }

FieldInfo Constituent(int32_t k) {
  return {"constituent_" + std::to_string(k), "concentration of constituent " + std::to_string(k),
          ""};
}

// The QMX10 degrees of freedom past the depth, in the units its averaging
// listing gives them.
FieldInfo Salinity() { return {"salinity", "salinity", kPerThousand}; }
FieldInfo Temperature() { return {"temperature", "temperature", "degC"}; }
FieldInfo SedimentConcentration() { return {"sediment", "sediment concentration", kPerThousand}; }
FieldInfo Speed() { return {"speed", "speed", XVelocity().units}; }

FieldInfo Node() { return {"node", "node number", "", /*integer=*/true}; }
FieldInfo NodeX() { return {"x", "x of the mesh nodes", kFeet}; }
FieldInfo NodeY() { return {"y", "y of the mesh nodes", kFeet}; }
FieldInfo BottomElevation() { return {"bottom_elevation", "bottom elevation", kFeet}; }

FieldInfo Mean(const FieldInfo& quantity) { return Statistic(quantity, "_mean", "mean "); }

std::vector<FieldInfo> Statistics(const FieldInfo& quantity) {
  return {Mean(quantity), Statistic(quantity, "_min", "least "),
          Statistic(quantity, "_max", "greatest ")};
}

}  // namespace vocabulary

std::string Heading(const FieldInfo& field) {
  return field.units.empty() ? field.name : field.name + " [" + field.units + "]";
}

}  // namespace korvant
