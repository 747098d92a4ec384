// Writes a VELTO geometry file of eight-node quadrilaterals on a grid, for
// the benchmark's result files (make_files) and the README's pictures: NX by
// NY elements, 100 ft square, over a channel that deepens to the east between
// shoals.
//   make_mesh <file> [nx ny]        (defaults: 200 100, 60601 nodes and 20000
//                                    elements)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "../tests/model_files.h"

namespace {

constexpr float kSide = 100.0f;  // ft

// The bottom elevation at (x, y) of a basin `w` by `h` feet.
float Bottom(float x, float y, float w, float h) {
  const float across = (y - h / 2) / (h / 2);  // -1 to 1
  const float channel = -30.0f * std::exp(-4.0f * across * across) * (0.4f + 0.6f * x / w);
  const float shoal = 6.0f * std::sin(3.0f * x / w * 3.14159f) * across;
  return -8.0f + channel + shoal;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: make_mesh <file> [nx ny]\n");
    return 2;
  }
  const int nx = argc == 4 ? std::atoi(argv[2]) : 200;
  const int ny = argc == 4 ? std::atoi(argv[3]) : 100;
  if (nx < 1 || ny < 1 || nx > 2000 || ny > 2000) {
    std::fprintf(stderr, "make_mesh: nx and ny from 1 to 2000\n");
    return 2;
  }
  // Rows of corner nodes (2 nx + 1 of them: corners and the mid-sides
  // between) alternate with rows of the mid-sides between them (nx + 1).
  const int corner_row = 2 * nx + 1, mid_row = nx + 1;
  auto corner = [&](int row, int col) { return row * (corner_row + mid_row) + col + 1; };
  auto middle = [&](int row, int i) { return row * (corner_row + mid_row) + corner_row + i + 1; };
  const float w = static_cast<float>(nx) * kSide, h = static_cast<float>(ny) * kSide;
  korvant::VeltoGeometry geometry;
  for (int row = 0; row <= ny; ++row) {
    const float y = static_cast<float>(row) * kSide;
    for (int col = 0; col < corner_row; ++col) {
      const float x = static_cast<float>(col) * kSide / 2;
      geometry.nodes.push_back({x, y, 0.0f, Bottom(x, y, w, h)});
    }
    if (row == ny) break;
    for (int i = 0; i < mid_row; ++i) {
      const float x = static_cast<float>(i) * kSide, ym = y + kSide / 2;
      geometry.nodes.push_back({x, ym, 0.0f, Bottom(x, ym, w, h)});
    }
  }
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      // Corners and mid-sides alternating, anticlockwise.
      geometry.elements.push_back(korvant::VeltoElement{
          {corner(j, 2 * i), corner(j, 2 * i + 1), corner(j, 2 * i + 2), middle(j, i + 1),
           corner(j + 1, 2 * i + 2), corner(j + 1, 2 * i + 1), corner(j + 1, 2 * i), middle(j, i)},
          1 + (i + j) % 5,
          0.0f,
          0});
    }
  }
  geometry.np = static_cast<int32_t>(geometry.nodes.size());
  geometry.ne = static_cast<int32_t>(geometry.elements.size());
  korvant::CharHeader header;
  header.title = "BENCHMARK MESH";
  const std::string bytes = korvant::VeltoFile(header, geometry).bytes();
  std::ofstream out(argv[1], std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) {
    std::perror(argv[1]);
    return 1;
  }
  std::printf("%d %d\n", geometry.np, geometry.ne);
  return 0;
}
