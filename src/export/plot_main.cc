// korvant-plot MESH RESULT -o OUT.png|OUT.svg --field NAME: one field of one
// time step drawn over the mesh, with a colour bar and a title.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <limits>

#include "engine/vocabulary.h"
#include "export/colour_map.h"
#include "export/inputs.h"
#include "export/plot_render.h"
#include "export/program.h"
#include "io/outputs.h"
#include "text/readable.h"

namespace korvant {
namespace {

constexpr std::string_view kProgram = "korvant-plot";
constexpr int kMinSize = 200, kMaxSize = 10000;
// A picture is drawn whole in memory, an SVG's shading at twice its size:
// this many pixels keep a run under about 500 MB.
constexpr int64_t kMaxPixels = 16'000'000;
constexpr std::string_view kSizeRule =
    "WIDTHxHEIGHT, each from 200 to 10000 and at most 16000000 pixels in all";

constexpr ProgramHelp kHelp = {"draw one field of a result over its mesh",
                               R"(DESCRIPTION
  Reads the VELTO geometry file MESH and the QMX2, QMX4 or QMX10 result file
  RESULT over it, and draws one field of one time step (the first unless
  --step or --time chooses one), each element shaded smoothly between its
  node values, with a colour bar and a title, as a PNG or SVG picture chosen
  by OUT's extension. --list-fields prints the fields the result offers, with
  their units. The mesh may have any number of nodes.

OUTPUT
  OUT is written under a temporary name beside it and renamed into place
  when the run succeeds; an existing OUT is replaced only with --force, never
  an input.
)",
                               R"(  korvant-plot bay.velto run.bin --list-fields
  korvant-plot bay.velto run.bin -o depth.png --field depth --time 36
  korvant-plot bay.velto run.bin -o speed.svg --field speed --arrows --edges
)"};

struct PlotOptions {
  std::string field, range, colour_map = "viridis", size = "800x600";
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

// Every field, one a line: its name, long name and units, as the netCDF
// variables of korvant-export have them.
void ListFields(const Inputs& in) {
  const ResultSeries& series = in.series();
  std::vector<FieldInfo> fields = series.fields();
  if (HasVelocity(series)) fields.push_back(vocabulary::Speed());
  fields.push_back(vocabulary::BottomElevation());
  for (const FieldInfo& f : fields) {
    std::cout << std::left << std::setw(25) << f.name << " " << f.long_name
              << (f.units.empty() ? "" : " (" + f.units + ")") << "\n";
  }
}

// The values of the field `name` at the current step, and its units.
std::vector<float> FieldValues(const Inputs& in, const std::string& name, std::string* units) {
  const ResultSeries& series = in.series();
  if (IsBottom(name)) {
    *units = vocabulary::BottomElevation().units;
    return in.mesh().bottom;
  }
  if (IsSpeed(name) && HasVelocity(series)) {
    const auto u = series.values(static_cast<size_t>(XVelocity(series)));
    const auto v = series.values(static_cast<size_t>(YVelocity(series)));
    *units = vocabulary::Speed().units;
    std::vector<float> speed(u.size());
    for (size_t k = 0; k < u.size(); ++k) speed[k] = std::hypot(u[k], v[k]);
    return speed;
  }
  const int i = series.FieldIndex(name);
  *units = series.fields()[static_cast<size_t>(i)].units;
  const auto v = series.values(static_cast<size_t>(i));
  return std::vector<float>(v.begin(), v.end());
}

bool Offers(const Inputs& in, const std::string& name) {
  return IsBottom(name) || (IsSpeed(name) && HasVelocity(in.series())) ||
         in.series().FieldIndex(name) >= 0;
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

// The smallest and largest value at the nodes drawn.
void ValueRange(const Inputs& in, const std::vector<float>& values, double* lo, double* hi) {
  *lo = std::numeric_limits<double>::infinity();
  *hi = -*lo;
  for (const Face& f : in.map().faces) {
    for (int i = 0; i < f.node_count(); ++i) {
      const float v = values[static_cast<size_t>(f.nodes[i])];
      if (!std::isfinite(v)) continue;
      *lo = std::min<double>(*lo, v);
      *hi = std::max<double>(*hi, v);
    }
  }
  if (*lo > *hi) *lo = *hi = 0.0;
}

// "WIDTHxHEIGHT" in whole pixels, nothing after them.
bool ParseSize(std::string_view text, int* width, int* height) {
  const char* const end = text.data() + text.size();
  const auto [x, ec] = std::from_chars(text.data(), end, *width);
  if (ec != std::errc() || x == end || *x != 'x') return false;
  const auto [stop, ec_height] = std::from_chars(x + 1, end, *height);
  return ec_height == std::errc() && stop == end;
}

// The usage errors the command line parser cannot see; fills the picture's
// size and range into *look.
PictureFormat CheckUsage(const CommonOptions& options, const PlotOptions& plot, PlotLook* look) {
  if (options.output.empty() || plot.field.empty()) {
    Refuse(2, "-o and --field are needed, unless --list-fields is given");
  }
  const std::string ext = Extension(options.output);
  if (ext != ".png" && ext != ".svg") {
    Refuse(2, "the output must end in .png or .svg: " + options.output);
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
  return ext == ".png" ? PictureFormat::kPng : PictureFormat::kSvg;
}

int Plot(const CommonOptions& options, const PlotOptions& plot) {
  PlotLook look;
  const PictureFormat format = plot.list ? PictureFormat::kPng : CheckUsage(options, plot, &look);
  const std::optional<ColourMap> colours = ColourMap::Named(plot.colour_map);
  if (!colours) Refuse(2, "--colour-map " + plot.colour_map + " is not viridis or grey");
  Outputs outputs;
  if (!plot.list) {
    CheckOutputFolder(options.output);
    OpenOutput(outputs, options);
  }
  ProgressLine progress(kProgram);
  Inputs in(options.mesh, options.result, options.order());
  in.ShowProgress(&progress, "read");
  if (plot.list) {
    ListFields(in);
    return 0;
  }
  const ResultSeries& series = in.series();
  if (!Offers(in, plot.field)) {
    Refuse(1, options.result + " offers no field " + plot.field +
                  "; --list-fields shows those it does");
  }
  if (plot.arrows && !HasVelocity(series)) {
    Refuse(1, options.result + " holds no velocity to draw arrows of");
  }
  in.Announce(kProgram, options.quiet || options.json);
  in.MoveTo(options.choice());
  progress.Clear();
  const std::vector<float> values = FieldValues(in, plot.field, &look.units);
  if (plot.range.empty()) ValueRange(in, values, &look.lo, &look.hi);
  look.colours = &*colours;
  look.edges = plot.edges;
  look.title = ValidUtf8((series.title().empty() ? "" : series.title() + " - ") + plot.field +
                         " at hour " + Hours(series.time()));
  std::span<const float> u, v;
  if (plot.arrows) {
    u = series.values(static_cast<size_t>(XVelocity(series)));
    v = series.values(static_cast<size_t>(YVelocity(series)));
  }
  std::string error;
  if (!RenderPlot(outputs.temporary(0), format, in.mesh(), in.map(), values, u, v, look, &error)) {
    Refuse(1, "cannot write " + options.output + ": " + error);
  }
  if (!outputs.CommitAll(&error, /*wait_for_disk=*/true)) Refuse(1, error);
  if (options.json) {
    std::cout << JsonLine({{"program", kProgram},
                           {"output", options.output},
                           {"field", plot.field},
                           {"units", look.units},
                           {"step", series.step()},
                           {"hour", series.time()},
                           {"range", {look.lo, look.hi}},
                           {"node_order", in.OrderReport()}})
              << '\n';
  } else if (!options.quiet) {
    std::cout << "Wrote " << options.output << "\n";
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
  app.add_option("--size", plot.size, "Picture size in pixels (800x600): " + std::string(kSizeRule))
      ->type_name("WxH");
  StandardOptions(app, kProgram, kHelp);
  if (std::optional<int> parsed = ParseCommandLine(app, argc, argv)) return *parsed;
  const int status = RunProgram(kProgram, [&] { return Plot(options, plot); });
  ReleaseCairoCaches();
  return status;
}
