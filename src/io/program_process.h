#pragma once

namespace korvant {

/// Sets up the process of a companion program before it does anything:
/// - SIGPIPE and SIGXFSZ are ignored, so that a closed pipe on stdout or a
///   file-size limit fails the write, which the program reports, instead of
///   killing the process;
/// - SIGINT, SIGTERM and SIGHUP remove the temporary files of the outputs
///   before the process dies of them (io/temporary_files.h);
/// - stderr is no longer tied to stdout, so that a warning never waits on, or
///   fails with, a report that nobody reads.
void PrepareProgramProcess();

/// Flushes stdout: false when something written to it was lost (a closed
/// pipe, a full device).
bool StdoutWritten();

/// The message for a report that could not be written.
inline constexpr const char* kStdoutLost = "error writing to standard output";

}  // namespace korvant
