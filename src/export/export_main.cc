// korvant-export MESH RESULT -o OUT.nc|OUT.vtu: a result over its mesh as a
// UGRID netCDF file (every time step, or one) or a VTK XML file (one step).
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "export/crs.h"
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
  .nc is a netCDF-4 file in the UGRID and CF conventions, as QGIS opens it as
  a mesh: the nodes with the bottom as their elevation, the faces, a time
  coordinate in hours (or since --start-date), and the fields of the result
  over time (floats; the wet/dry code as exact doubles with its flags; the
  velocity's components as one vector), each step of the window from --from
  to --to (every step without them, or every Nth with --every), or the one
  chosen by --step or --time. Six- and eight-node elements are split into
  linear cells over all their nodes (--corners: their corners alone), and the
  arrays are deflated (--deflate 0: not). An averaged file (one step at hour
  -99, QMX2; 0, QMX4; the averaged record, QMX10) is written as means, with
  no time, or with the hours of --window as the time's bounds.
  .vtu is a VTK XML unstructured grid of one step (the first unless one is
  chosen), quadratic elements kept quadratic; .pvd is a ParaView series of
  them, one .vtu a step beside it (OUT_0001.vtu, ...). The mesh may have any
  number of nodes; the result is read one step at a time.

DAMAGED RESULTS
  A result whose framing or counts are damaged is refused, and said so on
  stderr. With --salvage, a result damaged after its header (the file of a
  run that stopped mid-write) gives its steps before the first damaged
  record, and a caution on stderr (and "damage" in --json) says which
  record, at which byte, and how many steps were used. Files written
  big-endian or with 8-byte record lengths are read as well.

OUTPUT
  OUT (and a series' .vtu files) is written under a temporary name beside it
  and renamed into place when the run succeeds; an existing file is replaced
  only with --force, never an input.
)",
                               R"(  korvant-export bay.velto run.bin -o run.nc --crs EPSG:32615
  korvant-export bay.velto run.bin -o week2.nc --from 168 --to 336 --start-date 2024-03-01
  korvant-export bay.velto run.bin -o run.pvd --every 6 --fields depth,x_velocity,y_velocity
  korvant-export bay.velto mean.bin -o mean.nc --window 168:336
  korvant-export bay.velto run.bin -o hour36.vtu --time 36
)"};

struct ExportOptions {
  std::string start_date;
  HourWindow window;
  int64_t every = 1;
  std::vector<std::string> fields;
  bool corners = false;
  std::string crs;          // "EPSG:N"
  std::string mean_window;  // "FROM:TO"
  int deflate = 1;
  std::string history;  // the command line
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

// The indexes of the fields chosen by --fields (in the file's order), or
// every field.
std::vector<size_t> ChosenFields(const ResultSeries& series, const std::vector<std::string>& names,
                                 const std::string& result_name) {
  const std::vector<FieldInfo>& fields = series.fields();
  std::vector<size_t> chosen;
  for (const std::string& name : names) {
    if (series.FieldIndex(name) < 0) {
      std::string known;
      for (const FieldInfo& f : fields) known += (known.empty() ? "" : ", ") + f.name;
      Refuse(1,
             "--fields: " + result_name + " has no field " + name + " (its fields: " + known + ")");
    }
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    if (names.empty() || std::find(names.begin(), names.end(), fields[i].name) != names.end()) {
      chosen.push_back(i);
    }
  }
  return chosen;
}

// --crs EPSG:N as its code; 0 when not given.
int EpsgCode(const std::string& crs) {
  if (crs.empty()) return 0;
  int code = 0;
  const char* digits = crs.data() + 5;
  const auto [end, ec] = std::from_chars(digits, crs.data() + crs.size(), code);
  if (!crs.starts_with("EPSG:") || ec != std::errc() || end != crs.data() + crs.size() ||
      code <= 0) {
    Refuse(2, "--crs " + crs + " is not EPSG:N, the code of a coordinate reference system");
  }
  return code;
}

// --window FROM:TO as two hours.
std::optional<std::pair<double, double>> MeanWindow(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const size_t colon = text.find(':');
  auto hour = [](std::string_view part) -> std::optional<double> {
    double value = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || ec != std::errc() || end != part.data() + part.size() ||
        !std::isfinite(value)) {
      return std::nullopt;
    }
    return value;
  };
  std::optional<double> from, to;
  if (colon != std::string::npos) {
    from = hour(std::string_view(text).substr(0, colon));
    to = hour(std::string_view(text).substr(colon + 1));
  }
  if (!from || !to || *from > *to) {
    Refuse(2, "--window " + text + " is not FROM:TO, two hours, the first not after the second");
  }
  return std::make_pair(*from, *to);
}

// Passes steps outside the window of hours (by their heads), and all but
// every Nth of those inside; false at the end of the result.
bool NextWritten(Inputs& in, const HourWindow& window, int64_t every, int64_t* inside) {
  const StepFilter wanted = window.Filter();
  in.WantOnly(wanted);
  while (in.Next()) {
    if (!wanted.Wants(in.series().time())) continue;
    if ((*inside)++ % every == 0) return true;
  }
  return false;
}

