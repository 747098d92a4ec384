#pragma once

#include <string>
#include <string_view>

namespace korvant {

/// An output that appears whole or not at all: it is written under a
/// temporary name and put in place by `Commit`. A replacement never committed
/// is removed, so a failed run leaves the old file (or no file) in place,
/// never a half-written one; so does SIGINT, SIGTERM or SIGHUP once
/// `RemoveTemporariesOnSignals` (io/temporary_files.h) has been called.
///
/// Only a regular file is ever replaced. A symbolic link is followed and the
/// file it leads to is replaced, never the link. A character device (such as
/// /dev/null or a terminal) is written through: the temporary file, kept in
/// the temporary folder, is copied into it. Any other kind of file (a fifo, a
/// socket, a folder, a block device) is refused.
class ReplacementFile {
 public:
  /// Looks at `target` and picks a fresh temporary name; creates nothing yet.
  explicit ReplacementFile(std::string_view target);
  ~ReplacementFile();  // removes the temporary file unless committed
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  /// The name as given.
  const std::string& target() const { return target_; }
  /// The file that is replaced or created: the target with its links
  /// followed.
  const std::string& destination() const { return destination_; }
  /// The name to write to.
  const std::string& temporary() const { return temporary_; }
  /// Why the target can never be written ("" when it can).
  const std::string& refusal() const { return refusal_; }
  /// The destination is an existing regular file, which the commit replaces.
  bool replaces() const { return replaces_; }

  /// Puts the temporary file in place, after flushing it to disk unless
  /// `wait_for_disk` is false (the rename alone already keeps a failed run
  /// from leaving a half-written target; the wait guards against a crash of
  /// the whole system, at the price of the writing's time once more). Without
  /// `replace`, a file that appeared at the destination meanwhile is kept and
  /// the commit fails. False (with *error set) when the commit fails; the
  /// temporary file is then removed.
  bool Commit(std::string* error, bool wait_for_disk = true, bool replace = true);

 private:
  bool CopyInto(std::string* error) const;

  std::string target_;
  std::string destination_;
  std::string temporary_;
  std::string refusal_;
  bool replaces_ = false;
  bool writes_through_ = false;
  bool committed_ = false;
};

/// The message for an output that exists and may not be replaced: the
/// companion programs replace one only when given --force.
std::string ExistingOutputMessage(const std::string& target);

}  // namespace korvant
