#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/mesh.h"
#include "engine/result_series.h"

namespace korvant {

/// The units of the time coordinate: "hours since YYYY-MM-DD HH:MM:00" for a
/// start given as YYYY-MM-DD or YYYY-MM-DDTHH:MM; nothing when `date` is not
/// such a date.
std::optional<std::string> HoursSince(std::string_view date);

/// What the file says about itself besides the mesh and the fields.
struct UgridText {
  std::string title;
  std::string time_units;  // "hours" or "hours since ..."
  std::string comment;     // how the elements were read
};

/// A netCDF-4 file in the UGRID 1.0 and CF 1.8 conventions: a 2D mesh
/// topology `mesh`, its node coordinates and face-node connectivity (corner
/// nodes, numbered from 1, -1 after the last corner of a triangle), the
/// element code IMAT and the element number as face variables, the bottom
/// elevation as a node variable, and one node variable over `time` for each
/// field, written a time step at a time.
class UgridFile {
 public:
  UgridFile() = default;
  ~UgridFile();  // closes a file still open, without reporting
  UgridFile(const UgridFile&) = delete;
  UgridFile& operator=(const UgridFile&) = delete;

  /// Creates `path` (replacing it) with the mesh and the field variables.
  /// Every call returns false, with *error saying why, when netCDF fails.
  bool Create(const std::string& path, const Mesh& mesh, const ElementMap& map,
              const std::vector<FieldInfo>& fields, const UgridText& text, std::string* error);
  /// Writes the series' current time step: its hour and a value per node of
  /// each field (the fill value where there is none; integer codes exact).
  bool AddStep(const ResultSeries& series, std::string* error);
  bool Close(std::string* error);

 private:
  bool Failed(int status, std::string* error) const;

  int ncid_ = -1;
  size_t nodes_ = 0;
  size_t steps_ = 0;
  int time_var_ = -1;
  std::vector<int> field_vars_;
  std::vector<bool> integer_;
  std::vector<float> floats_;
};

}  // namespace korvant
