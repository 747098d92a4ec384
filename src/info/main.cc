// korvant-info: says what each model file is and whether it is sound, so that
// a merge or an average can be checked before it is run.

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "engine/file_report.h"
#include "info/report_json.h"
#include "info/report_text.h"
#include "io/record_file.h"
#include "kit/command_line.h"
#include "kit/progress_line.h"
#include "text/readable.h"

namespace {

using korvant::FileReport;
constexpr std::string_view kProgram = "korvant-info";

constexpr korvant::ProgramHelp kHelp = {"say what each model file is and whether it is sound",
                                        R"(DESCRIPTION
  Looks at each VELTO, QMX2, QMX4 or QMX10 file named, works out from its
  records what it is, and says whether it is sound: its header, its counts,
  its time steps, the places where time repeats or goes back, and the first
  damaged record, so that a merge or an average can be checked before it is
  run. Each file is read once, with memory that does not grow with it; no
  file is written.

  Only the console program korvant stops at 60000 nodes and 500 steps; a
  caution says when a file is beyond what it takes. The companion programs
  take any file whose records back its counts.

  The status is 1 when any file named cannot be read or is damaged.
)",
                                        R"(  korvant-info run.bin
  korvant-info --json bay.velto day1.bin day2.bin
)"};

// The report of one file, or why it could not be read at all.
std::optional<FileReport> Look(const std::string& name, std::string* error) {
  if (std::string why = korvant::InputProblem(name); !why.empty()) {
    *error = why;
    return std::nullopt;
  }
  korvant::RecordFile file;
  file.OpenExisting(0, name);
  korvant::ProgressLine progress(kProgram);
  return korvant::ReportFile(file, [&](int64_t steps, float hour) {
    if (progress.Due()) {
      progress.Update(korvant::ValidUtf8(name) + ": " + korvant::Counted(steps, "step", "steps") +
                      ", hour " + korvant::HourText(hour));
    }
  });
}

int LookAtAll(const std::vector<std::string>& files, bool json, bool quiet) {
  bool all_sound = true;
  bool first = true;
  for (const std::string& name : files) {
    std::string error;
    const std::optional<FileReport> report = Look(name, &error);
    all_sound = all_sound && report && report->sound();
    if (!report) korvant::Complain(kProgram, "cannot read " + name + ": " + error, 1);
    if (quiet) continue;
    if (json) {
      std::cout << korvant::JsonReport(name, report.value_or(FileReport{}),
                                       report ? std::nullopt : std::optional(error))
                << '\n';
    } else if (report) {
      if (!first) std::cout << '\n';
      std::cout << korvant::TextReport(name, *report);
      first = false;
    }
  }
  return all_sound ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{korvant::HelpHeading(kProgram, kHelp), std::string(kProgram)};
  std::vector<std::string> files;
  bool json = false, quiet = false;
  app.add_option("FILE", files, "The files to look at")->required();
  korvant::AddReportOptions(app, &quiet, &json);
  korvant::StandardOptions(app, kProgram, kHelp);
  if (std::optional<int> status = korvant::ParseCommandLine(app, argc, argv)) return *status;
  return korvant::RunProgram(kProgram, [&] { return LookAtAll(files, json, quiet); });
}
