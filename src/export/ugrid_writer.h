#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/mesh.h"
#include "engine/result_series.h"
#include "export/ugrid_layout.h"

namespace korvant {

/// The units of the time coordinate: "hours since YYYY-MM-DD HH:MM:00" for a
/// start given as YYYY-MM-DD or YYYY-MM-DDTHH:MM; nothing when `date` is not
/// such a date.
std::optional<std::string> HoursSince(std::string_view date);

/// A netCDF-4 file in the UGRID 1.0 and CF 1.8 conventions, laid out as
/// `DescribeUgrid` says: a 2D mesh
/// topology `mesh`, its node coordinates (with the bottom elevation as
/// their z) and face-node connectivity (numbered from 1, -1 after the last
/// corner of a triangle), the element code IMAT and the element number as
/// face variables, and one node variable for each field chosen, over `time`
/// (float; codes as double, exact, with their flags), written a time step at
/// a time, or without time for the means of an averaged file.
class UgridFile {
 public:
  UgridFile() = default;
  ~UgridFile();  // closes a file still open, without reporting
  UgridFile(const UgridFile&) = delete;
  UgridFile& operator=(const UgridFile&) = delete;

  /// Creates `path` (replacing it) with the mesh and the variables of the
  /// fields `chosen` (indexes into `fields`). Every call returns false, with
  /// *error saying why, when netCDF fails.
  bool Create(const std::string& path, const Mesh& mesh, const ElementMap& map,
              const std::vector<FieldInfo>& fields, const std::vector<size_t>& chosen,
              const UgridText& text, const UgridLayout& layout, std::string* error);
  /// Writes the series' current time step: its hour and a value per node of
  /// each field chosen (the fill value where there is none). Of an averaged
  /// file, only one step is written.
  bool AddStep(const ResultSeries& series, std::string* error);
  bool Close(std::string* error);

 private:
  bool Failed(int status, std::string* error) const;

  int ncid_ = -1;
  size_t nodes_ = 0;
  size_t steps_ = 0;
  bool means_ = false;
  int time_var_ = -1;
  std::vector<size_t> chosen_;
  std::vector<int> field_vars_;
  std::vector<bool> integer_;
  std::vector<float> floats_;
  std::vector<double> doubles_;
};

}  // namespace korvant