void RefuseEmptyWindow(const Inputs& in, const HourWindow& window) {
  Refuse(1, in.result_name() + " has no time step from hour " +
                (window.from ? HourText(*window.from) : "first") + " to hour " +
                (window.to ? HourText(*window.to) : "last"));
}

// Every step of the window, or the one chosen.
Written WriteNetcdf(Inputs& in, const std::string& path, const StepChoice& choice,
                    const ExportOptions& more, const HourWindow& window,
                    const std::string& time_units, const std::vector<size_t>& chosen,
                    const std::string& target) {
  auto cannot_write = [&](const std::string& why) {
    Refuse(1, "cannot write " + target + ": " + why);
  };
  const ResultSeries& series = in.series();
  UgridText text;
  text.title = !series.title().empty() ? series.title() : in.result_name();
  text.time_units = time_units;
  text.history = more.history;
  text.source = std::string(kProgram) + " " KORVANT_VERSION;
  UgridLayout layout;
  layout.corners_only = more.corners;
  layout.deflate = more.deflate;
  layout.means = series.means();
  layout.window = MeanWindow(more.mean_window);
  text.comment = in.OrderReport();
  if (layout.means)
    text.comment += "\n" + MeansComment(in.result_name(), in.series().time(), layout.window);
  if (const int epsg = EpsgCode(more.crs); epsg > 0) {
    std::string error;
    text.crs_wkt = EpsgWkt(epsg, &error);
    if (text.crs_wkt.empty()) Refuse(1, "--crs " + more.crs + ": " + error);
    text.epsg = epsg;
  }
  UgridFile nc;
  std::string error;
  if (!nc.Create(path, in.mesh(), in.map(), series.fields(), chosen, text, layout, &error)) {
    cannot_write(error);
  }
  Written written;
  auto add = [&] {
    if (!nc.AddStep(series, &error)) cannot_write(error);
    written.Add(series.time());
  };
  if (choice.made() || layout.means) {
    in.MoveTo(choice);
    add();
  } else {
    int64_t inside = 0;
    while (NextWritten(in, window, more.every, &inside)) add();
    if (written.steps == 0 && (window.from || window.to)) RefuseEmptyWindow(in, window);
  }
  if (!nc.Close(&error)) cannot_write(error);
  return written;
}

// The file of the nth step of a series "run.pvd": "run_0001.vtu".
std::string StepFileName(const std::string& pvd, int64_t n) {
  char number[40];
  std::snprintf(number, sizeof number, "_%04lld.vtu", static_cast<long long>(n));
  return std::filesystem::path(pvd).stem().string() + number;
}

// One .vtu a step of the window beside the .pvd, and the .pvd naming them.
Written WriteSeries(Inputs& in, Outputs& outputs, const CommonOptions& options,
                    const ExportOptions& more, const HourWindow& window,
                    const std::vector<size_t>& chosen) {
  const std::filesystem::path folder = std::filesystem::path(options.output).parent_path();
  std::vector<std::pair<std::string, double>> steps;
  std::string error;
  Written written;
  int64_t inside = 0;
  while (NextWritten(in, window, more.every, &inside)) {
    const std::string name = StepFileName(options.output, written.steps + 1);
    if (!outputs.Add((folder / name).string(), options.force, {options.mesh, options.result},
                     &error)) {
      Refuse(1, error);
    }
    const size_t index = steps.size() + 1;
    const int fd = outputs.Create(index, &error);
    if (fd < 0) Refuse(1, error);
    ::close(fd);
    if (!WriteVtu(outputs.temporary(index), in.mesh(), in.map(), in.series(), chosen, &error)) {
      Refuse(1, "cannot write " + name + ": " + error);
    }
    steps.emplace_back(name, in.series().time());
    written.Add(in.series().time());
  }
  if (written.steps == 0) RefuseEmptyWindow(in, window);
  if (!WritePvd(outputs.temporary(0), steps, &error)) {
    Refuse(1, "cannot write " + options.output + ": " + error);
  }
  return written;
}

