#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korvant {

/// A quantity a family's steps or the mesh hold, as every program names it.
struct FieldInfo {
  std::string name;          ///< "x_velocity", "constituent_2", ...
  std::string long_name;     ///< "x velocity"
  std::string units;         ///< CF spelling, "ft s-1"; "" for none stated
  bool integer = false;      ///< integer codes (the wet/dry code)
  bool per_element = false;  ///< one value an element, not a node
  /// The CF standard name, where the CF table has one that fits; "" else.
  std::string standard_name{};
  /// For one component of a vector quantity: the vector's long name
  /// ("velocity") and the component's axis ('x' or 'y'); "" and 0 else.
  std::string vector{};
  char axis = 0;
  /// For a field of codes: the codes whose meaning is known, and that
  /// meaning in one word each ("dry").
  std::vector<std::pair<int32_t, std::string>> flags{};
};

/// The quantities of the files as every program names them: the variables
/// of korvant-export, the fields of korvant-plot, the columns of the CSV
/// table of korvant-average and the fields its report names. Each name, long
/// name and units is stated here once; the family drivers give a file's
/// fields from these.
///
/// The models work in feet and seconds, and so do their meshes: lengths,
/// depths and surfaces are in "ft", velocities in "ft s-1". A code (the
/// wet/dry code), a number (the node) and a quantity whose units the file
/// does not give (a QMX4 constituent) have no units: "", so that the
/// netCDF variable has no units attribute and the CSV heading no brackets.
namespace vocabulary {

FieldInfo XVelocity();
FieldInfo YVelocity();
FieldInfo Depth();
/// The elevation of the water surface, as a model run's long steps hold it;
/// `from_depth` when it is made as the bottom plus the depth (short steps).
FieldInfo WaterSurfaceElevation(bool from_depth);
/// The water surface above the datum, as an averaged QMX2 file holds it.
FieldInfo WaterSurfaceAboveDatum();
FieldInfo WetDry();
FieldInfo Constituent(int32_t k);  ///< QMX4 constituent k, from 1
FieldInfo Salinity();
FieldInfo Temperature();
FieldInfo SedimentConcentration();
/// The length of the velocity, in its units.
FieldInfo Speed();

/// The mesh's nodes: their number (from 1), x and y, and bottom elevation.
FieldInfo Node();
FieldInfo NodeX();
FieldInfo NodeY();
FieldInfo BottomElevation();

/// A quantity's mean, minimum and maximum over a window of steps:
/// "x_velocity_mean", "x_velocity_min", "x_velocity_max", in its units.
FieldInfo Mean(const FieldInfo& quantity);
std::vector<FieldInfo> Statistics(const FieldInfo& quantity);

}  // namespace vocabulary

/// A quantity as a column heading: its name, then its units in brackets when
/// it has any: "x_velocity_mean [ft s-1]", "wet_dry".
std::string Heading(const FieldInfo& field);

}  // namespace korvant
