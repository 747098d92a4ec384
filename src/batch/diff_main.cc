// korvant-diff: B minus A, node by node, for two result files of one family
// and one mesh, written as a result file of that family.

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "engine/family_driver.h"
#include "engine/stream_difference.h"
#include "io/outputs.h"
#include "kit/command_line.h"
#include "kit/progress_line.h"
#include "text/readable.h"

namespace korvant {
namespace {

constexpr std::string_view kProgram = "korvant-diff";

constexpr ProgramHelp kHelp = {"the change between two runs, node by node",
                               R"(DESCRIPTION
  Writes OUT: B minus A at every node, for two result files of one family
  laid out alike (QMX2 files both with or both without elevations) on one
  mesh. Two one-step files, such as two averages, are compared as they are;
  runs are compared step by step at the hours both hold, walking both files
  forward in time, and a step whose hour the other file does not hold is
  skipped and counted in the report.

  OUT is a result file of the same family, so korvant-plot, korvant-export
  and korvant-average read it: its header is B's, and each of its steps is
  B's step with its fields made B minus A (QMX2 velocities, depth and water
  surface; QMX4 concentrations; QMX10 degrees of freedom). Codes (wet/dry,
  element codes), counts and every other array are B's. Files of different
  families, or whose steps compared differ in their counts of nodes,
  elements or quantities, are refused before anything is written. So is a
  file whose framing or counts are damaged; with --salvage, a file damaged
  after its header (the file of a run that stopped mid-write) gives its steps
  before the first damaged record, and a caution says where the damage is.

REPORT
  For each field, the largest increase (B above A) and the largest decrease
  (B below A), with the node (from 1) and the hour where each was first met;
  "none" when B is nowhere above, or nowhere below, A. A line beginning
  "korvant-diff: caution: " on stderr tells of a file whose times go back
  (the pieces of a restart chain not yet merged): steps are paired by walking
  forward, so merge such a file with korvant-merge first.

OUTPUT
  OUT is written under a temporary name beside it and renamed into place when
  the run succeeds, so a failed run leaves the old OUT (or none); with --sync
  only once it is on disk. An existing OUT is replaced only with --force, and
  never when it is one of the inputs.
)",
                               R"(  korvant-diff base_mean.bin scenario_mean.bin -o change.bin
  korvant-diff base.bin scenario.bin -o change.bin --json
  korvant-plot mesh.velto change.bin --field depth -o change.png
)"};

struct Options {
  std::string a, b;
  std::string output;
  bool sync = false;
  bool force = false;
  bool json = false;
  bool quiet = false;
  bool salvage = false;
};

std::string ValueText(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", static_cast<double>(value));
  return text;
}

std::string ChangeText(const char* what, const std::optional<Change>& c) {
  if (!c) return std::string("no ") + what;
  return std::string("largest ") + what + " " + ValueText(c->value) + " at node " +
         std::to_string(c->node) + ", hour " + HourText(c->hour);
}

Json ChangeJson(const std::optional<Change>& c) {
  if (!c) return nullptr;
  return {{"value", c->value}, {"node", c->node}, {"hour", c->hour}};
}

std::string InputText(const std::string& path, const DifferenceInput& in) {
  std::string text = ValidUtf8(path) + ": " + Counted(in.steps, "step", "steps") + ", " +
                     std::to_string(in.skipped) + " skipped";
  if (in.damage) {
    text += "; salvaged: damaged at record " + std::to_string(in.damage->record) + " (byte " +
            std::to_string(in.damage->offset) + "), " + Counted(in.steps, "step", "steps") +
            " before it used";
  }
  return text;
}

std::optional<SalvageNote> Salvaged(const std::string& path, const DifferenceInput& in) {
  if (!in.damage) return std::nullopt;
  return SalvageNote{ValidUtf8(path), in.damage->record, in.damage->offset, in.damage->what,
                     in.steps};
}

std::vector<std::string> Cautions(const Options& o, const DifferenceReport& r) {
  std::vector<std::string> texts;
  for (auto [path, in] : {std::pair{&o.a, &r.a}, std::pair{&o.b, &r.b}}) {
    if (const std::optional<SalvageNote> note = Salvaged(*path, *in)) {
      texts.push_back(SalvageText(*note));
    }
    if (in->back_at) {
      texts.push_back(ValidUtf8(*path) + " goes back in time at hour " + HourText(*in->back_at) +
                      "; steps are paired walking forward, so merge its pieces with "
                      "korvant-merge first");
    }
  }
  return texts;
}

