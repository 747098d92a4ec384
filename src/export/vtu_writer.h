#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/mesh.h"
#include "engine/result_series.h"

namespace korvant {

// VTK cell types of the faces.
constexpr int kVtkPolygon = 7;
constexpr int kVtkQuadraticTriangle = 22;
constexpr int kVtkQuadraticQuad = 23;

/// Writes one time step as a VTK XML unstructured grid (.vtu, arrays in
/// base64): six-node triangles as quadratic triangles, eight-node
/// quadrilaterals as quadratic quadrilaterals, other faces as the polygon of
/// their corners; the bottom elevation and the fields `chosen` (indexes into
/// the series' fields) as point data (and the vector, "velocity", where both
/// its components are chosen), IMAT and the element number as cell data, and
/// the hour as the field "TimeValue" (none for the means of an averaged
/// file), of the series' current time step (integer codes exact, as Int32).
/// False, with *error saying why, when the file cannot be written.
bool WriteVtu(const std::string& path, const Mesh& mesh, const ElementMap& map,
              const ResultSeries& series, const std::vector<size_t>& chosen, std::string* error);

/// A ParaView series of VTK files (.pvd): each file of `steps` (its name as
/// the .pvd names it, and its hour) in turn. False, with *error, when the
/// file cannot be written.
bool WritePvd(const std::string& path, const std::vector<std::pair<std::string, double>>& steps,
              std::string* error);

}  // namespace korvant
