#pragma once

#include <string>

namespace korvant {

/// Temporary files that SIGINT, SIGTERM or SIGHUP must not leave behind. A
/// program calls `RemoveTemporariesOnSignals` once; each temporary file is
/// listed with `RemoveOnSignal` before it is created and struck off with
/// `KeepOnSignal` once it has been renamed or removed. On one of these
/// signals every listed file is removed, and the process then dies of the
/// signal as it would have without the handler.
void RemoveTemporariesOnSignals();
void RemoveOnSignal(const std::string& name);
void KeepOnSignal(const std::string& name);

}  // namespace korvant
