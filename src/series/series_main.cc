// korvant-series MESH RESULT: the time series of a result's fields at nodes
// and at points between them, as CSV or JSON.
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iostream>
#include <set>

#include "engine/interpolation.h"
#include "export/inputs.h"
#include "export/program.h"
#include "io/outputs.h"
#include "io/run_aborted.h"
#include "text/readable.h"

namespace korvant {
namespace {

constexpr std::string_view kProgram = "korvant-series";

constexpr ProgramHelp kHelp = {"time series of a result at nodes and at points between them",
                               R"(DESCRIPTION
  Reads the VELTO geometry file MESH and the QMX2, QMX4 or QMX10 result file
  RESULT over it, and writes the time series of its fields at each node
  given by --node and each point given by --at or --points: one row a time
  step, from --from to --to (every step without them). A point between nodes
  takes its value from the element it lies in, through that element's own
  shape functions (six-node triangles and eight-node quadrilaterals as the
  model computes them, curved sides included; three- and four-node elements
  linearly). A point outside every element is refused, with the node nearest
  it. An integer code (wet_dry) is not interpolated: a point takes the code
  of its element's node nearest to it. Values are as the file holds them, a
  dry node's too; a value the step does not hold is an empty cell.

OUTPUT
  CSV: the first column the hour (or with --start-date the date and time,
  YYYY-MM-DDTHH:MM:SS), then one column per point and field, named
  field@point with its units: "depth@G1 [ft]", "x_velocity@17 [ft s-1]". A
  node is named by its number, an --at point P1, P2, ... in order, a point
  of the --points file by its name. The CSV goes to standard output, or to
  OUT (written under a temporary name and renamed into place; an existing
  OUT is replaced only with --force). --json without -o writes the series
  as one JSON object instead; with -o it reports what was written.

DAMAGED RESULTS
  A result whose framing or counts are damaged is refused. With --salvage,
  a result damaged after its header (the file of a run that stopped
  mid-write) gives its steps before the first damaged record, and a caution
  on stderr (and "damage" in --json) says which record, at which byte, and
  how many steps were used. Files written big-endian or with 8-byte record
  lengths are read as well.

POINTS FILE
  One point a line, name,x,y (the name without commas); blank lines and
  lines beginning with # are passed over.
)",
                               R"(  korvant-series bay.velto run.bin --node 17,230
  korvant-series bay.velto run.bin --at 1520.5,880 --fields depth,wet_dry -o gauge.csv
  korvant-series bay.velto run.bin --points gauges.csv --from 24 --to 48 --start-date 2024-03-01
)"};

struct SeriesOptions {
  CommonOptions common;
  std::vector<std::string> nodes, at;
  std::string points, fields, start_date;
  HourWindow window;
};

// One place a series is taken at: a node, or a point found in its element.
struct Place {
  std::string name;
  double x = 0, y = 0;
  int32_t node = -1;  // a node's index, from 0; -1 for a point
  PointWeights weights;
};

std::vector<std::string> Split(const std::string& text, char at) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == at) {
      parts.push_back(text.substr(from, i - from));
      from = i + 1;
    }
  }
  return parts;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "X,Y" as two finite numbers.
