// korvant-average: the time average of one model result file over a window
// of steps, with its per-node table, written whole or not at all.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "batch/average_report.h"
#include "engine/family_driver.h"
#include "engine/mesh.h"
#include "engine/node_statistics.h"
#include "engine/stream_average.h"
#include "formats/identify.h"
#include "io/outputs.h"
#include "io/run_aborted.h"
#include "kit/command_line.h"
#include "kit/progress_line.h"
#include "text/readable.h"

namespace korvant {
namespace {

constexpr std::string_view kProgram = "korvant-average";

constexpr ProgramHelp kHelp = {"the time average of a model result file",
                               R"(DESCRIPTION
  Writes OUT, a file of the input's family holding one time step: for every
  node the mean of each quantity over the steps of the window, laid out as
  the dialogue's averaged file (QMX2: time -99 and the water surface above
  the datum; QMX4: time 0 and the constituents averaged; QMX10: time 9999).
  Every record is checked before it is used; memory grows with the node
  count only, and there is no limit on steps or nodes.

WINDOW
  --from and --to take the steps from hour FROM to hour TO, both included
  (either alone runs to the last or from the first step). Without them, the
  window runs from the time of the Nth step before the end (--last N,
  default 26: the dialogue's automatic window) to the time of the last step.

SUMS
  Sums are kept in double precision. --float32-sums sums in 32 bits as the
  dialogue does; the averaged file is then byte for byte the dialogue's for
  the same window and choices.

RESTARTS
  A file whose times go back (a restart that repeats hours, as a --keep-all
  merge leaves it) may hold two steps of one hour; each is averaged as a step
  of its own, and a caution says so. --later-wins keeps, where the window's
  times go back, only the later steps, as korvant-merge does by default: a step
  at or before the hour of a step before it replaces those steps from its hour
  on. It costs one more reading of the step heads, not of their values.

CAUTIONS
  A line beginning "korvant-average: caution: " on stderr, -q or not, and the
  "cautions" of the JSON report tell of a window whose hours repeat or go back,
  and of the steps --later-wins left out.

DAMAGED INPUTS
  A file whose framing or counts are damaged is refused. With --salvage, a
  file damaged after its header (the file of a run that stopped mid-write) is
  averaged over its steps before the first damaged record, as if it ended
  there; the report, a caution and "damage" in the JSON report say which
  record, at which byte, and how many steps were used. Files written
  big-endian or with 8-byte record lengths are read as well.

TABLES
  --table writes the per-node averages, minima and maxima in the dialogue's
  listing layout (QMX4: the first three constituents; QMX10: every node, after
  the nodes of the overall extremes); --csv the same columns as CSV with a
  header row (QMX4: every constituent averaged), numbers in full, each column
  named as korvant-export and korvant-plot name the field, with its units:
  x_velocity_mean [ft s-1], x_velocity_min [ft s-1], ..., and for QMX2 the
  water_surface_above_datum that the averaged file holds. Either may be - for
  standard output, written once the files are in place; the report is then
  left out.

STATISTICS
  --stats std,hour-of-max,hour-of-min adds, for every field of the steps (as
  korvant-export names them; codes left out), the population standard
  deviation over the window's steps (dividing by their number), and the
  hour at which each node's largest and smallest value was first met.
  --above FIELD=V and --below FIELD=V (each repeatable) add the hours each
  node spent above or below V, each step standing for half the gap to each
  of its neighbours in the window. They are columns of the CSV, a section
  after the table, and, in the JSON report, each one's largest value and its
  node; a second pass over the window's steps, in double precision. The
  averaged file is unchanged.

GEOMETRY
  --geometry MESH takes the VELTO geometry file of the model's mesh, as the
  dialogue takes one read earlier in its run. For a QMX2 file the table's
  XCORD and YCORD (the CSV's x and y) are each node's x and y, and the
  water surface of a file with short steps (version code below 42, no
  elevations in the steps) is the node's bottom elevation plus its depth;
  without a mesh these are all taken as 0. For a QMX4 or QMX10 file the mesh
  is only checked. The mesh must have as many nodes as the averaged file (the
  file's last step); a mesh that does not, or is damaged, is refused before
  anything is written.

OUTPUT
  Every output is written under a temporary name beside it and renamed into
  place when the run succeeds, so a failed run leaves the old files (or none);
  with --sync only once it is on disk. An existing file is replaced only with
  --force, never an input. A link is followed, a character device (/dev/null)
  written through; a fifo or a socket is refused. SIGINT, SIGTERM and SIGHUP
  remove the temporary files.
)",
                               R"(  korvant-average run.bin -o mean.bin
  korvant-average run.bin -o flux.bin --from 24 --to 48 --weighted --csv flux.csv
  korvant-average run.bin -o mean.bin --geometry bay.velto --table mean.txt
  korvant-average salt.bin -o salt_mean.bin --constituents 2 --table salt.txt
  korvant-average run.bin -o mean.bin --stats std,hour-of-max --above depth=2 --csv -
)"};

std::string NumberText(const Value& v) {
  if (const int32_t* i = std::get_if<int32_t>(&v)) return std::to_string(*i);
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, std::get<float>(v)).ptr;
  return std::string(text, end);
}

// Writes a text output by `write`: into the file `path`, or onto stdout
// when the target is "-".
void WriteText(const std::string& target, const std::string& path,
               const std::function<void(std::ostream&)>& write) {
  if (IsStandardOutput(target)) {
    write(std::cout);
    std::cout.flush();
    return;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) Fatal("cannot create " + target);
  write(file);
  file.close();
  if (!file) Fatal("error during write, file " + target);
}

// The statistics of the node in the first column of a table row, after it.
void AddStatistics(const NodeStatistics* statistics, std::vector<Value>* row,
                   std::vector<Value>* more) {
  if (statistics == nullptr) return;
  const int32_t node = std::get<int32_t>(row->front());
  if (node < 1 || node > statistics->nodes()) return;
  statistics->Row(node - 1, more);
  row->insert(row->end(), more->begin(), more->end());
}

// The listing in the dialogue's layout, then the statistics, a line a node,
// headed by their names.
void WriteTable(const StreamAverage& average, const NodeStatistics* statistics, std::ostream& file,
                const std::string& target) {
  TextSink sink(&file, 0, target);
  average.WriteListing(sink);
  sink.Close();
  if (statistics == nullptr) return;
  file << "\n STATISTICS OVER " << statistics->steps() << " STEPS\n       NODE";
  for (const FieldInfo& column : statistics->Columns()) file << "  " << Heading(column);
  file << '\n';
  std::vector<Value> values;
  char cell[64];
  for (int32_t k = 0; k < statistics->nodes(); ++k) {
    statistics->Row(k, &values);
    std::snprintf(cell, sizeof cell, "%11d", k + 1);
    file << cell;
    for (const Value& v : values) {
      std::snprintf(cell, sizeof cell, "  %14.6g", static_cast<double>(std::get<float>(v)));
      file << cell;
    }
    file << '\n';
  }
}

void WriteCsv(const StreamAverage& average, const NodeStatistics* statistics, std::ostream& file) {
  // Each heading is the column's name and its units: "x_velocity_mean [ft s-1]".
  std::vector<FieldInfo> columns = average.Columns();
  if (statistics != nullptr) {
    for (const FieldInfo& column : statistics->Columns()) columns.push_back(column);
  }
  std::string line;
  for (size_t i = 0; i < columns.size(); ++i) line += (i > 0 ? "," : "") + Heading(columns[i]);
  file << line << '\n';
  std::vector<Value> values, more;
  for (int64_t k = 0; k < average.rows(); ++k) {
    average.Row(k, &values);
    AddStatistics(statistics, &values, &more);
    line.clear();
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0) line += ',';
      line += NumberText(values[i]);
    }
    file << line << '\n';
  }
}

