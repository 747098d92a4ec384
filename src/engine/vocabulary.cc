#include "engine/vocabulary.h"

namespace korvant {
namespace vocabulary {
namespace {

constexpr char kFeet[] = "ft";
constexpr char kFeetPerSecond[] = "ft s-1";
// Parts per thousand, in the spelling of the CF conventions.
constexpr char kPerThousand[] = "1e-3";
constexpr char kSurfaceHeight[] = "water_surface_height_above_reference_datum";

FieldInfo Statistic(const FieldInfo& quantity, const char* suffix, const char* words) {
  return {quantity.name + suffix, std::string(words) + quantity.long_name, quantity.units};
}

// The two components of the velocity, which viewers draw as one vector.
FieldInfo VelocityComponent(char axis) {
  const std::string a(1, axis);
  FieldInfo f{a + "_velocity", a + " velocity", kFeetPerSecond};
  f.standard_name = "sea_water_" + a + "_velocity";
  f.vector = "velocity";
  f.axis = axis;
  return f;
}

FieldInfo Standard(FieldInfo field, const char* standard_name) {
  field.standard_name = standard_name;
  return field;
}

}  // namespace

FieldInfo XVelocity() { return VelocityComponent('x'); }
FieldInfo YVelocity() { return VelocityComponent('y'); }
FieldInfo Depth() {
  return Standard({"depth", "depth", kFeet}, "sea_floor_depth_below_sea_surface");
}

FieldInfo WaterSurfaceElevation(bool from_depth) {
  return Standard(
      {"water_surface_elevation",
       from_depth ? "water-surface elevation (bottom plus depth)" : "water-surface elevation",
       kFeet},
      kSurfaceHeight);
}

FieldInfo WaterSurfaceAboveDatum() {
  return Standard({"water_surface_above_datum", "water surface above the datum", kFeet},
                  kSurfaceHeight);
}

// The codes the programs give a meaning: 0 goes with a dry node, and an
// averaging passes over 2.
FieldInfo WetDry() {
  FieldInfo f{"wet_dry", "wet/dry code", "", /*integer=*/true};
  f.flags = {{0, "dry"}, {2, "passed_over_by_averaging"}};
  return f;
}

FieldInfo Constituent(int32_t k) {
  return {"constituent_" + std::to_string(k), "concentration of constituent " + std::to_string(k),
          ""};
}

// The QMX10 degrees of freedom past the depth, in the units its averaging
// listing gives them.
FieldInfo Salinity() {
  return Standard({"salinity", "salinity", kPerThousand}, "sea_water_salinity");
}
FieldInfo Temperature() {
  return Standard({"temperature", "temperature", "degC"}, "sea_water_temperature");
}
FieldInfo SedimentConcentration() { return {"sediment", "sediment concentration", kPerThousand}; }
FieldInfo Speed() { return {"speed", "speed", XVelocity().units}; }

FieldInfo Node() { return {"node", "node number", "", /*integer=*/true}; }
FieldInfo NodeX() {
  return Standard({"x", "x of the mesh nodes", kFeet}, "projection_x_coordinate");
}
FieldInfo NodeY() {
  return Standard({"y", "y of the mesh nodes", kFeet}, "projection_y_coordinate");
}
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
