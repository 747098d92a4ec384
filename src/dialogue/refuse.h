#pragma once

#include <cstdint>
#include <string_view>

#include "text/text_sink.h"

namespace korvant {

/// Refuses a count read from a file that is larger than the array it would
/// fill: one console line naming the file kind, the count and its limit, then
/// the program's own stop. Nothing has been stored beyond any array.
[[noreturn]] void RefuseCount(TextSink& console, std::string_view file_kind,
                              std::string_view count_name, int64_t value, int64_t limit);

/// True when `value` is larger than `limit`.
inline bool Exceeds(int64_t value, int64_t limit) { return value > limit; }

}  // namespace korvant