// "FIELD=V" of --above or --below.
bool ParseThreshold(const std::string& option, const std::string& text, bool above,
                    std::vector<Threshold>* rules, std::string* error) {
  const size_t equals = text.rfind('=');
  const std::optional<float> value =
      equals == std::string::npos ? std::nullopt : ParseFinite(text.substr(equals + 1));
  if (equals == 0 || !value) {
    *error = option + " " + text + ": not FIELD=VALUE";
    return false;
  }
  rules->push_back(Threshold{text.substr(0, equals), *value, above});
  return true;
}

// What is wrong with the mesh `path`, read as far as `read`.
std::string MeshProblem(const std::string& path, const ReadResult& read) {
  switch (read.outcome) {
    case Outcome::kRead:
      break;
    case Outcome::kEndOfFile:
      return path + ": it ends before record " + std::to_string(read.damage.record + 1) +
             ", which a VELTO geometry file needs";
    case Outcome::kTooLarge:
      return path + ": its count " + std::string(read.too_large.count) + " of " +
             std::to_string(read.too_large.value) + " is more than the " +
             std::to_string(read.too_large.limit) + " its header holds";
    case Outcome::kDamaged:
      return path + ": record " + std::to_string(read.damage.record) + " (byte " +
             std::to_string(read.damage.offset) + "): " + read.damage.what;
  }
  return "";
}

