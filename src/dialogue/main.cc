#include <csignal>
#include <iostream>
#include <memory>

#include "dialogue/driver.h"
#include "dialogue/terminal_editor.h"

int main() {
  // Past a file-size limit a write then fails, and the run ends with its
  // diagnostic, instead of the process being killed by the signal.
  std::signal(SIGXFSZ, SIG_IGN);
  // A console pipe whose reader has gone (`korvant < answers | head`) is a
  // write that fails like any other, so the files are still written out.
  std::signal(SIGPIPE, SIG_IGN);
  std::ios::sync_with_stdio(false);
  std::unique_ptr<korvant::LineEditor> editor = korvant::OpenTerminalEditor();
  return korvant::RunSession(std::cin, std::cout, std::cerr, editor.get());
}
