#include "kit/command_line.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>

#include "io/outputs.h"
#include "io/program_process.h"
#include "io/record_file.h"
#include "io/run_aborted.h"
#include "text/readable.h"

namespace korvant {

std::optional<float> ParseFinite(std::string_view text) {
  std::string s(text);
  if (s.empty() || s.find_first_of(" \t\n") != std::string::npos) return std::nullopt;
  char* end = nullptr;
  // An underflow (ERANGE with a subnormal or zero result) is the nearest
  // float; an overflow comes back infinite.
  const float value = std::strtof(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

bool ParseCount(std::string_view option, std::string_view text, int64_t* count,
                std::string* error) {
  const std::string given = std::string(option) + " " + std::string(text);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *count);
  if (ec == std::errc::result_out_of_range) {
    *error = given + ": more than the largest count, " +
             std::to_string(std::numeric_limits<int64_t>::max());
  } else if (ec != std::errc() || end != text.data() + text.size()) {
    *error = given + ": not a whole number";
  } else if (*count < 1) {
    *error = std::string(option) + " must be at least 1";
  } else {
    return true;
  }
  return false;
}

bool ParseNamedInput(const std::string& arg, NamedInput* out, std::string* error) {
  *out = NamedInput{};
  out->path = arg;
  const size_t at = arg.rfind('@');
  if (FileExists(arg) || at == std::string::npos) return true;
  const std::string window = arg.substr(at + 1);
  const size_t colon = window.find(':');
  if (colon == std::string::npos) return true;  // a name with an '@' in it
  const std::string from = window.substr(0, colon), to = window.substr(colon + 1);
  out->path = arg.substr(0, at);
  out->has_window = true;
  if (!from.empty()) out->from = ParseHour(from);
  if (!to.empty()) out->to = ParseHour(to);
  if ((!from.empty() && !out->from) || (!to.empty() && !out->to)) {
    *error = arg + ": the window @" + window + " is not FROM:TO in hours";
    return false;
  }
  if (out->from && out->to && *out->from > *out->to) {
    *error = arg + ": the window starts after it ends";
    return false;
  }
  return true;
}

std::string HourText(float hour) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, hour);
  return std::string(text, result.ptr);
}

Json HourJson(std::optional<float> hour) {
  if (!hour) return nullptr;
  // Through the float's shortest text, so that 0.1f is written 0.1, not as
  // the double it widens to.
  return std::strtod(HourText(*hour).c_str(), nullptr);
}

