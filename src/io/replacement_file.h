#pragma once

#include <string>
#include <string_view>

namespace korvant {

/// An output that appears whole or not at all: it is written under a
/// temporary name beside `target` and renamed onto `target` by `Commit`. A
/// replacement never committed is removed, so a failed run leaves the old
/// file (or no file) in place, never a half-written one.
class ReplacementFile {
 public:
  /// Picks a fresh temporary name in the target's folder; creates nothing yet.
  explicit ReplacementFile(std::string_view target);
  ~ReplacementFile();  // removes the temporary file unless committed
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  const std::string& target() const { return target_; }
  /// The name to write to.
  const std::string& temporary() const { return temporary_; }

  /// Renames the temporary file onto the target, after flushing it to disk
  /// unless `wait_for_disk` is false (the rename alone already keeps a failed
  /// run from leaving a half-written target; the wait guards against a crash
  /// of the whole system, at the price of the writing's time once more).
  /// False (with *error set) when that fails; the temporary file is removed.
  bool Commit(std::string* error, bool wait_for_disk = true);

 private:
  std::string target_;
  std::string temporary_;
  bool committed_ = false;
};

}  // namespace korvant
