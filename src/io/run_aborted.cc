#include "io/run_aborted.h"

#include <utility>

namespace korvant {

void Fatal(std::string diagnostic) { throw RunAborted{2, std::move(diagnostic)}; }

}  // namespace korvant
