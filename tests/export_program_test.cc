// korvant-export run as a user runs it, its files read back by the netCDF
// library, by xarray and by VTK's own reader.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/program_fixtures.h"

namespace korvant {
namespace {

constexpr char kOrderLine[] =
    "Element node order: alternate, found from the geometry (2 of 2 elements with mid-side "
    "nodes fit it)\n";

// An open netCDF file, read through the C library.
class Netcdf {
 public:
  explicit Netcdf(const std::string& path) {
    EXPECT_EQ(NC_NOERR, nc_open(path.c_str(), NC_NOWRITE, &id_));
  }
  ~Netcdf() { nc_close(id_); }
  size_t Dim(const char* name) const {
    int dim = -1;
    size_t len = 0;
    EXPECT_EQ(NC_NOERR, nc_inq_dimid(id_, name, &dim)) << name;
    nc_inq_dimlen(id_, dim, &len);
    return len;
  }
  int Var(const char* name) const {
    int var = -1;
    EXPECT_EQ(NC_NOERR, nc_inq_varid(id_, name, &var)) << name;
    return var;
  }
  std::string Text(const char* var, const char* att) const {
    const int v = var == nullptr ? NC_GLOBAL : Var(var);
    size_t len = 0;
    if (nc_inq_attlen(id_, v, att, &len) != NC_NOERR) return "(none)";
    std::string text(len, '\0');
    nc_get_att_text(id_, v, att, text.data());
    return text;
  }
  nc_type Type(const char* var) const {
    nc_type type = NC_NAT;
    nc_inq_vartype(id_, Var(var), &type);
    return type;
  }
  std::vector<double> DoubleAtt(const char* var, const char* att) const {
    size_t len = 0;
    nc_inq_attlen(id_, Var(var), att, &len);
    std::vector<double> values(len);
    nc_get_att_double(id_, Var(var), att, values.data());
    return values;
  }
  bool Has(const char* var) const {
    int v = -1;
    return nc_inq_varid(id_, var, &v) == NC_NOERR;
  }
  int IntAtt(const char* var, const char* att) const {
    int value = 0;
    EXPECT_EQ(NC_NOERR, nc_get_att_int(id_, Var(var), att, &value)) << var << ":" << att;
    return value;
  }
  std::vector<int> Ints(const char* var) const {
    std::vector<int> values(Size(var));
    nc_get_var_int(id_, Var(var), values.data());
    return values;
  }
  std::vector<double> Doubles(const char* var) const {
    std::vector<double> values(Size(var));
    nc_get_var_double(id_, Var(var), values.data());
    return values;
  }
  double At(const char* var, size_t step, size_t node) const {
    const size_t index[2] = {step, node};
    double value = 0;
    EXPECT_EQ(NC_NOERR, nc_get_var1_double(id_, Var(var), index, &value)) << var;
    return value;
  }

 private:
  size_t Size(const char* var) const {
    int dims[NC_MAX_VAR_DIMS], n = 0;
    nc_inq_varndims(id_, Var(var), &n);
    nc_inq_vardimid(id_, Var(var), dims);
    size_t size = 1;
    for (int i = 0; i < n; ++i) {
      size_t len = 0;
      nc_inq_dimlen(id_, dims[i], &len);
      size *= len;
    }
    return size;
  }
  int id_ = -1;
};

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    box_.Write("mesh.velto", TwoElementMesh().bytes());
    box_.Write("result.bin", HydroResult().bytes());
    for (const char* output : {"out.nc", "out.vtu"}) box_.ExpectOutput(output);
  }
  RunResult Export(std::vector<std::string> args) {
    args.insert(args.begin(), {"mesh.velto", "result.bin"});
    return box_.RunProgram(ProgramPath("korvant-export"), args);
  }
  Sandbox box_;
};