std::string JsonLine(const Json& report) {
  return report.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void Refuse(int status, std::string message) { throw Refusal{status, std::move(message)}; }

int Complain(std::string_view program, const std::string& message, int status) {
  std::cerr << program << ": " << ValidUtf8(message)
            << (status == kExitUsage ? " (see --help)" : "") << '\n'
            << std::flush;
  return status;
}

void Caution(std::string_view program, const std::string& text) {
  std::cerr << program << ": caution: " << ValidUtf8(text) << '\n' << std::flush;
}

void AddSalvageOption(CLI::App& app, bool* salvage) {
  app.add_flag("--salvage", *salvage,
               "Use the steps of a damaged input before its first damaged record");
}

std::string SalvageText(const SalvageNote& note, std::string_view used) {
  const std::string steps =
      note.steps == 1 ? "its 1 step" : "its " + std::to_string(note.steps) + " steps";
  return note.file + " is damaged at record " + std::to_string(note.record) + " (byte " +
         std::to_string(note.byte) + "): " + note.what + "; " + steps + " before it " +
         std::string(used);
}

Json SalvageJson(const SalvageNote* note) {
  if (note == nullptr) return Json(nullptr);
  return Json{{"record", note->record},
              {"byte", note->byte},
              {"what", note->what},
              {"steps_used", note->steps}};
}

std::string CannotRead(const std::string& path) {
  const std::string why = InputProblem(path);
  return why.empty() ? "" : "cannot read " + path + ": " + why;
}

std::string HelpHeading(std::string_view program, const ProgramHelp& help) {
  return std::string(program) + " - " + std::string(help.summary);
}

void StandardOptions(CLI::App& app, std::string_view program, const ProgramHelp& help) {
  app.set_version_flag("--version", std::string(program) + " " + KORVANT_VERSION,
                       "Print the version and exit");
  app.set_help_flag("-h,--help", "Print this help and exit");
  std::string footer(help.sections);
  if (!footer.empty() && footer.back() != '\n') footer += '\n';
  footer +=
      "\nEXIT STATUS\n"
      "  0 success; 1 a refused or damaged input, or a failed write; 2 a usage error.\n"
      "\nEXAMPLES\n";
  footer += help.examples;
  app.footer(std::move(footer));
  app.get_formatter()->column_width(28);
}

CLI::Option* AddOutputOption(CLI::App& app, std::string* output, std::string_view what) {
  return app.add_option("-o,--output", *output, std::string(what))
      ->type_name("OUT")
      ->check(NamesAFile)
      ->check(CLI::Validator(
          [](const std::string& name) {
            return IsStandardOutput(name) ? "standard output (-) takes only text outputs" : "";
          },
          "", "not -"));
}

void AddForceOption(CLI::App& app, bool* force) {
  app.add_flag("-f,--force", *force, "Replace an existing output");
}

void AddReportOptions(CLI::App& app, bool* quiet, bool* json) {
  app.add_flag("--json", *json, "Print the report as one JSON object");
  app.add_flag("-q,--quiet", *quiet, "Print nothing on stdout but the outputs named -");
}

void AddHourWindow(CLI::App& app, HourWindow* window, std::string_view whose) {
  app.add_option("--from", window->from_text, "First hour " + std::string(whose) + ", included")
      ->type_name("H");
  app.add_option("--to", window->to_text, "Last hour " + std::string(whose) + ", included")
      ->type_name("H");
}

std::string HourWindow::Read() {
  if (!from_text.empty() && !(from = ParseHour(from_text)))
    return "--from " + from_text + ": not an hour";
  if (!to_text.empty() && !(to = ParseHour(to_text))) return "--to " + to_text + ": not an hour";
  if (from && to && *from > *to) return "--from is after --to";
  return "";
}

StepFilter HourWindow::Filter() const {
  if (!from && !to) return StepFilter{};
  constexpr float kEndless = std::numeric_limits<float>::infinity();
  return StepFilter{from.value_or(-kEndless), to.value_or(kEndless), false};
}

std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
    return std::nullopt;
  } catch (const CLI::Success& e) {  // --help, --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return Complain(app.get_name(), e.what(), kExitUsage);
  }
}

int RunProgram(std::string_view program, const std::function<int()>& body) {
  PrepareProgramProcess();
  int status = kExitRefused;
  try {
    status = body();
  } catch (const Refusal& refusal) {
    status = Complain(program, refusal.message, refusal.status);
  } catch (const RunAborted& abort) {
    status =
        Complain(program, abort.diagnostic.empty() ? "stopped" : abort.diagnostic, kExitRefused);
  } catch (const std::bad_alloc&) {
    status = Complain(program, "out of memory", kExitRefused);
  } catch (const std::exception& fault) {
    status = Complain(program, std::string("internal error: ") + fault.what(), kExitRefused);
  }
  // The outputs are in place by now; a report lost on the way is told last.
  if (!StdoutWritten() && status == 0) return Complain(program, kStdoutLost, kExitRefused);
  return status;
}

bool WriteOutput(const std::string& target, const std::function<void()>& write,
                 std::string* error) {
  errno = 0;
  try {
    write();
    return true;
  } catch (const RunAborted&) {
    *error =
        "cannot write " + target + (errno != 0 ? ": " + std::string(std::strerror(errno)) : "");
    return false;
  }
}

}  // namespace korvant
