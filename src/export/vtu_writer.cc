#include "export/vtu_writer.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>

#include "engine/vocabulary.h"

namespace korvant {
namespace {

// Base64 of the bytes of `data` after their count, as a 32-bit integer: VTK's
// inline binary form with header_type="UInt32".
template <typename T>
std::string Encoded(const std::vector<T>& data) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const uint32_t bytes = static_cast<uint32_t>(data.size() * sizeof(T));
  std::string raw(sizeof bytes + bytes, '\0');
  std::memcpy(raw.data(), &bytes, sizeof bytes);
  if (bytes > 0) std::memcpy(raw.data() + sizeof bytes, data.data(), bytes);
  std::string out;
  out.reserve((raw.size() + 2) / 3 * 4);
  for (size_t i = 0; i < raw.size(); i += 3) {
    uint32_t group = static_cast<unsigned char>(raw[i]) << 16;
    if (i + 1 < raw.size()) group |= static_cast<unsigned char>(raw[i + 1]) << 8;
    if (i + 2 < raw.size()) group |= static_cast<unsigned char>(raw[i + 2]);
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += i + 1 < raw.size() ? kAlphabet[(group >> 6) & 63] : '=';
    out += i + 2 < raw.size() ? kAlphabet[group & 63] : '=';
  }
  return out;
}

template <typename T>
void Array(std::ofstream& out, const char* type, const std::string& name, int components,
           const std::vector<T>& data) {
  out << "        <DataArray type=\"" << type << "\"";
  if (!name.empty()) out << " Name=\"" << name << "\"";
  if (components > 1) out << " NumberOfComponents=\"" << components << "\"";
  out << " format=\"binary\">" << Encoded(data) << "</DataArray>\n";
}

template <typename T>
std::vector<T> Copied(std::span<const T> v) {
  return std::vector<T>(v.begin(), v.end());
}

void PointData(std::ofstream& out, const Mesh& mesh, const ResultSeries& series,
               const std::vector<size_t>& chosen) {
  out << "      <PointData>\n";
  Array(out, "Float32", vocabulary::BottomElevation().name, 1, mesh.bottom);
  const std::vector<FieldInfo>& fields = series.fields();
  int u = -1, v = -1;
  for (size_t i : chosen) {
    if (fields[i].axis == 'x') u = static_cast<int>(i);
    if (fields[i].axis == 'y') v = static_cast<int>(i);
  }
  for (size_t i : chosen) {
    if (fields[i].integer) {
      Array(out, "Int32", fields[i].name, 1, Copied(series.codes(i)));
    } else {
      Array(out, "Float32", fields[i].name, 1, Copied(series.values(i)));
    }
  }
  if (u >= 0 && v >= 0) {
    const auto x = series.values(static_cast<size_t>(u)), y = series.values(static_cast<size_t>(v));
    std::vector<float> velocity;
    for (size_t k = 0; k < x.size(); ++k) velocity.insert(velocity.end(), {x[k], y[k], 0.0f});
    Array(out, "Float32", fields[static_cast<size_t>(u)].vector, 3, velocity);
  }
  out << "      </PointData>\n";
}

void Cells(std::ofstream& out, const Mesh& mesh, const ElementMap& map) {
  std::vector<int32_t> connectivity, offsets, imat, element;
  std::vector<uint8_t> types;
  for (const Face& f : map.faces) {
    const int n = f.node_count();
    connectivity.insert(connectivity.end(), f.nodes.begin(), f.nodes.begin() + n);
    offsets.push_back(static_cast<int32_t>(connectivity.size()));
    types.push_back(!f.quadratic     ? kVtkPolygon
                    : f.corners == 3 ? kVtkQuadraticTriangle
                                     : kVtkQuadraticQuad);
    imat.push_back(mesh.imat[static_cast<size_t>(f.element)]);
    element.push_back(f.element + 1);
  }
  out << "      <CellData>\n";
  Array(out, "Int32", "IMAT", 1, imat);
  Array(out, "Int32", "element", 1, element);
  out << "      </CellData>\n      <Points>\n";
  std::vector<float> points;
  for (size_t k = 0; k < mesh.x.size(); ++k)
    points.insert(points.end(), {mesh.x[k], mesh.y[k], 0.0f});
  Array(out, "Float32", "", 3, points);
  out << "      </Points>\n      <Cells>\n";
  Array(out, "Int32", "connectivity", 1, connectivity);
  Array(out, "Int32", "offsets", 1, offsets);
  Array(out, "UInt8", "types", 1, types);
  out << "      </Cells>\n";
}

// Text as an XML attribute's value.
std::string XmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

bool WriteVtu(const std::string& path, const Mesh& mesh, const ElementMap& map,
              const ResultSeries& series, const std::vector<size_t>& chosen, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "<?xml version=\"1.0\"?>\n"
         "<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" byte_order=\"LittleEndian\" "
         "header_type=\"UInt32\">\n  <UnstructuredGrid>\n";
  // The means of an averaged file are of no one hour.
  if (!series.means()) {
    out << "    <FieldData>\n      <DataArray type=\"Float64\" Name=\"TimeValue\" "
           "NumberOfTuples=\"1\" format=\"binary\">"
        << Encoded(std::vector<double>{series.time()}) << "</DataArray>\n    </FieldData>\n";
  }
  out << "    <Piece NumberOfPoints=\"" << mesh.np << "\" NumberOfCells=\"" << map.faces.size()
      << "\">\n";
  PointData(out, mesh, series, chosen);
  Cells(out, mesh, map);
  out << "    </Piece>\n  </UnstructuredGrid>\n</VTKFile>\n";
  out.close();
  if (!out) {
    *error = std::strerror(errno);
    return false;
  }
  return true;
}

bool WritePvd(const std::string& path, const std::vector<std::pair<std::string, double>>& steps,
              std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "<?xml version=\"1.0\"?>\n"
         "<VTKFile type=\"Collection\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
         "  <Collection>\n";
  out.precision(17);
  for (const auto& [file, hours] : steps) {
    out << "    <DataSet timestep=\"" << hours << "\" part=\"0\" file=\"" << XmlText(file)
        << "\"/>\n";
  }
  out << "  </Collection>\n</VTKFile>\n";
  out.close();
  if (!out) {
    *error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace korvant
