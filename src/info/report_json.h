#pragma once

#include <optional>
#include <string>

#include "engine/file_report.h"

namespace korvant {

/// One line of JSON (without its newline) for a file: its report, or, when
/// the file could not be read at all, `error` and the values of an empty report.
std::string JsonReport(const std::string& name, const FileReport& r,
                       const std::optional<std::string>& error = std::nullopt);

}  // namespace korvant
