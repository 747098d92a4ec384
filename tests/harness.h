#pragma once

// Runs the built program as a user would: in a private working directory,
// answers on stdin, and everything it writes captured.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvant {

struct RunResult {
  std::string out;   ///< everything written to stdout
  std::string err;   ///< everything written to stderr
  int status = -1;   ///< exit status; -1 when the process did not exit normally
  int signal = 0;    ///< the signal that ended it, if any
  bool timed_out = false;  ///< killed because it ran past the time limit
  bool too_much_output = false;  ///< killed because its output ran away
};

/// A fresh temporary directory, removed with everything in it on destruction.
/// File names are relative to it.
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

  /// Runs the program with the directory as its working directory, `input` on
  /// stdin (closed after the last byte), and waits for it to end. The program
  /// is killed after `limit`, or when it has written more than 16 MiB.
  RunResult Run(std::string_view input,
                std::chrono::milliseconds limit = std::chrono::seconds(30)) const;

 private:
  std::string dir_;
};

/// 64-bit FNV-1a.
uint64_t Fnv1a64(std::string_view bytes);

/// `lines`, each followed by '\n'.
std::string JoinLines(const std::vector<std::string>& lines);

/// "" when `actual` equals `expected`; otherwise where they part: the number
/// and both versions of the first differing line, for failure messages.
std::string FirstDifference(std::string_view expected, std::string_view actual);

}  // namespace korvant
