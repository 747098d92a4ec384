#pragma once

#include <istream>
#include <ostream>

namespace korvant {

class LineEditor;

/// Runs one whole session: answers are read from `in`, console lines go to
/// `out`, a fatal diagnostic goes to `err` as "korvant: ..." . Returns the exit
/// status: 0 after " ****** Program Finished ******", 1 after the program's own
/// stop on a failure, 2 after a fatal diagnostic. Every file is flushed and
/// closed before it returns, however the run ended; when that fails after an
/// early end, the first failure is one more diagnostic line, and the status 2.
/// With an `editor`, answers are read through it instead of from `in`.
int RunSession(std::istream& in, std::ostream& out, std::ostream& err,
               LineEditor* editor = nullptr);

}  // namespace korvant