// Reads the mesh `path`: "" or what is wrong with it. A model result given
// in its place is refused, not read as a mesh.
std::string ReadMesh(const std::string& path, Mesh* mesh) {
  // A fifo may wait for a writer that never comes, and a device may never end.
  if (std::string why = CannotRead(path); !why.empty()) return why;
  RecordFile f;
  errno = 0;
  try {
    f.ReadAnyFraming(true);
    f.OpenExisting(0, path);
  } catch (const RunAborted&) {
    return "cannot read " + path + (errno != 0 ? ": " + std::string(std::strerror(errno)) : "");
  }
  if (std::string why = NotAMesh(Identify(f)); !why.empty()) return path + ": " + why;
  // No node limit: the mesh's record backs its counts.
  return MeshProblem(path, LoadMesh(f, mesh, kAnyMesh));
}

// Options that only one family takes, given for a file of another.
std::string ForeignOption(const CLI::App& app, FileKind kind) {
  const auto given = [&](const char* name) { return app.count(name) > 0; };
  const FamilyDriver& family = *DriverOf(kind);
  if (!family.Takes(AverageChoice::kWeighting) && (given("--weighted") || given("--datum"))) {
    return std::string(given("--weighted") ? "--weighted" : "--datum");
  }
  if (!family.Takes(AverageChoice::kConstituents) && given("--constituents")) {
    return "--constituents";
  }
  return "";
}