TEST_F(ExportTest, NetcdfHoldsTheMeshTopologyAndEveryStep) {
  const RunResult run = Export({"-f", "-o", "out.nc", "--corners"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("", run.err);
  EXPECT_EQ(std::string(kOrderLine) +
                "Wrote out.nc: 2 time steps of 5 fields over 11 nodes and 2 elements\n",
            run.out);
  const Netcdf nc(box_.Path("out.nc"));
  EXPECT_EQ(11u, nc.Dim("nMesh_node"));
  EXPECT_EQ(2u, nc.Dim("nMesh_face"));
  EXPECT_EQ(4u, nc.Dim("nMaxMesh_face_nodes"));
  EXPECT_EQ(2u, nc.Dim("time"));
  EXPECT_EQ("CF-1.8 UGRID-1.0", nc.Text(nullptr, "Conventions"));
  EXPECT_EQ("TIDE RUN", nc.Text(nullptr, "title"));
  EXPECT_EQ("mesh_topology", nc.Text("mesh", "cf_role"));
  EXPECT_EQ(2, nc.IntAtt("mesh", "topology_dimension"));
  EXPECT_EQ("mesh_node_x mesh_node_y", nc.Text("mesh", "node_coordinates"));
  EXPECT_EQ("mesh_face_nodes", nc.Text("mesh", "face_node_connectivity"));
  EXPECT_EQ(1, nc.IntAtt("mesh_face_nodes", "start_index"));
  EXPECT_EQ(-1, nc.IntAtt("mesh_face_nodes", "_FillValue"));
  // The corners anticlockwise; the triangle's row ends in the fill value.
  EXPECT_EQ((std::vector<int>{1, 3, 5, 7, 3, 10, 5, -1}), nc.Ints("mesh_face_nodes"));
  EXPECT_EQ((std::vector<int>{7, 8}), nc.Ints("IMAT"));
  EXPECT_EQ("face", nc.Text("IMAT", "location"));
  EXPECT_EQ(-3.0, nc.Doubles("mesh_node_z")[4]);
  EXPECT_EQ(4.0, nc.Doubles("mesh_node_x")[9]);
  EXPECT_EQ((std::vector<double>{1.5, 2.5}), nc.Doubles("time"));
  EXPECT_EQ("hours", nc.Text("time", "units"));
  EXPECT_EQ("model time in hours from the start of the run", nc.Text("time", "long_name"));
  EXPECT_EQ("node", nc.Text("x_velocity", "location"));
  EXPECT_EQ("mesh", nc.Text("x_velocity", "mesh"));
  EXPECT_EQ(3.5, nc.At("x_velocity", 0, 4));
  EXPECT_EQ(9.0, nc.At("x_velocity", 1, 0));
  EXPECT_EQ(3.25, nc.At("depth", 1, 3));
  EXPECT_EQ(102.5, nc.At("water_surface_elevation", 0, 4));
  EXPECT_EQ(2.0, nc.At("wet_dry", 0, 2));
}

TEST_F(ExportTest, NetcdfSaysWhatEachVariableIs) {
  const RunResult run = Export({"-f", "-o", "out.nc", "--start-date", "2024-03-01"});
  ASSERT_EQ(0, run.status) << run.err;
  const Netcdf nc(box_.Path("out.nc"));
  EXPECT_EQ("korvant-export mesh.velto result.bin -f -o out.nc --start-date 2024-03-01",
            nc.Text(nullptr, "history"));
  struct Case {
    const char* var;
    const char* units;
    const char* standard_name;
    nc_type type;
  };
  const Case cases[] = {
      {"mesh_node_x", "ft", "projection_x_coordinate", NC_FLOAT},
      {"mesh_node_y", "ft", "projection_y_coordinate", NC_FLOAT},
      {"mesh_node_z", "ft", "(none)", NC_FLOAT},
      {"time", "hours since 2024-03-01 00:00:00", "time", NC_DOUBLE},
      {"x_velocity", "ft s-1", "sea_water_x_velocity", NC_FLOAT},
      {"y_velocity", "ft s-1", "sea_water_y_velocity", NC_FLOAT},
      {"depth", "ft", "sea_floor_depth_below_sea_surface", NC_FLOAT},
      {"water_surface_elevation", "ft", "water_surface_height_above_reference_datum", NC_FLOAT},
      {"wet_dry", "(none)", "(none)", NC_DOUBLE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.units, nc.Text(c.var, "units")) << c.var;
    EXPECT_EQ(c.standard_name, nc.Text(c.var, "standard_name")) << c.var;
    EXPECT_EQ(c.type, nc.Type(c.var)) << c.var;
  }
  EXPECT_EQ((std::vector<double>{0, 2}), nc.DoubleAtt("wet_dry", "flag_values"));
  EXPECT_EQ("dry passed_over_by_averaging", nc.Text("wet_dry", "flag_meanings"));
  EXPECT_EQ("(none)", nc.Text("x_velocity", "grid_mapping"));
  EXPECT_FALSE(nc.Has("crs"));
  ASSERT_EQ(0, Export({"-f", "-o", "out.nc", "--crs", "EPSG:4326"}).status);
  const Netcdf geographic(box_.Path("out.nc"));
  EXPECT_EQ("crs", geographic.Text("mesh_node_x", "grid_mapping"));
  EXPECT_EQ(4326, geographic.IntAtt("crs", "epsg"));
  EXPECT_TRUE(geographic.Text("crs", "crs_wkt").starts_with("GEOGCRS[\"WGS 84\""));
}

// The quadrilateral (corners 1, 3, 5, 7, mid-sides 2, 4, 6, 8) is the
// square of its mid-side nodes and a triangle at each corner; the triangle
// (corners 3, 10, 5, mid-sides 9, 11, 4) the triangle at each corner and the
// one of its mid-side nodes.
TEST_F(ExportTest, NetcdfFacesUseEveryNodeUnlessCornersAreAsked) {
  const RunResult run = Export({"-f", "-o", "out.nc"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(std::string(kOrderLine) +
                "Wrote out.nc: 2 time steps of 5 fields over 11 nodes and 2 elements (9 cells)\n",
            run.out);
  const Netcdf nc(box_.Path("out.nc"));
  const std::vector<int> faces = nc.Ints("mesh_face_nodes");
  EXPECT_EQ((std::vector<int>{2, 4,  6, 8, 1, 2,  8, -1, 3,  4,  2, -1, 5, 6,  4, -1, 7, 8,
                              6, -1, 3, 9, 4, -1, 9, 10, 11, -1, 4, 11, 5, -1, 9, 11, 4, -1}),
            faces);
  for (int node = 1; node <= 11; ++node) {
    EXPECT_NE(faces.end(), std::find(faces.begin(), faces.end(), node)) << node;
  }
  EXPECT_EQ((std::vector<int>{1, 1, 1, 1, 1, 2, 2, 2, 2}), nc.Ints("element"));
  EXPECT_EQ((std::vector<int>{7, 7, 7, 7, 7, 8, 8, 8, 8}), nc.Ints("IMAT"));
}

TEST_F(ExportTest, AveragedFileIsExportedAsMeans) {
  Qmx2StepData mean;
  mean.time = -99;
  mean.np2 = 11;
  mean.ne2 = 2;
  CharHeader header;
  header.irec = {42};
  box_.Write("result.bin", Qmx2File(header, {mean}, true).bytes());
  RunResult run = Export({"-f", "-o", "out.nc"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(std::string(kOrderLine) +
                "Wrote out.nc: the means of 5 fields over 11 nodes and 2 elements (9 cells)\n",
            run.out);
  {
    const Netcdf nc(box_.Path("out.nc"));
    EXPECT_FALSE(nc.Has("time"));
    EXPECT_EQ("time: mean", nc.Text("depth", "cell_methods"));
    EXPECT_EQ("time: mean", nc.Text("water_surface_above_datum", "cell_methods"));
    EXPECT_NE(std::string::npos,
              nc.Text(nullptr, "comment").find("result.bin is an averaged file"));
    EXPECT_EQ(1.75, nc.Doubles("depth")[1]);  // 1 + 0.75 x 1, one value a node
  }
  run = Export({"-f", "-o", "out.nc", "--window", "24:48"});
  ASSERT_EQ(0, run.status) << run.err;
  {
    const Netcdf nc(box_.Path("out.nc"));
    EXPECT_EQ(std::vector<double>{36}, nc.Doubles("time"));
    EXPECT_EQ((std::vector<double>{24, 48}), nc.Doubles("time_bounds"));
    EXPECT_EQ("time_bounds", nc.Text("time", "bounds"));
  }
  // An averaged QMX4 file: its one step at hour 0.
  Qmx4StepData transport;
  transport.np4 = 11;
  transport.ne4 = 2;
  box_.Write("result.bin", Qmx4File(CodedHeader{}, {transport}).bytes());
  ASSERT_EQ(0, Export({"-f", "-o", "out.nc"}).status);
  EXPECT_EQ("time: mean", Netcdf(box_.Path("out.nc")).Text("constituent_1", "cell_methods"));
  // A run of two steps whose first is at hour -99 is no averaged file.
  Qmx2StepData next = mean;
  next.time = -98;
  box_.Write("result.bin", Qmx2File(header, {mean, next}, true).bytes());
  ASSERT_EQ(0, Export({"-f", "-o", "out.nc"}).status);
  EXPECT_EQ((std::vector<double>{-99, -98}), Netcdf(box_.Path("out.nc")).Doubles("time"));
  run = Export({"-f", "-o", "out.nc", "--window", "24:48"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(
      "korvant-export: --window gives the hours of an averaged file's means; result.bin is not "
      "an averaged file\n",
      run.err);
}

TEST_F(ExportTest, EveryNthStepAndTheFieldsChosen) {
  const RunResult run = Export({"-f", "-o", "out.nc", "--every", "2", "--fields", "wet_dry,depth"});
  ASSERT_EQ(0, run.status) << run.err;
  const Netcdf nc(box_.Path("out.nc"));
  EXPECT_EQ(std::vector<double>{1.5}, nc.Doubles("time"));
  EXPECT_TRUE(nc.Has("depth") && nc.Has("wet_dry"));
  EXPECT_FALSE(nc.Has("x_velocity"));
  const RunResult wrong = Export({"-f", "-o", "out.nc", "--fields", "speed"});
  EXPECT_EQ(1, wrong.status);
  EXPECT_EQ(
      "korvant-export: --fields: result.bin has no field speed (its fields: x_velocity, "
      "y_velocity, depth, water_surface_elevation, wet_dry)\n",
      wrong.err);
}

TEST_F(ExportTest, EachFamilyGivesItsOwnQuantities) {
  Qmx4StepData transport;
  transport.time = 0.5f;  // one step at hour 0 would be an averaged file
  transport.nqal = 2;
  transport.np4 = 11;
  transport.ne4 = 2;
  Qmx10StepData threed;
  threed.np = 11;
  threed.ndf = 3;
  threed.ne = 2;
  threed.icnt = {11, 11, 11, 0, 0, 0, 0, 0};
  struct Case {
    FileBuilder file;
    const char* field;  // value of node 4 in the first step, as the builders make it
    double value;
    const char* units;
    const char* absent;  // a field of the other families
  };
  const Case cases[] = {
      {HydroResult(), "y_velocity", 3.75, "ft s-1", "constituent_1"},
      {Qmx4File(CodedHeader{}, {transport}), "constituent_2", 8.5, "(none)", "x_velocity"},
      {Qmx10File({threed}), "depth", 30.5, "ft", "wet_dry"},
  };
  for (const Case& c : cases) {
    box_.Write("result.bin", c.file.bytes());
    const RunResult run = Export({"-f", "-o", "out.nc"});
    ASSERT_EQ(0, run.status) << run.err;
    const Netcdf nc(box_.Path("out.nc"));
    EXPECT_EQ(c.value, nc.At(c.field, 0, 4)) << c.field;
    EXPECT_EQ(c.units, nc.Text(c.field, "units")) << c.field;
    EXPECT_FALSE(nc.Has(c.absent)) << c.absent;
  }
}

TEST_F(ExportTest, OneStepByNumberOrHourAndACalendarStart) {
  for (const std::vector<std::string>& choice :
       {std::vector<std::string>{"--step", "2"}, std::vector<std::string>{"--time", "2.5"}}) {
    std::vector<std::string> args = {"-f", "-o", "out.nc", "--start-date", "2024-03-01T06:30"};
    args.insert(args.end(), choice.begin(), choice.end());
    const RunResult run = Export(args);
    ASSERT_EQ(0, run.status) << run.err;
    const Netcdf nc(box_.Path("out.nc"));
    EXPECT_EQ(std::vector<double>{2.5}, nc.Doubles("time"));
    EXPECT_EQ("hours since 2024-03-01 06:30:00", nc.Text("time", "units"));
    EXPECT_EQ(9.0, nc.At("x_velocity", 0, 0));
  }
  // A window of hours: of 1.5 and 2.5, only 2.5 lies from 2 to 3.
  RunResult run = Export({"-f", "-o", "out.nc", "--from", "2", "--to", "3"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(std::vector<double>{2.5}, Netcdf(box_.Path("out.nc")).Doubles("time"));
  run = Export({"-f", "-o", "out.nc", "--from", "3"});
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("korvant-export: result.bin has no time step from hour 3 to hour last\n", run.err);
}

TEST_F(ExportTest, XarrayOpensTheNetcdfFile) {
  KORVANT_PYTHON_OR_SKIP(box_, "xarray, netCDF4");
  ASSERT_EQ(0, Export({"-o", "plain.nc"}).status);
  ASSERT_EQ(0, Export({"-o", "dated.nc", "--start-date", "2024-03-01"}).status);
  const RunResult run = box_.RunProgram("/usr/bin/python3", {"-c", R"(
import xarray as xr
ds = xr.open_dataset("plain.nc")
print(dict(ds.sizes))
print(ds.mesh.attrs["cf_role"], ds.mesh.attrs["topology_dimension"])
print(float(ds.x_velocity.isel(time=0, nMesh_node=4)), int(ds.wet_dry.isel(time=0, nMesh_node=2)))
print(str(xr.open_dataset("dated.nc").time.values[1])[:19])
)"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(
      "{'nMesh_node': 11, 'nMesh_face': 9, 'nMaxMesh_face_nodes': 4, 'time': 2}\n"
      "mesh_topology 2\n"
      "3.5 2\n"
      "2024-03-01T02:30:00\n",
      run.out);
}

TEST_F(ExportTest, VtuIsReadByVtk) {
  KORVANT_PYTHON_OR_SKIP(box_, "vtk");
  const RunResult export_run = Export({"-o", "out.vtu", "--step", "2"});
  ASSERT_EQ(0, export_run.status) << export_run.err;
  EXPECT_EQ(std::string(kOrderLine) +
                "Wrote out.vtu: 1 time step of 5 fields over 11 nodes and 2 elements\n",
            export_run.out);
  const RunResult run = box_.RunProgram("/usr/bin/python3", {"-c", R"(
import vtk
reader = vtk.vtkXMLUnstructuredGridReader()
reader.SetFileName("out.vtu")
reader.Update()
grid = reader.GetOutput()
print(reader.GetErrorCode(), grid.GetNumberOfPoints(), grid.GetNumberOfCells())
print([grid.GetCellType(i) for i in range(grid.GetNumberOfCells())])
print([grid.GetCell(1).GetPointId(i) for i in range(6)])
points = grid.GetPointData()
print(points.GetArray("x_velocity").GetValue(0), points.GetArray("depth").GetValue(4))
print(points.GetArray("velocity").GetTuple3(4), points.GetArray("wet_dry").GetValue(2))
print([grid.GetCellData().GetArray("IMAT").GetValue(i) for i in range(2)])
print(grid.GetFieldData().GetArray("TimeValue").GetValue(0))
)"});
  EXPECT_EQ(0, run.status) << run.err;
  // Cell types 23 (quadratic quadrilateral) and 22 (quadratic triangle); the
  // triangle's corners then its mid-side nodes, from 0.
  EXPECT_EQ(
      "0 11 2\n"
      "[23, 22]\n"
      "[2, 9, 4, 8, 10, 3]\n"
      "9.0 4.0\n"
      "(3.5, 3.75, 0.0) 2\n"
      "[7, 8]\n"
      "2.5\n",
      run.out);
}

TEST_F(ExportTest, WetDryCodesStayExactInNetcdfAndVtk) {
  // 2^24 + 1 and the ends of the 32-bit integers: no float holds them.
  Qmx2StepData step;
  step.time = 1.5f;
  step.np2 = 11;
  step.ne2 = 2;
  step.ndry = {16777217, 2147483647, -2147483647 - 1};
  CharHeader header;
  header.irec = {42};
  box_.Write("result.bin", Qmx2File(header, {step}, true).bytes());
  ASSERT_EQ(0, Export({"-o", "out.nc"}).status);
  const Netcdf nc(box_.Path("out.nc"));
  const std::vector<int> codes = nc.Ints("wet_dry");
  EXPECT_EQ((std::vector<int>{16777217, 2147483647, -2147483647 - 1}),
            std::vector<int>(codes.begin(), codes.begin() + 3));
  KORVANT_PYTHON_OR_SKIP(box_, "vtk");
  ASSERT_EQ(0, Export({"-o", "out.vtu"}).status);
  const RunResult run = box_.RunProgram("/usr/bin/python3", {"-c", R"(
import vtk
reader = vtk.vtkXMLUnstructuredGridReader()
reader.SetFileName("out.vtu")
reader.Update()
codes = reader.GetOutput().GetPointData().GetArray("wet_dry")
print(codes.GetDataTypeAsString(), [codes.GetValue(i) for i in range(3)])
)"});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("int [16777217, 2147483647, -2147483648]\n", run.out);
}

TEST_F(ExportTest, RefusalsWriteNothing) {
  struct Case {
    std::vector<std::string> args;
    FileBuilder result;
    int status;
    std::string err;
  };
  const FileBuilder damaged = HydroResult().TruncateBy(10);
  const Case cases[] = {
      {{"-o", "out.nc"},
       HydroResult(3),
       1,
       "korvant-export: result.bin: time step 1 has 3 nodes, but the mesh has 11\n"},
      // The last record (12 + 20 x 11 + 4 x 2 = 240 bytes) lacks 10 of its
      // 248 framed bytes: 234 follow its length.
      {{"-o", "out.nc"},
       damaged,
       1,
       "korvant-export: result.bin: record 5 (byte " + std::to_string(damaged.record_start(4)) +
           "): its length of 240 bytes runs past the end of the file (234 bytes "
           "left); --salvage uses the 1 step before it\n"},
      {{"-o", "out.nc", "--step", "3"},
       HydroResult(),
       1,
       "korvant-export: result.bin holds 2 time steps; --step 3 asks for a later one\n"},
      {{"-o", "out.vtu", "--time", "2"},
       HydroResult(),
       1,
       "korvant-export: result.bin has no time step at hour 2 (its 2 steps run from hour 1.5 "
       "to hour 2.5)\n"},
      {{"-o", "out.nc", "--node-order", "corners-first"},
       HydroResult(),
       1,
       "korvant-export: warning: 2 elements do not fit the corners-first node order and are "
       "left out: 1, 2\n"
       "korvant-export: mesh.velto: none of its 2 elements can be drawn\n"},
      {{"-o", "no/out.nc"},
       HydroResult(),
       1,
       "korvant-export: cannot write no/out.nc: no folder no\n"},
      {{"-o", "out.txt"},
       HydroResult(),
       2,
       "korvant-export: the output must end in .nc (UGRID netCDF), .vtu (VTK) or .pvd (a series "
       "of VTK files): out.txt\n"},
      {{"-o", "out.nc", "--start-date", "2024-02-30"},
       HydroResult(),
       2,
       "korvant-export: --start-date 2024-02-30 is not a date YYYY-MM-DD or YYYY-MM-DDTHH:MM\n"},
  };
  for (const Case& c : cases) {
    box_.Write("result.bin", c.result.bytes());
    const RunResult run = Export(c.args);
    EXPECT_EQ(c.status, run.status) << c.err;
    EXPECT_EQ(UsageLine(c.err, c.status), run.err);
    EXPECT_EQ((std::vector<std::string>{"mesh.velto", "result.bin"}), box_.List()) << c.err;
  }
  // A write that fails part way: no output, and no temporary file, is left.
  box_.Write("result.bin", HydroResult().bytes());
  box_.LimitFileSize(2000);
  for (const char* out : {"out.nc", "out.vtu"}) {
    const RunResult full = Export({"-o", out});
    EXPECT_EQ(1, full.status);
    EXPECT_TRUE(full.err.starts_with("korvant-export: cannot write " + std::string(out) + ": "))
        << full.err;
    EXPECT_EQ((std::vector<std::string>{"mesh.velto", "result.bin"}), box_.List());
  }
  box_.LimitFileSize(0);
  const RunResult missing =
      box_.RunProgram(ProgramPath("korvant-export"), {"no.velto", "result.bin", "-o", "out.nc"});
  EXPECT_EQ(1, missing.status);
  EXPECT_EQ("korvant-export: cannot read no.velto: no such file\n", missing.err);
  const RunResult device =
      box_.RunProgram(ProgramPath("korvant-export"), {"mesh.velto", "/dev/zero", "-o", "out.nc"});
  EXPECT_EQ(1, device.status);
  EXPECT_EQ("korvant-export: cannot read /dev/zero: not a regular file\n", device.err);
}

}  // namespace
}  // namespace korvant
