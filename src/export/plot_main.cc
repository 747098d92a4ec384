// korvant-plot MESH RESULT -o OUT.png|OUT.svg --field NAME: one field of one
// time step drawn over the mesh, with a colour bar and a title.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <limits>

#include "engine/vocabulary.h"
#include "export/colour_map.h"
#include "export/inputs.h"
#include "export/plot_render.h"
#include "export/plot_text.h"
#include "export/program.h"
#include "io/outputs.h"
#include "text/readable.h"

namespace korvant {
namespace {

constexpr std::string_view kProgram = "korvant-plot";
constexpr int kMinSize = 200, kMaxSize = 10000;
// A PNG is drawn whole in memory: this many pixels keep a run under about
// 500 MB.
constexpr int64_t kMaxPixels = 16'000'000;
constexpr std::string_view kSizeRule =
    "WIDTHxHEIGHT, each from 200 to 10000 and at most 16000000 pixels in all";

constexpr ProgramHelp kHelp = {"draw one field of a result over its mesh",
                               R"(DESCRIPTION
  Reads the VELTO geometry file MESH and the QMX2, QMX4 or QMX10 result file
  RESULT over it, and draws one field of one time step (the first unless
  --step or --time chooses one) as a PNG, SVG or PDF picture, chosen by OUT's
  extension. The picture has a title (the result's title, the field's long
  name and units, and the hour, the date after --start-date, or "time
  average" for an averaged file), axes with the mesh's coordinates in feet,
  and a colour bar with round ticks, labelled with the field and its units;
  with --arrows, a reference arrow gives the arrows' scale. A PNG shades each
  element smoothly between its node values; an SVG or PDF is drawn in shapes
  and text only (no embedded picture), the colours in 64 bands. --every N
  draws every Nth step from the first into numbered pictures (speed.png gives
  speed_0001.png, speed_0002.png, ...), for an animation, all with one colour
  range.
  --list-fields prints the fields the result offers, with their units. The
  mesh may have any number of nodes.

DAMAGED RESULTS
  A result damaged after its header (the file of a run that stopped
  mid-write) is drawn from its steps before the first damaged record, and a
  caution on stderr (and "damage" in --json) always says which record, at
  which byte, and how many steps are sound. Files written big-endian or with
  8-byte record lengths are read as well.

OUTPUT
  OUT is written under a temporary name beside it and renamed into place
  when the run succeeds; an existing OUT is replaced only with --force, never
  an input. Each picture of --every is put in place as soon as it is drawn.
)",
                               R"(  korvant-plot bay.velto run.bin --list-fields
  korvant-plot bay.velto run.bin -o depth.png --field depth --time 36
  korvant-plot bay.velto run.bin -o speed.pdf --field speed --arrows --edges
  korvant-plot bay.velto run.bin -o zoom.svg --field depth --region 0:500,200:600 --contours 8
  korvant-plot bay.velto run.bin -o frames/speed.png --field speed --every 2 --range 0:2
)"};

struct PlotOptions {
  std::string field, range, colour_map = "viridis", size = "800x600";
  std::string title, start_date, region;
  int contours = 0;
  int64_t every = 0;
  bool arrows = false, list = false, edges = false;
};

// The velocity components' fields in the series; -1 where it has none.
int XVelocity(const ResultSeries& series) {
  return series.FieldIndex(vocabulary::XVelocity().name);
}
int YVelocity(const ResultSeries& series) {
  return series.FieldIndex(vocabulary::YVelocity().name);
}

// The fields the mesh adds to a result's: the speed where there are
// velocities, and the bottom elevation.
bool HasVelocity(const ResultSeries& series) {
  return XVelocity(series) >= 0 && YVelocity(series) >= 0;
}

bool IsSpeed(const std::string& name) { return name == vocabulary::Speed().name; }
bool IsBottom(const std::string& name) { return name == vocabulary::BottomElevation().name; }

// Every field the picture can show: the result's, the speed, the bottom.
std::vector<FieldInfo> Offered(const Inputs& in) {
  std::vector<FieldInfo> fields = in.series().fields();
  if (HasVelocity(in.series())) fields.push_back(vocabulary::Speed());
  fields.push_back(vocabulary::BottomElevation());
  return fields;
}

// Every field, one a line: its name, long name and units, as the netCDF
// variables of korvant-export have them.
void ListFields(const Inputs& in) {
  for (const FieldInfo& f : Offered(in)) {
    std::cout << std::left << std::setw(25) << f.name << " " << f.long_name
              << (f.units.empty() ? "" : " (" + f.units + ")") << "\n";
  }
}

// The values of the field `name` at the current step.
std::vector<float> FieldValues(const Inputs& in, const std::string& name) {
  const ResultSeries& series = in.series();
  if (IsBottom(name)) return in.mesh().bottom;
  if (IsSpeed(name)) {
    const auto u = series.values(static_cast<size_t>(XVelocity(series)));
    const auto v = series.values(static_cast<size_t>(YVelocity(series)));
    std::vector<float> speed(u.size());
    for (size_t k = 0; k < u.size(); ++k) speed[k] = std::hypot(u[k], v[k]);
    return speed;
  }
  const auto v = series.values(static_cast<size_t>(series.FieldIndex(name)));
  return std::vector<float>(v.begin(), v.end());
}

// "LO:HI", LO below HI.
bool ParseRange(const std::string& text, double* lo, double* hi) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  char* end = nullptr;
  const std::string a = text.substr(0, colon), b = text.substr(colon + 1);
  *lo = std::strtod(a.c_str(), &end);
  if (a.empty() || *end != '\0') return false;
  *hi = std::strtod(b.c_str(), &end);
  return !b.empty() && *end == '\0' && std::isfinite(*lo) && std::isfinite(*hi) && *lo < *hi;
}

// "X0:X1,Y0:Y1", each pair low to high.
bool ParseRegion(const std::string& text, Region* region) {
  const size_t comma = text.find(',');
  return comma != std::string::npos &&
         ParseRange(text.substr(0, comma), &region->x0, &region->x1) &&
         ParseRange(text.substr(comma + 1), &region->y0, &region->y1);
}

// Widens [*lo, *hi] to take the values at the nodes drawn (in `region`,
// when given).
void TakeRange(const Inputs& in, const std::vector<float>& values,
               const std::optional<Region>& region, double* lo, double* hi) {
  const Mesh& mesh = in.mesh();
  for (const Face& f : in.map().faces) {
    for (int i = 0; i < f.node_count(); ++i) {
      const size_t k = static_cast<size_t>(f.nodes[i]);
      const float v = values[k];
      if (!std::isfinite(v)) continue;
      if (region && (mesh.x[k] < region->x0 || mesh.x[k] > region->x1 || mesh.y[k] < region->y0 ||
                     mesh.y[k] > region->y1)) {
        continue;
      }
      *lo = std::min<double>(*lo, v);
      *hi = std::max<double>(*hi, v);
    }
  }
}

// "WIDTHxHEIGHT" in whole pixels, nothing after them.
bool ParseSize(std::string_view text, int* width, int* height) {
  const char* const end = text.data() + text.size();
  const auto [x, ec] = std::from_chars(text.data(), end, *width);
  if (ec != std::errc() || x == end || *x != 'x') return false;
  const auto [stop, ec_height] = std::from_chars(x + 1, end, *height);
  return ec_height == std::errc() && stop == end;
}

// The name of picture `n` (from 1) of a series: "out.png" gives
// "out_0001.png".
std::string Numbered(const std::string& output, int64_t n) {
  const std::string ext = std::filesystem::path(output).extension().string();
  char number[24];
  std::snprintf(number, sizeof number, "_%04lld", static_cast<long long>(n));
  return output.substr(0, output.size() - ext.size()) + number + ext;
}

// The usage errors the command line parser cannot see; fills the picture's
// size and range into *look.
PictureFormat CheckUsage(const CommonOptions& options, const PlotOptions& plot, PlotLook* look) {
  if (options.output.empty() || plot.field.empty()) {
    Refuse(2, "-o and --field are needed, unless --list-fields is given");
  }
  const std::string ext = Extension(options.output);
  if (ext != ".png" && ext != ".svg" && ext != ".pdf") {
    Refuse(2, "the output must end in .png, .svg or .pdf: " + options.output);
  }
  if (!ParseSize(plot.size, &look->width, &look->height) ||
      std::min(look->width, look->height) < kMinSize ||
      std::max(look->width, look->height) > kMaxSize ||
      int64_t{look->width} * look->height > kMaxPixels) {
    Refuse(2, "--size " + plot.size + " is not " + std::string(kSizeRule));
  }
  if (!plot.range.empty() && !ParseRange(plot.range, &look->lo, &look->hi)) {
    Refuse(2, "--range " + plot.range + " is not LO:HI with LO below HI");
  }
  if (!plot.region.empty()) {
    Region region;
    if (!ParseRegion(plot.region, &region)) {
      Refuse(2, "--region " + plot.region + " is not X0:X1,Y0:Y1 with X0 below X1 and Y0 below Y1");
    }
    look->region = region;
  }
  if (!plot.start_date.empty() && !DateAfter(plot.start_date, 0.0)) {
    Refuse(2, "--start-date " + plot.start_date + " is not a date YYYY-MM-DD or YYYY-MM-DDTHH:MM");
  }
  look->contours = plot.contours;
  return ext == ".png"   ? PictureFormat::kPng
         : ext == ".svg" ? PictureFormat::kSvg
                         : PictureFormat::kPdf;
}

// "depth (ft)": the field's long name and units.
std::string Named(const FieldInfo& field) {
  return field.long_name + (field.units.empty() ? "" : " (" + field.units + ")");
}

// The title of the current step: the file's title, the field, and the hour
// (or the date after --start-date), or "time average" for an averaged file.
std::string Title(const ResultSeries& series, const FieldInfo& field, const PlotOptions& plot) {
  std::string when = "time average";
  if (!series.means()) {
    const std::optional<std::string> date =
        plot.start_date.empty() ? std::nullopt : DateAfter(plot.start_date, series.time());
    when = date ? "at " + *date : "at hour " + Hours(series.time());
  }
  return ValidUtf8((series.title().empty() ? "" : series.title() + ": ") + Named(field) + ", " +
                   when);
}

// The steps drawn: every `every`th from the first, or the one chosen.
bool Drawn(const ResultSeries& series, int64_t every) {
  return every <= 0 || (series.step() - 1) % every == 0;
}

struct Written {
  std::vector<std::string> outputs;
  std::vector<int64_t> steps;
  std::vector<float> hours;
};

int Plot(const CommonOptions& options, const PlotOptions& plot) {
  PlotLook look;
  const PictureFormat format = plot.list ? PictureFormat::kPng : CheckUsage(options, plot, &look);
  const std::optional<ColourMap> colours = ColourMap::Named(plot.colour_map);
  if (!colours) Refuse(2, "--colour-map " + plot.colour_map + " is not viridis or grey");
  const bool series_of_pictures = plot.every > 0;
  Outputs single;  // the output of one picture, opened before any work
  if (!plot.list) {
    CheckOutputFolder(options.output);
    if (!series_of_pictures) OpenOutput(single, options);
  }
  ProgressLine progress(kProgram);
  Inputs in(options.mesh, options.result, options.order());
  in.SayDamage(kProgram, /*salvage=*/true, "are sound");
  in.ShowProgress(&progress, "read");
  if (plot.list) {
    ListFields(in);
    return 0;
  }
  const ResultSeries& series = in.series();
  const std::vector<FieldInfo> offered = Offered(in);
  const auto field = std::find_if(offered.begin(), offered.end(),
                                  [&](const FieldInfo& f) { return f.name == plot.field; });
  if (field == offered.end()) {
    Refuse(1, options.result + " offers no field " + plot.field +
                  "; --list-fields shows those it does");
  }
  if (plot.arrows && !HasVelocity(series)) {
    Refuse(1, options.result + " holds no velocity to draw arrows of");
  }
  in.Announce(kProgram, options.quiet || options.json);
  look.colours = &*colours;
  look.edges = plot.edges;
  look.label = Named(*field);
  look.coordinate_units = vocabulary::NodeX().units;
  look.speed_units = vocabulary::Speed().units;
  const bool fixed_range = !plot.range.empty();
  if (series_of_pictures && !fixed_range) {
    // One colour range for the whole series, from a first pass over its
    // pictures' steps, so that a colour means one value throughout.
    look.lo = HUGE_VAL;
    look.hi = -HUGE_VAL;
    Inputs first(options.mesh, options.result, options.order());
    first.UseStepsBeforeDamage();
    first.ShowProgress(&progress, "looked at");
    while (first.Next()) {
      if (Drawn(first.series(), plot.every)) {
        TakeRange(first, FieldValues(first, plot.field), look.region, &look.lo, &look.hi);
      }
    }
    if (look.lo > look.hi) look.lo = look.hi = 0.0;
  }
  Written written;
  std::string error;
  auto draw = [&](Outputs& outputs, const std::string& name) {
    const std::vector<float> values = FieldValues(in, plot.field);
    if (!fixed_range && !series_of_pictures) {
      look.lo = HUGE_VAL;
      look.hi = -HUGE_VAL;
      TakeRange(in, values, look.region, &look.lo, &look.hi);
      if (look.lo > look.hi) look.lo = look.hi = 0.0;
    }
    look.title = plot.title.empty() ? Title(series, *field, plot) : ValidUtf8(plot.title);
    std::span<const float> u, v;
    if (plot.arrows) {
      u = series.values(static_cast<size_t>(XVelocity(series)));
      v = series.values(static_cast<size_t>(YVelocity(series)));
    }
    if (!RenderPlot(outputs.temporary(0), format, in.mesh(), in.map(), values, u, v, look,
                    &error)) {
      Refuse(1, "cannot write " + name + ": " + error);
    }
    if (!outputs.CommitAll(&error, /*wait_for_disk=*/true)) Refuse(1, error);
    written.outputs.push_back(name);
    written.steps.push_back(series.step());
    written.hours.push_back(series.time());
  };
  if (series_of_pictures) {
    while (in.Next()) {
      if (!Drawn(series, plot.every)) continue;
      CommonOptions one = options;
      one.output = Numbered(options.output, std::ssize(written.outputs) + 1);
      Outputs outputs;
      OpenOutput(outputs, one);
      draw(outputs, one.output);
    }
  } else {
    in.MoveTo(options.choice());
    draw(single, options.output);
  }
  progress.Clear();
  if (options.json) {
    Json report = {{"program", kProgram}};
    if (series_of_pictures) {
      report["outputs"] = written.outputs;
      report["steps"] = written.steps;
    } else {
      report["output"] = options.output;
    }
    report["field"] = plot.field;
    report["units"] = field->units;
    if (!series_of_pictures) {
      report["step"] = series.step();
      report["hour"] = series.time();
      report["averaged"] = series.means();
    }
    report["range"] = {look.lo, look.hi};
    report["node_order"] = in.OrderReport();
    report["damage"] = SalvageJson(in.damage() ? &*in.damage() : nullptr);
    std::cout << JsonLine(report) << '\n';
  } else if (!options.quiet) {
    for (const std::string& name : written.outputs) std::cout << "Wrote " << name << "\n";
  }
  return 0;
}

}  // namespace
}  // namespace korvant