int Average(int argc, char** argv) {
  CLI::App app(HelpHeading(kProgram, kHelp), std::string(kProgram));
  AverageOptions o;
  app.add_option("IN", o.input, "The model result file to average")->required()->type_name("FILE");
  AddOutputOption(app, &o.output, "The averaged file to write")->required();
  AddHourWindow(app, &o.window, "of the window");
  app.add_option("--last", o.last_text, "Window of the last N steps (default 26)")->type_name("N");
  app.add_flag("--weighted", o.weighted, "QMX2: depth-weighted velocities, for fluxes");
  app.add_option("--datum", o.datum_text, "QMX2: datum of the water surface, in feet (default 100)")
      ->type_name("FT");
  app.add_option("--constituents", o.constituents, "QMX4: average the first N (default all)")
      ->type_name("N");
  app.add_option("--geometry", o.geometry,
                 "The VELTO mesh: QMX2 node x, y and bottom; others: checked only")
      ->type_name("MESH");
  app.add_flag("--float32-sums", o.float32_sums, "Sum in 32 bits, as the dialogue does");
  AddSalvageOption(app, &o.salvage);
  app.add_flag("--later-wins", o.later_wins,
               "Average only the later step of an hour a restart repeats");
  app.add_option("--table", o.table,
                 "Write the per-node table, in the dialogue's layout (- for stdout)")
      ->type_name("FILE")
      ->check(NamesAFile);
  app.add_option("--csv", o.csv, "Write the per-node table as CSV (- for stdout)")
      ->type_name("FILE")
      ->check(NamesAFile);
  std::vector<std::string> stats, above, below;
  app.add_option("--stats", stats, "Add per-node std, hour-of-max, hour-of-min to the tables")
      ->type_name("LIST")
      ->delimiter(',')
      ->check(CLI::IsMember({"std", "hour-of-max", "hour-of-min"}));
  app.add_option("--above", above, "Add the hours each node spent above V")->type_name("FIELD=V");
  app.add_option("--below", below, "Add the hours each node spent below V")->type_name("FIELD=V");
  app.add_flag("--sync", o.sync, "Wait until the outputs are on disk before renaming them");
  AddForceOption(app, &o.force);
  AddReportOptions(app, &o.quiet, &o.json);
  StandardOptions(app, kProgram, kHelp);
  if (std::optional<int> status = ParseCommandLine(app, argc, argv)) return *status;

  std::string usage;
  for (const std::string& name : stats) {
    o.statistics.std_dev |= name == "std";
    o.statistics.hour_of_max |= name == "hour-of-max";
    o.statistics.hour_of_min |= name == "hour-of-min";
  }
  for (const std::string& text : above) {
    if (!ParseThreshold("--above", text, true, &o.statistics.thresholds, &usage))
      return Complain(kProgram, usage, kExitUsage);
  }
  for (const std::string& text : below) {
    if (!ParseThreshold("--below", text, false, &o.statistics.thresholds, &usage))
      return Complain(kProgram, usage, kExitUsage);
  }
  if (o.statistics.any() && o.later_wins) {
    return Complain(kProgram, "--later-wins does not go with --stats, --above or --below",
                    kExitUsage);
  }
  if (app.count("--last") > 0 && !ParseCount("--last", o.last_text, &o.last, &usage)) {
    return Complain(kProgram, usage, kExitUsage);
  }
  if (app.count("--constituents") > 0 && o.constituents < 1) {
    return Complain(kProgram, "--constituents must be at least 1", kExitUsage);
  }
  if (app.count("--datum") > 0) {
    const std::optional<float> datum = ParseFinite(o.datum_text);
    if (!datum) {
      return Complain(kProgram, "--datum " + o.datum_text + ": not a finite number of feet",
                      kExitUsage);
    }
    o.datum = *datum;
  }
  if (app.count("--last") > 0 && (!o.window.from_text.empty() || !o.window.to_text.empty())) {
    return Complain(kProgram, "--last and --from or --to give two windows", kExitUsage);
  }
  if (std::string wrong = o.window.Read(); !wrong.empty()) {
    return Complain(kProgram, wrong, kExitUsage);
  }
  AverageChoices choices;
  choices.from = o.window.from;
  choices.to = o.window.to;
  choices.last = o.last;
  choices.weighted = o.weighted;
  choices.datum = o.datum;
  if (o.constituents > 0) choices.constituents = o.constituents;
  choices.float32_sums = o.float32_sums;
  choices.later_wins = o.later_wins;
  choices.salvage = o.salvage;

  Outputs outputs;
  std::string error;
  std::vector<std::string> inputs = {o.input};
  if (!o.geometry.empty()) inputs.push_back(o.geometry);
  if (IsStandardOutput(o.table) && IsStandardOutput(o.csv)) {
    return Complain(kProgram, "--table - and --csv - both name standard output", kExitUsage);
  }
  // The files are written in turn; an output named "-" goes to stdout once
  // they are all in place, and the report is then left out.
  std::vector<std::string> targets = {o.output};
  if (!o.table.empty()) targets.push_back(o.table);
  if (!o.csv.empty()) targets.push_back(o.csv);
  std::vector<std::optional<size_t>> file_of;  // each target's place among the files
  size_t files = 0;
  for (const std::string& target : targets) {
    file_of.push_back(std::nullopt);
    if (IsStandardOutput(target)) continue;
    if (!outputs.Add(target, o.force, inputs, &error)) {
      return Complain(kProgram, error, kExitRefused);
    }
    file_of.back() = files++;
  }
  const auto temporary = [&](size_t target) {
    return file_of[target] ? outputs.temporary(*file_of[target]) : std::string();
  };

  Mesh mesh;
  if (!o.geometry.empty()) {
    if (std::string why = ReadMesh(o.geometry, &mesh); !why.empty()) {
      return Complain(kProgram, why, kExitRefused);
    }
    choices.mesh = &mesh;
  }

  StreamAverage average(o.input, choices);
  ProgressLine progress(kProgram);
  const bool averaged = average.Run([&](const AverageProgress& p) {
    if (progress.Due()) {
      progress.Update(Counted(p.steps, "step", "steps") + ", hour " + HourText(p.hour) + ", " +
                      ByteText(p.bytes) + " read");
    }
  });
  progress.Clear();
  if (!averaged) return Complain(kProgram, average.report().error, kExitRefused);
  if (std::string option = ForeignOption(app, average.report().kind); !option.empty()) {
    return Complain(kProgram,
                    option + " does not apply to " + o.input + ", a " +
                        DisplayName(average.report().kind) + " file",
                    kExitUsage);
  }
  if (!o.geometry.empty() && mesh.np != average.report().nodes) {
    return Complain(kProgram,
                    o.geometry + " has " + std::to_string(mesh.np) + " nodes, but the averaged " +
                        "file has " + std::to_string(average.report().nodes) +
                        " (the last step of " + o.input + ")",
                    kExitRefused);
  }

  // The statistics: a second pass over the window's steps, as node fields
  // over the mesh (without one, over a mesh of the averaged file's counts).
  std::optional<NodeStatistics> statistics;
  if (o.statistics.any()) {
    const AverageReport& r = average.report();
    Mesh flat;
    if (o.geometry.empty()) {
      flat.np = r.nodes;
      flat.ne = r.elements;
      const size_t n = static_cast<size_t>(std::max(r.nodes, 0));
      flat.x.assign(n, 0.0f);
      flat.y.assign(n, 0.0f);
      flat.bottom.assign(n, 0.0f);
    }
    statistics.emplace(o.statistics);
    if (std::string why = statistics->Run(
            o.input, o.geometry.empty() ? flat : mesh, r.first_hour.value_or(r.start),
            r.last_hour.value_or(r.stop), r.damage ? r.steps : INT64_MAX);
        !why.empty()) {
      return Complain(kProgram, why, kExitRefused);
    }
  }
  const NodeStatistics* stats_given = statistics ? &*statistics : nullptr;
  const auto table = [&](std::ostream& out) { WriteTable(average, stats_given, out, o.table); };
  const auto csv = [&](std::ostream& out) { WriteCsv(average, stats_given, out); };
  // The text outputs, files first (when `to_stdout` is false), then stdout.
  const auto write_texts = [&](bool to_stdout) {
    const size_t csv_index = targets.size() - 1;
    return (o.table.empty() || IsStandardOutput(o.table) != to_stdout ||
            WriteOutput(
                o.table, [&] { WriteText(o.table, temporary(1), table); }, &error)) &&
           (o.csv.empty() || IsStandardOutput(o.csv) != to_stdout ||
            WriteOutput(
                o.csv, [&] { WriteText(o.csv, temporary(csv_index), csv); }, &error));
  };
  const bool written = WriteOutput(
                           o.output,
                           [&] {
                             RecordFile out;
                             out.OpenForWriting(0, outputs.temporary(0));
                             average.WriteAveraged(out);
                             out.Close();
                           },
                           &error) &&
                       write_texts(false);
  if (!written || !outputs.CommitAll(&error, o.sync) || !write_texts(true))
    return Complain(kProgram, error, kExitRefused);
  const std::vector<std::string> cautions = AverageCautions(o, average.report());
  for (const std::string& text : cautions) Caution(kProgram, text);
  if (!o.quiet && !IsStandardOutput(o.table) && !IsStandardOutput(o.csv)) {
    o.json ? PrintAverageJson(o, average.report(), cautions, stats_given)
           : PrintAverageReport(o, average.report(), stats_given);
  }
  return 0;
}

}  // namespace
}  // namespace korvant

int main(int argc, char** argv) {
  return korvant::RunProgram(korvant::kProgram, [&] { return korvant::Average(argc, argv); });
}
