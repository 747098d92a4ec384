#pragma once

#include <span>
#include <string>
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
/// their corners; the bottom elevation and every field as point data (and a
/// "velocity" vector where both velocity components are fields), IMAT and the
/// element number as cell data, and the hour as the field "TimeValue", of the
/// series' current time step (integer codes exact, as Int32).
/// False, with *error saying why, when the file cannot be written.
bool WriteVtu(const std::string& path, const Mesh& mesh, const ElementMap& map,
              const ResultSeries& series, std::string* error);

}  // namespace korvant
