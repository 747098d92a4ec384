// korvant-merge: joins model result files of one family into one, each over
// a window of hours, restart-aware, written whole or not at all.

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "engine/family_driver.h"
#include "engine/stream_merge.h"
#include "io/outputs.h"
#include "kit/command_line.h"
#include "kit/progress_line.h"
#include "text/readable.h"

namespace korvant {
namespace {

constexpr std::string_view kProgram = "korvant-merge";

constexpr ProgramHelp kHelp = {"join model result files of one family into one",
                               R"(DESCRIPTION
  Writes OUT: the header of the first input (QMX2 and QMX4 files; QMX10
  files have none), then the selected time steps of every input in the order
  given, each record copied unchanged (but for a QMX10 step whose count list
  carries entries from a step left out: it is given its whole count list, so
  that it reads as it did). The family and the header form are
  those of the first input; every input must be of the same family (QMX2
  files all with or all without elevations) and have the same node and
  element counts, or nothing is written. Every record's framing and counts
  are checked before anything is written; memory does not grow with the
  files, and there is no limit on steps or nodes.

WINDOWS
  IN@FROM:TO takes the steps of IN from hour FROM to hour TO, both included;
  an empty end reaches the first or the last step (a.bin@48: or a.bin@:96).
  --from and --to give a window to every input without one of its own.

RESTARTS
  By default, a step at or before the time of a step already kept replaces
  the kept steps from its time on: the later piece of a restart chain wins and
  the merged times strictly increase. The report gives, for each input, the
  steps it gave and the earlier steps it replaced. --keep-all copies every
  selected step in the order given, as the dialogue's merge does.

CAUTIONS
  A line beginning "korvant-merge: caution: " on stderr, -q or not, and the
  "cautions" of the JSON report tell of an input that gives no step (its
  window selects none, or later inputs replace every step it selects) and,
  with --keep-all, of merged times that go back.

DAMAGED INPUTS
  An input whose framing or counts are damaged refuses the merge. With
  --salvage, an input damaged after its header (the file of a run that
  stopped mid-write) gives its steps before the first damaged record; the
  report and a caution say which record, at which byte, and how many steps
  were used. Inputs written big-endian or with 8-byte record lengths are
  read as well, and copied into the common framing (see korvant-convert).

OUTPUT
  OUT is written under a temporary name beside it and renamed into place when
  the run succeeds, so a failed run leaves the old OUT (or none); with --sync
  only once it is on disk. An existing OUT is replaced only with --force, and
  never when it is one of the inputs. A link is followed, a character device
  (/dev/null) written through; a fifo or a socket is refused. SIGINT, SIGTERM
  and SIGHUP remove the temporary file.
)",
                               R"(  korvant-merge -o run.bin day1.bin day2.bin day3.bin
  korvant-merge -o week.bin --from 0 --to 168 a.bin b.bin@100:
  korvant-merge --keep-all --json -o all.bin a.bin b.bin
)"};

struct Options {
  std::vector<std::string> inputs;
  std::string output;
  HourWindow window;
  bool keep_all = false;
  bool salvage = false;
  bool sync = false;
  bool force = false;
  bool json = false;
  bool quiet = false;
};

std::string InputText(const MergeInput& in) {
  if (!in.from && !in.to) return ValidUtf8(in.path);
  return ValidUtf8(in.path) + " hours " + (in.from ? HourText(*in.from) : "first") + " to " +
         (in.to ? HourText(*in.to) : "last");
}

// Whether the merged steps carry elevations, for a family whose steps come
// long and short.
std::optional<bool> LongSteps(const MergeReport& r) {
  return DriverOf(r.kind)->long_steps(r.identity);
}

std::string FamilyText(const MergeReport& r) {
  const FamilyDriver& family = *DriverOf(r.kind);
  std::string text = family.display_name();
  if (family.has_header())
    text += r.integer_coded ? ", integer-coded header" : ", character header";
  if (LongSteps(r)) text += *LongSteps(r) ? ", long steps" : ", short steps";
  return text + ", " + Counted(r.nodes, "node", "nodes") + ", " +
         Counted(r.elements, "element", "elements");
}

std::string HoursText(std::optional<float> first, std::optional<float> last) {
  if (!first) return "no hours";
  return "hours " + HourText(*first) + " to " + HourText(*last);
}

// "X and Y", "X, Y and Z".
std::string Listed(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " and " : ", ";
    text += items[i];
  }
  return text;
}

