#pragma once

// Runs the built program as a user would: in a private working directory,
// answers on stdin, and everything it writes captured.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvant {

struct RunResult {
  std::string out;               ///< everything written to stdout
  std::string err;               ///< everything written to stderr
  int status = -1;               ///< exit status; -1 when the process did not exit normally
  int signal = 0;                ///< the signal that ended it, if any
  bool timed_out = false;        ///< killed because it ran past the time limit
  bool too_much_output = false;  ///< killed because its output ran away
  long max_rss_kb = 0;           ///< peak resident memory of the program, in KiB
  /// Files present before the run, not marked as outputs, that the run
  /// changed or removed (each one has also failed the test).
  std::vector<std::string> changed_inputs;
};

/// A fresh temporary directory, removed with everything in it on destruction.
/// File names are relative to it.
///
/// Inputs are never touched: every regular file present before a run that
/// the test has not marked with `ExpectOutput` is hashed before and after the
/// run, and a change (or its removal) fails the test.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::string& dir() const { return dir_; }
  std::string Path(std::string_view name) const;

  void Write(std::string_view name, std::string_view bytes) const;
  /// The file's bytes; throws when it cannot be read.
  std::string Read(std::string_view name) const;
  bool Exists(std::string_view name) const;
  /// Names of the directory's entries, sorted.
  std::vector<std::string> List() const;
  /// Hash of the file's bytes, to show a file was left untouched.
  uint64_t Hash(std::string_view name) const;
  /// A symbolic link `name` to `target` (such as /dev/full). Links are not
  /// inputs: what they lead to is not hashed.
  void Link(std::string_view name, std::string_view target) const;

  /// Marks `name` as a file the runs may write although it exists before
  /// them: an output the test has the program overwrite.
  void ExpectOutput(std::string_view name);
  /// Later runs have a file-size limit (RLIMIT_FSIZE) of `bytes`; 0 for none.
  void LimitFileSize(uint64_t bytes) { file_size_limit_ = bytes; }
  /// Later runs read their answers from the file `name` of the directory
  /// instead of the `input` of `Run`, which must then be empty; "" to go
  /// back. A run's peak memory counts the test's own at the start of the run,
  /// so an answer of many megabytes is best given from a file.
  void StdinFrom(std::string name) { stdin_from_ = std::move(name); }
  /// Later runs write their console output to the file `path` (such as
  /// /dev/full) instead of `RunResult::out`; "" for the captured console.
  void ConsoleTo(std::string path) { console_to_ = std::move(path); }
  /// Later runs have their console read as a pager that quits reads it: once
  /// `text` has come, the reading end is closed (`RunResult::out` ends there
  /// or a little after). The pipe holds one page, so the program cannot
  /// have written far beyond `text` by then. "" to read to the end.
  void CloseConsoleAt(std::string text) { close_console_at_ = std::move(text); }

  /// Later runs have their console's reading end closed before they start:
  /// every write to stdout fails (EPIPE, or death by SIGPIPE at its default).
  void CloseConsole() { close_console_ = true; }
  /// During the next runs, once `ready` returns true (it is asked about every
  /// 10 ms), `act` is called once with the program's process id: to signal
  /// it, or to change its files while it runs. Empty functions for none.
  void During(std::function<bool()> ready, std::function<void(int pid)> act) {
    ready_ = std::move(ready);
    act_ = std::move(act);
  }

  /// Runs the program with the directory as its working directory, `input` on
  /// stdin (closed after the last byte), and waits for it to end. SIGPIPE is
  /// at its default in the program, as a shell leaves it. The program
  /// is killed after `limit`, or when it has written more than 16 MiB.
  RunResult Run(std::string_view input,
                std::chrono::milliseconds limit = std::chrono::seconds(30)) const;
  /// The same for another program (`ProgramPath`) with its arguments.
  RunResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                       std::string_view input = "",
                       std::chrono::milliseconds limit = std::chrono::seconds(30)) const;

 private:
  std::string dir_;
  std::vector<std::string> outputs_;
  uint64_t file_size_limit_ = 0;
  std::string console_to_;
  std::string stdin_from_;
  std::string close_console_at_;
  bool close_console_ = false;
  std::function<bool()> ready_;
  std::function<void(int)> act_;
};

/// The path of a program built beside korvant, such as "korvant-info".
std::string ProgramPath(std::string_view name);

/// A companion program's line `line` ("korvant-NAME: ...\n") as a usage
/// error (status 2) gives it, with " (see --help)" before its newline.
inline std::string UsageLine(std::string line, int status = 2) {
  if (status == 2 && line.ends_with('\n')) line.insert(line.size() - 1, " (see --help)");
  return line;
}

/// 64-bit FNV-1a.
uint64_t Fnv1a64(std::string_view bytes);

/// `lines`, each followed by '\n'.
std::string JoinLines(const std::vector<std::string>& lines);

/// "" when `actual` equals `expected`; otherwise where they part: the number
/// and both versions of the first differing line, for failure messages.
std::string FirstDifference(std::string_view expected, std::string_view actual);

}  // namespace korvant
