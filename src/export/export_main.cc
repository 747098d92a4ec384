// korvant-export MESH RESULT -o OUT.nc|OUT.vtu: a result over its mesh as a
// UGRID netCDF file (every time step, or one) or a VTK XML file (one step).
#include <cstdlib>
#include <iostream>

#include "export/inputs.h"
#include "export/program.h"
#include "export/ugrid_writer.h"
#include "export/vtu_writer.h"
#include "io/outputs.h"
#include "text/readable.h"

namespace korvant {
namespace {

constexpr std::string_view kProgram = "korvant-export";

constexpr ProgramHelp kHelp = {"write a result over its mesh as UGRID netCDF or VTK",
                               R"(DESCRIPTION
  Reads the VELTO geometry file MESH and the QMX2, QMX4 or QMX10 result file
  RESULT over it (a run or an averaged file), and writes them as one file for
  the tools that draw such meshes; the format is chosen by OUT's extension.
  .nc is a netCDF-4 file in the UGRID and CF conventions: the mesh, the
  bottom elevation, a time coordinate in hours (or since --start-date), and
  every field of the result over time, each step of the window from --from
  to --to (every step without them), or the one chosen by --step or --time.
  .vtu is a VTK XML unstructured grid of one step (the first unless one is
  chosen), quadratic elements kept quadratic. The mesh may have any number of
  nodes; the result is read one step at a time.

OUTPUT
  OUT is written under a temporary name beside it and renamed into place
  when the run succeeds; an existing OUT is replaced only with --force, never
  an input.
)",
                               R"(  korvant-export bay.velto run.bin -o run.nc
  korvant-export bay.velto run.bin -o week2.nc --from 168 --to 336 --start-date 2024-03-01
  korvant-export bay.velto run.bin -o hour36.vtu --time 36
)"};

struct ExportOptions {
  std::string start_date;
  HourWindow window;
};

// The steps written: the first and last hour, and how many.
struct Written {
  int64_t steps = 0;
  double first = 0, last = 0;
  void Add(double hour) {
    if (steps++ == 0) first = hour;
    last = hour;
  }
};

// Every step of the window, or the one chosen.
Written WriteNetcdf(Inputs& in, const std::string& path, const StepChoice& choice,
                    const HourWindow& window, const std::string& time_units,
                    const std::string& target) {
  auto cannot_write = [&](const std::string& why) {
    Refuse(1, "cannot write " + target + ": " + why);
  };
  const ResultSeries& series = in.series();
  UgridText text;
  text.title = !series.title().empty() ? series.title() : in.result_name();
  text.time_units = time_units;
  text.comment = in.OrderReport();
  UgridFile nc;
  std::string error;
  if (!nc.Create(path, in.mesh(), in.map(), series.fields(), text, &error)) cannot_write(error);
  Written written;
  auto add = [&] {
    if (!nc.AddStep(series, &error)) cannot_write(error);
    written.Add(series.time());
  };
  if (choice.made()) {
    in.MoveTo(choice);
    add();
  } else {
    while (in.Next()) {
      const float hour = static_cast<float>(series.time());
      if ((window.from && hour < *window.from) || (window.to && hour > *window.to)) continue;
      add();
    }
    if (written.steps == 0 && (window.from || window.to)) {
      Refuse(1, in.result_name() + " has no time step from hour " +
                    (window.from ? HourText(*window.from) : "first") + " to hour " +
                    (window.to ? HourText(*window.to) : "last"));
    }
  }
  if (!nc.Close(&error)) cannot_write(error);
  return written;
}

int Export(const CommonOptions& options, const ExportOptions& more) {
  const std::string ext = Extension(options.output);
  if (ext != ".nc" && ext != ".vtu") {
    Refuse(2, "the output must end in .nc (UGRID netCDF) or .vtu (VTK): " + options.output);
  }
  HourWindow window = more.window;
  if (std::string wrong = window.Read(); !wrong.empty()) Refuse(2, wrong);
  if ((window.from || window.to) && (options.choice().made() || ext == ".vtu")) {
    Refuse(2, "--from and --to choose the steps of a .nc file; --step and --time choose one");
  }
  std::string time_units = "hours";
  if (!more.start_date.empty()) {
    const std::optional<std::string> since = HoursSince(more.start_date);
    if (!since) {
      Refuse(2,
             "--start-date " + more.start_date + " is not a date YYYY-MM-DD or YYYY-MM-DDTHH:MM");
    }
    time_units = *since;
  }
  CheckOutputFolder(options.output);
  std::string error;
  Outputs outputs;
  OpenOutput(outputs, options);
  ProgressLine progress(kProgram);
  Inputs in(options.mesh, options.result, options.order());
  in.Announce(kProgram, options.quiet || options.json);
  in.ShowProgress(&progress, ext == ".nc" ? "written" : "read");
  auto cannot_write = [&](const std::string& why) {
    Refuse(1, "cannot write " + options.output + ": " + why);
  };
  Written written;
  if (ext == ".nc") {
    written =
        WriteNetcdf(in, outputs.temporary(0), options.choice(), window, time_units, options.output);
  } else {
    in.MoveTo(options.choice());
    if (!WriteVtu(outputs.temporary(0), in.mesh(), in.map(), in.series(), &error)) {
      cannot_write(error);
    }
    written.Add(in.series().time());
  }
  progress.Clear();
  if (!outputs.CommitAll(&error, /*wait_for_disk=*/true)) Refuse(1, error);
  const std::vector<FieldInfo>& fields = in.series().fields();
  if (options.json) {
    Json names = Json::array();
    for (const FieldInfo& f : fields) names.push_back(f.name);
    std::cout << JsonLine({{"program", kProgram},
                           {"output", options.output},
                           {"format", ext == ".nc" ? "netcdf" : "vtu"},
                           {"steps", written.steps},
                           {"first_hour", written.first},
                           {"last_hour", written.last},
                           {"fields", names},
                           {"nodes", in.mesh().np},
                           {"elements", std::ssize(in.map().faces)},
                           {"node_order", in.OrderReport()}})
              << '\n';
  } else if (!options.quiet) {
    std::cout << "Wrote " << options.output << ": "
              << Counted(written.steps, "time step", "time steps") << " of "
              << Counted(std::ssize(fields), "field", "fields") << " over "
              << Counted(in.mesh().np, "node", "nodes") << " and "
              << Counted(std::ssize(in.map().faces), "element", "elements") << "\n";
  }
  return 0;
}

}  // namespace
}  // namespace korvant

int main(int argc, char** argv) {
  using namespace korvant;
  CLI::App app(HelpHeading(kProgram, kHelp), std::string(kProgram));
  CommonOptions options;
  ExportOptions more;
  AddCommonOptions(app, &options, /*output_required=*/true);
  AddHourWindow(app, &more.window, "of the steps written (.nc)");
  app.add_option("--start-date", more.start_date,
                 "The calendar date of hour 0, YYYY-MM-DD or YYYY-MM-DDTHH:MM (.nc)")
      ->type_name("DATE");
  StandardOptions(app, kProgram, kHelp);
  if (std::optional<int> parsed = ParseCommandLine(app, argc, argv)) return *parsed;
  const int status = RunProgram(kProgram, [&] { return Export(options, more); });
  // After a failed write the HDF5 library under netCDF keeps the file half
  // closed and can crash in its exit handlers. Everything of this run is
  // settled by now (the temporary file removed), so the program leaves
  // without them.
  if (status != 0) {
    std::cout.flush();
    std::cerr.flush();
    std::_Exit(status);
  }
  return status;
}
