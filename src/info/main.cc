// korvant-info: says what each model file is and whether it is sound, so that
// a merge or an average can be checked before it is run.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "engine/file_report.h"
#include "info/report_json.h"
#include "info/report_text.h"
#include "io/program_process.h"
#include "io/record_file.h"
#include "io/run_aborted.h"

namespace {

namespace fs = std::filesystem;
using korvant::FileReport;

constexpr int kUsageError = 2;

// The report of one file, or why it could not be read at all.
std::optional<FileReport> Look(const std::string& name, std::string* error) {
  std::error_code ec;
  const fs::file_status status = fs::status(name, ec);
  if (ec || !fs::exists(status)) {
    *error = "no such file";
    return std::nullopt;
  }
  // A fifo or a device could keep the program waiting.
  if (!fs::is_regular_file(status)) {
    *error = "not a regular file";
    return std::nullopt;
  }
  try {
    korvant::RecordFile file;
    file.OpenExisting(0, name);
    return korvant::ReportFile(file);
  } catch (const korvant::RunAborted&) {
    *error = "cannot be read";
    return std::nullopt;
  }
}

}  // namespace

int main(int argc, char** argv) {
  korvant::PrepareProgramProcess();
  CLI::App app{
      "Says what each VELTO, QMX2, QMX4 or QMX10 file is, worked out from its records, "
      "and whether it is sound: header, counts, time steps, places where time repeats "
      "or goes back, and the first damaged record.",
      "korvant-info"};
  std::vector<std::string> files;
  bool json = false;
  app.add_option("FILE", files, "the files to look at")->required();
  app.add_flag("--json", json, "one JSON object per line and file, for scripts");
  app.set_version_flag("--version", std::string("korvant-info ") + KORVANT_VERSION);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help or --version, on stdout
  } catch (const CLI::ParseError& e) {
    std::cerr << "korvant-info: " << e.what() << "\nRun 'korvant-info --help' for the usage.\n";
    return kUsageError;
  }

  bool all_sound = true;
  bool first = true;
  for (const std::string& name : files) {
    std::string error;
    const std::optional<FileReport> report = Look(name, &error);
    all_sound = all_sound && report && report->sound();
    if (!report) std::cerr << "korvant-info: " << name << ": " << error << '\n';
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
  if (!korvant::StdoutWritten()) {
    std::cerr << "korvant-info: " << korvant::kStdoutLost << '\n';
    return 1;
  }
  return all_sound ? 0 : 1;
}
