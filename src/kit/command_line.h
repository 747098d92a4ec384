#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "formats/step_filter.h"

namespace korvant {

// The program kit: what every companion program shares on its command line,
// in its help, its refusals and its reports. Exit statuses: 0 success, 1 a
// refused or damaged input or a failed write, 2 a usage error.
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

/// The reports' JSON objects keep their keys in the order written.
using Json = nlohmann::ordered_json;

/// A number typed on the command line: a finite decimal number, nothing
/// else. One below the normal floats is taken as the nearest float, as the
/// dialogue takes it; one beyond the largest float is refused.
std::optional<float> ParseFinite(std::string_view text);
/// An hour typed on the command line, read as `ParseFinite` reads it.
inline std::optional<float> ParseHour(std::string_view text) { return ParseFinite(text); }

/// A count of at least 1 typed on the command line; false with *error
/// ("--last 0: ...") naming `option` for anything else, one too large included.
bool ParseCount(std::string_view option, std::string_view text, int64_t* count, std::string* error);

/// An input named as FILE or FILE@FROM:TO.
struct NamedInput {
  std::string path;
  std::optional<float> from, to;
  bool has_window = false;
};

/// Splits "FILE@FROM:TO" at its last '@' when the name as a whole names no
/// existing file; either hour may be empty. False with *error for a window
/// that does not parse.
bool ParseNamedInput(const std::string& arg, NamedInput* out, std::string* error);

/// An hour as the reports show it: the shortest text that reads back as the
/// same 32-bit float ("40", "12.5", "0.1").
std::string HourText(float hour);
/// The same as a JSON number (null when unset).
Json HourJson(std::optional<float> hour);

/// The report as one line of JSON. A name that is not UTF-8 does not fail it:
/// each ill-formed part becomes U+FFFD, as `ValidUtf8` makes it in text.
std::string JsonLine(const Json& report);

/// Ends a companion program where it cannot go on: thrown, and caught by
/// `RunProgram`, which tells `message` as `Complain` does and exits with
/// `status` (1 a refused input or a failed write, 2 a usage error).
struct Refusal {
  int status;
  std::string message;
};
[[noreturn]] void Refuse(int status, std::string message);

/// A program's own part of its --help: the line under the program's name,
/// the sections between the options and the exit status (each a heading in
/// capitals, then lines indented two spaces, as a manual page lays them
/// out), and the examples (lines indented two spaces).
struct ProgramHelp {
  std::string_view summary;
  std::string_view sections;
  std::string_view examples;
};

/// The text above a program's usage line: "korvant-NAME - summary".
std::string HelpHeading(std::string_view program, const ProgramHelp& help);

/// Sets the options every program has, --help (usage, options, then the
/// program's sections, EXIT STATUS and EXAMPLES) and --version
/// ("korvant-NAME 1.2.0"), both printed on stdout.
void StandardOptions(CLI::App& app, std::string_view program, const ProgramHelp& help);

/// The options that mean the same in every program that has them.
/// -o/--output FILE: the file to write (checked to name a file).
CLI::Option* AddOutputOption(CLI::App& app, std::string* output, std::string_view what);
/// Whether an output's name is "-", standard output, which only text
/// outputs take; `AddOutputOption` refuses it for OUT.
inline bool IsStandardOutput(const std::string& name) { return name == "-"; }
/// -f/--force: an existing output may be replaced.
void AddForceOption(CLI::App& app, bool* force);
/// -q/--quiet (nothing on stdout; errors and cautions still on stderr) and
/// --json (the report as one JSON object).
void AddReportOptions(CLI::App& app, bool* quiet, bool* json);

/// --from and --to, in hours, as typed; `Read` checks them.
struct HourWindow {
  std::string from_text, to_text;
  std::optional<float> from, to;
  /// "" or the usage error: an hour that does not parse, FROM after TO.
  std::string Read();
  /// The steps it holds, once read: every step when neither end is given;
  /// else those whose hour lies between the ends (a step of no hour, NaN,
  /// in none).
  StepFilter Filter() const;
};
void AddHourWindow(CLI::App& app, HourWindow* window, std::string_view whose);

/// Parses the command line. The exit status when the run ends here: 0 after
/// --help or --version (printed on stdout), 2 after a usage error (on stderr).
std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv);

/// Runs `body` as the program's main part: a `Refusal`, a run the record
/// layer ends, or any other failure becomes one line on stderr beginning with
/// `program` and its exit status (1 unless the refusal says 2). A write past
/// the file-size limit fails as a write. A report on stdout that could not be
/// written fails the run, after the outputs are in place.
int RunProgram(std::string_view program, const std::function<int()>& body);

/// "<program>: <message>" on stderr (as UTF-8: a file name in another
/// encoding is shown with U+FFFD for what is not), with " (see --help)" after a usage
/// error (status 2); returns `status`.
int Complain(std::string_view program, const std::string& message, int status);

/// "<program>: caution: <text>" on stderr: something a successful run did
/// that its user may not expect. --quiet does not silence it.
void Caution(std::string_view program, const std::string& text);

/// --salvage: a file damaged after its header (a run that stopped mid-write)
/// gives its steps before the first damaged record.
void AddSalvageOption(CLI::App& app, bool* salvage);

/// Where a file read is damaged, and how many of its steps before the damage
/// were used, for the reports of the programs that salvage.
struct SalvageNote {
  std::string file;
  int64_t record = 0;  ///< from 1, counting every record of the file
  int64_t byte = 0;    ///< offset of the record's leading length
  std::string what;
  int64_t steps = 0;
};
/// "FILE is damaged at record R (byte B): WHAT; its N steps before it are
/// used" (`used`: "are used", "are sound", ...).
std::string SalvageText(const SalvageNote& note, std::string_view used = "are used");
/// {"record", "byte", "what", "steps_used"}, or null without a note.
Json SalvageJson(const SalvageNote* note);

/// Runs `write`, which writes the output `target`: false, with "cannot write
/// TARGET: REASON" in *error, when the record or text layers end the run
/// there on a failed write.
bool WriteOutput(const std::string& target, const std::function<void()>& write, std::string* error);

/// "cannot read FILE: REASON" for an input that is not a readable regular
/// file (`InputProblem`), or "" for one that is.
std::string CannotRead(const std::string& path);

}  // namespace korvant
