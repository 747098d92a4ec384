#include "batch/command_line.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>

#include "io/program_process.h"
#include "io/record_file.h"
#include "io/run_aborted.h"

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

int Complain(std::string_view program, const std::string& message, int status) {
  std::cerr << program << ": " << message << '\n' << std::flush;
  return status;
}

void Caution(std::string_view program, const std::string& text) {
  std::cerr << program << ": caution: " << text << '\n' << std::flush;
}

void StandardOptions(CLI::App& app, std::string_view program, std::string footer) {
  app.set_version_flag("--version", std::string(program) + " " + KORVANT_VERSION,
                       "Print the version and exit");
  app.set_help_flag("-h,--help", "Print this help and exit");
  app.footer(std::move(footer));
  app.get_formatter()->column_width(28);
}

std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
    return std::nullopt;
  } catch (const CLI::Success& e) {  // --help, --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return Complain(app.get_name(), std::string(e.what()) + " (see --help)", kExitUsage);
  }
}

int RunProgram(std::string_view program, const std::function<int()>& body) {
  PrepareProgramProcess();
  int status = kExitRefused;
  try {
    status = body();
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

}  // namespace korvant