std::string CautionText(const Options& o, const std::vector<MergeInput>& inputs,
                        const MergeReport& r, const MergeCaution& c) {
  const std::string input = InputText(inputs[c.input]);
  const int64_t steps = r.inputs[c.input].steps;
  switch (c.what) {
    case MergeCaution::What::kNoStepSelected:
      if (steps == 1) return input + " gives no step: its one step lies outside its window";
      return input + " gives no step: none of its " + std::to_string(steps) +
             " steps lies in its window";
    case MergeCaution::What::kAllReplaced: {
      std::vector<std::string> replacers;
      for (const MergeCaution::Replacer& by : c.replacers) {
        replacers.push_back(InputText(inputs[by.input]) + " (back to hour " + HourText(by.from) +
                            ")");
      }
      const std::string which =
          c.steps == 1 ? "its one step in the window, hour " + HourText(c.hour) + ", is"
                       : "all " + std::to_string(c.steps) + " steps in its window, hours " +
                             HourText(c.hour) + " to " + HourText(c.last_hour) + ", are";
      return input + " gives no step: " + which + " replaced by " +
             (replacers.size() == 1 ? "a later input, " : "later inputs, ") + Listed(replacers);
    }
    case MergeCaution::What::kTimesGoBack:
      return ValidUtf8(o.output) + " goes back in time: its step of hour " + HourText(c.hour) +
             " (from " + input + ") follows one of hour " + HourText(c.before_hour) + " (from " +
             InputText(inputs[c.before_input]) + "); " +
             (c.steps == 1 ? "it is the only step at or before the hour of one before it"
                           : std::to_string(c.steps) +
                                 " steps in all come at or before the hour of a step before them");
  }
  return "";
}

std::optional<SalvageNote> Salvaged(const std::vector<MergeInput>& inputs, const MergeReport& r,
                                    size_t i) {
  const std::optional<Damage>& d = r.inputs[i].damage;
  if (!d) return std::nullopt;
  return SalvageNote{ValidUtf8(inputs[i].path), d->record, d->offset, d->what, r.inputs[i].steps};
}

std::vector<std::string> CautionTexts(const Options& o, const std::vector<MergeInput>& inputs,
                                      const MergeReport& r) {
  std::vector<std::string> texts;
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (const std::optional<SalvageNote> note = Salvaged(inputs, r, i)) {
      texts.push_back(SalvageText(*note));
    }
  }
  for (const MergeCaution& c : r.cautions) texts.push_back(CautionText(o, inputs, r, c));
  return texts;
}

void PrintReport(const Options& o, const std::vector<MergeInput>& inputs, const MergeReport& r) {
  std::cout << ValidUtf8(o.output) << ": " << Counted(r.steps, "step", "steps") << ", "
            << HoursText(r.first_hour, r.last_hour) << " (" << FamilyText(r) << ")\n";
  for (size_t i = 0; i < inputs.size(); ++i) {
    const MergeInputReport& in = r.inputs[i];
    std::cout << "  " << InputText(inputs[i]) << ": " << Counted(in.steps, "step", "steps") << ", "
              << in.selected << " in the window, " << in.kept << " kept";
    if (in.kept > 0) std::cout << " (" << HoursText(in.first_hour, in.last_hour) << ")";
    if (in.replaced > 0) {
      std::cout << ", replaced " << Counted(in.replaced, "earlier step", "earlier steps");
    }
    if (in.relisted > 0) {
      std::cout << ", " << Counted(in.relisted, "step", "steps") << " given its whole count list";
    }
    if (in.damage) {
      std::cout << "; salvaged: damaged at record " << in.damage->record << " (byte "
                << in.damage->offset << "), " << Counted(in.steps, "step", "steps")
                << " before it used";
    }
    std::cout << '\n';
  }
}