int Export(const CommonOptions& options, const ExportOptions& more) {
  const std::string ext = Extension(options.output);
  if (ext != ".nc" && ext != ".vtu" && ext != ".pvd") {
    Refuse(2,
           "the output must end in .nc (UGRID netCDF), .vtu (VTK) or .pvd (a series of VTK "
           "files): " +
               options.output);
  }
  HourWindow window = more.window;
  if (std::string wrong = window.Read(); !wrong.empty()) Refuse(2, wrong);
  if ((window.from || window.to || more.every > 1) && (options.choice().made() || ext == ".vtu")) {
    Refuse(2,
           "--from, --to and --every choose the steps of a .nc or .pvd file; --step and --time "
           "choose one");
  }
  if (ext == ".pvd" && options.choice().made()) {
    Refuse(2, "a .pvd file is a series of steps; --step and --time choose one, for a .vtu file");
  }
  if (ext != ".nc" && (more.corners || !more.crs.empty() || !more.mean_window.empty())) {
    Refuse(2, "--corners, --crs and --window are of a .nc file");
  }
  EpsgCode(more.crs);
  MeanWindow(more.mean_window);
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
  in.SayDamage(kProgram, options.salvage);
  in.ShowProgress(&progress, ext == ".vtu" ? "read" : "written");
  if (!more.mean_window.empty() && !in.series().means()) {
    Refuse(1, "--window gives the hours of an averaged file's means; " + in.result_name() +
                  " is not an averaged file");
  }
  const std::vector<size_t> chosen = ChosenFields(in.series(), more.fields, in.result_name());
  auto cannot_write = [&](const std::string& why) {
    Refuse(1, "cannot write " + options.output + ": " + why);
  };
  Written written;
  if (ext == ".nc") {
    written = WriteNetcdf(in, outputs.temporary(0), options.choice(), more, window, time_units,
                          chosen, options.output);
  } else if (ext == ".pvd") {
    written = WriteSeries(in, outputs, options, more, window, chosen);
  } else {
    in.MoveTo(options.choice());
    if (!WriteVtu(outputs.temporary(0), in.mesh(), in.map(), in.series(), chosen, &error)) {
      cannot_write(error);
    }
    written.Add(in.series().time());
  }
  progress.Clear();
  if (!outputs.CommitAll(&error, /*wait_for_disk=*/true)) Refuse(1, error);
  const std::vector<FieldInfo>& fields = in.series().fields();
  const int64_t faces =
      ext == ".nc" ? std::ssize(LinearCells(in.map(), more.corners)) : std::ssize(in.map().faces);
  if (options.json) {
    Json names = Json::array();
    for (size_t i : chosen) names.push_back(fields[i].name);
    std::cout << JsonLine({{"program", kProgram},
                           {"output", options.output},
                           {"format", ext.substr(1) == "nc" ? "netcdf" : ext.substr(1)},
                           {"steps", written.steps},
                           {"first_hour", written.first},
                           {"last_hour", written.last},
                           {"means", in.series().means()},
                           {"fields", names},
                           {"nodes", in.mesh().np},
                           {"elements", std::ssize(in.map().faces)},
                           {"cells", faces},
                           {"node_order", in.OrderReport()},
                           {"damage", SalvageJson(in.damage() ? &*in.damage() : nullptr)}})
              << '\n';
  } else if (!options.quiet) {
    std::cout << "Wrote " << options.output << ": "
              << (in.series().means() ? std::string("the means")
                                      : Counted(written.steps, "time step", "time steps"))
              << " of " << Counted(std::ssize(chosen), "field", "fields") << " over "
              << Counted(in.mesh().np, "node", "nodes") << " and "
              << Counted(std::ssize(in.map().faces), "element", "elements");
    if (faces != std::ssize(in.map().faces)) std::cout << " (" << faces << " cells)";
    std::cout << "\n";
  }
  return 0;
}

// The command line as the file's history gives it, an argument with a blank
// or a quote in single quotes.
std::string CommandLine(int argc, char** argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.empty() || arg.find_first_of(" \t\n'\"\\$") != std::string::npos) {
      std::string quoted = "'";
      for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
      arg = quoted + "'";
    }
    line += (i == 0 ? "" : " ") + arg;
  }
  return line;
}

}  // namespace
}  // namespace korvant

int main(int argc, char** argv) {
  using namespace korvant;
  CLI::App app(HelpHeading(kProgram, kHelp), std::string(kProgram));
  CommonOptions options;
  ExportOptions more;
  AddCommonOptions(app, &options, /*output_required=*/true);
  AddHourWindow(app, &more.window, "of the steps written (.nc, .pvd)");
  AddSalvageOption(app, &options.salvage);
  app.add_option("--every", more.every, "Every Nth step of those (.nc, .pvd)")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  app.add_option("--fields", more.fields, "Only these fields, named as --json lists them")
      ->type_name("A,B")
      ->delimiter(',');
  app.add_flag("--corners", more.corners,
               "Faces over the corners of each element alone, not every node (.nc)");
  app.add_option("--crs", more.crs, "The coordinate reference system of the mesh (.nc)")
      ->type_name("EPSG:N");
  app.add_option("--window", more.mean_window,
                 "The hours an averaged file's means were taken over (.nc)")
      ->type_name("FROM:TO");
  app.add_option("--deflate", more.deflate, "Compression level of the arrays, 0 for none (.nc)")
      ->type_name("0-9")
      ->check(CLI::Range(0, 9));
  app.add_option("--start-date", more.start_date,
                 "The calendar date of hour 0, YYYY-MM-DD or YYYY-MM-DDTHH:MM (.nc)")
      ->type_name("DATE");
  StandardOptions(app, kProgram, kHelp);
  if (std::optional<int> parsed = ParseCommandLine(app, argc, argv)) return *parsed;
  more.history = CommandLine(argc, argv);
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