void PrintReport(const Options& o, const DifferenceReport& r) {
  const FamilyDriver& family = *DriverOf(r.identity.kind);
  std::cout << ValidUtf8(o.output) << ": " << Counted(r.steps, "step", "steps");
  if (r.one_step_each) {
    std::cout << " (two one-step files)";
  } else {
    std::cout << ", hours " << HourText(*r.first_hour) << " to " << HourText(*r.last_hour);
  }
  std::cout << ", " << ValidUtf8(o.b) << " minus " << ValidUtf8(o.a) << " ("
            << family.Describe(r.identity) << ", " << Counted(r.nodes, "node", "nodes") << ", "
            << Counted(r.elements, "element", "elements") << ")\n";
  std::cout << "  " << InputText(o.a, r.a) << '\n' << "  " << InputText(o.b, r.b) << '\n';
  for (const FieldChange& c : r.changes) {
    std::cout << "  " << Heading(c.field) << ": " << ChangeText("increase", c.increase) << "; "
              << ChangeText("decrease", c.decrease) << '\n';
  }
}

void PrintJson(const Options& o, const DifferenceReport& r,
               const std::vector<std::string>& cautions) {
  const FamilyDriver& family = *DriverOf(r.identity.kind);
  Json fields = Json::array();
  for (const FieldChange& c : r.changes) {
    fields.push_back({{"name", c.field.name},
                      {"units", c.field.units},
                      {"increase", ChangeJson(c.increase)},
                      {"decrease", ChangeJson(c.decrease)}});
  }
  const auto input = [](const std::string& path, const DifferenceInput& in) {
    const std::optional<SalvageNote> note = Salvaged(path, in);
    return Json{{"file", path},
                {"steps", in.steps},
                {"skipped", in.skipped},
                {"damage", SalvageJson(note ? &*note : nullptr)}};
  };
  const std::optional<bool> long_steps = family.long_steps(r.identity);
  Json report = {{"program", kProgram},
                 {"output", o.output},
                 {"family", family.kind_name()},
                 {"long_steps", long_steps ? Json(*long_steps) : Json(nullptr)},
                 {"nodes", r.nodes},
                 {"elements", r.elements},
                 {"a", input(o.a, r.a)},
                 {"b", input(o.b, r.b)},
                 {"steps", r.steps},
                 {"one_step_each", r.one_step_each},
                 {"means", r.means},
                 {"first_hour", HourJson(r.first_hour)},
                 {"last_hour", HourJson(r.last_hour)},
                 {"fields", fields},
                 {"cautions", cautions}};
  if (!family.quantities().empty()) report[std::string(family.quantities().key)] = r.quantities;
  std::cout << JsonLine(report) << '\n';
}

int Diff(int argc, char** argv) {
  CLI::App app(HelpHeading(kProgram, kHelp), std::string(kProgram));
  Options o;
  app.add_option("A", o.a, "The base result file")->required();
  app.add_option("B", o.b, "The result file compared with it")->required();
  AddOutputOption(app, &o.output, "The difference to write, B minus A")->required();
  app.add_flag("--sync", o.sync, "Wait until the output is on disk before renaming it");
  AddForceOption(app, &o.force);
  AddSalvageOption(app, &o.salvage);
  AddReportOptions(app, &o.quiet, &o.json);
  StandardOptions(app, kProgram, kHelp);
  if (std::optional<int> status = ParseCommandLine(app, argc, argv)) return *status;

  Outputs outputs;
  std::string error;
  if (!outputs.Add(o.output, o.force, {o.a, o.b}, &error)) {
    return Complain(kProgram, error, kExitRefused);
  }
  StreamDifference diff(o.a, o.b, o.salvage);
  if (!diff.Check()) return Complain(kProgram, diff.report().error, kExitRefused);
  ProgressLine progress(kProgram);
  bool read = true;
  const bool written = WriteOutput(
      o.output,
      [&] {
        RecordFile out;
        out.OpenForWriting(0, outputs.temporary(0));
        read = diff.Write(out, [&](int64_t steps) {
          if (progress.Due()) {
            progress.Update(Counted(steps, "step", "steps") + " of " +
                            std::to_string(diff.report().steps) + " written");
          }
        });
        out.Close();
      },
      &error);
  progress.Clear();
  if (!read) return Complain(kProgram, diff.report().error, kExitRefused);
  if (!written || !outputs.CommitAll(&error, o.sync)) {
    return Complain(kProgram, error, kExitRefused);
  }
  const std::vector<std::string> cautions = Cautions(o, diff.report());
  for (const std::string& text : cautions) Caution(kProgram, text);
  if (!o.quiet) o.json ? PrintJson(o, diff.report(), cautions) : PrintReport(o, diff.report());
  return 0;
}

}  // namespace
}  // namespace korvant

int main(int argc, char** argv) {
  return korvant::RunProgram(korvant::kProgram, [&] { return korvant::Diff(argc, argv); });
}