void PrintJson(const Options& o, const std::vector<MergeInput>& inputs, const MergeReport& r,
               const std::vector<std::string>& cautions) {
  Json inputs_json = Json::array();
  for (size_t i = 0; i < inputs.size(); ++i) {
    const MergeInputReport& in = r.inputs[i];
    inputs_json.push_back({{"file", inputs[i].path},
                           {"from", HourJson(inputs[i].from)},
                           {"to", HourJson(inputs[i].to)},
                           {"steps", in.steps},
                           {"selected", in.selected},
                           {"kept", in.kept},
                           {"replaced", in.replaced},
                           {"relisted", in.relisted},
                           {"first_hour", HourJson(in.first_hour)},
                           {"last_hour", HourJson(in.last_hour)}});
    const std::optional<SalvageNote> note = Salvaged(inputs, r, i);
    inputs_json.back()["damage"] = SalvageJson(note ? &*note : nullptr);
  }
  Json report = {{"program", kProgram},
                 {"output", o.output},
                 {"family", KindName(r.kind)},
                 {"header", !DriverOf(r.kind)->has_header() ? Json(nullptr)
                            : r.integer_coded               ? Json("integer-coded")
                                                            : Json("character")},
                 {"long_steps", LongSteps(r) ? Json(*LongSteps(r)) : Json(nullptr)},
                 {"nodes", r.nodes},
                 {"elements", r.elements},
                 {"restart_aware", !o.keep_all},
                 {"inputs", inputs_json},
                 {"steps", r.steps},
                 {"first_hour", HourJson(r.first_hour)},
                 {"last_hour", HourJson(r.last_hour)},
                 {"bytes", r.bytes},
                 {"copy", r.copied_in_kernel ? "kernel" : "read-write"},
                 {"cautions", cautions}};
  std::cout << JsonLine(report) << '\n';
}

int Merge(int argc, char** argv) {
  CLI::App app(HelpHeading(kProgram, kHelp), std::string(kProgram));
  Options o;
  app.add_option("IN", o.inputs, "Input files, each optionally with its window @FROM:TO")
      ->required()
      ->type_name("IN[@FROM:TO]");
  AddOutputOption(app, &o.output, "The merged file to write")->required();
  AddHourWindow(app, &o.window, "of every input without a window of its own");
  app.add_flag("--keep-all", o.keep_all, "Copy every selected step in the order given");
  AddSalvageOption(app, &o.salvage);
  app.add_flag("--sync", o.sync, "Wait until the outputs are on disk before renaming them");
  AddForceOption(app, &o.force);
  AddReportOptions(app, &o.quiet, &o.json);
  StandardOptions(app, kProgram, kHelp);
  if (std::optional<int> status = ParseCommandLine(app, argc, argv)) return *status;
  if (std::string usage = o.window.Read(); !usage.empty()) {
    return Complain(kProgram, usage, kExitUsage);
  }
  const std::optional<float> from = o.window.from, to = o.window.to;
  std::vector<MergeInput> inputs;
  std::vector<std::string> paths;
  for (const std::string& arg : o.inputs) {
    NamedInput named;
    std::string error;
    if (!ParseNamedInput(arg, &named, &error)) return Complain(kProgram, error, kExitUsage);
    if (!named.has_window) {
      named.from = from;
      named.to = to;
    }
    inputs.push_back(MergeInput{named.path, named.from, named.to});
    paths.push_back(named.path);
  }

  Outputs outputs;
  std::string error;
  if (!outputs.Add(o.output, o.force, paths, &error))
    return Complain(kProgram, error, kExitRefused);
  StreamMerge merge(inputs, o.keep_all, o.salvage);
  ProgressLine progress(kProgram);
  if (!merge.Check()) {
    progress.Clear();
    return Complain(kProgram, merge.report().error, kExitRefused);
  }
  const int fd = outputs.Create(0, &error);
  if (fd < 0) return Complain(kProgram, error, kExitRefused);
  bool written = merge.Write(fd, [&](const MergeProgress& p) {
    if (progress.Due()) {
      progress.Update(Counted(p.steps, "step", "steps") + ", hour " + HourText(p.hour) + ", " +
                      ByteText(p.bytes) + " written");
    }
  });
  if (::close(fd) != 0 && written) {
    written = false;
    error = "cannot write " + o.output + ": " + std::strerror(errno);
  }
  progress.Clear();
  if (!written) {
    const MergeReport& r = merge.report();
    if (error.empty())
      error = r.write_failed ? "cannot write " + o.output + ": " + r.error : r.error;
    return Complain(kProgram, error, kExitRefused);
  }
  if (!outputs.CommitAll(&error, o.sync)) return Complain(kProgram, error, kExitRefused);
  const std::vector<std::string> cautions = CautionTexts(o, inputs, merge.report());
  for (const std::string& text : cautions) Caution(kProgram, text);
  if (!o.quiet) {
    o.json ? PrintJson(o, inputs, merge.report(), cautions)
           : PrintReport(o, inputs, merge.report());
  }
  return 0;
}

}  // namespace
}  // namespace korvant

int main(int argc, char** argv) {
  return korvant::RunProgram(korvant::kProgram, [&] { return korvant::Merge(argc, argv); });
}
