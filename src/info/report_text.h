#pragma once

#include <string>
#include <vector>

#include "engine/file_report.h"

namespace korvant {

/// Things about a file that would make a merge or an averaging go wrong
/// although its framing is sound, one sentence each.
std::vector<std::string> Cautions(const FileReport& r);

/// The report a person reads: the file's name on a line of its own, then one
/// indented line per fact, each ending in '\n'.
std::string TextReport(const std::string& name, const FileReport& r);

}  // namespace korvant
