#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace korvant {

// What the two companion programs share on their command lines and in their
// reports. Exit statuses: 0 success, 1 a refused or damaged input or a failed
// write, 2 a usage error.
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

/// Runs `body` as the program's main part: a run the record layer ends, or
/// any other failure, becomes one line on stderr beginning with `program` and
/// exit status 1. A write past the file-size limit fails as a write.
int RunProgram(std::string_view program, const std::function<int()>& body);

/// Sets the options every program has: --help (with `footer` after the
/// options, laid out as a manual page's sections) and --version.
void StandardOptions(CLI::App& app, std::string_view program, std::string footer);

/// Parses the command line. The exit status when the run ends here: 0 after
/// --help or --version (printed on stdout), 2 after a usage error (on stderr).
std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv);

/// "<program>: <message>" on stderr; returns `status`.
int Complain(std::string_view program, const std::string& message, int status);

/// "<program>: caution: <text>" on stderr: something a successful run did
/// that its user may not expect. --quiet does not silence it.
void Caution(std::string_view program, const std::string& text);

}  // namespace korvant
