#pragma once

#include <string>

namespace korvant {

/// Ends the run. Thrown from wherever the run cannot go on and caught only by
/// the top of the program, which flushes every open file, writes `diagnostic`
/// (when set) as one line on stderr and exits with `status`.
struct RunAborted {
  int status;              ///< 1: the program's own stop; 2: a fatal diagnostic
  std::string diagnostic;  ///< stderr line without the "korvant: " prefix; empty for own stops
};

/// A fatal diagnostic of the record-file layer (exit status 2).
[[noreturn]] void Fatal(std::string diagnostic);

/// The program's own stop after a failure (exit status 1). Any stop text or
/// warning lines have been written by the caller already.
[[noreturn]] void Stop();

}  // namespace korvant