std::optional<std::pair<float, float>> ParsePair(const std::string& x, const std::string& y) {
  const std::optional<float> px = ParseFinite(Trimmed(x)), py = ParseFinite(Trimmed(y));
  if (!px || !py) return std::nullopt;
  return std::pair{*px, *py};
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// The places asked for, in order: nodes, --at points, the points file's.
std::vector<Place> ReadPlaces(const SeriesOptions& o, int32_t np) {
  std::vector<Place> places;
  for (const std::string& list : o.nodes) {
    for (const std::string& part : Split(list, ',')) {
      int64_t number = 0;
      std::string error;
      if (!ParseCount("--node", Trimmed(part), &number, &error)) Refuse(2, error);
      if (number > np) {
        Refuse(1, "--node " + std::to_string(number) + ": the mesh has " +
                      Counted(np, "node", "nodes"));
      }
      places.push_back({std::to_string(number), 0, 0, static_cast<int32_t>(number - 1), {}});
    }
  }
  int at_points = 0;
  for (const std::string& text : o.at) {
    const std::vector<std::string> parts = Split(text, ',');
    const auto xy = parts.size() == 2 ? ParsePair(parts[0], parts[1]) : std::nullopt;
    if (!xy) Refuse(2, "--at " + text + ": give the point as X,Y");
    places.push_back({"P" + std::to_string(++at_points), xy->first, xy->second, -1, {}});
  }
  if (!o.points.empty()) {
    if (std::string why = CannotRead(o.points); !why.empty()) Refuse(1, why);
    std::ifstream file(o.points, std::ios::binary);
    if (!file) Refuse(1, "cannot read " + o.points);
    std::string line;
    for (int64_t number = 1; std::getline(file, line); ++number) {
      const std::string text = Trimmed(line);
      if (text.empty() || text[0] == '#') continue;
      const std::vector<std::string> parts = Split(text, ',');
      const auto xy = parts.size() == 3 ? ParsePair(parts[1], parts[2]) : std::nullopt;
      if (!xy || Trimmed(parts[0]).empty()) {
        Refuse(1, o.points + " line " + std::to_string(number) + ": \"" + ValidUtf8(text) +
                      "\" is not name,x,y");
      }
      places.push_back({Trimmed(parts[0]), xy->first, xy->second, -1, {}});
    }
    if (file.bad()) Refuse(1, "cannot read " + o.points);
  }
  std::set<std::string> names;
  for (const Place& place : places) {
    if (!names.insert(place.name).second) Refuse(1, "the point " + place.name + " is named twice");
  }
  return places;
}

// Finds each point in its element, or refuses it with the node nearest it.
void Locate(const Inputs& in, std::vector<Place>* places) {
  const PointLocator locator(in.mesh(), in.map());
  for (Place& place : *places) {
    if (place.node >= 0) continue;
    if (std::optional<PointWeights> found = locator.Find(place.x, place.y)) {
      place.weights = *found;
      continue;
    }
    const auto [node, distance] = locator.Nearest(place.x, place.y);
    Refuse(1, "the point " + place.name + " (" + Number(place.x) + ", " + Number(place.y) +
                  ") lies outside the mesh; the nearest node is " + std::to_string(node + 1) +
                  ", " + Number(distance) + " away");
  }
}

// The fields written: all, or those --fields names, in its order.
std::vector<size_t> ChooseFields(const ResultSeries& series, const SeriesOptions& o,
                                 const std::string& result) {
  std::vector<size_t> chosen;
  if (o.fields.empty()) {
    for (size_t i = 0; i < series.fields().size(); ++i) chosen.push_back(i);
    return chosen;
  }
  for (const std::string& part : Split(o.fields, ',')) {
    const int index = series.FieldIndex(Trimmed(part));
    if (index < 0) {
      std::string names;
      for (const FieldInfo& f : series.fields()) names += (names.empty() ? "" : ", ") + f.name;
      Refuse(1, result + " has no field " + ValidUtf8(Trimmed(part)) + "; its fields are " + names);
    }
    chosen.push_back(static_cast<size_t>(index));
  }
  return chosen;
}

std::string DateText(std::chrono::sys_seconds start, float hour) {
  using namespace std::chrono;
  const sys_seconds at = start + seconds{std::llround(static_cast<double>(hour) * 3600.0)};
  const sys_days day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss clock{at - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

// A value as the shortest text that reads back as the same float; NaN none.
void AppendValue(double value, std::string* line) {
  if (std::isnan(value)) return;
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, static_cast<float>(value));
  line->append(text, result.ptr);
}

class Writer {
 public:
  Writer(const ResultSeries& series, const std::vector<Place>& places,
         const std::vector<size_t>& fields)
      : series_(series), places_(places), fields_(fields) {}

  std::vector<std::string> Headings() const {
    std::vector<std::string> headings;
    for (const Place& place : places_) {
      for (size_t i : fields_) {
        FieldInfo field = series_.fields()[i];
        field.name += "@" + place.name;
        headings.push_back(Heading(field));
      }
    }
    return headings;
  }

  // Whether each column holds an integer code.
  std::vector<bool> Integers() const {
    std::vector<bool> integers;
    for (size_t p = 0; p < places_.size(); ++p) {
      for (size_t i : fields_) integers.push_back(series_.fields()[i].integer);
    }
    return integers;
  }

  // The current step's values, in the order of the headings.
  void Values(std::vector<double>* values) const {
    values->clear();
    for (const Place& place : places_) {
      for (size_t i : fields_) {
        const std::span<const float> field = series_.values(i);
        if (place.node >= 0) {
          values->push_back(field[static_cast<size_t>(place.node)]);
        } else if (series_.fields()[i].integer) {
          values->push_back(field[static_cast<size_t>(place.weights.nearest)]);
        } else {
          values->push_back(place.weights.Value(field));
        }
      }
    }
  }

 private:
  const ResultSeries& series_;
  const std::vector<Place>& places_;
  const std::vector<size_t>& fields_;
};

std::string CsvCell(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

int Series(const SeriesOptions& o) {
  const CommonOptions& common = o.common;
  if (o.nodes.empty() && o.at.empty() && o.points.empty()) {
    Refuse(2, "give the places of the series: --node, --at or --points");
  }
  HourWindow window = o.window;
  if (std::string wrong = window.Read(); !wrong.empty()) Refuse(2, wrong);
  std::optional<std::chrono::sys_seconds> start;
  if (!o.start_date.empty() && !(start = StartDate(o.start_date))) {
    Refuse(2, "--start-date " + o.start_date + " is not a date YYYY-MM-DD or YYYY-MM-DDTHH:MM");
  }
  const bool to_file = !common.output.empty();
  Outputs outputs;
  if (to_file) {
    CheckOutputFolder(common.output);
    OpenOutput(outputs, common);
  }
  ProgressLine progress(kProgram);
  Inputs in(common.mesh, common.result, common.order());
  std::vector<Place> places = ReadPlaces(o, in.mesh().np);
  in.Announce(kProgram, !to_file || common.quiet || common.json);
  in.SayDamage(kProgram, common.salvage);
  Locate(in, &places);
  for (Place& place : places) {
    if (place.node < 0) continue;
    place.x = in.mesh().x[static_cast<size_t>(place.node)];
    place.y = in.mesh().y[static_cast<size_t>(place.node)];
  }
  const std::vector<size_t> fields = ChooseFields(in.series(), o, common.result);
  const Writer writer(in.series(), places, fields);
  const std::vector<std::string> headings = writer.Headings();
  const std::vector<bool> integers = writer.Integers();
  in.ShowProgress(&progress, "read");
  // Only the nodes of the places' elements are looked at.
  std::vector<size_t> used;
  for (const Place& place : places) {
    if (place.node >= 0) used.push_back(static_cast<size_t>(place.node));
    for (int i = 0; place.node < 0 && i < place.weights.count; ++i) {
      used.push_back(static_cast<size_t>(place.weights.nodes[static_cast<size_t>(i)]));
    }
  }
  std::sort(used.begin(), used.end());
  used.erase(std::unique(used.begin(), used.end()), used.end());
  in.OnlyNodes(std::move(used));
  // Steps outside the window are passed by their heads.
  const StepFilter wanted = window.Filter();
  in.WantOnly(wanted);

  std::ofstream file;
  if (to_file) {
    file.open(outputs.temporary(0), std::ios::binary | std::ios::trunc);
    if (!file) Fatal("cannot create " + common.output);
  }
  std::ostream& out = to_file ? static_cast<std::ostream&>(file) : std::cout;
  const bool json_series = common.json && !to_file;
  Json places_json = Json::array();
  for (const Place& place : places) {
    Json one = {{"name", place.name}, {"x", place.x}, {"y", place.y}};
    if (place.node >= 0) {
      one["node"] = place.node + 1;
    } else {
      one["element"] = place.weights.element + 1;
    }
    places_json.push_back(one);
  }

  // The headings go out with the first row, so that a window that holds no
  // step writes nothing.
  std::string line;
  auto begin = [&] {
    if (json_series) {
      Json head = {{"program", kProgram},     {"mesh", common.mesh},
                   {"result", common.result}, {"time", start ? "date" : "hour"},
                   {"points", places_json},   {"columns", headings}};
      std::string text = JsonLine(head);
      text.pop_back();  // the series' rows follow before the closing brace
      out << text << ",\"rows\":[";
      return;
    }
    line = start ? "date" : "hour";
    for (const std::string& heading : headings) line += "," + CsvCell(heading);
    out << line << '\n';
  };
  int64_t steps = 0;
  double first = 0, last = 0;
  std::vector<double> values;
  while (in.Next()) {
    const float hour = in.series().time();
    if (!wanted.Wants(hour)) continue;
    if (steps++ == 0) {
      first = hour;
      begin();
    }
    last = hour;
    writer.Values(&values);
    line.clear();
    if (json_series) {
      Json row = Json::array();
      row.push_back(start ? Json(DateText(*start, hour)) : HourJson(hour));
      for (size_t i = 0; i < values.size(); ++i) {
        const double v = values[i];
        if (std::isnan(v)) {
          row.push_back(nullptr);
        } else if (integers[i]) {
          row.push_back(std::llround(v));
        } else {
          std::string number;
          AppendValue(v, &number);
          row.push_back(std::strtod(number.c_str(), nullptr));
        }
      }
      out << (steps > 1 ? "," : "") << row.dump();
      continue;
    }
    line = start ? DateText(*start, hour) : HourText(hour);
    for (double v : values) {
      line += ',';
      AppendValue(v, &line);
    }
    line += '\n';
    out << line;
  }
  progress.Clear();
  if (steps == 0 && (window.from || window.to)) {
    Refuse(1, common.result + " has no time step from hour " +
                  (window.from ? HourText(*window.from) : "first") + " to hour " +
                  (window.to ? HourText(*window.to) : "last"));
  }
  if (json_series) out << "]}\n";
  if (!to_file) {
    out.flush();
    return 0;
  }
  file.close();
  if (!file) Fatal("error during write, file " + common.output);
  std::string error;
  if (!outputs.CommitAll(&error, /*wait_for_disk=*/false)) Refuse(1, error);
  if (common.json) {
    std::cout << JsonLine({{"program", kProgram},
                           {"output", common.output},
                           {"steps", steps},
                           {"first_hour", first},
                           {"last_hour", last},
                           {"points", places_json},
                           {"columns", headings},
                           {"damage", SalvageJson(in.damage() ? &*in.damage() : nullptr)}})
              << '\n';
  } else if (!common.quiet) {
    std::cout << "Wrote " << common.output << ": " << Counted(steps, "time step", "time steps")
              << " of " << Counted(std::ssize(fields), "field", "fields") << " at "
              << Counted(std::ssize(places), "place", "places") << "\n";
  }
  return 0;
}

}  // namespace
}  // namespace korvant

int main(int argc, char** argv) {
  using namespace korvant;
  CLI::App app(HelpHeading(kProgram, kHelp), std::string(kProgram));
  SeriesOptions o;
  app.add_option("MESH", o.common.mesh, "The VELTO geometry file of the mesh")->required();
  app.add_option("RESULT", o.common.result, "A QMX2, QMX4 or QMX10 result file over that mesh")
      ->required();
  app.add_option("--node", o.nodes, "Nodes to take the series at, N[,N...] (numbers from 1)")
      ->type_name("N")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--at", o.at, "A point to take the series at, X,Y (repeatable)")
      ->type_name("X,Y")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app.add_option("--points", o.points, "A file of points, one name,x,y a line")->type_name("FILE");
  app.add_option("--fields", o.fields, "The fields written, a,b (all by default)")
      ->type_name("NAMES");
  AddHourWindow(app, &o.window, "of the steps written");
  AddSalvageOption(app, &o.common.salvage);
  app.add_option("--start-date", o.start_date,
                 "Write dates instead of hours: hour 0 is YYYY-MM-DD or YYYY-MM-DDTHH:MM")
      ->type_name("DATE");
  AddOutputOption(app, &o.common.output, "The CSV file to write (standard output without it)");
  AddForceOption(app, &o.common.force);
  AddReportOptions(app, &o.common.quiet, &o.common.json);
  app.add_option("--node-order", o.common.node_order,
                 "How elements list their eight nodes (found from the geometry by default)")
      ->check(CLI::IsMember({"alternate", "corners-first"}));
  StandardOptions(app, kProgram, kHelp);
  if (std::optional<int> parsed = ParseCommandLine(app, argc, argv)) return *parsed;
  return RunProgram(kProgram, [&] { return Series(o); });
}