int main(int argc, char** argv) {
  using namespace korvant;
  CLI::App app(HelpHeading(kProgram, kHelp), std::string(kProgram));
  CommonOptions options;
  PlotOptions plot;
  AddCommonOptions(app, &options, /*output_required=*/false);
  app.add_option("--field", plot.field, "The field to draw (see --list-fields)")->type_name("NAME");
  app.add_flag("--list-fields", plot.list, "Print the fields the result offers and stop");
  app.add_option("--range", plot.range, "Field values at the ends of the colour map, LO:HI")
      ->type_name("LO:HI");
  app.add_option("--colour-map", plot.colour_map, "viridis (the default) or grey")
      ->check(CLI::IsMember({"viridis", "grey"}));
  app.add_flag("--arrows", plot.arrows, "Velocity arrows on an even spread of nodes");
  app.add_flag("--edges", plot.edges, "Outline every element");
  app.add_option("--title", plot.title, "The title, instead of the file's title, field and hour")
      ->type_name("TEXT");
  app.add_option("--start-date", plot.start_date,
                 "The date and time of hour 0, to title a step by its date")
      ->type_name("YYYY-MM-DD[THH:MM]");
  app.add_option("--region", plot.region, "Draw only this part of the mesh, in its coordinates")
      ->type_name("X0:X1,Y0:Y1");
  app.add_option("--contours", plot.contours, "N contour lines evenly over the colour range")
      ->type_name("N")
      ->check(CLI::Range(1, 100));
  CLI::Option* every =
      app.add_option("--every", plot.every,
                     "Every Nth step from the first, each into OUT numbered: speed_0001.png, ...")
          ->type_name("N")
          ->check(CLI::PositiveNumber);
  app.add_option("--size", plot.size, "Picture size in pixels (800x600): " + std::string(kSizeRule))
      ->type_name("WxH");
  every->excludes(app.get_option("--step"))->excludes(app.get_option("--time"));
  StandardOptions(app, kProgram, kHelp);
  if (std::optional<int> parsed = ParseCommandLine(app, argc, argv)) return *parsed;
  const int status = RunProgram(kProgram, [&] { return Plot(options, plot); });
  ReleaseCairoCaches();
  return status;
}
