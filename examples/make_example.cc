// Writes the example of the README: a small bay as a VELTO mesh of
// eight-node quadrilaterals and six-node triangles (node numbers alternating
// corner and mid-side), and 30 hourly QMX2 steps of a tide over a slow gyre,
// whole and as the two pieces of a run restarted at hour 13.
//   korvant_make_example <dir>   writes into <dir>:
//     bay.velto        the mesh
//     bay.qmx2         hours 1 to 30
//     bay_part1.qmx2   hours 1 to 18, the run as it stood when it stopped
//     bay_part2.qmx2   hours 13 to 30, the run restarted from hour 13
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/model_files.h"

namespace {

using korvant::VeltoElement;
using korvant::VeltoNode;

constexpr int kColumns = 12, kRows = 6;  // quadrilaterals; the last column is split in triangles
constexpr float kLength = 6000.0f, kWidth = 3000.0f;  // feet
constexpr int kSteps = 30;
constexpr int kPart1Last = 18, kRestart = 13;  // hours; steps[i] holds hour i + 1
constexpr double kPi = 3.14159265358979;

// Nodes on a (2 kColumns + 1) x (2 kRows + 1) lattice of corners and mid-sides.
int Node(int i, int j) { return j * (2 * kColumns + 1) + i + 1; }

float X(int i) { return kLength * static_cast<float>(i) / (2 * kColumns); }
float Y(int i, int j) {
  // The shore bends: the lattice narrows towards the bay's head.
  const float head = 1.0f - 0.3f * static_cast<float>(i) / (2 * kColumns);
  return kWidth * head * static_cast<float>(j) / (2 * kRows);
}

float Bottom(float x, float y, float width) {
  return 90.0f -
         25.0f * static_cast<float>(std::sin(kPi * y / width)) * (1.0f - 0.5f * x / kLength);
}

bool written = true;

void Write(const std::string& path, const korvant::FileBuilder& file) {
  std::ofstream out(path, std::ios::binary);
  out << file.bytes();
  out.close();
  if (!out) {
    std::perror(path.c_str());
    written = false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korvant_make_example <dir>\n");
    return 2;
  }
  const std::string dir = argv[1];
  korvant::VeltoGeometry geometry;
  for (int j = 0; j <= 2 * kRows; ++j) {
    for (int i = 0; i <= 2 * kColumns; ++i) {
      const float x = X(i), y = Y(i, j);
      geometry.nodes.push_back(VeltoNode{x, y, 0.0f, Bottom(x, y, Y(i, 2 * kRows))});
    }
  }
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      const int i = 2 * c, j = 2 * r;
      if (c + 1 < kColumns) {
        geometry.elements.push_back(
            VeltoElement{{Node(i, j), Node(i + 1, j), Node(i + 2, j), Node(i + 2, j + 1),
                          Node(i + 2, j + 2), Node(i + 1, j + 2), Node(i, j + 2), Node(i, j + 1)},
                         1,
                         0.0f,
                         0});
        continue;
      }
      // Split along the diagonal; its mid-side node is the square's centre.
      geometry.elements.push_back(
          VeltoElement{{Node(i, j), Node(i + 1, j), Node(i + 2, j), Node(i + 1, j + 1),
                        Node(i, j + 2), Node(i, j + 1), 0, 0},
                       2,
                       0.0f,
                       0});
      geometry.elements.push_back(
          VeltoElement{{Node(i + 2, j), Node(i + 2, j + 1), Node(i + 2, j + 2), Node(i + 1, j + 2),
                        Node(i, j + 2), Node(i + 1, j + 1), 0, 0},
                       2,
                       0.0f,
                       0});
    }
  }
  geometry.np = static_cast<int32_t>(geometry.nodes.size());
  geometry.ne = static_cast<int32_t>(geometry.elements.size());
  korvant::CharHeader header;
  header.banner = "EXAMPLE BAY MESH";
  header.irec = {425};
  header.title = "EXAMPLE BAY";
  Write(dir + "/bay.velto", korvant::VeltoFile(header, geometry));

  // A 12.42-hour tide along the bay over a gyre that turns anticlockwise.
  std::vector<korvant::Qmx2StepData> steps;
  for (int t = 0; t < kSteps; ++t) {
    korvant::Qmx2StepData step;
    step.time = static_cast<float>(t + 1);
    step.np2 = geometry.np;
    step.ne2 = geometry.ne;
    const double phase = 2 * kPi * (t + 1) / 12.42;
    for (const VeltoNode& n : geometry.nodes) {
      const double width = kWidth * (1.0 - 0.3 * n.x / kLength);
      const double a = kPi * n.x / kLength, b = kPi * n.y / width;
      const double u = 0.4 * std::sin(a) * std::cos(b) + 0.8 * std::sin(phase) * std::sin(b);
      const double v = -0.2 * std::cos(a) * std::sin(b);
      const double surface = 100.0 + 1.5 * std::cos(phase);
      step.vel.insert(step.vel.end(), {static_cast<float>(u), static_cast<float>(v),
                                       static_cast<float>(surface - n.ao)});
      step.ndry.push_back(1);
      step.wsel.push_back(static_cast<float>(surface));
    }
    step.imat.assign(static_cast<size_t>(geometry.ne), 1);
    steps.push_back(step);
  }
  korvant::CharHeader results;
  results.banner = "EXAMPLE BAY TIDE";
  results.irec = {42};
  results.title = "EXAMPLE BAY, TIDE OVER A GYRE";
  Write(dir + "/bay.qmx2", korvant::Qmx2File(results, steps, true));
  // The restart repeats hours 13 to 18 with the same values, so either piece
  // joined at any of those hours gives the whole run back.
  const std::vector<korvant::Qmx2StepData> first(steps.begin(), steps.begin() + kPart1Last),
      second(steps.begin() + kRestart - 1, steps.end());
  Write(dir + "/bay_part1.qmx2", korvant::Qmx2File(results, first, true));
  Write(dir + "/bay_part2.qmx2", korvant::Qmx2File(results, second, true));
  return written ? 0 : 1;
}
