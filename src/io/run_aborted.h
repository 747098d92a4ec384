#pragma once

#include <string>

namespace korvant {

/// Ends the run. Thrown from wherever the run cannot go on and caught only by
/// the top of the program, which flushes every open file, writes `diagnostic`
/// (when set) as one line on stderr and exits with `status`.
struct RunAborted {
  int status;              ///< 1: korvant's own stop; 2: a fatal diagnostic
  std::string diagnostic;  ///< stderr line without the "korvant: " prefix; empty for own stops
};

/// A fatal diagnostic of the record-file layer (exit status 2).
[[noreturn]] void Fatal(std::string diagnostic);

}  // namespace korvant
