#include "io/program_process.h"

#include <csignal>
#include <iostream>

#include "io/temporary_files.h"

namespace korvant {

void PrepareProgramProcess() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  RemoveTemporariesOnSignals();
  std::cerr.tie(nullptr);
}

bool StdoutWritten() {
  std::cout.flush();
  return static_cast<bool>(std::cout);
}

}  // namespace korvant
