// korvant-series: values at points worked out by hand through the elements'
// shape functions, and its refusals.

#if defined(KORVANT_SERIES_PROGRAM)

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/program_fixtures.h"

namespace korvant {
namespace {

// u, a full quadratic; v, linear; d, quadratic in x and linear in y.
double U(double x, double y) { return 1 + 2 * x + 3 * y + x * x + x * y - y * y; }
double V(double x, double y) { return 3 + 2 * x - y; }
double D(double x, double y) { return 2 + x * x - y; }

// An eight-node quadrilateral, corners (0,0), (2,0), (2,2), (0,2), its
// bottom side bowed down (mid-side node 2 at (1, -0.375)), and beside it a
// straight six-node triangle (2,0), (4,1), (2,2) that shares its right
// side; node numbers alternate corner and mid-side around each element.
//
//   7 (0,2)    6 (1,2)    5 (2,2)
//                                  11 (3,1.5)
//   8 (0,1)               4 (2,1)               10 (4,1)
//                                   9 (3,0.5)
//   1 (0,0)               3 (2,0)
//              2 (1,-0.375)
const float kX[] = {0, 1, 2, 2, 2, 1, 0, 0, 3, 4, 3};
const float kY[] = {0, -0.375f, 0, 1, 2, 2, 2, 1, 0.5f, 1, 1.5f};

FileBuilder CurvedMesh() {
  VeltoGeometry geometry;
  geometry.np = 11;
  geometry.ne = 2;
  for (int k = 0; k < 11; ++k) geometry.nodes.push_back({kX[k], kY[k], 0.0f, -1.0f});
  geometry.elements = {VeltoElement{{1, 2, 3, 4, 5, 6, 7, 8}, 1, 0.0f, 0},
                       VeltoElement{{3, 9, 10, 11, 5, 4, 0, 0}, 1, 0.0f, 0}};
  return VeltoFile(CodedHeader{}, geometry);
}

// Two long steps, hours 1.5 and 2.5, of u, v and d at the nodes, the second
// twice the first; node 3 is dry (code 1).
FileBuilder PolynomialResult() {
  std::vector<Qmx2StepData> steps(2);
  for (int s = 0; s < 2; ++s) {
    Qmx2StepData& step = steps[static_cast<size_t>(s)];
    step.time = 1.5f + static_cast<float>(s);
    step.np2 = 11;
    step.ne2 = 2;
    for (int k = 0; k < 11; ++k) {
      for (double value : {U(kX[k], kY[k]), V(kX[k], kY[k]), D(kX[k], kY[k])}) {
        step.vel.push_back(static_cast<float>((s + 1) * value));
      }
      step.ndry.push_back(k == 2 ? 1 : 0);
    }
  }
  return Qmx2File(CharHeader{}, steps, true);
}

std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::stringstream text(line);
  for (std::string cell; std::getline(text, cell, ',');) cells.push_back(cell);
  return cells;
}

class SeriesTest : public ::testing::Test {
 protected:
  SeriesTest() {
    box_.Write("mesh.velto", CurvedMesh().bytes());
    box_.Write("run.qmx2", PolynomialResult().bytes());
  }
  RunResult Run(std::vector<std::string> more) {
    more.insert(more.begin(), {"mesh.velto", "run.qmx2"});
    return box_.RunProgram(ProgramPath("korvant-series"), more);
  }
  Sandbox box_;
};

// Each point's u, v, d and wet/dry code at hour 1.5, by hand. NaN: no value
// by hand (u inside the curved element, where the element's interpolation is
// not the polynomial).
TEST_F(SeriesTest, PointsTakeTheirElementsInterpolation) {
  const double kNone = std::nan("");
  struct Point {
    std::string name;
    double x, y, u, v, d;
    int code;
  };
  // At the curved element's centre, (xi, eta) = (0, 0), the serendipity
  // weights are -1/4 at each corner and 1/2 at each mid-side node, so the
  // point is x = -(0+2+2+0)/4 + (1+2+1+0)/2 = 1 and
  // y = -(0+0+2+2)/4 + (-0.375+1+2+1)/2 = 0.8125, and
  // u = -(1+9+15+3)/4 + (2.359375+13+8+3)/2 = 6.1796875, not U(1, 0.8125).
  // On the bowed side at xi = 0.5 the weights are -0.125, 0.375 and 0.75:
  // x = 1.5, y = 0.75 * -0.375 = -0.28125, u = -0.125 + 3.375 + 1.76953125.
  // v, linear, is exact everywhere, and so is d: x is 1 + xi in the curved
  // element. The code is that of the element's node nearest the point.
  const std::vector<Point> points = {
      {"3", 2, 0, U(2, 0), V(2, 0), D(2, 0), 1},                        // a node, dry
      {"tri", 3, 1, U(3, 1), V(3, 1), D(3, 1), 0},                      // in the triangle
      {"quad", 0.5, 0.5, kNone, V(0.5, 0.5), D(0.5, 0.5), 0},           // in the curved quad
      {"centre", 1, 0.8125, 6.1796875, V(1, 0.8125), D(1, 0.8125), 0},  // its centre
      {"shared", 2, 0.25, U(2, 0.25), V(2, 0.25), D(2, 0.25), 1},       // on the shared side
      {"bowed", 1.5, -0.28125, 5.01953125, V(1.5, -0.28125), D(1.5, -0.28125), 0},
      {"node10", 4, 1, U(4, 1), V(4, 1), D(4, 1), 0},  // at a node, as a point
  };
  std::string file;
  for (size_t i = 1; i < points.size(); ++i) {
    const Point& p = points[i];
    file += p.name + "," + std::to_string(p.x) + "," + std::to_string(p.y) + "\n";
  }
  box_.Write("gauges.csv", "# name,x,y\n\n" + file);
  const RunResult run = Run(
      {"--node", "3", "--points", "gauges.csv", "--fields", "x_velocity,y_velocity,depth,wet_dry"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("", run.err);
  std::stringstream out(run.out);
  std::string heading, first, second, more;
  std::getline(out, heading);
  std::getline(out, first);
  std::getline(out, second);
  EXPECT_FALSE(std::getline(out, more)) << more;
  EXPECT_TRUE(
      heading.starts_with("hour,x_velocity@3 [ft s-1],y_velocity@3 [ft s-1],depth@3 "
                          "[ft],wet_dry@3,x_velocity@tri [ft s-1],"))
      << heading;
  EXPECT_TRUE(heading.ends_with(",depth@node10 [ft],wet_dry@node10")) << heading;
  const std::vector<std::string> row1 = Cells(first), row2 = Cells(second);
  ASSERT_EQ(1 + 4 * points.size(), row1.size()) << first;
  ASSERT_EQ(row1.size(), row2.size()) << second;
  EXPECT_EQ("1.5", row1[0]);
  EXPECT_EQ("2.5", row2[0]);
  for (size_t i = 0; i < points.size(); ++i) {
    const Point& p = points[i];
    SCOPED_TRACE(p.name);
    const double expected[] = {p.u, p.v, p.d};
    for (size_t f = 0; f < 3; ++f) {
      if (std::isnan(expected[f])) continue;
      const double one = std::stod(row1[1 + 4 * i + f]), two = std::stod(row2[1 + 4 * i + f]);
      EXPECT_NEAR(expected[f], one, 4e-7 * std::max(1.0, std::fabs(expected[f]))) << f;
      EXPECT_NEAR(2 * expected[f], two, 8e-7 * std::max(1.0, std::fabs(expected[f]))) << f;
    }
    EXPECT_EQ(std::to_string(p.code), row1[4 + 4 * i]);
  }
}

TEST_F(SeriesTest, DatesJsonAndOutputFile) {
  RunResult run = Run({"--node", "3", "--fields", "depth", "--start-date", "2024-02-28T23:00"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("date,depth@3 [ft]\n2024-02-29T00:30:00,6\n2024-02-29T01:30:00,12\n", run.out);
  run = Run({"--at", "3,1", "--fields", "y_velocity,wet_dry", "--to", "2", "--json"});
  ASSERT_EQ(0, run.status) << run.err;
  const nlohmann::json series = nlohmann::json::parse(run.out);
  EXPECT_EQ(nlohmann::json::parse(R"([[1.5, 8, 0]])"), series["rows"]);
  EXPECT_EQ(2, series["points"][0]["element"]);
  run = Run({"--at", "3,1", "--fields", "depth", "-o", "p.csv"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("hour,depth@P1 [ft]\n1.5,10\n2.5,20\n", box_.Read("p.csv"));
  EXPECT_TRUE(run.out.ends_with("Wrote p.csv: 2 time steps of 1 field at 1 place\n")) << run.out;
}

TEST_F(SeriesTest, Refusals) {
  box_.Write("bad.csv", "G1,1,1\nG2,1\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string said;
  };
  const std::vector<Case> cases = {
      {{}, 2, "give the places of the series: --node, --at or --points (see --help)"},
      {{"--at", "1"}, 2, "--at 1: give the point as X,Y (see --help)"},
      {{"--node", "1,x"}, 2, "--node x: not a whole number (see --help)"},
      {{"--node", "12"}, 1, "--node 12: the mesh has 11 nodes"},
      {{"--at", "5,1"},
       1,
       "the point P1 (5, 1) lies outside the mesh; the nearest node is 10, 1 away"},
      {{"--node", "1", "--at", "1,0", "--at", "1,-0.5"},
       1,
       "the point P2 (1, -0.5) lies outside the mesh; the nearest node is 2, 0.125 away"},
      {{"--points", "bad.csv"}, 1, "bad.csv line 2: \"G2,1\" is not name,x,y"},
      {{"--node", "1", "--fields", "speed"},
       1,
       "run.qmx2 has no field speed; its fields are x_velocity, y_velocity, depth, "
       "water_surface_elevation, wet_dry"},
      {{"--node", "1", "--from", "3"}, 1, "run.qmx2 has no time step from hour 3 to hour last"},
      {{"--node", "1", "--start-date", "2024-02-30"},
       2,
       "--start-date 2024-02-30 is not a date YYYY-MM-DD or YYYY-MM-DDTHH:MM (see --help)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    const RunResult run = Run(c.args);
    EXPECT_EQ(c.status, run.status);
    EXPECT_EQ("", run.out);
    EXPECT_EQ("korvant-series: " + c.said + "\n", run.err);
  }
}

}  // namespace
}  // namespace korvant

#endif
