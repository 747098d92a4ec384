#pragma once

// Files and helpers the end-to-end tests of korvant-export and korvant-plot
// share.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/harness.h"
#include "tests/model_files.h"

namespace korvant {

// A square of eight nodes (1 to 8, corners and mid-sides alternating
// anticlockwise from (0,0)) and a six-node triangle beside it (3, 9, 10, 11,
// 5, 4), element codes 7 and 8; the bottom of node k (from 0) is -1 - k / 2.
//
//   7 (0,2)   6 (1,2)   5 (2,2)
//                                  11 (3,1.5)
//   8 (0,1)             4 (2,1)               10 (4,1)
//                                   9 (3,0.5)
//   1 (0,0)   2 (1,0)   3 (2,0)
inline FileBuilder TwoElementMesh() {
  const float x[] = {0, 1, 2, 2, 2, 1, 0, 0, 3, 4, 3};
  const float y[] = {0, 0, 0, 1, 2, 2, 2, 1, 0.5f, 1, 1.5f};
  VeltoGeometry geometry;
  geometry.np = 11;
  geometry.ne = 2;
  for (int k = 0; k < 11; ++k)
    geometry.nodes.push_back({x[k], y[k], 0.0f, -1.0f - 0.5f * static_cast<float>(k)});
  geometry.elements = {VeltoElement{{1, 2, 3, 4, 5, 6, 7, 8}, 7, 0.0f, 0},
                       VeltoElement{{3, 9, 10, 11, 5, 4, 0, 0}, 8, 0.0f, 0}};
  CodedHeader header;
  header.ititl = Codes("BAY MESH");
  return VeltoFile(header, geometry);
}

// Two long QMX2 steps over that mesh at hours 1.5 and 2.5. The builder's
// values: x-velocity, y-velocity and depth of node k are 0.5 + 0.75k,
// 0.75 + 0.75k and 1 + 0.75k, its elevation 100.5 + 0.5k; the wet/dry codes
// are 0, 1, 2, then 1. The second step's first x-velocity is 9.
inline FileBuilder HydroResult(int32_t nodes = 11, const std::string& title = "TIDE RUN") {
  Qmx2StepData first;
  first.time = 1.5f;
  first.np2 = nodes;
  first.ne2 = 2;
  first.ndry = {0, 1, 2};
  Qmx2StepData second = first;
  second.time = 2.5f;
  second.vel = {9.0f};
  CharHeader header;
  header.irec = {42};
  header.title = title;
  return Qmx2File(header, {first, second}, true);
}

// A mesh of 90000 nodes (more than the console program holds; two elements
// over its first eleven, corners and mid-sides alternating) whose node k lies
// at (k mod 300, k div 300).
inline FileBuilder LargeMesh() {
  VeltoGeometry geometry;
  geometry.np = 90000;
  geometry.ne = 2;
  for (int k = 0; k < geometry.np; ++k) {
    geometry.nodes.push_back(
        {static_cast<float>(k % 300), static_cast<float>(k / 300), 0.0f, -1.0f});
  }
  geometry.elements = {VeltoElement{{1, 2, 3, 303, 603, 602, 601, 301}, 7, 0.0f, 0},
                       VeltoElement{{3, 4, 5, 305, 605, 604, 603, 303}, 8, 0.0f, 0}};
  return VeltoFile(CodedHeader{}, geometry);
}

// /usr/bin/python3 runs `script` in the sandbox; the test is skipped when
// python or one of `modules` is missing.
#define KORVANT_PYTHON_OR_SKIP(box, modules)                                           \
  do {                                                                                 \
    if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";  \
    if ((box).RunProgram("/usr/bin/python3", {"-c", "import " modules}).status != 0) { \
      GTEST_SKIP() << "python3 lacks " modules;                                        \
    }                                                                                  \
  } while (false)

}  // namespace korvant
