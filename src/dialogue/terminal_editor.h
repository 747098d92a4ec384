#pragma once

#include <memory>

#include "dialogue/console.h"

namespace korvant {

/// Line editing for answers typed at a terminal: the usual editing keys, the
/// answers given so far as a history (up and down arrows), and Tab completing
/// a file name where the dialogue asks for one. Nothing it does reaches the
/// program's output or files: it only reads the line that would have been
/// typed anyway.
///
/// nullptr unless standard input and standard output are both terminals and
/// the program is built with libedit; the console then reads its input stream.
std::unique_ptr<LineEditor> OpenTerminalEditor();

}  // namespace korvant
