#pragma once

namespace korvant {

/// What korvant's process ends with, besides 0: its own stop, after the
/// dialogue has written its stop lines, and a fatal diagnostic (`Fatal` of
/// io/run_aborted.h throws this status) or a file that failed to close.
constexpr int kExitStopped = 1;
constexpr int kExitFailed = 2;

/// The program's own stop after a failure (exit status kExitStopped). Any stop
/// text or warning lines have been written by the caller already.
[[noreturn]] void Stop();

}  // namespace korvant
