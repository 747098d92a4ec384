// The names and units of the fields, alike in every companion program: the
// CSV table of korvant-average, the netCDF variables of korvant-export (read
// back by xarray) and the listing of korvant-plot, for the averaged file of
// each family.

#if defined(KORVANT_BATCH_PROGRAMS) && defined(KORVANT_EXPORT_PROGRAMS)

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/program_fixtures.h"

namespace korvant {
namespace {

struct Field {
  std::string name, long_name, units;
};

// The listing's line of a field: its name in 25 columns, its long name and
// its units in brackets, when it has any.
std::string PlotLine(const Field& f) {
  std::string line = f.name + std::string(25 - f.name.size() + 1, ' ') + f.long_name;
  return f.units.empty() ? line : line + " (" + f.units + ")";
}

// Prints every node variable as "name|long name|units", None where there is
// no units attribute.
constexpr char kNodeVariables[] = R"(
import xarray as xr
for name, v in xr.open_dataset("mean.nc").data_vars.items():
    if "nMesh_node" in v.dims:
        print(f"{name}|{v.attrs['long_name']}|{v.attrs.get('units')}")
)";

TEST(FieldVocabularyTest, EveryProgramNamesTheAveragedFieldsAlike) {
  Sandbox box;
  KORVANT_PYTHON_OR_SKIP(box, "xarray, netCDF4");
  box.Write("mesh.velto", TwoElementMesh().bytes());
  for (const char* output : {"run.bin", "mean.bin", "mean.csv", "mean.nc"})
    box.ExpectOutput(output);

  // The short steps' file: a character-form header of version 30, whose
  // averaged file gets version 42 and so a long step.
  Qmx2StepData hydro;
  hydro.np2 = 11;
  hydro.ne2 = 2;
  CharHeader short_header;
  short_header.irec = {30};
  Qmx4StepData transport;
  transport.nqal = 2;
  transport.np4 = 11;
  transport.ne4 = 2;
  Qmx10StepData threed;
  threed.np = 11;
  threed.ndf = 4;
  threed.ne = 2;
  threed.icnt = {11, 11, 11, 11, 0, 0, 0, 0};

  // The averaged QMX2 step holds the water surface above the datum; a
  // constituent's units are not in the file.
  const Field u{"x_velocity", "x velocity", "ft s-1"}, v{"y_velocity", "y velocity", "ft s-1"},
      depth{"depth", "depth", "ft"};
  const std::vector<Field> hydro_fields = {
      u,
      v,
      depth,
      {"water_surface_above_datum", "water surface above the datum", "ft"},
      {"wet_dry", "wet/dry code", ""}};
  struct Case {
    const char* family;
    FileBuilder run;
    std::vector<Field> fields;
    bool coordinates;  // the CSV gives each node's x and y
  };
  const Case cases[] = {
      {"QMX2 long", HydroResult(), hydro_fields, true},
      {"QMX2 short", Qmx2File(short_header, {hydro}, false), hydro_fields, true},
      {"QMX4",
       Qmx4File(CharHeader{}, {transport}),
       {{"constituent_1", "concentration of constituent 1", ""},
        {"constituent_2", "concentration of constituent 2", ""}},
       false},
      {"QMX10", Qmx10File({threed}), {u, v, depth, {"salinity", "salinity", "1e-3"}}, false},
  };
  const Field bottom{"bottom_elevation", "bottom elevation", "ft"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.family);
    box.Write("run.bin", c.run.bytes());
    RunResult run = box.RunProgram(ProgramPath("korvant-average"),
                                   {"run.bin", "-o", "mean.bin", "--csv", "mean.csv", "-f", "-q"});
    ASSERT_EQ(0, run.status) << run.err;

    // The CSV: node, each node's place, and each field as itself (an
    // integer code) or its mean, minimum and maximum, each in its units.
    std::set<std::string> allowed = {"node"}, unused;
    if (c.coordinates) allowed.insert({"x [ft]", "y [ft]"});
    for (const Field& f : c.fields) {
      const std::string units = f.units.empty() ? "" : " [" + f.units + "]";
      for (const char* statistic : {"", "_mean", "_min", "_max"}) {
        allowed.insert(f.name + statistic + units);
      }
      unused.insert(f.name);
    }
    const std::string csv = box.Read("mean.csv");
    std::istringstream header(csv.substr(0, csv.find('\n')));
    for (std::string cell; std::getline(header, cell, ',');) {
      EXPECT_TRUE(allowed.contains(cell)) << cell;
      for (const Field& f : c.fields) {
        if (cell.starts_with(f.name)) unused.erase(f.name);
      }
    }
    EXPECT_EQ(std::set<std::string>{}, unused) << "fields without a column";

    // The netCDF variables: the mesh's bottom (as the nodes' z), then those
    // of the averaged file, the velocity's as the components of one vector.
    run = box.RunProgram(ProgramPath("korvant-export"),
                         {"mesh.velto", "mean.bin", "-o", "mean.nc", "-f"});
    ASSERT_EQ(0, run.status) << run.err;
    std::vector<std::string> variables = {"mesh_node_z|" + bottom.long_name + "|ft"}, listing;
    for (const Field& f : c.fields) {
      const std::string long_name = f.name == u.name   ? "velocity, x-component"
                                    : f.name == v.name ? "velocity, y-component"
                                                       : f.long_name;
      variables.push_back(f.name + "|" + long_name + "|" + (f.units.empty() ? "None" : f.units));
      listing.push_back(PlotLine(f));
    }
    run = box.RunProgram("/usr/bin/python3", {"-c", kNodeVariables});
    EXPECT_EQ(JoinLines(variables), run.out) << run.err;

    // The listing: the same fields, the speed where there are velocities, and
    // the bottom.
    if (c.fields[0].name == u.name) listing.push_back(PlotLine({"speed", "speed", "ft s-1"}));
    listing.push_back(PlotLine(bottom));
    run = box.RunProgram(ProgramPath("korvant-plot"), {"mesh.velto", "mean.bin", "--list-fields"});
    EXPECT_EQ(JoinLines(listing), run.out) << run.err;
  }
}

}  // namespace
}  // namespace korvant

#endif
