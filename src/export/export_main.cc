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

// Every step, or the one chosen; returns how many were written.
int64_t WriteNetcdf(Inputs& in, const std::string& path, const StepChoice& choice,
                    const std::string& time_units, const std::string& target) {
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
  int64_t steps = 0;
  auto add = [&] {
    if (!nc.AddStep(series, &error)) cannot_write(error);
    ++steps;
  };
  if (choice.made()) {
    in.MoveTo(choice);
    add();
  } else {
    while (in.Next()) add();
  }
  if (!nc.Close(&error)) cannot_write(error);
  return steps;
}

void Export(const CommonOptions& options, const std::string& start_date) {
  const std::string ext = Extension(options.output);
  if (ext != ".nc" && ext != ".vtu") {
    Refuse(2, "the output must end in .nc (UGRID netCDF) or .vtu (VTK): " + options.output);
  }
  std::string time_units = "hours";
  if (!start_date.empty()) {
    const std::optional<std::string> since = HoursSince(start_date);
    if (!since) {
      Refuse(2, "--start-date " + start_date + " is not a date YYYY-MM-DD or YYYY-MM-DDTHH:MM");
    }
    time_units = *since;
  }
  CheckOutputFolder(options.output);
  std::string error;
  Outputs outputs;
  OpenOutput(outputs, options);
  Inputs in(options.mesh, options.result, options.order());
  in.Announce(kProgram);
  auto cannot_write = [&](const std::string& why) {
    Refuse(1, "cannot write " + options.output + ": " + why);
  };
  int64_t steps = 1;
  if (ext == ".nc") {
    steps = WriteNetcdf(in, outputs.temporary(0), options.choice(), time_units, options.output);
  } else {
    in.MoveTo(options.choice());
    if (!WriteVtu(outputs.temporary(0), in.mesh(), in.map(), in.series(), &error)) {
      cannot_write(error);
    }
  }
  if (!outputs.CommitAll(&error, /*wait_for_disk=*/true)) Refuse(1, error);
  std::cout << "Wrote " << options.output << ": " << Counted(steps, "time step", "time steps")
            << " of " << Counted(std::ssize(in.series().fields()), "field", "fields") << " over "
            << Counted(in.mesh().np, "node", "nodes") << " and "
            << Counted(std::ssize(in.map().faces), "element", "elements") << "\n";
}

}  // namespace
}  // namespace korvant

int main(int argc, char** argv) {
  using namespace korvant;
  CLI::App app(
      "Writes a KORVANT result over its mesh as a UGRID netCDF file (.nc, every time "
      "step unless one is chosen) or a VTK XML unstructured grid (.vtu, one time step).",
      std::string(kProgram));
  CommonOptions options;
  std::string start_date;
  AddCommonOptions(app, &options, /*output_required=*/true);
  app.add_option("--start-date", start_date,
                 "the calendar date of hour 0, YYYY-MM-DD or YYYY-MM-DDTHH:MM (.nc)");
  const int status = RunProgram(kProgram, app, argc, argv, [&] { Export(options, start_date); });
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
