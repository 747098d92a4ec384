#include "dialogue/refuse.h"

#include <string>

#include "io/run_aborted.h"

namespace korvant {

void RefuseCount(TextSink& console, std::string_view file_kind, std::string_view count_name,
                 int64_t value, int64_t limit) {
  std::string line = " *** " + std::string(file_kind) + " refused: " + std::string(count_name) +
                     " = " + std::to_string(value) + " is more than this program's limit of " +
                     std::to_string(limit);
  console.Line(line);
  Stop();
}

}  // namespace korvant
