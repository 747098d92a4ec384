// korvant-export's files as the viewers read them: QGIS's mesh layer
// (headless, through tests/qgis_mesh_info.py, in a process of its own) and
// ParaView's series through VTK.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kit/command_line.h"
#include "tests/program_fixtures.h"

namespace korvant {
namespace {

class ViewersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box_.Write("mesh.velto", TwoElementMesh().bytes());
    for (const char* output : {"out.nc", "run.pvd", "run_0001.vtu", "run_0002.vtu"}) {
      box_.ExpectOutput(output);
    }
  }
  RunResult Export(const FileBuilder& result, std::vector<std::string> args) {
    box_.Write("result.bin", result.bytes());
    args.insert(args.begin(), {"mesh.velto", "result.bin", "-f", "-q"});
    return box_.RunProgram(ProgramPath("korvant-export"), args);
  }
  Sandbox box_;
};

// One group as QGIS shows it: "name" (a scalar) or "name>" (a vector), and
// how many datasets (times) it holds.
std::string Group(const Json& g) {
  return g["name"].get<std::string>() + (g["vector"].get<bool>() ? ">" : "") + " " +
         std::to_string(g["datasets"].get<int>());
}

TEST_F(ViewersTest, QgisOpensEveryFamilyAsAMeshWithEveryField) {
  KORVANT_PYTHON_OR_SKIP(box_, "qgis.core");
  Qmx4StepData transport;
  transport.nqal = 2;
  transport.np4 = 11;
  transport.ne4 = 2;
  Qmx4StepData later = transport;
  later.time = 1;
  Qmx10StepData threed;
  threed.np = 11;
  threed.ndf = 4;
  threed.ne = 2;
  threed.icnt = {11, 11, 11, 11, 0, 0, 0, 0};
  Qmx2StepData mean;  // an averaged file: one step at hour -99
  mean.time = -99;
  mean.np2 = 11;
  mean.ne2 = 2;
  CharHeader header;
  header.irec = {42};
  struct Case {
    const char* name;
    FileBuilder file;
    std::vector<std::string> args;
    int faces;  // 5 cells of the quadrilateral and 4 of the triangle; 2 over the corners
    const char* crs;
    std::vector<std::string> groups;  // besides the bottom and the element variables
  };
  const Case cases[] = {
      {"qmx2",
       HydroResult(),
       {},
       9,
       "",
       {"velocity> 2", "depth 2", "water-surface elevation 2", "wet/dry code 2"}},
      {"qmx2 corners, EPSG:32615",
       HydroResult(),
       {"--corners", "--crs", "EPSG:32615"},
       2,
       "EPSG:32615",
       {"velocity> 2", "depth 2", "water-surface elevation 2", "wet/dry code 2"}},
      {"qmx4",
       Qmx4File(CodedHeader{}, {transport, later}),
       {},
       9,
       "",
       {"concentration of constituent 1 2", "concentration of constituent 2 2"}},
      {"qmx10", Qmx10File({threed}), {}, 9, "", {"velocity> 1", "depth 1", "salinity 1"}},
      {"qmx2 averaged",
       Qmx2File(header, {mean}, true),
       {"--fields", "x_velocity,y_velocity,wet_dry"},
       9,
       "",
       {"velocity> 1", "wet/dry code 1"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"-o", "out.nc"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult run = Export(c.file, args);
    ASSERT_EQ(0, run.status) << c.name << ": " << run.err;
    const RunResult qgis =
        box_.RunProgram("/usr/bin/python3",
                        {std::string(KORVANT_SOURCE_DIR) + "/tests/qgis_mesh_info.py", "out.nc"});
    ASSERT_EQ(0, qgis.status) << c.name << ": " << qgis.err;
    const Json layer = Json::parse(qgis.out);
    ASSERT_TRUE(layer["valid"].get<bool>()) << c.name << ": " << qgis.out;
    EXPECT_EQ(11, layer["vertices"].get<int>()) << c.name;
    EXPECT_EQ(c.faces, layer["faces"].get<int>()) << c.name;
    EXPECT_EQ(c.crs, layer["crs"].get<std::string>()) << c.name;
    std::vector<std::string> groups = {"Bed Elevation 1",
                                       "element code IMAT of the geometry file 1",
                                       "element number in the geometry file 1"};
    groups.insert(groups.end(), c.groups.begin(), c.groups.end());
    std::vector<std::string> shown;
    for (const Json& g : layer["groups"]) shown.push_back(Group(g));
    std::sort(groups.begin(), groups.end());
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(groups, shown) << c.name;
  }
}

TEST_F(ViewersTest, ParaviewSeriesNamesOneVtuAStepWithItsHour) {
  KORVANT_PYTHON_OR_SKIP(box_, "vtk");
  const RunResult run = Export(HydroResult(), {"-o", "run.pvd", "--fields", "depth"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ((std::vector<std::string>{"mesh.velto", "result.bin", "run.pvd", "run_0001.vtu",
                                      "run_0002.vtu"}),
            box_.List());
  const RunResult vtk = box_.RunProgram("/usr/bin/python3", {"-c", R"(
import vtk
import xml.etree.ElementTree as et
for d in et.parse("run.pvd").getroot().iter("DataSet"):
    r = vtk.vtkXMLUnstructuredGridReader()
    r.SetFileName(d.get("file"))
    r.Update()
    g = r.GetOutput()
    p = g.GetPointData()
    print(d.get("timestep"), g.GetNumberOfPoints(), p.GetNumberOfArrays(),
          p.GetArrayName(1), p.GetArray("depth").GetValue(3),
          g.GetFieldData().GetArray("TimeValue").GetValue(0))
)"});
  ASSERT_EQ(0, vtk.status) << vtk.err;
  // Depth of node 3 is 1 + 0.75 x 3; the bottom and the one field chosen.
  EXPECT_EQ("1.5 11 2 depth 3.25 1.5\n2.5 11 2 depth 3.25 2.5\n", vtk.out);
}

}  // namespace
}  // namespace korvant
